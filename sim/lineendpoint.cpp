#include "sim/lineendpoint.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/inotify.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

struct BaudPair {
    speed_t code;
    int baud;
};

constexpr BaudPair kBauds[] = {
    {B1200, 1200},     {B2400, 2400},     {B4800, 4800},     {B9600, 9600},
    {B19200, 19200},   {B38400, 38400},   {B57600, 57600},   {B115200, 115200},
    {B230400, 230400}, {B460800, 460800}, {B921600, 921600},
};

int BaudOf(speed_t code) {
    for (const BaudPair& p : kBauds) {
        if (p.code == code) return p.baud;
    }
    return 0;
}

speed_t CodeOf(int baud) {
    for (const BaudPair& p : kBauds) {
        if (p.baud == baud) return p.code;
    }
    return B0;
}

std::string Errno(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

}  // namespace

LineEndpoint::LineEndpoint(ModuleHost& host) : host_(host) {}

LineEndpoint::~LineEndpoint() {
    if (!linkPath_.empty()) {
        // Only our own link: the path may have been reused meanwhile.
        char target[4096];
        const ssize_t n = readlink(linkPath_.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<size_t>(n)) == slavePath_) {
            unlink(linkPath_.c_str());
        }
    }
    if (openWatch_ >= 0) close(openWatch_);
    if (fd_ >= 0) close(fd_);
}

bool LineEndpoint::openPty(std::string* error) {
    const int fd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        if (error) *error = Errno("posix_openpt");
        return false;
    }
    if (grantpt(fd) != 0 || unlockpt(fd) != 0) {
        if (error) *error = Errno("grantpt/unlockpt");
        close(fd);
        return false;
    }
    const char* name = ptsname(fd);
    if (!name) {
        if (error) *error = Errno("ptsname");
        close(fd);
        return false;
    }
    fcntl(fd, F_SETFD, FD_CLOEXEC);
    fd_ = fd;
    slavePath_ = name;
    fresh_ = tcgetattr(fd, &freshTermios_) == 0;
    device_ = false;
#ifdef __linux__
    // Without it the pause after a hang-up only ends by its clock.
    openWatch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (openWatch_ >= 0 && inotify_add_watch(openWatch_, name, IN_OPEN) < 0) {
        close(openWatch_);
        openWatch_ = -1;
    }
#endif
    return true;
}

bool LineEndpoint::configureDevice(const LineConfig& line, std::string* error) {
    termios t{};
    if (tcgetattr(fd_, &t) != 0) {
        if (error) *error = Errno("tcgetattr");
        return false;
    }
    cfmakeraw(&t);
    const speed_t code = CodeOf(line.baud);
    if (code == B0) {
        if (error) *error = "unsupported baud rate " + std::to_string(line.baud);
        return false;
    }
    cfsetispeed(&t, code);
    cfsetospeed(&t, code);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    if (line.parity != Parity::None) t.c_cflag |= PARENB;
    if (line.parity == Parity::Odd) t.c_cflag |= PARODD;
    if (line.stopBits == 2) t.c_cflag |= CSTOPB;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (tcsetattr(fd_, TCSANOW, &t) != 0) {
        if (error) *error = Errno("tcsetattr");
        return false;
    }
    deviceLine_ = line;
    return true;
}

bool LineEndpoint::openDevice(const std::string& path, std::string* error) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = Errno(path);
        return false;
    }
    fd_ = fd;
    device_ = true;
    slavePath_.clear();
    if (!configureDevice(host_.module().lineConfig(), error)) {
        close(fd_);
        fd_ = -1;
        return false;
    }
    connected_ = true;
    return true;
}

bool LineEndpoint::placeLink(const std::string& path, std::string* error) {
    if (slavePath_.empty()) {
        if (error) *error = "no pseudo-terminal to link to";
        return false;
    }
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            if (error) *error = path + " exists and is not a symbolic link";
            return false;
        }
        unlink(path.c_str());
    }
    if (symlink(slavePath_.c_str(), path.c_str()) != 0) {
        if (error) *error = Errno("symlink " + path);
        return false;
    }
    linkPath_ = path;
    return true;
}

int LineEndpoint::hostBaud() const {
    if (fd_ < 0) return 0;
    if (device_) return deviceLine_.baud;
    termios t{};
    if (tcgetattr(fd_, &t) != 0) return 0;
    return BaudOf(cfgetospeed(&t));
}

int LineEndpoint::receivedAt(short revents) {
    int baud = hostBaud();
    if (device_) return baud;
    if (!connected_) {
        sessionBaud_ = baud;
    } else if (baud != sessionBaud_) {
        // The tool keeps one setting while it has the port open. A different one now means
        // either that it has just put back the slave's old settings on its way to closing,
        // with its last bytes (raw data awaiting no reply) still unread here, or that it
        // closed and opened again unnoticed. Only the first is followed by the hang-up.
        const bool closing = (revents & POLLHUP) || slaveClosed(kCloseGraceMs);
        if (closing) return sessionBaud_;
        sessionBaud_ = baud;
    }
    return baud;
}

bool LineEndpoint::slaveClosed(int waitMs) const {
    // A pty's master reports a hang-up for as long as no one has the slave open.
    pollfd p{fd_, 0, 0};
    return poll(&p, 1, waitMs) > 0 && (p.revents & POLLHUP);
}

void LineEndpoint::hangUp() {
    // The tool has gone, perhaps without putting back the settings it found (killed): the
    // slave gets those of a new pty again, so that the next open changes more than the parity
    // bit that a pty cannot keep (a change of that bit alone the kernel refuses).
    // The tool may have opened the line again already (a close and reopen between two
    // operations, seen late here under load): its settings are then its own and stay.
    if (!device_ && fresh_ && slaveClosed()) {
        termios left{};
        const bool known = tcgetattr(fd_, &left) == 0;
        tcsetattr(fd_, TCSANOW, &freshTermios_);
        if (known && !slaveClosed()) tcsetattr(fd_, TCSANOW, &left);
    }
    host_.dropPending();
    out_.clear();
    current_.clear();
    ends_.clear();
    pauseUntil_ = SimClock::now() + std::chrono::milliseconds(20);
    if (connected_ && onHangUp) onHangUp();
    connected_ = false;
}

bool LineEndpoint::reopenedDuringPause() {
    char events[1024];
    while (read(openWatch_, events, sizeof events) > 0) {
    }
    // An open seen before the hang-up (the tool's own, still queued) leaves the slave closed.
    if (slaveClosed()) return false;
    pauseUntil_ = SimTime{};
    return true;
}

bool LineEndpoint::waitPaused(int waitMs, int extraFd) {
    const SimTime until = SimClock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        pollfd fds[2];
        nfds_t count = 0;
        int extraIndex = -1;
        int watchIndex = -1;
        if (extraFd >= 0) {
            extraIndex = static_cast<int>(count);
            fds[count++] = pollfd{extraFd, POLLIN, 0};
        }
        if (openWatch_ >= 0) {
            watchIndex = static_cast<int>(count);
            fds[count++] = pollfd{openWatch_, POLLIN, 0};
        }
        // Rounded up: a wait cut short of the pause's end would only be followed by another.
        const auto restUs =
            std::chrono::duration_cast<std::chrono::microseconds>(until - SimClock::now()).count();
        const long long rest = restUs <= 0 ? 0 : (restUs + 999) / 1000;
        const int r = poll(count ? fds : nullptr, count, static_cast<int>(rest));
        if (r <= 0) return false;
        if (extraIndex >= 0 && fds[extraIndex].revents != 0) return true;
        if (watchIndex >= 0 && fds[watchIndex].revents != 0 && reopenedDuringPause()) return false;
        if (rest <= 0) return false;
    }
}

void LineEndpoint::sendDue() {
    const SimTime now = SimClock::now();
    bool end = false;
    for (int b; (b = host_.takeDue(now, &end)) >= 0;) {
        out_.push_back(static_cast<char>(b));
        if (end) ends_.push_back(out_.size());
    }
    if (out_.empty() || fd_ < 0) return;
    const ssize_t n = write(fd_, out_.data(), out_.size());
    if (n < 0) {
        if (errno == EIO && !device_) hangUp();
        return;
    }
    const size_t written = static_cast<size_t>(n);
    const std::string chunk = out_.substr(0, written);
    out_.erase(0, written);
    size_t used = 0;
    while (!ends_.empty() && ends_.front() <= written) {
        const size_t e = ends_.front();
        ends_.pop_front();
        current_ += chunk.substr(used, e - used);
        used = e;
        if (onSent) onSent(current_);
        current_.clear();
        // A serial device follows the module to its new line setting once the reply to "E"
        // has left.
        if (device_ && host_.module().lineConfig() != deviceLine_) {
            tcdrain(fd_);
            configureDevice(host_.module().lineConfig(), nullptr);
        }
    }
    current_ += chunk.substr(used);
    for (size_t& e : ends_) e -= written;
}

bool LineEndpoint::step(int maxWaitMs, int extraFd) {
    sendDue();
    SimTime now = SimClock::now();
    long long waitMs = maxWaitMs < 0 ? 0 : maxWaitMs;
    if (!out_.empty()) waitMs = std::min<long long>(waitMs, 1);
    if (const std::optional<SimTime> due = host_.nextDue()) {
        const auto until = std::chrono::duration_cast<std::chrono::microseconds>(*due - now);
        waitMs = std::min<long long>(waitMs, until.count() <= 0 ? 0 : (until.count() + 999) / 1000);
    }
    const bool paused = now < pauseUntil_;
    if (paused) {
        const auto until =
            std::chrono::duration_cast<std::chrono::milliseconds>(pauseUntil_ - now).count() + 1;
        waitMs = std::min<long long>(waitMs, until);
    }

    if (paused) {
        // Nothing to read from a slave that no one has open: wait on the other descriptor,
        // and on the slave being opened again, which ends the pause at once.
        const bool extraReady = waitPaused(static_cast<int>(waitMs), extraFd);
        sendDue();
        return extraReady;
    }

    pollfd fds[2];
    nfds_t count = 0;
    int lineIndex = -1;
    int extraIndex = -1;
    if (fd_ >= 0) {
        lineIndex = static_cast<int>(count);
        fds[count++] = pollfd{fd_, POLLIN, 0};
    }
    if (extraFd >= 0) {
        extraIndex = static_cast<int>(count);
        fds[count++] = pollfd{extraFd, POLLIN, 0};
    }
    const int r = poll(count ? fds : nullptr, count, static_cast<int>(waitMs));
    if (r > 0 && lineIndex >= 0) {
        const short ev = fds[lineIndex].revents;
        if (ev & POLLIN) {
            uint8_t buf[4096];
            const ssize_t n = read(fd_, buf, sizeof buf);
            if (n > 0) {
                const int baud = receivedAt(ev);
                connected_ = true;
                LineConfig line = host_.module().lineConfig();
                line.baud = baud;
                host_.receive(
                    buf, static_cast<int>(n), SimClock::now(), line,
                    device_ ? ModuleHost::LineMatch::Always : ModuleHost::LineMatch::BaudOnly);
            } else if (n < 0 && errno == EIO && !device_) {
                hangUp();
            }
        } else if (ev & (POLLHUP | POLLERR)) {
            if (!device_) hangUp();
        }
    }
    bool extraReady = r > 0 && extraIndex >= 0 && fds[extraIndex].revents != 0;
    if (now < pauseUntil_ && !extraReady) {
        // Just hung up: spend the rest of this round waiting on the other descriptor only.
        extraReady = waitPaused(static_cast<int>(std::min<long long>(waitMs, 20)), extraFd);
    }
    sendDue();
    return extraReady;
}
