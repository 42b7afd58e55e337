#pragma once
// A connection of its own to the shared register's PostgreSQL server (Qt SQL's QPSQL driver),
// and why a server cannot serve, in the words a technician can act on. A connection belongs to
// the thread that opened it. Passwords come from libpq's own places (~/.pgpass, PGPASSFILE, a
// service file) unless the URI itself carries one.

#include <QSqlDatabase>
#include <QString>

class QSqlError;

struct ServerProblem {
    enum class Kind {
        None,
        BadUri,           // the URI does not parse
        NoDriver,         // Qt's PostgreSQL driver is not installed
        Unreachable,      // no server answers at that address
        PasswordRefused,  // the server refused the role or its password
        NotInitialised,   // no register on that database yet (`register server init`)
        Newer,            // the server's register is of a newer version of Quillon
        NoAccess,         // the role has no grant on this server at all
        NoGrant,          // the role may not add records of `site`
        Dropped,          // the connection broke off part-way
        Failed,           // anything else the server reports
    };
    Kind kind = Kind::None;
    QString detail;   // the server's own words, where it gave any
    QString site;     // NoGrant: the site refused
    int version = 0;  // Newer: the server's version

    explicit operator bool() const { return kind != Kind::None; }
    // One English sentence, as the command line prints it.
    QString describe() const;
};

// The register schema on the server that this build syncs with.
constexpr int kServerSchemaVersion = 1;

// What a failed statement or connection amounts to.
ServerProblem ServerProblemOf(const QSqlError& error);

class ServerDb {
  public:
    ServerDb();
    ~ServerDb();
    ServerDb(const ServerDb&) = delete;
    ServerDb& operator=(const ServerDb&) = delete;

    // Connects to the server the URI names; false with the problem.
    bool open(const QString& uri, ServerProblem* problem);
    QSqlDatabase& db() { return db_; }
    // The role the connection runs as.
    QString role();
    // The server register's version: 0 when the database holds none, -1 when the role may not
    // look (no grant at all); false with the problem when the statement fails otherwise.
    bool schemaVersion(int* version, ServerProblem* problem);
    // The server's identity (made at init): a register that syncs with another server starts
    // over with it.
    QString serverId();

  private:
    QString name_;
    QSqlDatabase db_;
};
