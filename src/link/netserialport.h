#pragma once
// Serial ports on a serial device server, named like a URL:
//
//   rfc2217://HOST:PORT   Telnet with the COM-PORT option: the open sets the line (baud rate,
//                         data size, parity, stop size, no flow control) and succeeds once the
//                         server has acknowledged it; purge drops the server's received bytes.
//   tcp://HOST:PORT       raw bytes: the server's line is preset and cannot be changed, so an
//                         open at a line setting other than the one named with
//                         "?line=19200,e,8,1" is refused (without one, any is taken).
//
// Both take "?timeout=SECONDS", the bound on connecting and negotiating (default 3); the
// rfc2217 name also takes pyserial's "ign_set_control" and "poll_modem" and ignores them
// (acknowledgements of flow control are never awaited here). Options are joined with '&'.
//
// One Quillon holds one connection per server address; whether another client may connect
// as well is the server's choice.

#include <QIODevice>
#include <QString>
#include <memory>
#include <optional>
#include <string>

#include "link/linesettings.h"
#include "link/netportname.h"
#include "link/openfailure.h"
#include "link/serialport.h"
#include "link/telnetcodec.h"

class QTcpSocket;

// Signals the link's wait: readyRead when data (not Telnet commands) has arrived, and
// aboutToClose when the connection is lost.
class ArrivalSignal : public QIODevice {
  public:
    ArrivalSignal() { QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered); }
    void arrived() { emit readyRead(); }
    void lost() {
        if (isOpen()) close();
    }

  protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64) override { return -1; }
};

class NetSerialPort : public SerialPort {
  public:
    ~NetSerialPort() override;

    int readByte() override;
    int readByteWithin(int waitMs) override;
    QIODevice* eventDevice() override;
    bool write(const uint8_t* bytes, int count) override;
    void purge() override;
    void close() override;

    // Connects to the server and, for rfc2217, negotiates the line setting; null when that
    // fails, and then `failure` (when given) says why.
    // The wait runs the calling thread's event loop in short slices, asking `wait` (when given)
    // whether to give up.
    static std::unique_ptr<NetSerialPort> open(const QString& name, const QString& lineSetting,
                                               OpenFailure* failure = nullptr,
                                               const OpenWait* wait = nullptr);

    // The server's signature, when an rfc2217 server sent one.
    QString serverSignature() const;

  private:
    // Longest wait at close for the server to end the connection.
    static constexpr int kCloseWaitMs = 500;

    NetSerialPort(const NetPortName& name, QString key);
    bool connectAndNegotiate(const QString& lineSetting, OpenFailure& why, const OpenWait* wait);
    // Runs the event loop until the socket has news or `ms` have passed; false when the wait
    // was cancelled.
    bool waitSlice(int ms, const OpenWait* wait);
    // Moves what the socket has received into the data buffer, answering Telnet commands.
    // True when data was added.
    bool pump();
    bool send(const std::string& bytes);
    void lose();
    int take();

    NetPortName name_;
    QString key_;  // "host:port", held while open
    std::unique_ptr<QTcpSocket> socket_;
    ArrivalSignal arrival_;
    TelnetCodec codec_;
    std::string in_;
    size_t inAt_ = 0;
    // A purge not yet sent.
    std::string pendingPurge_;
    bool failed_ = false;
};
