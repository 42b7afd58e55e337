#pragma once
// The register's writer: entries posted from any thread (a front end's, a bus worker's) go
// into a queue under a mutex and are written by a thread of its own, through a connection of
// its own, each entry in a transaction of its own. A post never waits on the disk. The file is
// opened on that thread at the first post (or when open() asks for it), so that neither a
// program's start nor an exchange on the wire waits for it.
//
// When the file cannot serve (not a database, a newer schema, read-only, a full disk, ...)
// the register turns off for the rest of the run: the off handler hears why, once, and later
// posts are dropped. A lock held by another writer (the window and quillon-cli at once) is
// waited out and never turns it off unless it lasts a minute.

#include <QSqlDatabase>
#include <QString>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "register/registerentry.h"
#include "register/registerfile.h"

class RegisterWriter {
  public:
    explicit RegisterWriter(QString path);
    // Writes what is queued (for at most the flush bound), then ends the thread.
    ~RegisterWriter();
    RegisterWriter(const RegisterWriter&) = delete;
    RegisterWriter& operator=(const RegisterWriter&) = delete;

    const QString& path() const { return path_; }

    // The site that entries are filed under from now on; empty is allowed.
    void setSite(const QString& site);
    QString site() const;

    // Opens the file on the writer's thread now instead of at the first post.
    void open();
    void post(RegisterEntry entry);
    // Waits until everything posted so far is written or dropped; false when `timeoutMs` ran
    // out first.
    bool flush(int timeoutMs = 30000);
    // The end of a program: waits up to `timeoutMs` for what is queued to be written, then takes
    // no more entries. Returns how many entries posted were not written by then (still queued
    // or being written); those still queued are dropped when the writer goes.
    int finish(int timeoutMs);

    // Told once, on the writer's thread, when the register turns off.
    void setOffHandler(std::function<void(const RegisterProblem&)> handler);
    bool isOff() const;
    RegisterProblem problem() const;
    // Entries written, and entries dropped because the register was off.
    int written() const;
    int dropped() const;

    // Runs on the writer's connection once it has opened (tests limit its size with it).
    void setAfterOpen(std::function<void(QSqlDatabase&)> hook);

  private:
    void start();
    void run();
    // Opens the file, waiting out another program's lock as a write does; false (and off) when
    // it cannot serve.
    bool openFile();
    bool writeOne(const RegisterEntry& entry);
    // After `problem`: true, once a short pause is over, when it is another program's lock to
    // wait out (until `deadline`, and not while stopping); false when it is the end.
    bool waitForLock(const RegisterProblem& problem,
                     std::chrono::steady_clock::time_point deadline);
    void turnOff(const RegisterProblem& problem);

    const QString path_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<RegisterEntry> queue_;
    bool openAsked_ = false;
    bool busy_ = false;
    bool inHand_ = false;  // an entry taken from the queue and not yet written
    bool stopping_ = false;
    bool off_ = false;
    RegisterProblem problem_;
    QString site_;
    int written_ = 0;
    int dropped_ = 0;
    std::function<void(const RegisterProblem&)> offHandler_;
    std::function<void(QSqlDatabase&)> afterOpen_;
    std::thread thread_;

    // The writer thread's own.
    struct Connection;
    std::unique_ptr<Connection> connection_;
};
