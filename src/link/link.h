#pragma once
// The serial link of one module context: opens the port, sends framed commands and waits for the
// verified reply. It lives in the thread that uses it, the window's or a bus worker's. In the
// window it waits in the event loop, so the window keeps painting; a worker that gives it a
// pump of its own has it sleep on the port instead, and through the rest of a reply whose
// length it has seen before, so that many buses at once cost little CPU.

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
    // Sleeps for `span`, `mostMs` at most.
    static void SleepFor(std::chrono::nanoseconds span, int mostMs);

    // What a link that sleeps on its port knows of the last verified reply to a command text:
    // its length, and how long it took from the end of sending to its last byte.
    struct Foreseen {
        int length = 0;
        std::chrono::nanoseconds took{0};
        int heard = 0;  // verified replies had, counted up to 2
        // A reply of `replyLength` was all there at the foreseen time: try a little sooner
        // next time.
        void sooner(int replyLength);
    };
    // After a verified reply that was not all there at a foreseen time (`missed`), or was not
    // foreseen at all; `seen` is what the table held for `cmd` when it was sent, or null.
    void learn(Foreseen* seen, const std::string& cmd, int length,
               std::chrono::steady_clock::time_point sent, bool missed);
    std::unordered_map<std::string, Foreseen> foreseen_;
    // The time a byte takes on the line the port was opened with.
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
