#include "register/registerwriter.h"

#include <QSqlQuery>
#include <chrono>

#include "register/registerstore.h"

namespace {
// How long a lock held by another writer is waited out before the register turns off.
constexpr auto kLockBound = std::chrono::seconds(60);
constexpr auto kLockRetry = std::chrono::milliseconds(20);
}  // namespace

struct RegisterWriter::Connection {
    RegisterDb db;
    std::unique_ptr<RegisterStore> store;
};

RegisterWriter::RegisterWriter(QString path) : path_(std::move(path)) {}

RegisterWriter::~RegisterWriter() {
    flush();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void RegisterWriter::setSite(const QString& site) {
    std::lock_guard<std::mutex> lock(mutex_);
    site_ = site;
}

QString RegisterWriter::site() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return site_;
}

void RegisterWriter::setOffHandler(std::function<void(const RegisterProblem&)> handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    offHandler_ = std::move(handler);
}

void RegisterWriter::setAfterOpen(std::function<void(QSqlDatabase&)> hook) {
    std::lock_guard<std::mutex> lock(mutex_);
    afterOpen_ = std::move(hook);
}

bool RegisterWriter::isOff() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return off_;
}

RegisterProblem RegisterWriter::problem() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return problem_;
}

int RegisterWriter::written() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return written_;
}

int RegisterWriter::dropped() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return dropped_;
}

void RegisterWriter::start() {
    if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
}

void RegisterWriter::open() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (off_ || stopping_) return;
        openAsked_ = true;
        start();
    }
    wake_.notify_one();
}

void RegisterWriter::post(RegisterEntry entry) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (off_ || stopping_) {
            ++dropped_;
            return;
        }
        queue_.push_back(std::move(entry));
        start();
    }
    wake_.notify_one();
}

bool RegisterWriter::flush(int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return idle_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                          [this] { return queue_.empty() && !busy_ && !openAsked_; });
}

int RegisterWriter::finish(int timeoutMs) {
    flush(timeoutMs);
    int left = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        left = static_cast<int>(queue_.size()) + (inHand_ ? 1 : 0);
        stopping_ = true;
    }
    wake_.notify_all();
    return left;
}

void RegisterWriter::run() {
    for (;;) {
        std::optional<RegisterEntry> entry;
        bool off = false;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty() || openAsked_; });
            if (stopping_) break;
            if (!queue_.empty()) {
                entry = std::move(queue_.front());
                queue_.pop_front();
            }
            busy_ = true;
            inHand_ = entry.has_value();
            off = off_;
        }
        const bool ready = !off && (connection_ || openFile());
        bool written = false;
        if (entry && ready) written = writeOne(*entry);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (entry) ++(written ? written_ : dropped_);
            openAsked_ = false;
            busy_ = false;
            inHand_ = false;
            if (queue_.empty()) idle_.notify_all();
        }
    }
    // The connection is closed on the thread that opened it.
    connection_.reset();
    std::lock_guard<std::mutex> lock(mutex_);
    dropped_ += static_cast<int>(queue_.size());
    queue_.clear();
    busy_ = false;
    openAsked_ = false;
    idle_.notify_all();
}

bool RegisterWriter::openFile() {
    auto c = std::make_unique<Connection>();
    RegisterProblem problem;
    const auto deadline = std::chrono::steady_clock::now() + kLockBound;
    while (!c->db.open(path_, RegisterDb::Mode::Write, &problem)) {
        if (waitForLock(problem, deadline)) continue;
        turnOff(problem);
        return false;
    }
    std::function<void(QSqlDatabase&)> hook;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        hook = afterOpen_;
    }
    if (hook) hook(c->db.db());
    c->store = std::make_unique<RegisterStore>(c->db.db());
    connection_ = std::move(c);
    return true;
}

bool RegisterWriter::writeOne(const RegisterEntry& entry) {
    QSqlDatabase& db = connection_->db.db();
    const auto deadline = std::chrono::steady_clock::now() + kLockBound;
    for (;;) {
        QSqlQuery q(db);
        QSqlError error;
        if (q.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
            if (connection_->store->write(entry, &error) && q.exec(QStringLiteral("COMMIT")))
                return true;
            if (!error.isValid()) error = q.lastError();
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        } else {
            error = q.lastError();
        }
        const RegisterProblem problem = ProblemOf(path_, error);
        if (waitForLock(problem, deadline)) continue;
        turnOff(problem);
        return false;
    }
}

bool RegisterWriter::waitForLock(const RegisterProblem& problem,
                                 std::chrono::steady_clock::time_point deadline) {
    bool stopping = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping = stopping_;
    }
    // Another program's write: wait for it rather than lose the entry.
    if (problem.kind != RegisterProblem::Kind::Locked || stopping ||
        std::chrono::steady_clock::now() >= deadline)
        return false;
    std::this_thread::sleep_for(kLockRetry);
    return true;
}

void RegisterWriter::turnOff(const RegisterProblem& problem) {
    std::function<void(const RegisterProblem&)> handler;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (off_) return;
        off_ = true;
        problem_ = problem;
        dropped_ += static_cast<int>(queue_.size());
        queue_.clear();
        handler = offHandler_;
    }
    if (handler) handler(problem);
}
