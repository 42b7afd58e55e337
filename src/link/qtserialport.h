#pragma once
// Real serial ports through Qt Serial Port: exclusive open, line configuration from a line
// setting text, one-byte reads that sleep on the device, synchronous writes.
//
// Exclusive on Linux: the device is claimed with an flock before Qt opens it (so that a device
// another program holds is refused before its line is touched) and put in exclusive mode
// (TIOCEXCL) once open; both are given up at close.
//
// Low latency on Linux: a USB adapter's driver may hold short replies for its latency timer
// (16 ms on FTDI chips), so the device is switched to low latency (ASYNC_LOW_LATENCY) once
// open, and its own flag put back at close. Where the switch is refused (a pseudo-terminal, a
// driver without it, no permission) the port works as before; openNote() says which it was.

#include <QSerialPort>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "link/serialport.h"

class QtSerialPort : public SerialPort {
  public:
    // Takes an opened port and the descriptor that holds its lock (-1 for none).
    explicit QtSerialPort(std::unique_ptr<QSerialPort> port, int lockFd = -1);
    ~QtSerialPort() override;

    int readByte() override;
    int readByteWithin(int waitMs) override;
    int bufferedByte() override;
    // The Qt port while it reads without error: Qt's notifier reads arriving bytes into its
    // buffer and signals them. After an error (a port gone away) the link goes back to slices.
    QIODevice* eventDevice() override;
    bool write(const uint8_t* bytes, int count) override;
    void purge() override;
    void close() override;
    QString openNote() const override { return note_; }

    // Opens a device path; null when it is absent, taken or refused, and then `failure`
    // (when given) says why.
    static std::unique_ptr<QtSerialPort> openDevice(const QString& device,
                                                    const QString& lineSetting,
                                                    OpenFailure* failure = nullptr);

  private:
    std::unique_ptr<QSerialPort> port_;
    int lockFd_ = -1;
    // Set on the first read error: a port that has gone away (adapter unplugged, pty closed)
    // makes Qt's notifier fire in a loop, so it is not read again until closed.
    bool failed_ = false;
    // What the last read straight off the device brought, and how much of it has been taken.
    uint8_t heldBytes_[512] = {};
    int held_ = 0;
    int taken_ = 0;
    // Whether the open switched low latency on, which the close then switches off again.
    bool lowLatencySet_ = false;
    QString note_;
};

// Opens COMn: on Windows the port "COMn"; elsewhere the device that `deviceFor` names for n.
class QtPortOpener : public PortOpener {
  public:
    explicit QtPortOpener(std::function<QString(int)> deviceFor);
    std::unique_ptr<SerialPort> open(int portNo, const QString& lineSetting) override;
    OpenFailure lastFailure() const override { return lastFailure_; }
    void setOpenWait(OpenWait wait) override { wait_ = std::move(wait); }

  private:
    std::function<QString(int)> deviceFor_;
    OpenWait wait_;
    OpenFailure lastFailure_;
};

// Why Qt could not open `device`, having reported `error` with the text `errorText`. Qt names
// a missing permission and a device held by another program (its lock file, or the kernel's
// exclusive flag) alike, so elsewhere than on Windows the device is opened once more without
// Qt, and the system's answer tells them apart.
OpenFailure ExplainOpenFailure(const QString& device, QSerialPort::SerialPortError error,
                               const QString& errorText);
