#pragma once
// The platform's serial port as the link uses it. The Qt backend implements it for real
// devices; the simulator's virtual port implements it in-process for tests and demos.

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "link/openfailure.h"

class QIODevice;

class SerialPort {
  public:
    virtual ~SerialPort() = default;

    // At most one byte: returns 0..255 at once when a byte is waiting, otherwise waits about
    // 1 ms and returns -1. A read error also gives -1.
    virtual int readByte() = 0;

    // At most one byte: returns 0..255 at once when a byte is waiting, otherwise sleeps until
    // one arrives and returns it as soon as it has, or returns -1 after about waitMs. Ports
    // that cannot sleep on their device keep the one-millisecond read.
    virtual int readByteWithin(int waitMs) {
        (void)waitMs;
        return readByte();
    }

    // A byte the port has already taken off its device, without asking the device again; -1
    // when none. Ports without a buffer of their own look without waiting.
    virtual int bufferedByte() { return readByteWithin(0); }

    // A device whose readyRead() the application's event loop delivers when bytes arrive, or
    // null. With one, the link waits for a reply in the event loop itself: it wakes when bytes
    // come, when the silence limit ends or when the window has events, and not in between.
    virtual QIODevice* eventDevice() { return nullptr; }

    // Synchronous write: returns when the bytes are handed to the port.
    virtual bool write(const uint8_t* bytes, int count) = 0;

    // Drops everything waiting to be read. Bytes already written are not lost: they leave
    // first, as after a synchronous write on Windows.
    virtual void purge() = 0;

    // Closes the port and gives it back the settings it had before it was opened.
    virtual void close() = 0;

    // What the open did beyond the line setting, for the traffic log; empty when nothing.
    virtual QString openNote() const { return QString(); }
};

// How an open that takes its time (connecting to a serial device server) spends the wait. The
// wait runs the calling thread's event loop, so a window keeps painting.
struct OpenWait {
    // Told once as the wait begins, with what is being reached ("HOST:PORT").
    std::function<void(const QString& what)> connecting;
    // Asked again and again during the wait: true ends the attempt at once (Reason::Cancelled).
    std::function<bool()> cancel;
};

// Opens ports by number (COMn) with a line setting text such as "19200,e,8,1".
class PortOpener {
  public:
    virtual ~PortOpener() = default;

    // Null when the port is absent, taken or refused. A line setting text that does not
    // parse leaves the line configuration as it was; the open still succeeds.
    virtual std::unique_ptr<SerialPort> open(int portNo, const QString& lineSetting) = 0;

    // Why the last open returned null; Reason::None after a successful open or where the
    // opener cannot tell.
    virtual OpenFailure lastFailure() const { return {}; }

    // How later opens that wait on the network spend the wait; ignored by openers that never
    // wait.
    virtual void setOpenWait(OpenWait wait) { (void)wait; }
};
