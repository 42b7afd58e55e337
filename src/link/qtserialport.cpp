#include "link/qtserialport.h"

#include <QFile>
#include <QSerialPort>
#include <QThread>
#include <algorithm>

#include "link/linesettings.h"
#include "link/netportname.h"

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>
#endif
#ifdef Q_OS_LINUX
#include <linux/serial.h>
#endif

namespace {

QSerialPort::Parity ToQt(Parity p) {
    switch (p) {
        case Parity::Even:
            return QSerialPort::EvenParity;
        case Parity::Odd:
            return QSerialPort::OddParity;
        case Parity::None:
            break;
    }
    return QSerialPort::NoParity;
}

#ifndef Q_OS_WIN
int BaudOf(speed_t s) {
    switch (s) {
        case B1200:
            return 1200;
        case B2400:
            return 2400;
        case B4800:
            return 4800;
        case B9600:
            return 9600;
        case B19200:
            return 19200;
        case B38400:
            return 38400;
        case B57600:
            return 57600;
        case B115200:
            return 115200;
        case B230400:
            return 230400;
        default:
            return 0;
    }
}

// The line configuration the device has now. Qt applies its own configuration when it opens a
// port, so a setting that does not parse is replaced by this one to leave the device as it was.
std::optional<LineConfig> CurrentLineConfig(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return std::nullopt;
    LineConfig c;
    c.baud = BaudOf(cfgetospeed(&t));
    if (c.baud == 0) return std::nullopt;
    c.parity = !(t.c_cflag & PARENB)  ? Parity::None
               : (t.c_cflag & PARODD) ? Parity::Odd
                                      : Parity::Even;
    switch (t.c_cflag & CSIZE) {
        case CS5:
            c.dataBits = 5;
            break;
        case CS6:
            c.dataBits = 6;
            break;
        case CS7:
            c.dataBits = 7;
            break;
        default:
            c.dataBits = 8;
            break;
    }
    c.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
    return c;
}
#endif

void Configure(QSerialPort& port, const LineConfig* c) {
    if (!c) return;
    port.setBaudRate(c->baud);
    port.setParity(ToQt(c->parity));
    port.setDataBits(static_cast<QSerialPort::DataBits>(c->dataBits));
    port.setStopBits(c->stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    port.clearError();
}

#ifndef Q_OS_WIN
// The group whose members may read and write the device, when one other than root may.
QString GroupThatMayOpen(const QByteArray& path) {
    struct stat st {};
    if (::stat(path.constData(), &st) != 0) return QString();
    if (st.st_gid == 0 || (st.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP))
        return QString();
    long size = sysconf(_SC_GETGR_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 4096);
    group entry{};
    group* found = nullptr;
    while (getgrgid_r(st.st_gid, &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < (1u << 20)) {
        buffer.resize(buffer.size() * 2);
    }
    if (!found) return QString::number(st.st_gid);
    return QString::fromLocal8Bit(found->gr_name);
}

// What the system's error `err` on opening `path` tells of the device.
void ExplainErrno(OpenFailure& f, const QByteArray& path, int err) {
    switch (err) {
        case EACCES:
        case EPERM:
            f.reason = OpenFailure::Reason::PermissionDenied;
            f.group = GroupThatMayOpen(path);
            break;
        case EBUSY:
        case EWOULDBLOCK:
            f.reason = OpenFailure::Reason::InUse;
            break;
        case ENOENT:
        case ENODEV:
        case ENXIO:
            f.reason = OpenFailure::Reason::NotFound;
            break;
        default:
            f.reason = OpenFailure::Reason::Other;
            f.detail = QString::fromLocal8Bit(std::strerror(err));
            break;
    }
}

// Claims the device before Qt opens it: an exclusive flock, which other instances of the tool
// and the usual serial programs take as well. A device that another program holds (its flock,
// or its exclusive mode) is refused here, before Qt has changed its line under that program.
// Returns the descriptor that holds the lock, or -1 with the reason in `failure`.
int ClaimDevice(const QString& device, OpenFailure& failure) {
    const QByteArray path = QFile::encodeName(device);
    // Non-blocking, so that a port waiting for its carrier does not hold the window.
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        failure.device = device;
        ExplainErrno(failure, path, errno);
        return -1;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        failure.device = device;
        ExplainErrno(failure, path, errno == EWOULDBLOCK ? EBUSY : errno);
        ::close(fd);
        return -1;
    }
    return fd;
}
#endif

#ifdef Q_OS_LINUX
// A pseudo-terminal's slave (the devpts majors). It carries no parity bit, and the kernel
// refuses (EINVAL) a change of its settings whose only difference is that bit: after a
// program died with the port open, an open at even or odd parity fails although the line is
// the same as without parity.
bool IsPseudoTerminal(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    const unsigned int m = major(st.st_rdev);
    return m >= 136 && m <= 143;
}

QString LowLatencyRefused(int err) {
    switch (err) {
        case ENOTTY:
        case EINVAL:
            return QStringLiteral("low latency: not supported by this device");
        case EPERM:
        case EACCES:
            return QStringLiteral("low latency: not permitted");
        default:
            return QStringLiteral("low latency: ") + QString::fromLocal8Bit(std::strerror(err));
    }
}

// Switches the device to low latency. True when this changed its flag; `note` says what
// happened.
bool SetLowLatency(int fd, QString& note) {
    serial_struct ss{};
    if (::ioctl(fd, TIOCGSERIAL, &ss) != 0) {
        note = LowLatencyRefused(errno);
        return false;
    }
    if (ss.flags & ASYNC_LOW_LATENCY) {
        note = QStringLiteral("low latency: already on");
        return false;
    }
    ss.flags |= ASYNC_LOW_LATENCY;
    if (::ioctl(fd, TIOCSSERIAL, &ss) != 0) {
        note = LowLatencyRefused(errno);
        return false;
    }
    note = QStringLiteral("low latency: on");
    return true;
}

// Puts back the flag the device had before SetLowLatency; the other flags stay as they are.
void ClearLowLatency(int fd) {
    serial_struct ss{};
    if (::ioctl(fd, TIOCGSERIAL, &ss) != 0) return;
    ss.flags &= ~ASYNC_LOW_LATENCY;
    ::ioctl(fd, TIOCSSERIAL, &ss);
}
#endif

}  // namespace

QtSerialPort::QtSerialPort(std::unique_ptr<QSerialPort> port, int lockFd)
    : port_(std::move(port)), lockFd_(lockFd) {}

QtSerialPort::~QtSerialPort() {
    close();
}

std::unique_ptr<QtSerialPort> QtSerialPort::openDevice(const QString& device,
                                                       const QString& lineSetting,
                                                       OpenFailure* failure) {
    OpenFailure ignored;
    OpenFailure& why = failure ? *failure : ignored;
    why = OpenFailure{};
    if (device.isEmpty()) {
        why.reason = OpenFailure::Reason::NoDevice;
        return nullptr;
    }
    int lockFd = -1;
    std::optional<LineConfig> config = ParseLineSetting(lineSetting);
#ifndef Q_OS_WIN
    lockFd = ClaimDevice(device, why);
    if (lockFd < 0) return nullptr;
    if (!config) config = CurrentLineConfig(lockFd);
#endif
    auto port = std::make_unique<QSerialPort>();
    port->setPortName(device);
    // Configured before the open: Qt applies these settings as it opens the device.
    Configure(*port, config ? &*config : nullptr);
    bool parityDropped = false;
    if (!port->open(QIODevice::ReadWrite)) {
#ifdef Q_OS_LINUX
        // A pty has no parity to set: the same open without it is the same line.
        if (config && config->parity != Parity::None && IsPseudoTerminal(lockFd)) {
            LineConfig plain = *config;
            plain.parity = Parity::None;
            auto again = std::make_unique<QSerialPort>();
            again->setPortName(device);
            Configure(*again, &plain);
            if (again->open(QIODevice::ReadWrite)) {
                port = std::move(again);
                parityDropped = true;
            }
        }
#endif
    }
    if (!port->isOpen()) {
        why = ExplainOpenFailure(device, port->error(), port->errorString());
#ifndef Q_OS_WIN
        ::close(lockFd);
#endif
        return nullptr;
    }
#ifndef Q_OS_WIN
    // Exclusive mode: any further open of the device fails with EBUSY, whichever program tries
    // (root excepted, whom the flock still stops if it asks for one).
    ::ioctl(static_cast<int>(port->handle()), TIOCEXCL);
#endif
    auto opened = std::make_unique<QtSerialPort>(std::move(port), lockFd);
#ifdef Q_OS_LINUX
    opened->lowLatencySet_ =
        SetLowLatency(static_cast<int>(opened->port_->handle()), opened->note_);
#endif
    if (parityDropped) opened->note_ += QStringLiteral("; parity: a pseudo-terminal keeps none");
    return opened;
}

int QtSerialPort::readByte() {
    return readByteWithin(1);
}

int QtSerialPort::bufferedByte() {
    if (!port_ || failed_) return -1;
    // Bytes read straight off the device came before any Qt's notifier read since.
    if (taken_ < held_) return heldBytes_[taken_++];
    char c = 0;
    if (port_->bytesAvailable() == 0 || port_->read(&c, 1) != 1) return -1;
    return static_cast<uint8_t>(c);
}

QIODevice* QtSerialPort::eventDevice() {
    return port_ && !failed_ ? port_.get() : nullptr;
}

int QtSerialPort::readByteWithin(int waitMs) {
    // 0 looks without waiting.
    waitMs = std::max(waitMs, 0);
    if (!port_ || failed_) {
        QThread::msleep(static_cast<unsigned long>(std::max(waitMs, 1)));
        return -1;
    }
    const int buffered = bufferedByte();
    if (buffered >= 0) return buffered;
#ifndef Q_OS_WIN
    // Sleeps on the device until a byte arrives or the time is up, then reads all that has
    // come in one call, past Qt's buffer and its signals: a bus worker does this for every
    // reply. The device is non-blocking, so the read never waits.
    const int fd = static_cast<int>(port_->handle());
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, waitMs) <= 0) return -1;
    const ssize_t n = ::read(fd, heldBytes_, sizeof heldBytes_);
    if (n > 0) {
        held_ = static_cast<int>(n);
        taken_ = 1;
        return heldBytes_[0];
    }
    // Readable with nothing to read is a hang-up (a pty whose far end closed) or an error (an
    // adapter pulled): the port is not read again until closed.
    if (n == 0 || (errno != EAGAIN && errno != EINTR)) failed_ = true;
    return -1;
#else
    // Events processed elsewhere may already have moved bytes into Qt's buffer, in which case
    // waitForReadyRead would report nothing new: looked at above.
    port_->waitForReadyRead(waitMs);
    const QSerialPort::SerialPortError err = port_->error();
    if (err != QSerialPort::NoError) {
        port_->clearError();
        if (err != QSerialPort::TimeoutError) {
            failed_ = true;
            return -1;
        }
    }
    return bufferedByte();
#endif
}

bool QtSerialPort::write(const uint8_t* bytes, int count) {
    if (!port_ || count < 0) return false;
    if (count == 0) return true;
#ifndef Q_OS_WIN
    // With nothing queued in Qt's buffer the bytes go straight to the device: one system call
    // rather than a wait for room and then the write. What does not fit, or an error, takes
    // Qt's way, which reports it as before.
    if (!failed_ && port_->bytesToWrite() == 0) {
        const ssize_t done = ::write(static_cast<int>(port_->handle()), bytes, size_t(count));
        if (done == count) return true;
        if (done > 0) bytes += done, count -= static_cast<int>(done);
    }
#endif
    const qint64 n = port_->write(reinterpret_cast<const char*>(bytes), count);
    if (n != count) return false;
    while (port_->bytesToWrite() > 0) {
        if (!port_->waitForBytesWritten(1000)) {
            port_->clearError();
            return false;
        }
    }
    return true;
}

void QtSerialPort::purge() {
    if (!port_) return;
#ifdef Q_OS_WIN
    port_->clear(QSerialPort::AllDirections);
#else
    // On Windows a write returns once its bytes have left, so the output purge there never
    // drops anything. Here write() returns with the bytes still in the kernel's buffer, and
    // an output flush would drop them (raw data written just before the port closes): let
    // them leave, then drop only what waits to be read.
    if (!failed_) tcdrain(static_cast<int>(port_->handle()));
    held_ = taken_ = 0;
    port_->clear(QSerialPort::Input);
#endif
    port_->clearError();
}

void QtSerialPort::close() {
    if (!port_) return;
#ifdef Q_OS_LINUX
    if (port_->isOpen() && lowLatencySet_) ClearLowLatency(static_cast<int>(port_->handle()));
    lowLatencySet_ = false;
#endif
#ifndef Q_OS_WIN
    if (port_->isOpen()) ::ioctl(static_cast<int>(port_->handle()), TIOCNXCL);
#endif
    port_->close();  // Qt puts back the settings the device had when it was opened
    port_.reset();
#ifndef Q_OS_WIN
    if (lockFd_ >= 0) ::close(lockFd_);  // gives up the flock
#endif
    lockFd_ = -1;
}

QtPortOpener::QtPortOpener(std::function<QString(int)> deviceFor)
    : deviceFor_(std::move(deviceFor)) {}

std::unique_ptr<SerialPort> QtPortOpener::open(int portNo, const QString& lineSetting) {
    if (portNo <= 0) {
        lastFailure_ = OpenFailure{};
        lastFailure_.reason = OpenFailure::Reason::NoDevice;
        return nullptr;
    }
    const QString named = deviceFor_ ? deviceFor_(portNo) : QString();
    // A port on a serial device server, whichever number names it.
    if (IsNetworkPortName(named)) return OpenNetworkPort(named, lineSetting, &lastFailure_, &wait_);
#ifdef Q_OS_WIN
    const QString device = QStringLiteral("COM%1").arg(portNo);
#else
    const QString device = named;
#endif
    return QtSerialPort::openDevice(device, lineSetting, &lastFailure_);
}

OpenFailure ExplainOpenFailure(const QString& device, QSerialPort::SerialPortError error,
                               const QString& errorText) {
    OpenFailure f;
    f.device = device;
    f.detail = errorText;
    if (device.isEmpty()) {
        f.reason = OpenFailure::Reason::NoDevice;
        return f;
    }
    if (error == QSerialPort::DeviceNotFoundError) {
        f.reason = OpenFailure::Reason::NotFound;
        return f;
    }
#ifdef Q_OS_WIN
    // Windows opens a COM port for one program at a time: access denied means taken.
    f.reason = error == QSerialPort::PermissionError ? OpenFailure::Reason::InUse
                                                     : OpenFailure::Reason::Other;
#else
    const QByteArray path = QFile::encodeName(device);
    // Non-blocking, so that a port waiting for its carrier does not hold the window. The
    // device is not ours, so closing it hangs up nothing that another program holds.
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    const int err = fd < 0 ? errno : 0;
    if (fd >= 0) ::close(fd);
    if (err == 0) {
        // The system would open it, Qt would not: another program holds its lock file.
        f.reason = error == QSerialPort::PermissionError ? OpenFailure::Reason::InUse
                                                         : OpenFailure::Reason::Other;
    } else {
        ExplainErrno(f, path, err);
    }
#endif
    return f;
}
