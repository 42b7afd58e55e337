#pragma once
// The serial link of one module context: opens the port, sends framed commands and waits for the
// verified reply, byte by byte. It lives in the thread that uses it, the window's or a bus
// worker's, and runs that thread's event pump while it waits, so the window keeps painting and
// a worker keeps its sockets and timers going.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

#include "link/frame.h"
#include "link/serialport.h"
#include "link/trafficrecord.h"

class Link : public QObject {
    Q_OBJECT
  public:
    explicit Link(PortOpener& opener, QObject* parent = nullptr);
    ~Link() override;

    // Longest silence, from the end of sending or the last byte, before a reply is given up.
    static constexpr int kSilenceLimitMs = 200;

    bool OpenPort(int portNo, const QString& lineSetting);
    void ClosePort();
    bool isOpen() const { return hComm != nullptr; }
    bool SendByte(uint8_t b);
    bool SendBlock(const uint8_t* bytes, int count);

    // Sends one command text and waits for its reply. True when a reply frame arrived and
    // its checksum verified. A text with a byte outside printable ASCII, or too long for the
    // traffic line, is refused: nothing is written and the result is false.
    bool Transact(const QByteArray& text);
    // The same for a text as the window holds it. Its characters are checked before any
    // conversion, so a character outside printable ASCII (a Chinese character, say) refuses
    // the text rather than going out as a replacement "?".
    bool Transact(const QString& text);
    // True when Transact would send the text: printable ASCII that fits the traffic line.
    static bool IsSendable(const QString& text);

    // True when the two checksum characters of the frame in RxBuf match.
    bool VerifyReply() const;

    // Fills LogBuf with the printable form of the bytes; shortened with "..." if it does not fit.
    void RenderTraffic(int count, const uint8_t* bytes);

    // Runs while the link waits, so that the window paints and its timers tick.
    // Defaults to QCoreApplication::processEvents.
    void setEventPump(std::function<void()> pump) { pump_ = std::move(pump); }

    // The traffic lines as last shown.
    QString sentLine() const { return sentLine_; }
    QString receivedLine() const { return receivedLine_; }

    // Wire-level state, as the operations read it after a transaction.
    std::unique_ptr<SerialPort> hComm;
    uint8_t RxBuf[wire::kBufferSize] = {};
    int RxPos = 0;
    char LogBuf[wire::kBufferSize] = {};
    QByteArray LastReply;

  signals:
    void sentTraffic(const QString& line);
    void receivedTraffic(const QString& line);

  private:
    void pump();
    void setLogBuf(const std::string& line);
    // Sleeps for the time `bytes` take on the open line, one wait slice at most.
    void SleepThrough(int bytes) const;
    void rememberReplyLength(const std::string& cmd, int length);

    // The length of the last verified reply to each command text, and the time a byte takes on
    // the line the port was opened with: a link that sleeps on the port between bytes sleeps
    // through a reply it can foresee instead of waking for every byte.
    std::unordered_map<std::string, int> replyLength_;
    std::chrono::nanoseconds byteTime_{0};

    PortOpener& opener_;
    std::function<void()> pump_;
    QString sentLine_;
    QString receivedLine_;

    // Traffic reporting: every open, frame, reply and raw write goes to the sink while one is
    // set; without one the link only tests the pointer.
  public:
    void setTrafficSink(TrafficSink* sink) { traffic_ = sink; }
    TrafficSink* trafficSink() const { return traffic_; }
  signals:
    // After every OpenPort; the reason is None when the port opened.
    void portOpenResult(int portNo, const OpenFailure& failure);

  private:
    void reportOpen(const QString& lineSetting);
    void reportFrame(const std::string& text, const std::string& sum);
    void reportReply(bool verified);
    TrafficSink* traffic_ = nullptr;
    int portNo_ = 0;
    // Whether the last frame Transact wrote failed to go out, for the traffic log.
    bool frameWriteFailed_ = false;
};
