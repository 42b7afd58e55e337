// Another machine's register, as `register merge` takes it: any bytes as that file are either
// refused with a reason, the register merged into left exactly as it was, or read, the
// register still whole (its own modules and events kept, every row tied to its module, the
// reader able to list it, no row the register's writer would not write); the other file is
// never changed.
#include <QCoreApplication>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <cstdint>
#include <memory>

#include "check.h"
#include "register/registerfile.h"
#include "register/registermerge.h"
#include "register/registerreader.h"
#include "register/registerstore.h"

namespace {

struct World {
    std::unique_ptr<QCoreApplication> app;
    QTemporaryDir dir;
    QString into;
    QString other;
    QByteArray intoBytes;  // the register merged into, as each input finds it
    QString intoDump;
    QStringList intoKeys;  // its modules and events, which a merge keeps
};
World* world = nullptr;

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile::remove(path + QStringLiteral("-wal"));
    QFile::remove(path + QStringLiteral("-shm"));
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Runs `f` on a read-only connection of its own to `path`.
template <typename F>
void WithDb(const QString& path, F f) {
    const QString name = QStringLiteral("fuzz-look");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        Check(db.open(), "the register merged into opens");
        f(db);
    }
    QSqlDatabase::removeDatabase(name);
}

QStringList Column(QSqlDatabase& db, const QString& sql) {
    QStringList out;
    QSqlQuery q(db);
    Check(q.exec(sql), "a look into the register merged into");
    while (q.next()) out << q.value(0).toString();
    return out;
}

const QString kKeys = QStringLiteral(
    "SELECT type || ' ' || serial FROM module UNION ALL SELECT hex(uuid) FROM event");

// Everything the register holds, schema and rows, as one text.
QString Dump(const QString& path) {
    QString out;
    WithDb(path, [&](QSqlDatabase& db) {
        out += Column(db, QStringLiteral("PRAGMA user_version")).join(',') + '\n';
        out += Column(db, QStringLiteral("PRAGMA application_id")).join(',') + '\n';
        out += Column(db, QStringLiteral("SELECT sql FROM sqlite_master ORDER BY name")).join('\n');
        for (const char* table : {"module", "event", "test_run", "card_read"}) {
            QSqlQuery q(db);
            Check(q.exec(QStringLiteral("SELECT * FROM %1 ORDER BY 1, 2").arg(table)),
                  "a table of the register merged into");
            while (q.next()) {
                out += '\n';
                const QSqlRecord r = q.record();
                for (int i = 0; i < r.count(); ++i)
                    out += QString::number(r.value(i).metaType().id()) + ':' +
                           r.value(i).toString().toHtmlEscaped() + '|';
            }
        }
    });
    return out;
}

RegisterEntry Entry(const QString& type, const QString& serial, qint64 minutes) {
    RegisterEntry e;
    e.uuid = QUuid::createUuid();
    e.time = QDateTime::fromMSecsSinceEpoch(1700000000000 + minutes * 60000, Qt::UTC);
    e.source = QStringLiteral("cli");
    e.kind = QStringLiteral("read");
    e.operation = QStringLiteral("Get setting data");
    e.site = QStringLiteral("Plant 4");
    e.module.type = type;
    e.module.serial = serial;
    e.module.port = QStringLiteral("COM1");
    e.module.id = 1;
    e.module.line = QStringLiteral("19200,e,8,1");
    e.module.settings = {{QStringLiteral("di-mode"), QStringLiteral("hold")}};
    e.outcome = QStringLiteral("Module find ok.");
    e.ok = true;
    return e;
}

// The register merged into: modules that the seeds' registers hold as well, with a live test
// and its cards, and a replacement tying two modules together.
void MakeInto(const QString& path) {
    RegisterDb db;
    RegisterProblem p;
    Check(db.open(path, RegisterDb::Mode::Write, &p), "the register merged into is made");
    RegisterStore store(db.db());
    QList<RegisterEntry> entries = {Entry(QStringLiteral("RQ-3016"), "16000601", 0),
                                    Entry(QStringLiteral("RQ-3040"), "40000602", 1)};
    RegisterEntry test = Entry(QStringLiteral("RQ-3050K"), "51900704", 2);
    test.kind = QStringLiteral("test");
    RegisterTestRun run;
    run.test = QStringLiteral("card-test");
    run.ending = QStringLiteral("stopped");
    run.started = test.time;
    run.ended = test.time.addSecs(30);
    run.verdict = QStringLiteral("passed");
    run.cards = {CardRead{1500, 2, false, QStringLiteral("0000163003"), QStringLiteral("00027CBB"),
                          QStringLiteral("42")}};
    test.test = run;
    entries << test;
    RegisterEntry replaced = Entry(QStringLiteral("RQ-3016"), "16000602", 3);
    replaced.kind = QStringLiteral("replaced-by");
    replaced.relatedType = QStringLiteral("RQ-3016");
    replaced.relatedSerial = QStringLiteral("16000601");
    entries << replaced;
    for (const RegisterEntry& e : entries) {
        QSqlError error;
        Check(db.db().transaction() && store.write(e, &error) && db.db().commit(),
              "the register merged into is written");
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    world = new World;
    world->app = std::make_unique<QCoreApplication>(*argc, *argv);
    Check(world->dir.isValid(), "a temporary folder");
    world->into = world->dir.filePath(QStringLiteral("into.sqlite"));
    world->other = world->dir.filePath(QStringLiteral("other.sqlite"));
    MakeInto(world->into);
    world->intoBytes = ReadFile(world->into);
    Check(!world->intoBytes.isEmpty(), "the register merged into is kept");
    world->intoDump = Dump(world->into);
    WithDb(world->into, [](QSqlDatabase& db) { world->intoKeys = Column(db, kKeys); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    Check(WriteFile(world->into, world->intoBytes), "the register merged into is written");
    Check(WriteFile(world->other, bytes), "the other file is written");

    MergeCounts counts;
    RegisterProblem problem;
    const bool merged = MergeRegister(world->into, world->other, &counts, &problem);
    Check(ReadFile(world->other) == bytes, "the other file is left as it is");
    const QString dump = Dump(world->into);
    if (!merged) {
        Check(bool(problem) && !problem.describe().isEmpty(), "a refusal says why");
        Check(dump == world->intoDump, "a refused merge changes nothing");
        return 0;
    }
    Check(counts.modules >= 0 && counts.events >= 0 && counts.tests >= 0, "counts of what came");

    WithDb(world->into, [&](QSqlDatabase& db) {
        Check(Column(db, QStringLiteral("PRAGMA integrity_check")) == QStringList{"ok"},
              "the register is whole");
        Check(Column(db, QStringLiteral("PRAGMA foreign_key_check")).isEmpty(),
              "every row is tied to its module");
        // Nothing that the register's own writer would not write came in.
        Check(Column(db, QStringLiteral(
                             "SELECT id FROM module WHERE type = '' OR serial = ''"
                             " OR typeof(first_seen) <> 'integer' OR typeof(last_seen) <> 'integer'"
                             " UNION ALL SELECT id FROM event WHERE length(uuid) <> 16"
                             " OR typeof(uuid) <> 'blob' OR typeof(time) <> 'integer'"))
                  .isEmpty(),
              "every module has a type and a serial, every event its id, every time a number");
        const QStringList keys = Column(db, kKeys);
        for (const QString& k : world->intoKeys)
            Check(keys.contains(k), "its own modules and events are kept");
    });
    RegisterReader reader;
    RegisterProblem readProblem;
    Check(reader.open(world->into, &readProblem), "the merged register reads");
    const QList<RegisterModule> modules = reader.modules();
    Check(modules.size() >= 4 && reader.count("module") == modules.size(),
          "the reader lists every module");
    // What the window and `register history` read of a module.
    for (int i = 0; i < modules.size() && i < 20; ++i) {
        const qint64 key = modules.at(i).key;
        Check(reader.history(key).size() <= reader.count("event"), "a history of its events");
        reader.lastCommissioning(key);
        reader.lastTest(key);
        reader.lastUsed(key);
    }
    reader.replacedModules();
    reader.sites();
    return 0;
}
