#include "register/registermerge.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>

#include "register/registerstore.h"

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

// Both names lead to one file (through a link, or as two names of one file).
bool SameFile(const QString& a, const QString& b) {
    const QFileInfo fa(a), fb(b);
    if (!fa.exists() || !fb.exists()) return false;
    if (fa.canonicalFilePath() == fb.canonicalFilePath()) return true;
#ifdef Q_OS_UNIX
    struct stat sa {
    }, sb{};
    if (stat(QFile::encodeName(a).constData(), &sa) == 0 &&
        stat(QFile::encodeName(b).constData(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
#endif
    return false;
}

// The other register's modules: the newer of each known field wins, as for a new entry.
const char* const kModules =
    "INSERT INTO module (type, serial, first_seen, last_seen, port, module_id, line, version,"
    " ch2_serial, settings, site, site_at, last_test, last_test_at, last_event)"
    " SELECT type, serial, first_seen, last_seen, port, module_id, line, version, ch2_serial,"
    " settings, site, site_at, last_test, last_test_at, last_event FROM other.module WHERE true"
    " ON CONFLICT (type, serial) DO UPDATE SET ";
// After the rules of every module row, its last test: the newer one.
const char* const kModulesLastTest =
    ", last_test = CASE WHEN excluded.last_test_at > last_test_at"
    "   THEN excluded.last_test ELSE last_test END,"
    " last_test_at = max(last_test_at, excluded.last_test_at)";

// Its events that this register lacks, tied to this register's modules.
const char* const kEvents =
    "INSERT INTO event (uuid, module, time, source, kind, operation, site, port, module_id,"
    " line, before, wanted, after, detail, outcome_row, outcome, ok, verified, plan_name,"
    " plan_hash, related, recorded_by)"
    " SELECT o.uuid, m.id, o.time, o.source, o.kind, o.operation, o.site, o.port, o.module_id,"
    " o.line, o.before, o.wanted, o.after, o.detail, o.outcome_row, o.outcome, o.ok,"
    " o.verified, o.plan_name, o.plan_hash, r.id, o.recorded_by"
    " FROM other.event o"
    " JOIN other.module om ON om.id = o.module"
    " JOIN main.module m ON m.type = om.type AND m.serial = om.serial"
    " LEFT JOIN other.module orl ON orl.id = o.related"
    " LEFT JOIN main.module r ON r.type = orl.type AND r.serial = orl.serial"
    " WHERE true ON CONFLICT (uuid) DO NOTHING";

const char* const kRuns =
    "INSERT INTO test_run (event, test, started, ended, ending, cycles, failures, verdict,"
    " input_changes, verdicts, follows)"
    " SELECT me.id, t.test, t.started, t.ended, t.ending, t.cycles, t.failures, t.verdict,"
    " t.input_changes, t.verdicts, t.follows"
    " FROM other.test_run t"
    " JOIN other.event oe ON oe.id = t.event"
    " JOIN main.event me ON me.uuid = oe.uuid"
    " WHERE true ON CONFLICT (event) DO NOTHING";

const char* const kCards =
    "INSERT INTO card_read (run, seq, ms, channel, key, decimal, hex, keys)"
    " SELECT mt.id, c.seq, c.ms, c.channel, c.key, c.decimal, c.hex, c.keys"
    " FROM other.card_read c"
    " JOIN other.test_run ot ON ot.id = c.run"
    " JOIN other.event oe ON oe.id = ot.event"
    " JOIN main.event me ON me.uuid = oe.uuid"
    " JOIN main.test_run mt ON mt.event = me.id"
    " WHERE true ON CONFLICT (run, seq) DO NOTHING";

// The tables, indexes and nothing else, as this build makes them, by name.
QStringList Schema(QSqlDatabase& db) {
    QStringList out;
    QSqlQuery q(db);
    if (!q.exec(
            QStringLiteral("SELECT type, name, tbl_name, sql FROM sqlite_master ORDER BY name")))
        return {QStringLiteral("-")};
    while (q.next())
        out << QStringList{q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                           q.value(3).toString()}
                   .join(QLatin1Char('|'));
    return out;
}

// Rows this build would never write: a module without its type or serial number, a time or a
// count that is not a whole number, an event's id that is not 16 bytes. Each check names what
// it finds.
const char* const kBadRows[][2] = {
    {"SELECT id FROM module WHERE typeof(type) <> 'text' OR type = '' OR typeof(serial) <> 'text'"
     " OR serial = '' OR typeof(first_seen) <> 'integer' OR typeof(last_seen) <> 'integer'"
     " OR typeof(site_at) <> 'integer' OR typeof(last_test_at) <> 'integer'"
     " OR typeof(module_id) NOT IN ('integer', 'null') LIMIT 1",
     "module"},
    {"SELECT id FROM event WHERE typeof(uuid) <> 'blob' OR length(uuid) <> 16"
     " OR typeof(time) <> 'integer' OR typeof(module_id) NOT IN ('integer', 'null')"
     " OR typeof(outcome_row) NOT IN ('integer', 'null') LIMIT 1",
     "event"},
    {"SELECT id FROM test_run WHERE typeof(started) <> 'integer' OR typeof(ended) <> 'integer'"
     " OR typeof(cycles) <> 'integer' OR typeof(failures) <> 'integer' LIMIT 1",
     "live test"},
    {"SELECT run FROM card_read WHERE typeof(seq) <> 'integer' OR typeof(ms) <> 'integer'"
     " OR typeof(channel) <> 'integer' OR typeof(key) <> 'integer' LIMIT 1",
     "card"},
};

// Why the other register, brought up to this schema in `copy`, is not one this build could
// have written; empty when it is. A table of another shape, a view in a table's place (which
// may never end) or a trigger is refused before anything of it is read, and so is a row that
// breaks the register's rules or points at a row that is not there.
QString NotWritable(QSqlDatabase& copy, const QString& scratch) {
    QStringList expected;
    {
        RegisterDb fresh;
        RegisterProblem p;
        if (!fresh.open(scratch, RegisterDb::Mode::Write, &p)) return p.describe();
        expected = Schema(fresh.db());
    }
    if (Schema(copy) != expected)
        return QStringLiteral("its tables are not those of a register of this version");
    for (const auto& check : kBadRows) {
        QSqlQuery q(copy);
        if (!q.exec(QString::fromLatin1(check[0]))) return q.lastError().text();
        if (q.next())
            return QStringLiteral("its %1 %2 holds values that no register writes")
                .arg(QLatin1String(check[1]), q.value(0).toString());
    }
    QSqlQuery q(copy);
    if (!q.exec(QStringLiteral("PRAGMA foreign_key_check"))) return q.lastError().text();
    if (q.next())
        return QStringLiteral("its %1 %2 points at a row that is not there")
            .arg(q.value(0).toString(), q.value(1).toString());
    return {};
}

qint64 Count(QSqlDatabase& db, const char* table) {
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT count(*) FROM main.%1").arg(QLatin1String(table))) ||
        !q.next())
        return 0;
    return q.value(0).toLongLong();
}

}  // namespace

bool MergeRegister(const QString& into, const QString& other, MergeCounts* counts,
                   RegisterProblem* problem) {
    using Kind = RegisterProblem::Kind;
    auto refuse = [&](const RegisterProblem& p) {
        if (problem) *problem = p;
        return false;
    };
    if (!QFileInfo(other).isFile())
        return refuse({Kind::Failed, other, QStringLiteral("no such file")});
    if (SameFile(into, other)) return refuse({Kind::SameFile, other, {}});

    // The other file is only looked into; a copy of it is brought to this schema, so that a
    // register of an older version merges as well as a current one.
    RegisterDb source;
    RegisterProblem p;
    if (!source.open(other, RegisterDb::Mode::Inspect, &p)) return refuse(p);
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return refuse({Kind::Failed, other, QStringLiteral("no folder for a copy of it")});
    const QString copy = scratch.filePath(QStringLiteral("other.sqlite"));
    {
        QSqlQuery q(source.db());
        q.prepare(QStringLiteral("VACUUM INTO ?"));
        q.addBindValue(copy);
        if (!q.exec()) return refuse(ProblemOf(other, q.lastError()));
    }
    {
        RegisterDb upgraded;
        if (!upgraded.open(copy, RegisterDb::Mode::Write, &p)) return refuse(p);
        const QString wrong =
            NotWritable(upgraded.db(), scratch.filePath(QStringLiteral("fresh.sqlite")));
        if (!wrong.isEmpty()) return refuse({Kind::Failed, other, wrong});
    }

    RegisterDb target;
    if (!target.open(into, RegisterDb::Mode::Write, &p)) return refuse(p);
    QSqlDatabase& db = target.db();
    QSqlQuery q(db);
    q.prepare(QStringLiteral("ATTACH DATABASE ? AS other"));
    q.addBindValue(copy);
    if (!q.exec()) return refuse(ProblemOf(into, q.lastError()));

    bool ok = q.exec(QStringLiteral("BEGIN IMMEDIATE"));
    const qint64 modules = Count(db, "module");
    const qint64 events = Count(db, "event");
    const qint64 tests = Count(db, "test_run");
    ok = ok && q.exec(QLatin1String(kModules) + QLatin1String(kModuleUpdate) +
                      QLatin1String(kModulesLastTest));
    for (const char* sql : {kEvents, kRuns, kCards}) ok = ok && q.exec(QString::fromLatin1(sql));
    MergeCounts c;
    if (ok) {
        c.modules = static_cast<int>(Count(db, "module") - modules);
        c.events = static_cast<int>(Count(db, "event") - events);
        c.tests = static_cast<int>(Count(db, "test_run") - tests);
        ok = q.exec(QStringLiteral("COMMIT"));
    }
    if (!ok) {
        const RegisterProblem failed = ProblemOf(into, q.lastError());
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        QSqlQuery(db).exec(QStringLiteral("DETACH DATABASE other"));
        return refuse(failed);
    }
    QSqlQuery(db).exec(QStringLiteral("DETACH DATABASE other"));
    if (counts) *counts = c;
    return true;
}
