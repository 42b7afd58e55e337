#include "link/netserialport.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QMutex>
#include <QSet>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>
#include <algorithm>

#ifndef Q_OS_WIN
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#endif

namespace {

// Server addresses this program has open: one connection per port.
QMutex gHeldMutex;
QSet<QString>& Held() {
    static QSet<QString> held;
    return held;
}

QString ParityText(Parity p) {
    switch (p) {
        case Parity::Even:
            return QStringLiteral("e");
        case Parity::Odd:
            return QStringLiteral("o");
        case Parity::None:
            break;
    }
    return QStringLiteral("n");
}

QString LineText(const LineConfig& c) {
    return QStringLiteral("%1,%2,%3,%4")
        .arg(c.baud)
        .arg(ParityText(c.parity))
        .arg(c.dataBits)
        .arg(c.stopBits);
}

OpenFailure Failure(OpenFailure::Reason reason, const QString& device, const QString& detail = {}) {
    OpenFailure f;
    f.reason = reason;
    f.device = device;
    f.detail = detail;
    return f;
}

// The start of what a server wrote before it hung up (ser2net: "Port's device already in
// use"), as one line of printable text.
QString PrintableStart(const std::string& bytes) {
    QString out;
    for (const char ch : bytes) {
        const auto b = static_cast<uint8_t>(ch);
        if (out.size() >= 80) break;
        out += b >= 0x20 && b < 0x7F ? QChar(b) : QChar(u' ');
    }
    return out.simplified();
}

// Asks the system to acknowledge what arrives at once rather than after its delay (40 ms on
// Linux). A server that sends its answer to a purge and then the module's reply, without
// TCP_NODELAY, holds the reply back until the answer is acknowledged. The system falls back
// to delaying now and then, so this is asked again around every exchange.
void QuickAck(QTcpSocket& socket) {
#ifdef TCP_QUICKACK
    const int fd = static_cast<int>(socket.socketDescriptor());
    const int on = 1;
    if (fd >= 0) ::setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
#else
    (void)socket;
#endif
}

}  // namespace

NetSerialPort::NetSerialPort(const NetPortName& name, QString key)
    : name_(name), key_(std::move(key)), socket_(std::make_unique<QTcpSocket>()) {}

NetSerialPort::~NetSerialPort() {
    close();
}

std::unique_ptr<NetSerialPort> NetSerialPort::open(const QString& nameText,
                                                   const QString& lineSetting, OpenFailure* failure,
                                                   const OpenWait* wait) {
    OpenFailure ignored;
    OpenFailure& why = failure ? *failure : ignored;
    why = OpenFailure{};
    const QString device = nameText.trimmed();
    QString error;
    const std::optional<NetPortName> name = ParseNetPortName(device, &error);
    if (!name) {
        why = Failure(OpenFailure::Reason::BadName, device, error);
        return nullptr;
    }
    if (name->kind == NetPortName::Kind::Raw && name->line) {
        // The line of a raw port is the server's: talking at another rate would only garble.
        const std::optional<LineConfig> asked = ParseLineSetting(lineSetting);
        if (asked && *asked != *name->line) {
            why = Failure(OpenFailure::Reason::LineSettingRefused, device,
                          QStringLiteral("the raw port is fixed at %1").arg(LineText(*name->line)));
            return nullptr;
        }
    }
    const QString key = name->host.toLower() + QLatin1Char(':') + QString::number(name->port);
    {
        QMutexLocker lock(&gHeldMutex);
        if (Held().contains(key)) {
            why = Failure(OpenFailure::Reason::InUse, device);
            return nullptr;
        }
        Held().insert(key);
    }
    std::unique_ptr<NetSerialPort> port(new NetSerialPort(*name, key));
    if (!port->connectAndNegotiate(lineSetting, why, wait)) {
        why.device = device;
        return nullptr;  // the port's destructor gives the address back
    }
    return port;
}

bool NetSerialPort::waitSlice(int ms, const OpenWait* wait) {
    if (wait && wait->cancel && wait->cancel()) return false;
    // Slices of the event loop rather than the socket's blocking waits: a window that opens
    // the port keeps painting and taking input, and a cancel is seen within one slice.
    QEventLoop loop;
    QTimer slice;
    slice.setSingleShot(true);
    QObject::connect(&slice, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(socket_.get(), &QAbstractSocket::connected, &loop, &QEventLoop::quit);
    QObject::connect(socket_.get(), &QIODevice::readyRead, &loop, &QEventLoop::quit);
    QObject::connect(socket_.get(), &QAbstractSocket::errorOccurred, &loop, &QEventLoop::quit);
    QObject::connect(socket_.get(), &QAbstractSocket::disconnected, &loop, &QEventLoop::quit);
    slice.start(std::clamp(ms, 1, 20));
    loop.exec();
    return !(wait && wait->cancel && wait->cancel());
}

bool NetSerialPort::connectAndNegotiate(const QString& lineSetting, OpenFailure& why,
                                        const OpenWait* wait) {
    const QDeadlineTimer deadline(name_.timeoutMs, Qt::PreciseTimer);
    const auto noAnswer = [&] {
        why.reason = OpenFailure::Reason::NoAnswer;
        why.boundMs = name_.timeoutMs;
        return false;
    };
    const auto cancelled = [&] {
        why.reason = OpenFailure::Reason::Cancelled;
        return false;
    };
    if (wait && wait->connecting)
        wait->connecting(name_.host.contains(':')
                             ? QStringLiteral("[%1]:%2").arg(name_.host).arg(name_.port)
                             : QStringLiteral("%1:%2").arg(name_.host).arg(name_.port));
    bool socketError = false;
    QObject::connect(socket_.get(), &QAbstractSocket::errorOccurred, socket_.get(),
                     [&socketError](QAbstractSocket::SocketError) { socketError = true; });
    socket_->connectToHost(name_.host, name_.port);
    while (socket_->state() != QAbstractSocket::ConnectedState) {
        if (socketError || socket_->state() == QAbstractSocket::UnconnectedState) {
            switch (socket_->error()) {
                case QAbstractSocket::ConnectionRefusedError:
                    why.reason = OpenFailure::Reason::ConnectionRefused;
                    break;
                case QAbstractSocket::HostNotFoundError:
                    why.reason = OpenFailure::Reason::HostNotFound;
                    break;
                case QAbstractSocket::SocketTimeoutError:
                    return noAnswer();
                default:
                    why.reason = OpenFailure::Reason::Other;
                    why.detail = socket_->errorString();
                    break;
            }
            socket_->disconnect(socket_.get());
            return false;
        }
        if (deadline.hasExpired()) {
            socket_->abort();
            socket_->disconnect(socket_.get());
            return noAnswer();
        }
        if (!waitSlice(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())), wait)) {
            socket_->abort();
            socket_->disconnect(socket_.get());
            return cancelled();
        }
    }
    socket_->disconnect(socket_.get());
    // Each exchange is a few bytes each way: they go at once rather than wait to be gathered.
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    socket_->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    QObject::connect(socket_.get(), &QIODevice::readyRead, &arrival_, [this] {
        if (pump()) arrival_.arrived();
    });
    QObject::connect(socket_.get(), &QAbstractSocket::disconnected, &arrival_, [this] { lose(); });
    QObject::connect(socket_.get(), &QAbstractSocket::errorOccurred, &arrival_,
                     [this](QAbstractSocket::SocketError e) {
                         if (e != QAbstractSocket::SocketTimeoutError) lose();
                     });

    if (name_.kind == NetPortName::Kind::Raw) return true;

    const std::optional<LineConfig> config = ParseLineSetting(lineSetting);
    // The purge goes first: whether the server answers it is known once the line is set, as
    // the server answers in order.
    std::string hello = codec_.start() + codec_.purgeReceived();
    if (config) hello += codec_.setLine(*config);
    if (!send(hello)) {
        why.reason = OpenFailure::Reason::ConnectionClosed;
        return false;
    }
    const auto lineSet = [&] {
        return codec_.baudRate() && codec_.dataSize() && codec_.parity() && codec_.stopSize();
    };
    for (;;) {
        pump();
        if (codec_.comPort() == TelnetCodec::ComPort::Refused) {
            why.reason = OpenFailure::Reason::ComPortRefused;
            return false;
        }
        if (codec_.comPort() == TelnetCodec::ComPort::Agreed && (!config || lineSet())) break;
        if (failed_) {
            why.reason = OpenFailure::Reason::ConnectionClosed;
            why.detail = PrintableStart(in_);
            return false;
        }
        if (deadline.hasExpired()) return noAnswer();
        if (!waitSlice(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())), wait))
            return cancelled();
        if (socket_->state() != QAbstractSocket::ConnectedState) failed_ = true;
    }
    if (config) {
        const LineConfig& c = *config;
        const bool same = *codec_.baudRate() == static_cast<uint32_t>(c.baud) &&
                          *codec_.dataSize() == c.dataBits &&
                          *codec_.parity() == TelnetCodec::parityCode(c.parity) &&
                          *codec_.stopSize() == TelnetCodec::stopCode(c.stopBits);
        if (!same) {
            why.reason = OpenFailure::Reason::LineSettingRefused;
            why.detail = QStringLiteral(
                             "the server answered %1 baud, %2 data bits, parity code "
                             "%3, stop code %4")
                             .arg(*codec_.baudRate())
                             .arg(*codec_.dataSize())
                             .arg(*codec_.parity())
                             .arg(*codec_.stopSize());
            return false;
        }
    }
    // Whatever came before the line was set is not from the module at this setting.
    in_.clear();
    inAt_ = 0;
    return true;
}

bool NetSerialPort::pump() {
    if (!socket_ || !socket_->isOpen()) return false;
    const size_t before = in_.size() - inAt_;
    const QByteArray got = socket_->readAll();
    if (got.isEmpty()) return false;
    QuickAck(*socket_);
    if (inAt_ > 0 && inAt_ == in_.size()) {
        in_.clear();
        inAt_ = 0;
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(got.constData());
    if (name_.kind == NetPortName::Kind::Raw) {
        in_.append(got.constData(), static_cast<size_t>(got.size()));
    } else {
        std::string reply;
        codec_.feed(bytes, static_cast<size_t>(got.size()), in_, reply);
        if (!reply.empty()) send(reply);
    }
    return in_.size() - inAt_ > before;
}

bool NetSerialPort::send(const std::string& bytes) {
    if (!socket_ || failed_) return false;
    if (bytes.empty()) return true;
    if (socket_->write(bytes.data(), static_cast<qint64>(bytes.size())) !=
        static_cast<qint64>(bytes.size()))
        return false;
    socket_->flush();
    while (socket_ && socket_->bytesToWrite() > 0) {
        if (!socket_->waitForBytesWritten(1000)) return false;
    }
    if (socket_) QuickAck(*socket_);
    return socket_ != nullptr;
}

void NetSerialPort::lose() {
    failed_ = true;
    arrival_.lost();
}

int NetSerialPort::take() {
    if (inAt_ >= in_.size()) return -1;
    const int b = static_cast<uint8_t>(in_[inAt_++]);
    if (inAt_ == in_.size()) {
        in_.clear();
        inAt_ = 0;
    }
    return b;
}

int NetSerialPort::readByte() {
    return readByteWithin(1);
}

int NetSerialPort::readByteWithin(int waitMs) {
    waitMs = std::max(waitMs, 0);
    int b = take();
    if (b >= 0) return b;
    // A read that no write preceded after a purge: the purge goes now, or its answer would
    // never come and the data behind it would be dropped.
    if (!pendingPurge_.empty()) {
        std::string purge;
        purge.swap(pendingPurge_);
        send(purge);
    }
    if (!socket_ || failed_) {
        QThread::msleep(static_cast<unsigned long>(std::max(waitMs, 1)));
        return -1;
    }
    const QDeadlineTimer deadline(waitMs, Qt::PreciseTimer);
    for (;;) {
        pump();
        b = take();
        if (b >= 0 || failed_) return b;
#ifndef Q_OS_WIN
        // Sleeps on the socket, then lets Qt read what came. Qt's own wait would raise a
        // time-out error on every empty slice.
        pollfd p{static_cast<int>(socket_->socketDescriptor()), POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(deadline.remainingTime())) <= 0) return -1;
        socket_->waitForReadyRead(0);
#else
        socket_->waitForReadyRead(static_cast<int>(deadline.remainingTime()));
#endif
        if (socket_->state() != QAbstractSocket::ConnectedState) lose();
        b = take();
        if (b >= 0 || failed_ || deadline.hasExpired()) return b;
        // Only Telnet commands came: the rest of the time is waited for data.
    }
}

QIODevice* NetSerialPort::eventDevice() {
    return socket_ && !failed_ ? &arrival_ : nullptr;
}

bool NetSerialPort::write(const uint8_t* bytes, int count) {
    if (!socket_ || failed_ || count < 0) return false;
    if (count == 0) return true;
    if (name_.kind == NetPortName::Kind::Raw)
        return send(std::string(reinterpret_cast<const char*>(bytes), static_cast<size_t>(count)));
    // A purge asked for since the last write goes in front, in the same segment.
    std::string out;
    out.swap(pendingPurge_);
    out.reserve(out.size() + static_cast<size_t>(count) + 4);
    TelnetCodec::escape(bytes, static_cast<size_t>(count), out);
    return send(out);
}

void NetSerialPort::purge() {
    if (!socket_) return;
    // Sent with the next write: a command frame usually follows at once, and the server then
    // takes both in one read. What arrives meanwhile is dropped here as the server would.
    if (name_.kind == NetPortName::Kind::Rfc2217 && !failed_ && pendingPurge_.empty())
        pendingPurge_ = codec_.purgeReceived();
    pump();
    in_.clear();
    inAt_ = 0;
}

void NetSerialPort::close() {
    if (socket_) {
        QObject::disconnect(socket_.get(), nullptr, &arrival_, nullptr);
        if (socket_->state() == QAbstractSocket::ConnectedState) {
            socket_->flush();
#ifndef Q_OS_WIN
            // Ends the sending side only and waits, briefly, for the server to end its side:
            // by then it has given the device up, and the next open finds it free. Written
            // bytes are in the system's hands already and leave before the end does.
            const int fd = static_cast<int>(socket_->socketDescriptor());
            if (::shutdown(fd, SHUT_WR) == 0) {
                const QDeadlineTimer deadline(kCloseWaitMs);
                char scratch[512];
                for (;;) {
                    pollfd p{fd, POLLIN, 0};
                    const qint64 left = deadline.remainingTime();
                    if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) break;
                    const ssize_t n = ::recv(fd, scratch, sizeof scratch, 0);
                    if (n <= 0 && !(n < 0 && errno == EINTR)) break;
                }
            }
#else
            socket_->disconnectFromHost();
            if (socket_->state() != QAbstractSocket::UnconnectedState)
                socket_->waitForDisconnected(kCloseWaitMs);
#endif
        }
        socket_->abort();
        socket_.reset();
        arrival_.lost();
        pendingPurge_.clear();
    }
    if (!key_.isEmpty()) {
        QMutexLocker lock(&gHeldMutex);
        Held().remove(key_);
        key_.clear();
    }
}

QString NetSerialPort::serverSignature() const {
    return QString::fromLatin1(codec_.serverSignature().data(),
                               static_cast<qsizetype>(codec_.serverSignature().size()));
}
