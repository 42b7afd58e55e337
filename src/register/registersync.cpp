#include "register/registersync.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include "register/registerstore.h"
#include "register/serverrow.h"
#include "register/serveruri.h"

namespace {

// Every push holds this lock until it commits, so that the server's numbers become visible in
// the order they were given: a reader that has seen number n never finds a smaller one later.
const char* const kPushLock = "SELECT pg_advisory_xact_lock(1364346184)";

// The events the server did not hold yet, and the numbers it gave them.
const char* const kInsertEvents =
    "WITH added AS (INSERT INTO quillon.event (uuid, site, type, serial, time, source, kind, "
    "operation, port,"
    " module_id, line, version, ch2_serial, settings, before, wanted, after, detail,"
    " outcome_row, outcome, ok, verified, plan_name, plan_hash, related_type, related_serial)"
    " SELECT uuid, site, type, serial, time, source, kind, operation, port, module_id, line,"
    " version, ch2_serial, settings, before, wanted, after, detail, outcome_row, outcome, ok,"
    " verified, plan_name, plan_hash, related_type, related_serial"
    " FROM json_populate_recordset(NULL::quillon.event, :batch::json)"
    " ON CONFLICT (uuid) DO NOTHING RETURNING seq)"
    " SELECT count(*), coalesce(min(seq), 0), coalesce(max(seq), 0) FROM added";
// The site's newest event before a push's first: when this laptop has fetched it already, the
// events it just pushed need not come back.
const char* const kBefore =
    "SELECT coalesce(max(seq), 0) FROM quillon.event WHERE site = :site AND seq < :first";
const char* const kInsertRuns =
    "INSERT INTO quillon.test_run SELECT * FROM json_populate_recordset(NULL::quillon.test_run,"
    " :batch::json) ON CONFLICT (event) DO NOTHING";
const char* const kInsertCards =
    "INSERT INTO quillon.card_read SELECT * FROM json_populate_recordset("
    "NULL::quillon.card_read, :batch::json) ON CONFLICT (event, seq) DO NOTHING";

class Sync {
  public:
    Sync(const QString& path, const QString& uri, const SyncOptions& o, SyncResult& r)
        : path_(path), uri_(uri), o_(o), r_(r) {}

    void run() {
        if (!connect() || !prepareLocal()) return finish();
        push();
        if (!stopped_) fetch();
        finish();
    }

  private:
    bool hook(SyncStage stage) {
        if (!o_.hook || o_.hook(stage)) return true;
        stop({ServerProblem::Kind::Dropped, QStringLiteral("cut off"), {}, 0});
        return false;
    }
    void stop(const ServerProblem& p) {
        if (!r_.problem || r_.problem.kind == ServerProblem::Kind::NoGrant) r_.problem = p;
        stopped_ = true;
    }
    bool serverFailed(QSqlQuery& q) {
        const ServerProblem p = ServerProblemOf(q.lastError());
        QSqlQuery(server_.db()).exec(QStringLiteral("ROLLBACK"));
        stop(p);
        return false;
    }
    bool localFailed(const QSqlError& e) {
        r_.local = ProblemOf(path_, e);
        QSqlQuery(local_.db()).exec(QStringLiteral("ROLLBACK"));
        stopped_ = true;
        return false;
    }

    bool connect() {
        if (!server_.open(uri_, &r_.problem)) return false;
        int version = 0;
        if (!server_.schemaVersion(&version, &r_.problem)) return false;
        using Kind = ServerProblem::Kind;
        if (version == 0) r_.problem.kind = Kind::NotInitialised;
        if (version < 0) r_.problem.kind = Kind::NoAccess;
        if (version > kServerSchemaVersion) {
            r_.problem.kind = Kind::Newer;
            r_.problem.version = version;
        }
        if (r_.problem) return false;
        r_.role = server_.role();
        serverId_ = server_.serverId();
        QSqlQuery q(server_.db());
        if (!q.exec(QStringLiteral("SELECT site, writable FROM quillon.site_grant"
                                   " WHERE role = current_user ORDER BY site")))
            return serverFailed(q);
        while (q.next()) {
            r_.sites << q.value(0).toString();
            if (q.value(1).toBool()) writable_ << q.value(0).toString();
        }
        return true;
    }

    // Starts over with a server the register has not synced with, and keeps the list of
    // sites, each with how far it was fetched, to the grants.
    bool prepareLocal() {
        if (!local_.open(path_, RegisterDb::Mode::Write, &r_.local)) return false;
        QSqlDatabase& db = local_.db();
        QSqlQuery q(db);
        // A sync walks the indexes of the whole file: a cache of its own spares the reads.
        q.exec(QStringLiteral("PRAGMA cache_size = -32768"));
        if (!q.exec(QStringLiteral("BEGIN IMMEDIATE"))) return localFailed(q.lastError());
        if (!q.exec(QStringLiteral("SELECT server_id FROM sync_server")))
            return localFailed(q.lastError());
        const QString known = q.next() ? q.value(0).toString() : QString();
        q.finish();
        if (known != serverId_) {
            if (!q.exec(QStringLiteral("UPDATE event SET sent = 0, server_seq = NULL"
                                       " WHERE sent <> 0 OR server_seq IS NOT NULL")) ||
                !q.exec(QStringLiteral("DELETE FROM sync_site")))
                return localFailed(q.lastError());
        }
        q.prepare(
            QStringLiteral("INSERT OR REPLACE INTO sync_server (id, server_id, uri, role,"
                           " last_sync, last_outcome) VALUES (1, :id, :uri, :role,"
                           " coalesce((SELECT last_sync FROM sync_server), 0),"
                           " coalesce((SELECT last_outcome FROM sync_server), ''))"));
        q.bindValue(QStringLiteral(":id"), serverId_);
        q.bindValue(QStringLiteral(":uri"), ParseServerUri(uri_).shown);
        q.bindValue(QStringLiteral(":role"), r_.role);
        if (!q.exec()) return localFailed(q.lastError());
        QSqlQuery keep(db);
        keep.prepare(
            QStringLiteral("INSERT INTO sync_site (site, writable) VALUES (:site, :w)"
                           " ON CONFLICT (site) DO UPDATE SET writable = excluded.writable"));
        for (const QString& site : r_.sites) {
            keep.bindValue(QStringLiteral(":site"), site);
            keep.bindValue(QStringLiteral(":w"), writable_.contains(site) ? 1 : 0);
            if (!keep.exec()) return localFailed(keep.lastError());
        }
        // A revoked site is fetched from the start again should it be granted once more.
        QSqlQuery sites(db);
        if (!sites.exec(QStringLiteral("SELECT site FROM sync_site")))
            return localFailed(sites.lastError());
        QStringList gone;
        while (sites.next())
            if (!r_.sites.contains(sites.value(0).toString())) gone << sites.value(0).toString();
        sites.finish();
        QSqlQuery drop(db);
        drop.prepare(QStringLiteral("DELETE FROM sync_site WHERE site = :site"));
        for (const QString& site : gone) {
            drop.bindValue(QStringLiteral(":site"), site);
            if (!drop.exec()) return localFailed(drop.lastError());
        }
        if (!q.exec(QStringLiteral("COMMIT"))) return localFailed(q.lastError());
        return true;
    }

    void push() {
        QSqlQuery sites(local_.db());
        QStringList pending;
        if (!sites.exec(
                QStringLiteral("SELECT DISTINCT site FROM event WHERE sent = 0 AND site <> ''"
                               " ORDER BY site"))) {
            localFailed(sites.lastError());
            return;
        }
        while (sites.next()) pending << sites.value(0).toString();
        sites.finish();
        for (const QString& site : pending) {
            if (stopped_) return;
            if (!writable_.contains(site)) {
                refuse(site);
                continue;
            }
            pushSite(site);
        }
    }

    void refuse(const QString& site) {
        r_.refusedSites << site;
        if (!r_.problem) {
            r_.problem.kind = ServerProblem::Kind::NoGrant;
            r_.problem.site = site;
        }
    }

    void pushSite(const QString& site) {
        qint64 after = 0;
        QSqlQuery q(server_.db());
        QSqlDatabase& db = local_.db();
        qint64 fetched = 0;
        {
            QSqlQuery at(db);
            at.prepare(QStringLiteral("SELECT fetched FROM sync_site WHERE site = :site"));
            at.bindValue(QStringLiteral(":site"), site);
            if (at.exec() && at.next()) fetched = at.value(0).toLongLong();
        }
        QSqlQuery mark(db);
        mark.prepare(
            QStringLiteral("UPDATE event SET sent = 1, recorded_by = CASE WHEN :own THEN :role"
                           " ELSE recorded_by END WHERE sent = 0 AND site = :site AND id > :after"
                           " AND id <= :last"));
        QSqlQuery skip(db);
        skip.prepare(
            QStringLiteral("UPDATE sync_site SET fetched = :to WHERE site = :site"
                           " AND fetched >= :before"));
        for (;;) {
            PushBatch batch;
            QSqlError error;
            if (!ReadPushBatch(db, site, after, o_.batch, &batch, &error)) {
                localFailed(error);
                return;
            }
            if (batch.keys.isEmpty()) return;
            if (!q.exec(QStringLiteral("BEGIN")) || !q.exec(QString::fromLatin1(kPushLock))) {
                serverFailed(q);
                return;
            }
            qint64 added = 0, first = 0, last = 0, before = -1;
            const std::pair<const char*, const QByteArray*> parts[] = {
                {kInsertEvents, &batch.events},
                {kInsertRuns, &batch.runs},
                {kInsertCards, &batch.cards}};
            for (const auto& [sql, json] : parts) {
                if (json->size() <= 2) continue;  // "[]"
                q.prepare(QString::fromLatin1(sql));
                q.bindValue(QStringLiteral(":batch"), QString::fromUtf8(*json));
                if (!q.exec() || (sql == kInsertEvents && !q.next())) {
                    const ServerProblem p = ServerProblemOf(q.lastError());
                    QSqlQuery(server_.db()).exec(QStringLiteral("ROLLBACK"));
                    // The server's own refusal of a site: its events stay here, the others go.
                    if (p.kind == ServerProblem::Kind::NoGrant) return refuse(site);
                    return stop(p);
                }
                if (sql != kInsertEvents) continue;
                added = q.value(0).toLongLong();
                first = q.value(1).toLongLong();
                last = q.value(2).toLongLong();
            }
            const bool own = added == batch.keys.size() && added > 0;
            if (own) {
                q.prepare(QString::fromLatin1(kBefore));
                q.bindValue(QStringLiteral(":site"), site);
                q.bindValue(QStringLiteral(":first"), first);
                if (!q.exec() || !q.next()) return void(serverFailed(q));
                before = q.value(0).toLongLong();
            }
            if (!hook(SyncStage::PushSent)) return;
            if (!q.exec(QStringLiteral("COMMIT"))) return void(serverFailed(q));
            r_.sent += added;
            if (!hook(SyncStage::PushCommitted)) return;
            QSqlQuery t(db);
            if (!t.exec(QStringLiteral("BEGIN IMMEDIATE"))) return void(localFailed(t.lastError()));
            mark.bindValue(QStringLiteral(":own"), own ? 1 : 0);
            mark.bindValue(QStringLiteral(":role"), r_.role);
            mark.bindValue(QStringLiteral(":site"), site);
            mark.bindValue(QStringLiteral(":after"), after);
            mark.bindValue(QStringLiteral(":last"), batch.keys.last());
            if (!mark.exec()) return void(localFailed(mark.lastError()));
            // Everything of the site up to the pushed events is here: they need not come back.
            if (own && before <= fetched) {
                skip.bindValue(QStringLiteral(":to"), last);
                skip.bindValue(QStringLiteral(":site"), site);
                skip.bindValue(QStringLiteral(":before"), before);
                if (!skip.exec()) return void(localFailed(skip.lastError()));
                fetched = last;
            }
            if (!t.exec(QStringLiteral("COMMIT"))) return void(localFailed(t.lastError()));
            after = batch.keys.last();
        }
    }

    void fetch() {
        QSqlQuery pos(local_.db());
        QList<QPair<QString, qint64>> sites;
        if (!pos.exec(QStringLiteral("SELECT site, fetched FROM sync_site ORDER BY site"))) {
            localFailed(pos.lastError());
            return;
        }
        while (pos.next()) sites << qMakePair(pos.value(0).toString(), pos.value(1).toLongLong());
        pos.finish();
        QSqlQuery q(server_.db());
        q.setForwardOnly(true);
        if (!q.prepare(QStringLiteral("SELECT %1 FROM quillon.event e WHERE e.site = :site"
                                      " AND e.seq > :after ORDER BY e.seq LIMIT :limit")
                           .arg(QLatin1String(kServerRowColumns)))) {
            serverFailed(q);
            return;
        }
        for (auto [site, after] : sites) {
            for (;;) {
                q.bindValue(QStringLiteral(":site"), site);
                q.bindValue(QStringLiteral(":after"), after);
                q.bindValue(QStringLiteral(":limit"), o_.batch);
                if (!q.exec()) return void(serverFailed(q));
                QList<QVariantList> rows;
                while (q.next()) {
                    QVariantList row;
                    row.reserve(kServerColumns);
                    for (int c = 0; c < kServerColumns; ++c) row << q.value(c);
                    rows << row;
                }
                q.finish();
                if (rows.isEmpty()) break;
                if (!hook(SyncStage::FetchRead)) return;
                if (!store(site, rows, &after)) return;
                if (rows.size() < o_.batch) break;
            }
        }
    }

    // One batch of fetched rows in one transaction, with how far the site is fetched.
    bool store(const QString& site, const QList<QVariantList>& rows, qint64* after) {
        QSqlDatabase& db = local_.db();
        QSqlQuery t(db);
        if (!t.exec(QStringLiteral("BEGIN IMMEDIATE"))) return localFailed(t.lastError());
        QSqlQuery known(db);
        known.prepare(
            QStringLiteral("UPDATE event SET sent = 1, server_seq = :seq,"
                           " recorded_by = :by WHERE uuid = :uuid"));
        RegisterStore writer(db);
        for (const QVariantList& row : rows) {
            if (row.size() != kServerColumns) {
                ++r_.refusedRows;
                continue;
            }
            *after = qMax(*after, row.at(kRowSeq).toLongLong());
            // An event held already (this laptop's own) learns its number and recorder.
            const QUuid uuid = QUuid::fromString(row.at(kRowUuid).toString());
            known.bindValue(QStringLiteral(":seq"), row.at(kRowSeq).toLongLong());
            known.bindValue(QStringLiteral(":by"), row.at(kRowRecordedBy).toString());
            known.bindValue(QStringLiteral(":uuid"), uuid.toRfc4122());
            if (!uuid.isNull()) {
                if (!known.exec()) return localFailed(known.lastError());
                if (known.numRowsAffected() > 0) continue;
            }
            QString why;
            const std::optional<RegisterEntry> e = EntryOfServerRow(row, &why);
            if (!e) {
                ++r_.refusedRows;
                continue;
            }
            QSqlError error;
            if (!writer.write(*e, &error)) return localFailed(error);
            ++r_.fetched;
        }
        QSqlQuery at(db);
        at.prepare(QStringLiteral("UPDATE sync_site SET fetched = :after WHERE site = :site"));
        at.bindValue(QStringLiteral(":after"), *after);
        at.bindValue(QStringLiteral(":site"), site);
        if (!at.exec() || !t.exec(QStringLiteral("COMMIT"))) return localFailed(at.lastError());
        return true;
    }

    void finish() {
        if (!local_.isOpen()) {
            RegisterProblem p;
            if (!local_.open(path_, RegisterDb::Mode::Write, &p)) {
                if (!r_.local && !r_.problem) r_.local = p;
                return;
            }
        }
        QSqlQuery q(local_.db());
        if (q.exec(QStringLiteral("SELECT count(*) FROM event WHERE sent = 0 AND site <> ''")) &&
            q.next())
            r_.unsent = q.value(0).toLongLong();
        q.finish();
        // A register that never reached a server keeps the outcome all the same.
        q.prepare(
            QStringLiteral("INSERT OR IGNORE INTO sync_server (id, server_id, uri)"
                           " VALUES (1, '', :uri)"));
        q.bindValue(QStringLiteral(":uri"), ParseServerUri(uri_).shown);
        q.exec();
        q.prepare(QStringLiteral("UPDATE sync_server SET last_sync = :at, last_outcome = :what"));
        q.bindValue(QStringLiteral(":at"), QDateTime::currentMSecsSinceEpoch());
        q.bindValue(QStringLiteral(":what"), r_.describe());
        q.exec();
    }

    const QString& path_;
    const QString& uri_;
    const SyncOptions& o_;
    SyncResult& r_;
    ServerDb server_;
    RegisterDb local_;
    QString serverId_;
    QStringList writable_;
    bool stopped_ = false;
};

}  // namespace

void LowerThisThreadsPriority() {
#ifdef Q_OS_LINUX
    // A thread's own nice value on Linux: the exchange on the wire wins the processor.
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 10);
#endif
}

QString SyncResult::describe() const {
    if (local) return local.describe();
    const QString counts =
        QStringLiteral("%1 sent, %2 fetched, %3 to send").arg(sent).arg(fetched).arg(unsent);
    if (problem.kind == ServerProblem::Kind::NoGrant)
        return QStringLiteral("%1; %2").arg(counts, problem.describe());
    if (problem) return problem.describe();
    return counts;
}

SyncResult SyncRegister(const QString& registerPath, const QString& uri,
                        const SyncOptions& options) {
    SyncResult r;
    SyncOptions o = options;
    o.batch = qMax(1, o.batch);
    Sync(registerPath, uri, o, r).run();
    return r;
}

SyncStatus ReadSyncStatus(const QString& registerPath) {
    SyncStatus s;
    RegisterDb db;
    if (!db.open(registerPath, RegisterDb::Mode::Read, nullptr) || !db.isOpen()) return s;
    QSqlQuery q(db.db());
    if (q.exec(QStringLiteral("SELECT uri, role, last_sync, last_outcome FROM sync_server")) &&
        q.next()) {
        s.server = q.value(0).toString();
        s.role = q.value(1).toString();
        s.lastSync = TimeOfRegister(q.value(2).toLongLong());
        s.lastOutcome = q.value(3).toString();
    }
    q.finish();
    if (q.exec(QStringLiteral("SELECT count(*) FROM event WHERE sent = 0 AND site <> ''")) &&
        q.next())
        s.unsent = q.value(0).toLongLong();
    q.finish();
    if (q.exec(QStringLiteral("SELECT site FROM sync_site ORDER BY site")))
        while (q.next()) s.sites << q.value(0).toString();
    return s;
}
