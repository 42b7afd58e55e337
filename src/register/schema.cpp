#include "register/schema.h"

#include <QSqlError>
#include <QSqlQuery>

#include "register/registerfile.h"

namespace {

// Version 1: modules, the events of their history, the live tests among those events and the
// cards a card read test read. Times are milliseconds since 1970 UTC (0: none); value sets are
// JSON objects.
const QStringList kVersion1 = {
    QStringLiteral("CREATE TABLE module ("
                   " id INTEGER PRIMARY KEY,"
                   " type TEXT NOT NULL,"
                   " serial TEXT NOT NULL,"
                   " first_seen INTEGER NOT NULL,"
                   " last_seen INTEGER NOT NULL,"
                   " port TEXT NOT NULL DEFAULT '',"
                   " module_id INTEGER,"
                   " line TEXT NOT NULL DEFAULT '',"
                   " version TEXT NOT NULL DEFAULT '',"
                   " ch2_serial TEXT NOT NULL DEFAULT '',"
                   " settings TEXT NOT NULL DEFAULT '{}',"
                   " site TEXT NOT NULL DEFAULT '',"
                   " site_at INTEGER NOT NULL DEFAULT 0,"
                   " last_test TEXT NOT NULL DEFAULT '',"
                   " last_test_at INTEGER NOT NULL DEFAULT 0,"
                   " UNIQUE (type, serial))"),
    QStringLiteral("CREATE INDEX module_site ON module (site, type, serial)"),
    QStringLiteral("CREATE INDEX module_serial ON module (serial)"),
    QStringLiteral("CREATE INDEX module_last_seen ON module (last_seen)"),
    QStringLiteral("CREATE TABLE event ("
                   " id INTEGER PRIMARY KEY,"
                   " uuid BLOB NOT NULL UNIQUE,"
                   " module INTEGER NOT NULL REFERENCES module (id),"
                   " time INTEGER NOT NULL,"
                   " source TEXT NOT NULL,"
                   " kind TEXT NOT NULL,"
                   " operation TEXT NOT NULL DEFAULT '',"
                   " site TEXT NOT NULL DEFAULT '',"
                   " port TEXT NOT NULL DEFAULT '',"
                   " module_id INTEGER,"
                   " line TEXT NOT NULL DEFAULT '',"
                   " before TEXT,"
                   " wanted TEXT,"
                   " after TEXT,"
                   " detail TEXT NOT NULL DEFAULT '',"
                   " outcome_row INTEGER,"
                   " outcome TEXT NOT NULL DEFAULT '',"
                   " ok INTEGER,"
                   " verified INTEGER,"
                   " plan_name TEXT,"
                   " plan_hash TEXT,"
                   " related INTEGER REFERENCES module (id))"),
    QStringLiteral("CREATE INDEX event_module_time ON event (module, time)"),
    QStringLiteral("CREATE INDEX event_plan ON event (plan_hash) WHERE plan_hash IS NOT NULL"),
    QStringLiteral("CREATE INDEX event_related ON event (related) WHERE related IS NOT NULL"),
    QStringLiteral("CREATE TABLE test_run ("
                   " id INTEGER PRIMARY KEY,"
                   " event INTEGER NOT NULL UNIQUE REFERENCES event (id) ON DELETE CASCADE,"
                   " test TEXT NOT NULL,"
                   " started INTEGER NOT NULL,"
                   " ended INTEGER NOT NULL,"
                   " ending TEXT NOT NULL,"
                   " cycles INTEGER NOT NULL,"
                   " failures INTEGER NOT NULL,"
                   " verdict TEXT NOT NULL,"
                   " input_changes TEXT,"
                   " verdicts TEXT,"
                   " follows TEXT)"),
    QStringLiteral("CREATE TABLE card_read ("
                   " run INTEGER NOT NULL REFERENCES test_run (id) ON DELETE CASCADE,"
                   " seq INTEGER NOT NULL,"
                   " ms INTEGER NOT NULL,"
                   " channel INTEGER NOT NULL,"
                   " key INTEGER NOT NULL,"
                   " decimal TEXT NOT NULL,"
                   " hex TEXT NOT NULL,"
                   " PRIMARY KEY (run, seq)) WITHOUT ROWID"),
};

// Version 2: the keys entered with a card (or as a key input) of a card read test.
const QStringList kVersion2 = {
    QStringLiteral("ALTER TABLE card_read ADD COLUMN keys TEXT NOT NULL DEFAULT ''"),
};

// Version 3: what a shared server knows of each event (whether it acknowledged it, its number
// there, the role that recorded it), how far each site was fetched from which server, and the
// event that gave a module its newest values (the tie-break between events of the same time).
const QStringList kVersion3 = {
    QStringLiteral("ALTER TABLE module ADD COLUMN last_event BLOB"),
    QStringLiteral("ALTER TABLE event ADD COLUMN sent INTEGER NOT NULL DEFAULT 0"),
    QStringLiteral("ALTER TABLE event ADD COLUMN server_seq INTEGER"),
    QStringLiteral("ALTER TABLE event ADD COLUMN recorded_by TEXT"),
    QStringLiteral("CREATE INDEX event_unsent ON event (site, id) WHERE sent = 0"),
    QStringLiteral("CREATE TABLE sync_server ("
                   " id INTEGER PRIMARY KEY CHECK (id = 1),"
                   " server_id TEXT NOT NULL,"
                   " uri TEXT NOT NULL DEFAULT '',"
                   " role TEXT NOT NULL DEFAULT '',"
                   " last_sync INTEGER NOT NULL DEFAULT 0,"
                   " last_outcome TEXT NOT NULL DEFAULT '')"),
    QStringLiteral("CREATE TABLE sync_site ("
                   " site TEXT PRIMARY KEY,"
                   " writable INTEGER NOT NULL,"
                   " fetched INTEGER NOT NULL DEFAULT 0)"),
};

int Pragma(QSqlDatabase& db, const char* name) {
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("PRAGMA %1").arg(QLatin1String(name))) || !q.next()) return -1;
    return q.value(0).toInt();
}

}  // namespace

QStringList RegisterMigration(int version) {
    switch (version) {
        case 1:
            return kVersion1;
        case 2:
            return kVersion2;
        case 3:
            return kVersion3;
        default:
            return {};
    }
}

bool MigrateRegister(QSqlDatabase& db, const QString& path, RegisterProblem* problem) {
    if (Pragma(db, "user_version") == kRegisterSchemaVersion) return true;
    QSqlQuery q(db);
    auto fail = [&](const QSqlError& e) {
        if (problem) *problem = ProblemOf(path, e);
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return false;
    };
    // The write lock first, so that two programs opening a new file do not both build it.
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE"))) return fail(q.lastError());
    const int from = Pragma(db, "user_version");
    if (from < 0) return fail(QSqlError());
    if (from > kRegisterSchemaVersion) {
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        if (problem) *problem = {RegisterProblem::Kind::Newer, path, {}};
        return false;
    }
    for (int v = from + 1; v <= kRegisterSchemaVersion; ++v) {
        for (const QString& statement : RegisterMigration(v))
            if (!q.exec(statement)) return fail(q.lastError());
    }
    if (!q.exec(QStringLiteral("PRAGMA user_version = %1").arg(kRegisterSchemaVersion)) ||
        !q.exec(QStringLiteral("PRAGMA application_id = %1").arg(kRegisterApplicationId)) ||
        !q.exec(QStringLiteral("COMMIT")))
        return fail(q.lastError());
    return true;
}
