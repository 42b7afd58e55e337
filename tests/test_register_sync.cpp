// The register a team shares through a PostgreSQL server of the test's own: the server's
// schema and its version, who may read and add what (connecting as each role), sync in both
// directions with nothing doubled or missing through every fault (unreachable, refused
// password, a backend killed or a sync cut off part-way, a restart, laptops at once, a revoked
// grant, hostile texts, a clock hours off).
#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>
#include <thread>

#include "register/registerreader.h"
#include "register/registersync.h"
#include "register/registerwriter.h"
#include "register/serverschema.h"
#include "support/pgserver.h"
#include "support/registertest.h"

using namespace registertest;
using Kind = ServerProblem::Kind;

namespace {

const QString kSite = QStringLiteral("Tower A");

void Record(const QString& path, const QList<RegisterEntry>& entries) {
    RegisterWriter w(path);
    for (const RegisterEntry& e : entries) w.post(e);
    QVERIFY(w.flush());
}

QList<RegisterEntry> Entries(int count, const QString& site, const QString& prefix) {
    QList<RegisterEntry> out;
    const QDateTime t0 = QDateTime::currentDateTimeUtc().addSecs(-600);
    for (int i = 0; i < count; ++i)
        out << Entry(prefix + QString::number(i % 50), site, t0.addMSecs(i));
    return out;
}

// The events of one site that a register holds.
qint64 EventsAt(const QString& path, const QString& site) {
    RegisterDb db;
    if (!db.open(path, RegisterDb::Mode::Read, nullptr) || !db.isOpen()) return -1;
    QSqlQuery q(db.db());
    q.prepare(QStringLiteral("SELECT count(*) FROM event WHERE site = ?"));
    q.addBindValue(site);
    return q.exec() && q.next() ? q.value(0).toLongLong() : -1;
}

}  // namespace

class TestRegisterSync : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void schemaVersion();
    void rowLevelSecurity_data();
    void rowLevelSecurity();
    void syncBothWays();
    void cutOff_data();
    void cutOff();
    void serverAbsent_data();
    void serverAbsent();
    void restart();
    void grants();
    void laptopsAtOnce_data();
    void laptopsAtOnce();
    void hostileTexts();
    void clockHoursOff();

  private:
    QString uri(const QString& role) { return pg_->uri(role, QStringLiteral("quillon")); }
    QString file(const QString& name) { return dir_.filePath(name + QStringLiteral(".sqlite")); }
    qint64 serverEvents(const QString& site) {
        return pg_
            ->value(QStringLiteral("SELECT count(*) FROM quillon.event WHERE site = '%1'")
                        .arg(QString(site).replace(QLatin1Char('\''), QLatin1String("''"))),
                    QStringLiteral("quillon"))
            .toLongLong();
    }
    // A technician role with a grant for `site`.
    void technician(const QString& role, const QString& site, bool readOnly = false) {
        QVERIFY(pg_->addRole(role, role + QStringLiteral("-pw")));
        ServerProblem p;
        QVERIFY2(GrantSite(uri(QStringLiteral("postgres")), role, site, readOnly, &p),
                 qPrintable(p.describe()));
    }

    QTemporaryDir dir_;
    std::unique_ptr<pgtest::PgServer> pg_;
};

void TestRegisterSync::initTestCase() {
    pg_ = std::make_unique<pgtest::PgServer>();
    if (!pg_->why().isEmpty()) {
        if (qEnvironmentVariableIsSet("CI")) QFAIL(qPrintable(pg_->why()));
        QSKIP(qPrintable(pg_->why()));
    }
    QVERIFY(pg_->sql({QStringLiteral("CREATE DATABASE quillon")}));
    int from = -1;
    ServerProblem p;
    QVERIFY2(InitServer(uri(QStringLiteral("postgres")), &from, &p), qPrintable(p.describe()));
    QCOMPARE(from, 0);
    // Again: nothing to do, and nothing lost.
    QVERIFY(InitServer(uri(QStringLiteral("postgres")), &from, &p));
    QCOMPARE(from, kServerSchemaVersion);
}

void TestRegisterSync::schemaVersion() {
    technician(QStringLiteral("vera"), kSite);
    const QString path = file(QStringLiteral("vera"));
    Record(path, Entries(3, kSite, QStringLiteral("V")));
    QVERIFY(pg_->sql({QStringLiteral("UPDATE quillon.meta SET value = '99' WHERE key = "
                                     "'schema_version'")},
                     QStringLiteral("quillon")));
    const SyncResult r = SyncRegister(path, uri(QStringLiteral("vera")));
    QVERIFY(pg_->sql({QStringLiteral("UPDATE quillon.meta SET value = '%1' WHERE key = "
                                     "'schema_version'")
                          .arg(kServerSchemaVersion)},
                     QStringLiteral("quillon")));
    QCOMPARE(r.problem.kind, Kind::Newer);
    QVERIFY(r.describe().contains(QLatin1String("newer version")));
    QCOMPARE(r.sent, 0);
    QCOMPARE(r.unsent, 3);
    QCOMPARE(serverEvents(kSite), 0);
    // The administrator's init refuses it too, and a database without a register says so.
    ServerProblem p;
    QVERIFY(pg_->sql({QStringLiteral("CREATE DATABASE empty")}));
    QCOMPARE(
        SyncRegister(path, pg_->uri(QStringLiteral("vera"), QStringLiteral("empty"))).problem.kind,
        Kind::NotInitialised);
    QVERIFY(SyncRegister(path, uri(QStringLiteral("vera"))).ok());
    QCOMPARE(serverEvents(kSite), 3);
}

void TestRegisterSync::rowLevelSecurity_data() {
    QTest::addColumn<QString>("role");
    QTest::addColumn<QString>("statement");
    QTest::addColumn<int>("result");  // rows seen or changed; -1: refused
    const QString add = QStringLiteral(
        "INSERT INTO quillon.event (uuid, site, type, serial, time, source, kind)"
        " VALUES (gen_random_uuid(), '%1', 'RQ-3016', 'X', 1, 'cli', 'read')");
    QTest::newRow("technician adds to its site") << "rita" << add.arg(kSite) << 1;
    QTest::newRow("technician adds to another site") << "rita" << add.arg("Tower B") << -1;
    QTest::newRow("reader adds") << "ron" << add.arg(kSite) << -1;
    QTest::newRow("technician sees its site only")
        << "rita"
        << "SELECT * FROM quillon.event WHERE site <> 'Tower A'" << 0;
    QTest::newRow("reader sees the site") << "ron"
                                          << "SELECT * FROM quillon.event LIMIT 1" << 1;
    QTest::newRow("technician changes an event") << "rita"
                                                 << "UPDATE quillon.event SET outcome = 'x'" << -1;
    QTest::newRow("technician deletes an event") << "rita"
                                                 << "DELETE FROM quillon.event" << -1;
    QTest::newRow("technician forges the recorder")
        << "rita"
        << "INSERT INTO quillon.event (uuid, site, type, serial, time, source, kind, recorded_by)"
           " VALUES (gen_random_uuid(), 'Tower A', 'RQ-3016', 'X', 1, 'cli', 'read', 'tom')"
        << -1;
    QTest::newRow("technician grants itself")
        << "rita"
        << "INSERT INTO quillon.site_grant VALUES ('rita', 'Tower B', true)" << -1;
    QTest::newRow("technician sees modules of its site only")
        << "rita"
        << "SELECT * FROM quillon.module WHERE site <> 'Tower A'" << 0;
    QTest::newRow("technician sees others' grants")
        << "rita"
        << "SELECT * FROM quillon.site_grant WHERE role <> 'rita'" << 0;
}

void TestRegisterSync::rowLevelSecurity() {
    QFETCH(QString, role);
    QFETCH(QString, statement);
    QFETCH(int, result);
    static bool made = false;
    if (!made) {
        technician(QStringLiteral("rita"), kSite);
        technician(QStringLiteral("ron"), kSite, true);
        technician(QStringLiteral("tom"), QStringLiteral("Tower B"));
        QVERIFY(pg_->sql(
            {QStringLiteral("INSERT INTO quillon.event (uuid, site, type, serial, time, source,"
                            " kind, recorded_by) VALUES (gen_random_uuid(), 'Tower B', 'RQ-3016',"
                            " 'B1', 1, 'cli', 'read', 'tom'), (gen_random_uuid(), 'Tower A',"
                            " 'RQ-3016', 'A1', 1, 'cli', 'read', 'rita')")},
            QStringLiteral("quillon")));
        made = true;
    }
    int got = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("as"));
        db.setHostName(pg_->socketDir());
        db.setDatabaseName(QStringLiteral("quillon"));
        db.setUserName(role);
        QVERIFY2(db.open(), qPrintable(db.lastError().text()));
        QSqlQuery q(db);
        if (q.exec(statement)) {
            got = q.isSelect() ? 0 : q.numRowsAffected();
            while (q.isSelect() && q.next()) ++got;
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("as"));
    QCOMPARE(got, result);
}

void TestRegisterSync::syncBothWays() {
    technician(QStringLiteral("ann"), QStringLiteral("Hall"));
    technician(QStringLiteral("ben"), QStringLiteral("Hall"));
    const QString a = file(QStringLiteral("ann")), b = file(QStringLiteral("ben"));
    QList<RegisterEntry> tests = Entries(2, QStringLiteral("Hall"), QStringLiteral("T"));
    RegisterTestRun run;
    run.test = QStringLiteral("card-test");
    run.ending = QStringLiteral("stopped");
    run.started = tests[0].time;
    run.ended = tests[0].time.addSecs(5);
    run.cycles = 12;
    run.verdict = QStringLiteral("passed");
    run.inputChanges = std::array<int, 16>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    run.cards << CardRead{250,
                          2,
                          false,
                          QStringLiteral("123,45678"),
                          QStringLiteral("7BB26E"),
                          QStringLiteral("12#")};
    tests[0].kind = QStringLiteral("test");
    tests[0].module.settings.insert(QStringLiteral("di-mode"), QStringLiteral("hold"));
    tests[0].test = run;
    Record(a, tests + Entries(30, QStringLiteral("Hall"), QStringLiteral("A")) +
                  Entries(2, QString(), QStringLiteral("N")));
    Record(b, Entries(20, QStringLiteral("Hall"), QStringLiteral("B")));
    {
        RegisterReader r;
        QVERIFY(r.open(a));
        QCOMPARE(r.modules().first().recordedBy, QStringLiteral("local"));
    }
    SyncOptions small;
    small.batch = 7;
    const SyncResult first = SyncRegister(a, uri(QStringLiteral("ann")), small);
    QVERIFY2(first.ok(), qPrintable(first.describe()));
    QCOMPARE(first.sent, 32);
    QCOMPARE(first.unsent, 0);  // the events without a site stay here, not queued
    QVERIFY(SyncRegister(b, uri(QStringLiteral("ben")), small).ok());
    const SyncResult again = SyncRegister(a, uri(QStringLiteral("ann")), small);
    QCOMPARE(again.fetched, 20);
    // Nothing new: nothing moves either way.
    const SyncResult idle = SyncRegister(a, uri(QStringLiteral("ann")));
    QCOMPARE(idle.sent + idle.fetched, 0);
    QVERIFY(SyncRegister(b, uri(QStringLiteral("ben"))).ok());
    QCOMPARE(EventsAt(a, QStringLiteral("Hall")), 52);
    QCOMPARE(EventsAt(b, QStringLiteral("Hall")), 52);
    QCOMPARE(serverEvents(QStringLiteral("Hall")), 52);

    // Ben's laptop holds Ann's test with its cards and module facts, and who recorded what.
    RegisterReader r;
    QVERIFY(r.open(b));
    ModuleQuery q;
    q.serial = QStringLiteral("T0");
    const RegisterModule m = r.modules(q).value(0);
    QCOMPARE(m.facts.settings.value(QStringLiteral("di-mode")), QStringLiteral("hold"));
    QCOMPARE(m.recordedBy, QStringLiteral("ann"));
    const std::optional<RegisterEntry> t = r.lastTest(m.key);
    QVERIFY(t && t->test);
    QCOMPARE(t->test->cycles, 12);
    QCOMPARE(t->test->inputChanges->at(15), 16);
    QCOMPARE(t->test->cards.value(0).keys, QStringLiteral("12#"));
    QCOMPARE(t->test->cards.value(0).hex, QStringLiteral("7BB26E"));
    QCOMPARE(t->uuid, tests[0].uuid);
    QCOMPARE(ReadSyncStatus(b).sites, QStringList{QStringLiteral("Hall")});
    QCOMPARE(ReadSyncStatus(b).role, QStringLiteral("ben"));

    // Another server: the register starts over with it, and it gets every event.
    QVERIFY(pg_->sql({QStringLiteral("CREATE DATABASE second")}));
    ServerProblem p;
    QVERIFY(
        InitServer(pg_->uri(QStringLiteral("postgres"), QStringLiteral("second")), nullptr, &p));
    QVERIFY(GrantSite(pg_->uri(QStringLiteral("postgres"), QStringLiteral("second")),
                      QStringLiteral("ann"), QStringLiteral("Hall"), false, &p));
    const SyncResult moved =
        SyncRegister(a, pg_->uri(QStringLiteral("ann"), QStringLiteral("second")));
    QVERIFY2(moved.ok(), qPrintable(moved.describe()));
    QCOMPARE(moved.sent, 52);
}

void TestRegisterSync::cutOff_data() {
    QTest::addColumn<int>("stage");
    QTest::addColumn<bool>("kill");  // the server's backend is killed there, else the sync stops
    QTest::newRow("backend killed before a push commits") << int(SyncStage::PushSent) << true;
    QTest::newRow("cut off after the server committed") << int(SyncStage::PushCommitted) << false;
    QTest::newRow("backend killed during a fetch") << int(SyncStage::FetchRead) << true;
    QTest::newRow("cut off before a fetch is stored") << int(SyncStage::FetchRead) << false;
}

void TestRegisterSync::cutOff() {
    QFETCH(int, stage);
    QFETCH(bool, kill);
    static int round = 0;
    const QString role = QStringLiteral("cut%1").arg(++round);
    const QString site = QStringLiteral("Cut %1").arg(round);
    technician(role, site);
    technician(role + QStringLiteral("b"), site);
    const QString laptop = file(role), other = file(role + QStringLiteral("b"));
    Record(laptop, Entries(25, site, QStringLiteral("C")));
    Record(other, Entries(15, site, QStringLiteral("O")));
    QVERIFY(SyncRegister(other, uri(role + QStringLiteral("b"))).ok());

    SyncOptions o;
    o.batch = 10;
    int seen = 0;
    o.hook = [&](SyncStage s) {
        if (int(s) != stage || ++seen != 2) return true;
        if (kill) return pg_->killBackends(role) < 0;  // the next statement finds it gone
        return false;
    };
    const SyncResult broken = SyncRegister(laptop, uri(role), o);
    QCOMPARE(broken.problem.kind, Kind::Dropped);
    const SyncResult mended = SyncRegister(laptop, uri(role), SyncOptions{10, {}});
    QVERIFY2(mended.ok(), qPrintable(mended.describe()));
    QCOMPARE(mended.unsent, 0);
    QCOMPARE(serverEvents(site), 40);
    QCOMPARE(EventsAt(laptop, site), 40);
    QVERIFY(SyncRegister(other, uri(role + QStringLiteral("b"))).ok());
    QCOMPARE(EventsAt(other, site), 40);
}

void TestRegisterSync::serverAbsent_data() {
    QTest::addColumn<QString>("server");
    QTest::addColumn<int>("kind");
    QTest::newRow("no server at the socket")
        << "postgresql:///quillon?host=/nonexistent/folder&user=pat" << int(Kind::Unreachable);
    QTest::newRow("password refused") << "wrong-password" << int(Kind::PasswordRefused);
    QTest::newRow("no such role") << "no-role" << int(Kind::PasswordRefused);
}

void TestRegisterSync::serverAbsent() {
    QFETCH(QString, server);
    QFETCH(int, kind);
    const QString path = file(QString::fromLatin1(QTest::currentDataTag()));
    Record(path, Entries(4, kSite, QStringLiteral("P")));
    if (server == QLatin1String("wrong-password")) {
        QVERIFY(pg_->addRole(QStringLiteral("pat"), QStringLiteral("right")));
        QVERIFY(pg_->sql({QStringLiteral("ALTER ROLE pat PASSWORD 'changed'")}));
        server = uri(QStringLiteral("pat"));
    } else if (server == QLatin1String("no-role")) {
        server = uri(QStringLiteral("nobody"));
    }
    const SyncResult r = SyncRegister(path, server);
    QCOMPARE(int(r.problem.kind), kind);
    QCOMPARE(r.unsent, 4);
    QCOMPARE(ReadSyncStatus(path).unsent, 4);
}

void TestRegisterSync::restart() {
    technician(QStringLiteral("rex"), QStringLiteral("Depot"));
    const QString path = file(QStringLiteral("rex"));
    Record(path, Entries(5, QStringLiteral("Depot"), QStringLiteral("R")));
    QVERIFY(pg_->stop());
    const SyncResult down = SyncRegister(path, uri(QStringLiteral("rex")));
    QCOMPARE(down.problem.kind, Kind::Unreachable);
    QVERIFY(ReadSyncStatus(path).lastOutcome.contains(QLatin1String("unreachable")));
    QVERIFY(pg_->start());
    const SyncResult up = SyncRegister(path, uri(QStringLiteral("rex")));
    QVERIFY2(up.ok(), qPrintable(up.describe()));
    QCOMPARE(up.sent, 5);
}

void TestRegisterSync::grants() {
    const QString admin = uri(QStringLiteral("postgres"));
    technician(QStringLiteral("gil"), QStringLiteral("North"));
    technician(QStringLiteral("hal"), QStringLiteral("North"));
    QVERIFY(pg_->sql({QStringLiteral("CREATE ROLE \"gil\"\"s twin\" LOGIN")}));
    const QString gil = file(QStringLiteral("gil")), hal = file(QStringLiteral("hal"));
    Record(gil, Entries(3, QStringLiteral("North"), QStringLiteral("N")) +
                    Entries(4, QStringLiteral("South"), QStringLiteral("S")));
    const SyncResult refused = SyncRegister(gil, uri(QStringLiteral("gil")));
    QCOMPARE(refused.problem.kind, Kind::NoGrant);
    QCOMPARE(refused.refusedSites, QStringList{QStringLiteral("South")});
    QVERIFY(refused.describe().contains(QLatin1String("\"South\"")));
    QCOMPARE(refused.sent, 3);
    QCOMPARE(refused.unsent, 4);
    // A grant for it, and they go; a role's name is the server's to quote.
    ServerProblem p;
    QVERIFY(GrantSite(admin, QStringLiteral("gil"), QStringLiteral("South"), false, &p));
    QVERIFY(GrantSite(admin, QStringLiteral("gil\"s twin"), QStringLiteral("South"), true, &p));
    QVERIFY(!GrantSite(admin, QStringLiteral("nobody"), QStringLiteral("South"), false, &p));
    QVERIFY(p.detail.contains(QLatin1String("no role")));
    QVERIFY(SyncRegister(gil, uri(QStringLiteral("gil"))).ok());
    QCOMPARE(serverEvents(QStringLiteral("South")), 4);

    // Revoked: nothing more of North comes or goes; what the laptop holds stays.
    bool removed = false;
    QVERIFY(RevokeSite(admin, QStringLiteral("gil"), QStringLiteral("North"), &removed, &p));
    QVERIFY(removed);
    Record(hal, Entries(6, QStringLiteral("North"), QStringLiteral("H")));
    QVERIFY(SyncRegister(hal, uri(QStringLiteral("hal"))).ok());
    Record(gil, Entries(2, QStringLiteral("North"), QStringLiteral("G")));
    const SyncResult after = SyncRegister(gil, uri(QStringLiteral("gil")));
    QCOMPARE(after.fetched, 0);
    QCOMPARE(after.refusedSites, QStringList{QStringLiteral("North")});
    QCOMPARE(EventsAt(gil, QStringLiteral("North")), 5);
    QCOMPARE(serverEvents(QStringLiteral("North")), 9);
    QCOMPARE(ReadSyncStatus(gil).sites, QStringList{QStringLiteral("South")});
}

void TestRegisterSync::laptopsAtOnce_data() {
    QTest::addColumn<int>("laptops");
    QTest::newRow("two") << 2;
    QTest::newRow("ten") << 10;
}

void TestRegisterSync::laptopsAtOnce() {
    QFETCH(int, laptops);
    const QString site = QStringLiteral("Crowd %1").arg(laptops);
    QStringList paths, roles;
    for (int i = 0; i < laptops; ++i) {
        roles << QStringLiteral("crowd%1x%2").arg(laptops).arg(i);
        technician(roles.last(), site);
        paths << file(roles.last());
        Record(paths.last(), Entries(40, site, roles.last()));
    }
    // Each laptop syncs twice, all at once; then once more each, one after the other.
    std::vector<std::thread> threads;
    std::atomic<int> failed{0};
    for (int i = 0; i < laptops; ++i)
        threads.emplace_back([&, i] {
            for (int k = 0; k < 2; ++k)
                if (!SyncRegister(paths[i], uri(roles[i]), SyncOptions{9, {}}).ok()) ++failed;
        });
    for (std::thread& t : threads) t.join();
    QCOMPARE(failed.load(), 0);
    for (int i = 0; i < laptops; ++i) QVERIFY(SyncRegister(paths[i], uri(roles[i])).ok());
    QCOMPARE(serverEvents(site), 40 * laptops);
    for (const QString& p : paths) QCOMPARE(EventsAt(p, site), 40 * laptops);
}

void TestRegisterSync::hostileTexts() {
    const QString site = QStringLiteral("Bau \"7\"; '北楼'\nDROP TABLE quillon.event; --");
    technician(QStringLiteral("hana"), site);
    technician(QStringLiteral("ivo"), site);
    RegisterEntry e = Entry(QStringLiteral("16'0\"1\\n"), site);
    e.detail = QStringLiteral("'); DELETE FROM quillon.event; --\r\n\t北京 😀");
    e.outcome = QStringLiteral("$1 :batch ::json %s");
    e.operation = QStringLiteral("Set \\ \"x\"");
    e.after = SettingValues{{QStringLiteral("name'\""), QStringLiteral("值\n")}};
    const QString a = file(QStringLiteral("hana")), b = file(QStringLiteral("ivo"));
    Record(a, {e});
    QVERIFY(SyncRegister(a, uri(QStringLiteral("hana"))).ok());
    QVERIFY(SyncRegister(b, uri(QStringLiteral("ivo"))).ok());
    RegisterReader r;
    QVERIFY(r.open(b));
    const QList<RegisterModule> modules = r.modules();
    QCOMPARE(modules.size(), 1);
    QCOMPARE(modules.first().facts.serial, e.module.serial);
    QCOMPARE(modules.first().site, site);
    const RegisterEntry got = r.history(modules.first().key).value(0);
    QCOMPARE(got.detail, e.detail);
    QCOMPARE(got.outcome, e.outcome);
    QCOMPARE(got.operation, e.operation);
    QCOMPARE(got.after, e.after);
    QCOMPARE(got.site, site);
    QCOMPARE(serverEvents(site), 1);
}

void TestRegisterSync::clockHoursOff() {
    technician(QStringLiteral("jo"), QStringLiteral("Clock"));
    technician(QStringLiteral("kai"), QStringLiteral("Clock"));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    RegisterEntry ahead =
        Entry(QStringLiteral("T1"), QStringLiteral("Clock"), now.addSecs(5 * 3600));
    ahead.module.id = 5;
    RegisterEntry behind = Entry(QStringLiteral("T1"), QStringLiteral("Clock"), now);
    behind.module.id = 7;
    // Two events of the same millisecond: the greater event id decides, on every laptop.
    RegisterEntry tieA = Entry(QStringLiteral("T2"), QStringLiteral("Clock"), now);
    tieA.module.id = 3;
    RegisterEntry tieB = tieA;
    tieB.uuid = QUuid::createUuid();
    tieB.module.id = 4;
    const int tieWinner = tieA.uuid.toRfc4122() > tieB.uuid.toRfc4122() ? 3 : 4;
    const QString a = file(QStringLiteral("jo")), b = file(QStringLiteral("kai"));
    Record(a, {ahead, tieA});
    Record(b, {behind, tieB});
    for (const auto& [path, role] : {std::pair{a, QStringLiteral("jo")},
                                     {b, QStringLiteral("kai")},
                                     {a, QStringLiteral("jo")}})
        QVERIFY(SyncRegister(path, uri(role)).ok());
    // The server's modules follow the same rule.
    QCOMPARE(pg_->value(QStringLiteral("SELECT module_id FROM quillon.module WHERE serial = 'T2'"),
                        QStringLiteral("quillon"))
                 .toInt(),
             tieWinner);
    for (const QString& path : {a, b}) {
        RegisterReader r;
        QVERIFY(r.open(path));
        QCOMPARE(r.modules().value(1).facts.id, tieWinner);
        const RegisterModule m = r.modules().value(0);
        QCOMPARE(m.facts.id, 5);
        QCOMPARE(m.lastSeen, ahead.time);
        QCOMPARE(r.history(m.key).size(), 2);
        QCOMPARE(r.history(m.key).last().time, behind.time);
    }
}

QTEST_GUILESS_MAIN(TestRegisterSync)
#include "test_register_sync.moc"
