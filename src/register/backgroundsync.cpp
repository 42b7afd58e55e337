// The thread that runs a program's syncs one after the other (registersync.h).
#include "register/registersync.h"

// The thread starts with the first sync asked for: a window without a server has none.
BackgroundSync::BackgroundSync(QString registerPath) : path_(std::move(registerPath)) {}

BackgroundSync::~BackgroundSync() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        wanted_.clear();
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void BackgroundSync::setDone(std::function<void(const SyncResult&)> done) {
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = std::move(done);
}

void BackgroundSync::request(const QString& uri) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        wanted_ = uri;
        if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
    }
    wake_.notify_all();
}

bool BackgroundSync::busy() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return running_ || !wanted_.isEmpty();
}

void BackgroundSync::run() {
    LowerThisThreadsPriority();
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !wanted_.isEmpty(); });
        if (stopping_) return;
        const QString uri = wanted_;
        wanted_.clear();
        running_ = true;
        lock.unlock();
        const SyncResult r = SyncRegister(path_, uri);
        lock.lock();
        running_ = false;
        if (done_) {
            const auto done = done_;
            lock.unlock();
            done(r);
            lock.lock();
        }
    }
}
