#include "link/link.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QIODevice>
#include <QSerialPort>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "link/linesettings.h"

#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif

namespace {

uint32_t NowMs() {
    using namespace std::chrono;
    // Truncated to 32 bits on purpose: silences are measured modulo 2^32, so a wrap does no harm.
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Longest sleep of one read while a reply is awaited on a port that cannot wait in the event
// loop: the window gets its events between reads, so this keeps it painting and its timers
// ticking (over 50 times a second).
constexpr int kWaitSliceMs = 19;

// Longest sleep through a foreseen reply: as often as a bus worker's pump looks at its events.
constexpr int kForeseenSleepMs = 50;

// How long the next read may sleep: one slice, but never past the end of the silence limit.
int WaitSliceMs(uint32_t last) {
    const uint32_t silent = NowMs() - last;
    const uint32_t end = static_cast<uint32_t>(Link::kSilenceLimitMs) + 1;
    if (silent >= end) return 1;
    return static_cast<int>(std::min<uint32_t>(end - silent, kWaitSliceMs));
}

// Runs the event loop until `device` has bytes to read or `ms` have passed. The window's events
// and timers are served as they come meanwhile.
void WaitInEventLoop(QIODevice& device, int ms) {
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&device, &QIODevice::readyRead, &loop, &QEventLoop::quit);
    // A port that closes or fails meanwhile ends the wait too.
    QObject::connect(&device, &QIODevice::aboutToClose, &loop, &QEventLoop::quit);
    QObject::connect(&device, &QObject::destroyed, &loop, &QEventLoop::quit);
    if (auto* port = qobject_cast<QSerialPort*>(&device))
        QObject::connect(port, &QSerialPort::errorOccurred, &loop, &QEventLoop::quit);
    deadline.start(std::max(ms, 1));
    loop.exec();
}

}  // namespace

Link::Link(PortOpener& opener, QObject* parent) : QObject(parent), opener_(opener) {}

Link::~Link() = default;

bool Link::OpenPort(int portNo, const QString& lineSetting) {
    const std::optional<LineConfig> line = ParseLineSetting(lineSetting);
    byteTime_ = line ? ByteTime(*line) : std::chrono::nanoseconds(0);
    hComm = opener_.open(portNo, lineSetting);
    portNo_ = portNo;
    reportOpen(lineSetting);
    return hComm != nullptr;
}

void Link::ClosePort() {
    if (!hComm) return;
    hComm->purge();
    hComm->close();
    hComm.reset();
}

bool Link::SendByte(uint8_t b) {
    return SendBlock(&b, 1);
}

bool Link::SendBlock(const uint8_t* bytes, int count) {
    if (!hComm) return false;
    const bool ok = hComm->write(bytes, count);
    if (traffic_) {
        TrafficEvent e;
        e.kind = TrafficEvent::Kind::RawWrite;
        e.port = portNo_;
        e.bytes = bytes;
        e.count = count;
        e.outcome = ok ? TrafficEvent::Outcome::Ok : TrafficEvent::Outcome::WriteFailed;
        traffic_->record(e);
    }
    return ok;
}

void Link::pump() {
    if (pump_) {
        pump_();
    } else if (QCoreApplication::instance()) {
        QCoreApplication::processEvents();
    }
}

void Link::setLogBuf(const std::string& line) {
    std::memset(LogBuf, 0, sizeof LogBuf);
    constexpr size_t kRoom = sizeof LogBuf - 1;
    if (line.size() <= kRoom) {
        std::memcpy(LogBuf, line.data(), line.size());
    } else {
        constexpr char kEllipsis[] = "...";
        const size_t keep = kRoom - (sizeof kEllipsis - 1);
        std::memcpy(LogBuf, line.data(), keep);
        std::memcpy(LogBuf + keep, kEllipsis, sizeof kEllipsis - 1);
    }
}

void Link::RenderTraffic(int count, const uint8_t* bytes) {
    setLogBuf(wire::RenderBytes(bytes, count));
}

bool Link::VerifyReply() const {
    return wire::VerifyReplyBytes(RxBuf, RxPos);
}

bool Link::IsSendable(const QString& text) {
    if (text.size() > wire::kMaxCommandText) return false;
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7E) return false;
    }
    return true;
}

bool Link::Transact(const QString& text) {
    if (!IsSendable(text)) return false;
    return Transact(text.toLatin1());
}

bool Link::Transact(const QByteArray& text) {
    const std::string cmd(text.constData(), static_cast<size_t>(text.size()));
    // A control byte would end or corrupt the frame on the wire, and an over-long text would
    // not fit the traffic line: such a text never reaches the module.
    if (!hComm || !wire::IsSendableCommandText(cmd)) return false;

    std::memset(RxBuf, 0, sizeof RxBuf);
    const std::string sum = ByteToHex(XorChecksum(cmd));
    setLogBuf("[09]" + cmd + sum + "[0D]");

    hComm->purge();
    // The whole frame in one write: start, text, checksum and end leave together.
    std::string frame;
    frame.reserve(cmd.size() + 4);
    frame += static_cast<char>(wire::kCommandStart);
    frame += cmd;
    frame += sum;
    frame += static_cast<char>(wire::kFrameEnd);
    frameWriteFailed_ = !hComm->write(reinterpret_cast<const uint8_t*>(frame.data()),
                                      static_cast<int>(frame.size()));

    sentLine_ = QString::fromLatin1(LogBuf);
    emit sentTraffic(sentLine_);
    if (traffic_) reportFrame(cmd, sum);
    pump();

    bool result = false;
    RxPos = 0;
    uint32_t last = NowMs();
    // With no pump of its own to call, the link can wait in the event loop, on ports that
    // signal their bytes; otherwise it sleeps on the port a slice at a time. Asked anew each
    // time: a read may find the port failed, which then waits in slices.
    const auto eventDevice = [this]() -> QIODevice* {
        return hComm && !pump_ && QCoreApplication::instance() ? hComm->eventDevice() : nullptr;
    };
    // A link that sleeps on its port foresees a reply it has had before: it sleeps for as long
    // as the last one took to arrive whole, then takes it in one read, waking once rather than
    // for every byte. Whenever the reply was not all there by then, the time it did take is
    // learnt; whenever it was, the next sleep is a little shorter, so that a module grown
    // quicker is followed and a reply is never kept waiting for long.
    using namespace std::chrono;
    const auto sent = steady_clock::now();
    const auto known = foreseen_.find(cmd);
    Foreseen* const seen = known == foreseen_.end() ? nullptr : &known->second;
    const int expected = seen ? seen->length : 0;
    // Foreseen only once two replies have been had: the first after an open can be slow.
    const bool wasForeseen = seen && seen->heard >= 2 && !eventDevice();
    bool foresee = wasForeseen;
    if (foresee) SleepFor(seen->took, kForeseenSleepMs);
    for (;;) {
        int b = -1;
        if (foresee) {
            b = hComm ? hComm->readByteWithin(0) : -1;
            if (b < 0) foresee = false;  // not all there: from here on the link waits for it
        }
        if (b < 0 && hComm && RxPos > 0 && expected - RxPos >= 2 && !eventDevice()) {
            // The rest is coming in: once the bytes at hand are read, sleep through the ones
            // still on the wire but the last rather than waking for each. Arriving no faster
            // than the line's rate, they are not kept waiting; a shorter reply is read at most
            // the difference late.
            b = hComm->bufferedByte();
            if (b < 0) SleepFor(byteTime_ * (expected - RxPos - 1), kWaitSliceMs);
        }
        if (b < 0 && hComm) b = hComm->readByteWithin(eventDevice() ? 0 : WaitSliceMs(last));
        if (b >= 0) {
            last = NowMs();
            if (RxPos >= wire::kMaxReply) {
                // No reply the tool reads is anywhere near this long; give up rather than
                // overwrite what has been received.
                break;
            }
            RxBuf[RxPos++] = static_cast<uint8_t>(b);
            if (b == wire::kFrameEnd && RxBuf[0] == wire::kReplyStart) {
                RxBuf[RxPos] = 0;
                LastReply = QByteArray(reinterpret_cast<const char*>(RxBuf), RxPos);
                result = VerifyReply();
                if (result && foresee) seen->sooner(RxPos);
                if (result && !foresee) learn(seen, cmd, RxPos, sent, wasForeseen);
                break;
            }
        } else {
            const uint32_t silent = NowMs() - last;
            QIODevice* device =
                silent <= static_cast<uint32_t>(kSilenceLimitMs) ? eventDevice() : nullptr;
            if (device) {
                WaitInEventLoop(*device, static_cast<int>(kSilenceLimitMs + 1 - silent));
            } else {
                pump();
            }
            if (static_cast<uint32_t>(NowMs() - last) > static_cast<uint32_t>(kSilenceLimitMs))
                break;
        }
    }

    RenderTraffic(RxPos, RxBuf);
    receivedLine_ = QString::fromLatin1(LogBuf);
    emit receivedTraffic(receivedLine_);
    if (traffic_) reportReply(result);
    pump();
    return result;
}

void Link::SleepFor(std::chrono::nanoseconds span, int mostMs) {
    span = std::min<std::chrono::nanoseconds>(span, std::chrono::milliseconds(mostMs));
    if (span <= std::chrono::nanoseconds(0)) return;
#ifdef Q_OS_LINUX
    // The kernel may let a sleep run 50 us over by default, on every exchange of a bus; a
    // thread that sleeps through replies asks for its sleeps to end on time.
    thread_local const bool precise = prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL) == 0;
    (void)precise;
#endif
    std::this_thread::sleep_for(span);
}

void Link::Foreseen::sooner(int replyLength) {
    length = replyLength;
    // A step well below the time a wake-up takes: a reply is then read no later than that
    // after its last byte, and it takes many replies before one is missed again.
    took = std::max(took - std::chrono::microseconds(10), std::chrono::nanoseconds(0));
}

void Link::learn(Foreseen* seen, const std::string& cmd, int length,
                 std::chrono::steady_clock::time_point sent, bool missed) {
    const auto took = std::chrono::steady_clock::now() - sent;
    if (seen) {
        seen->length = length;
        // A reply that came later than foreseen sets the time; before foreseeing begins, the
        // quicker of the first replies does.
        seen->took = missed ? took : std::min<std::chrono::nanoseconds>(seen->took, took);
        seen->heard = std::min(seen->heard + 1, 2);
        return;
    }
    // A context sends few distinct texts; a caller that sends many (a scan of every ID, typed
    // commands) must not grow the table without end.
    constexpr size_t kMostTexts = 512;
    if (foreseen_.size() >= kMostTexts) foreseen_.clear();
    foreseen_.emplace(cmd, Foreseen{length, took, 1});
}

void Link::reportOpen(const QString& lineSetting) {
    TrafficEvent e;
    e.port = portNo_;
    if (hComm) {
        e.kind = TrafficEvent::Kind::Opened;
        e.lineSetting = lineSetting;
        e.note = hComm->openNote();
    } else {
        e.kind = TrafficEvent::Kind::OpenFailed;
        e.failure = opener_.lastFailure();
    }
    emit portOpenResult(portNo_, e.failure);
    if (traffic_) traffic_->record(e);
}

void Link::reportFrame(const std::string& text, const std::string& sum) {
    std::string frame;
    frame.reserve(text.size() + 4);
    frame += static_cast<char>(wire::kCommandStart);
    frame += text;
    frame += sum;
    frame += static_cast<char>(wire::kFrameEnd);
    TrafficEvent e;
    e.kind = TrafficEvent::Kind::Sent;
    e.port = portNo_;
    e.bytes = reinterpret_cast<const uint8_t*>(frame.data());
    e.count = static_cast<int>(frame.size());
    e.outcome = frameWriteFailed_ ? TrafficEvent::Outcome::WriteFailed : TrafficEvent::Outcome::Ok;
    traffic_->record(e);
}

void Link::reportReply(bool verified) {
    using Outcome = TrafficEvent::Outcome;
    TrafficEvent e;
    e.kind = TrafficEvent::Kind::Received;
    e.port = portNo_;
    e.bytes = RxBuf;
    e.count = RxPos;
    const bool whole =
        RxPos > 1 && RxBuf[0] == wire::kReplyStart && RxBuf[RxPos - 1] == wire::kFrameEnd;
    e.outcome = verified     ? Outcome::Ok
                : whole      ? Outcome::BadChecksum
                : RxPos == 0 ? Outcome::NoReply
                             : Outcome::Incomplete;
    traffic_->record(e);
}
