#pragma once
// Sync of the local register with the team's server, offline first: the local file stays what
// both programs write and read, and a sync is a run of its own (its own connections, to the
// file and to the server) that sends the events the server has not acknowledged and fetches
// the server's events of the granted sites after the last one fetched of each site. Both
// directions go in batches of one transaction each and are idempotent by the event's unique
// id, so a sync cut off anywhere and run again ends with every event once on both sides.
// Fetched events build the local module rows by the rule of merge: the newest by time wins.
//
// Events without a site belong to no grant and stay in the local register only.

#include <QDateTime>
#include <QStringList>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "register/registerfile.h"
#include "register/serverdb.h"

// Where a test may cut a sync off, as a crash or a dropped connection would.
enum class SyncStage {
    PushSent,       // a batch is on the server, not yet committed
    PushCommitted,  // committed there, not yet marked as sent here
    FetchRead,      // a batch read from the server, not yet stored here
};

struct SyncOptions {
    int batch = 2000;
    // Returning false stops the sync at that stage.
    std::function<bool(SyncStage stage)> hook;
};

struct SyncResult {
    ServerProblem problem;     // why the sync stopped, or the first site refused
    RegisterProblem local;     // the local register could not serve
    QString role;              // the role the server knows us by
    qint64 sent = 0;           // events the server took in this sync
    qint64 fetched = 0;        // events new to the local register
    int refusedRows = 0;       // rows of the server that cannot be events here
    QStringList refusedSites;  // sites this role may not add to: their events stay unsent
    QStringList sites;         // the sites granted
    qint64 unsent = 0;         // events still to send

    bool ok() const { return !problem && !local; }
    // One English sentence: what the sync did, or why it stopped.
    QString describe() const;
};

SyncResult SyncRegister(const QString& registerPath, const QString& uri,
                        const SyncOptions& options = {});

// What a register knows of its sync, for the window and `register sync --status`.
struct SyncStatus {
    QString server;  // the URI of the last sync, without a password
    QString role;
    qint64 unsent = 0;
    QDateTime lastSync;   // invalid: never
    QString lastOutcome;  // describe() of the last sync
    QStringList sites;    // granted at the last sync
};
SyncStatus ReadSyncStatus(const QString& registerPath);

// Gives the calling thread a lower priority than the program's others (a sync in the
// background yields to an exchange on the wire).
void LowerThisThreadsPriority();

// Runs syncs one after the other on a thread of its own (started by the first request), at a
// lower priority: a request while one runs asks for one more after it. The done handler is
// told on that thread.
class BackgroundSync {
  public:
    explicit BackgroundSync(QString registerPath);
    // Waits for a running sync to end.
    ~BackgroundSync();
    BackgroundSync(const BackgroundSync&) = delete;
    BackgroundSync& operator=(const BackgroundSync&) = delete;

    void setDone(std::function<void(const SyncResult&)> done);
    void request(const QString& uri);
    bool busy() const;

  private:
    void run();

    const QString path_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    QString wanted_;  // the URI of the sync asked for; empty: none
    bool running_ = false;
    bool stopping_ = false;
    std::function<void(const SyncResult&)> done_;
    std::thread thread_;
};
