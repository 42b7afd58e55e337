#include "support/ptypeer.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

#include "link/frame.h"

PtyPeer::PtyPeer() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) return;
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
        ::close(master_);
        master_ = -1;
        return;
    }
    slavePath_ = ptsname(master_);
    thread_ = std::thread([this] { run(); });
}

PtyPeer::~PtyPeer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (master_ >= 0) ::close(master_);
}

void PtyPeer::queueReply(Reply reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    replies_.push_back(std::move(reply));
}

void PtyPeer::answerAlways(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    always_ = wire::BuildReplyFrame(text);
}

void PtyPeer::inject(const std::string& bytes) {
    writeAll(bytes);
}

void PtyPeer::hangUpOnNextFrame() {
    std::lock_guard<std::mutex> lock(mutex_);
    hangUp_ = true;
}

std::string PtyPeer::received() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

bool PtyPeer::waitReceived(size_t n, int timeoutMs) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                        [&] { return received_.size() >= n; });
}

void PtyPeer::clearReceived() {
    std::lock_guard<std::mutex> lock(mutex_);
    received_.clear();
}

void PtyPeer::writeAll(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size() && master_ >= 0) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

void PtyPeer::run() {
    std::string frame;
    bool inFrame = false;
    while (!stop_) {
        pollfd p{master_, POLLIN, 0};
        const int r = ::poll(&p, 1, 5);
        if (r <= 0) continue;
        if (!(p.revents & POLLIN)) {
            // The slave is closed: the master reports a hang-up until it is opened again.
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        char buf[256];
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            received_.append(buf, static_cast<size_t>(n));
        }
        cv_.notify_all();
        for (ssize_t i = 0; i < n; ++i) {
            const auto b = static_cast<uint8_t>(buf[i]);
            if (b == wire::kCommandStart) {
                inFrame = true;
                frame.clear();
            }
            if (!inFrame) continue;
            frame.push_back(static_cast<char>(b));
            if (b != wire::kFrameEnd) continue;
            inFrame = false;
            Reply reply;
            bool hangUp = false;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                hangUp = hangUp_;
                if (!replies_.empty()) {
                    reply = std::move(replies_.front());
                    replies_.pop_front();
                } else if (!always_.empty()) {
                    reply.push_back({0, always_});
                }
            }
            if (hangUp) {
                ::close(master_);
                master_ = -1;
                return;
            }
            for (const Chunk& c : reply) {
                if (c.delayMs > 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(c.delayMs));
                writeAll(c.bytes);
            }
        }
    }
}
