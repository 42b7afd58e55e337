#pragma once
// The window's side of the team's server: the server remembered (RegisterServer, or
// QUILLON_SERVER), a sync in the background every minute while one is set, after each run over
// the buses and on Sync now, and the line that says how the last one went. A sync runs on a
// thread of its own with connections of its own; the window never waits for the network.

#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <memory>
#include <optional>

#include "register/registersync.h"

class SettingsStore;

class RegisterSyncer : public QObject {
    Q_OBJECT
  public:
    RegisterSyncer(const QString& registerPath, const SettingsStore* settings, QObject* parent);
    ~RegisterSyncer() override;

    const QString& server() const { return server_; }
    // Sets and remembers the server (empty: none). A URI that may not be saved (a password in
    // it, or not a URI) is refused with the reason in the language, and nothing changes.
    bool setServer(const QString& uri, int langIndex, QString* why);
    // A sync now, unless one runs (then one more follows it). Nothing without a server.
    void syncNow();
    bool running() const { return running_; }
    // Reads again what the register knows of its sync (the events still to send, the sites
    // granted at the last sync), as the Register window does when it reads the register.
    void refresh();
    const SyncStatus& status() const { return status_; }
    // The line of the Register window, in the language.
    QString statusText(int langIndex) const;
    // Why a sync stopped, in the language.
    static QString describe(const SyncResult& r, int langIndex);

    // Minutes between background syncs (tests shorten it).
    void setInterval(int ms) { timer_.setInterval(ms); }

  signals:
    void changed();

  private:
    void done(const SyncResult& r, const SyncStatus& status);

    const QString path_;
    const SettingsStore* settings_;
    QString server_;
    QTimer timer_;
    bool running_ = false;
    std::optional<SyncResult> last_;
    QDateTime lastAt_;
    SyncStatus status_;
    std::unique_ptr<BackgroundSync> sync_;
};
