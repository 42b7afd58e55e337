#include "link/trafficlog.h"

#include <QSaveFile>
#include <chrono>

#include "link/frame.h"
#include "text/messagetable.h"

namespace {

qint64 SteadyUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

QString Hex(const uint8_t* bytes, int count) {
    static const char kDigits[] = "0123456789ABCDEF";
    QString out;
    out.reserve(count * 3);
    for (int i = 0; i < count; ++i) {
        if (i > 0) out += QLatin1Char(' ');
        out += QLatin1Char(kDigits[bytes[i] >> 4]);
        out += QLatin1Char(kDigits[bytes[i] & 0x0F]);
    }
    return out;
}

// The bytes as the status bar shows them, then in hex.
QString Bytes(const TrafficEvent& e) {
    const int count = e.bytes ? e.count : 0;
    return QString::fromStdString(wire::RenderBytes(e.bytes, count)) + QStringLiteral(" | ") +
           Hex(e.bytes, count);
}

QString Ms(qint64 us) {
    return QString::number(static_cast<double>(us) / 1000.0, 'f', 1) + QStringLiteral(" ms");
}

const char* Direction(TrafficEvent::Kind kind) {
    switch (kind) {
        case TrafficEvent::Kind::Opened:
            return "open";
        case TrafficEvent::Kind::OpenFailed:
            return "not open";
        case TrafficEvent::Kind::Sent:
            return "sent";
        case TrafficEvent::Kind::Received:
            return "received";
        case TrafficEvent::Kind::RawWrite:
            break;
    }
    return "raw write";
}

}  // namespace

TrafficLog::TrafficLog(int capacity, Clock clock)
    : capacity_(capacity > 0 ? capacity : 1), clock_(clock ? std::move(clock) : Clock(SteadyUs)) {
    startUs_ = clock_();
}

void TrafficLog::setPaused(bool paused) {
    paused_ = paused;
    // A reply that arrives after a pause belongs to no frame the log has seen.
    sentUs_ = -1;
}

void TrafficLog::clear() {
    lines_.clear();
}

QStringList TrafficLog::lines() const {
    QStringList out;
    out.reserve(size());
    for (const QString& l : lines_) out << l;
    return out;
}

void TrafficLog::record(const TrafficEvent& e) {
    if (paused_) return;
    const qint64 now = clock_();
    using Kind = TrafficEvent::Kind;
    using Outcome = TrafficEvent::Outcome;
    QString body;
    switch (e.kind) {
        case Kind::Opened:
            body = e.lineSetting;
            if (!e.note.isEmpty()) body += QStringLiteral(" | ") + e.note;
            break;
        case Kind::OpenFailed: {
            QString why = e.failure.describe(Languages::kEnglish);
            if (why.isEmpty()) why = QStringLiteral("cannot open");  // the opener cannot tell
            body = e.failure.device.isEmpty() ? why : e.failure.device + QStringLiteral(": ") + why;
            break;
        }
        case Kind::Sent:
        case Kind::RawWrite:
            body = Bytes(e);
            if (e.outcome == Outcome::WriteFailed) body += QStringLiteral(" | write failed");
            break;
        case Kind::Received: {
            const bool timed = sentUs_ >= 0 && sentPort_ == e.port;
            const QString waited = timed ? Ms(now - sentUs_) : QString();
            switch (e.outcome) {
                case Outcome::NoReply:
                    body = QStringLiteral("no reply");
                    if (timed) body += QStringLiteral(" | waited ") + waited;
                    break;
                case Outcome::Incomplete:
                    body = Bytes(e) + QStringLiteral(" | no whole reply");
                    if (timed) body += QStringLiteral(", waited ") + waited;
                    break;
                case Outcome::BadChecksum:
                    body = Bytes(e) + QStringLiteral(" | bad checksum");
                    if (timed) body += QStringLiteral(", round trip ") + waited;
                    break;
                default:
                    body = Bytes(e);
                    if (timed) body += QStringLiteral(" | round trip ") + waited;
                    break;
            }
            break;
        }
    }
    if (e.kind == Kind::Sent) {
        sentUs_ = now;
        sentPort_ = e.port;
    } else if (e.kind == Kind::Received) {
        sentUs_ = -1;
    }
    add(now, e, body);
}

void TrafficLog::add(qint64 atUs, const TrafficEvent& e, const QString& body) {
    // Joined rather than filled in, so that a '%' among the bytes stays as it is.
    const QString line =
        QStringLiteral("%1 ms | ").arg((atUs - startUs_) / 1000, 8) +
        QStringLiteral("COM%1").arg(e.port).leftJustified(5) + QStringLiteral(" | ") +
        QString::fromLatin1(Direction(e.kind)).leftJustified(9) + QStringLiteral(" | ") + body;
    lines_.push_back(line);
    while (static_cast<int>(lines_.size()) > capacity_) lines_.pop_front();
    if (onLine) onLine(line);
}

bool TrafficLog::save(const QString& path, QString* error) const {
    QSaveFile file(path);
    bool ok = file.open(QIODevice::WriteOnly);
    for (auto it = lines_.cbegin(); ok && it != lines_.cend(); ++it) {
        QByteArray bytes = it->toUtf8();
        bytes += '\n';
        ok = file.write(bytes) == bytes.size();
    }
    if (ok) ok = file.commit();
    if (!ok && error) *error = file.errorString();
    return ok;
}
