// The site register's file: schema upgrades from every earlier version, the faults that turn it
// off (and leave the file alone), a writer killed mid-write, several writers at once, merging
// another register in, and the CSV of the table and of a history.
#include <sys/stat.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include "register/registercsv.h"
#include "register/registermerge.h"
#include "register/registerreader.h"
#include "register/registerstore.h"
#include "register/registerwriter.h"

namespace {

using Kind = RegisterProblem::Kind;

RegisterEntry Entry(const QString& serial, const QString& site = QString(),
                    const QDateTime& time = QDateTime::currentDateTimeUtc()) {
    RegisterEntry e;
    e.uuid = QUuid::createUuid();
    e.time = time;
    e.source = QStringLiteral("cli");
    e.kind = QStringLiteral("read");
    e.operation = QStringLiteral("Get setting data");
    e.site = site;
    e.module.type = QStringLiteral("RQ-3016");
    e.module.serial = serial;
    e.module.port = QStringLiteral("COM1");
    e.module.id = 1;
    e.module.line = QStringLiteral("19200,e,8,1");
    e.outcome = QStringLiteral("Module find ok.");
    e.ok = true;
    return e;
}

QByteArray Bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Runs the statements of an SQL text (one per line ending in ";") into a new file.
bool Load(const QString& path, const QString& sql) {
    bool ok = true;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("load"));
        db.setDatabaseName(path);
        ok = db.open();
        QSqlQuery q(db);
        QString statement;
        for (const QString& line : sql.split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1String("--"))) continue;
            statement += line + QLatin1Char('\n');
            if (!line.endsWith(QLatin1Char(';'))) continue;
            if (!q.exec(statement)) {
                qWarning("%s: %s", qPrintable(statement), qPrintable(q.lastError().text()));
                ok = false;
            }
            statement.clear();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("load"));
    return ok;
}

// One value of a pragma, through a connection of its own.
QString Pragma(const QString& path, const char* name) {
    QString value;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("pragma"));
        db.setDatabaseName(path);
        QSqlQuery q(db);
        if (db.open() && q.exec(QStringLiteral("PRAGMA ") + QLatin1String(name)) && q.next())
            value = q.value(0).toString();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("pragma"));
    return value;
}

qint64 Events(const QString& path) {
    RegisterReader r;
    return r.open(path) ? r.count("event") : -1;
}

// Every row of an RFC 4180 text, after its byte-order mark.
QList<QStringList> ParseCsv(const QByteArray& bytes) {
    QString text = QString::fromUtf8(bytes);
    if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
    QList<QStringList> rows;
    QStringList row;
    QString cell;
    bool quoted = false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text.at(i + 1) == '"') {
                cell += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                cell += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            row << cell;
            cell.clear();
        } else if (c == '\r' && i + 1 < text.size() && text.at(i + 1) == '\n') {
            row << cell;
            rows << row;
            row.clear();
            cell.clear();
            ++i;
        } else {
            cell += c;
        }
    }
    return rows;
}

// The test program run again as a writer of its own: posts `count` entries for serials
// "TAG000n"; with `each` (and no end) it waits for every entry to be written and prints how
// many are.
int ChildWriter(const QString& path, int count, const QString& tag, bool each) {
    RegisterWriter w(path);
    for (int i = 0; count == 0 || i < count; ++i) {
        w.post(Entry(tag + QStringLiteral("%1").arg(i % 50, 4, 10, QLatin1Char('0'))));
        if (!each) continue;
        w.flush();
        std::printf("%d\n", w.written());
        std::fflush(stdout);
    }
    w.flush();
    return w.isOff() ? 1 : 0;
}

}  // namespace

class TestRegisterStore : public QObject {
    Q_OBJECT
  private slots:
    void opensEveryEarlierVersion_data();
    void opensEveryEarlierVersion();
    void faultsTurnItOff_data();
    void faultsTurnItOff();
    void killedWriterLosesAtMostOneEvent();
    void writersAtOnceLoseNothing();
    void mergeAddsNothingTwice();
    void mergeRefuses_data();
    void mergeRefuses();
    void csvRoundTrip_data();
    void csvRoundTrip();
    void filter_data();
    void filter();

  private:
    QTemporaryDir dir_;
};

void TestRegisterStore::opensEveryEarlierVersion_data() {
    QTest::addColumn<QString>("fixture");  // SQL of that version's file; empty: a new file
    QTest::addColumn<int>("modules");      // what it holds
    QTest::newRow("no file yet") << QString() << 0;
    QTest::newRow("version 1") << QFINDTESTDATA("data/register/v1.sql") << 1;
}

void TestRegisterStore::opensEveryEarlierVersion() {
    QFETCH(QString, fixture);
    QFETCH(int, modules);
    const QString path = dir_.filePath(QStringLiteral("%1.sqlite").arg(QTest::currentDataTag()));
    if (!fixture.isEmpty()) {
        QFile sql(fixture);
        QVERIFY(sql.open(QIODevice::ReadOnly));
        QVERIFY(Load(path, QString::fromUtf8(sql.readAll())));
    }
    // A writer brings it up to date and adds to it; what it held stays readable.
    {
        RegisterWriter w(path);
        w.post(Entry(QStringLiteral("16000001")));
        QVERIFY(w.flush());
        QVERIFY2(!w.isOff(), qPrintable(w.problem().describe()));
    }
    RegisterReader r;
    QVERIFY(r.open(path));
    QCOMPARE(r.modules().size(), modules + 1);
    if (modules > 0) {
        const QList<RegisterModule> k = r.modules({std::nullopt, QStringLiteral("RQ-3050K"), {}});
        QCOMPARE(k.size(), 1);
        QCOMPARE(k.first().site, QStringLiteral("Plant \"4\", 北"));
        QCOMPARE(k.first().facts.settings.value(QStringLiteral("key-number")), QStringLiteral("4"));
        const std::optional<RegisterEntry> test = r.lastTest(k.first().key);
        QVERIFY(test && test->test);
        QCOMPARE(test->test->cards.size(), 1);
        QCOMPARE(test->test->cards.first().hex, QStringLiteral("00027CBB"));
    }
    QCOMPARE(Pragma(path, "user_version"), QStringLiteral("%1").arg(kRegisterSchemaVersion));
    QCOMPARE(Pragma(path, "journal_mode"), QStringLiteral("wal"));
    QCOMPARE(Pragma(path, "integrity_check"), QStringLiteral("ok"));
}

void TestRegisterStore::faultsTurnItOff_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("untouched");  // the file is byte for byte as it was
    QTest::newRow("a spreadsheet in its place") << "text" << int(Kind::NotDatabase) << true;
    QTest::newRow("another program's database") << "foreign" << int(Kind::NotRegister) << true;
    QTest::newRow("a newer schema") << "newer" << int(Kind::Newer) << true;
    QTest::newRow("read-only") << "readonly" << int(Kind::ReadOnly) << true;
    QTest::newRow("folder cannot be made") << "nofolder" << int(Kind::NoFolder) << false;
    QTest::newRow("folder not writable") << "lockedfolder" << int(Kind::FolderNotWritable) << false;
    QTest::newRow("disk full") << "full" << int(Kind::DiskFull) << false;
    QTest::newRow("missing folder is made") << "newfolder" << int(Kind::None) << false;
}

void TestRegisterStore::faultsTurnItOff() {
    QFETCH(QString, fault);
    QFETCH(int, kind);
    QFETCH(bool, untouched);
    const QString base = dir_.filePath(QTest::currentDataTag());
    QVERIFY(QDir().mkpath(base));
    QString path = base + QStringLiteral("/register.sqlite");
    auto sqlite = [&](const QString& sql) { QVERIFY(Load(path, sql)); };
    if (fault == "text") {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("type,serial\nRQ-3016,16000001\n");
    } else if (fault == "foreign") {
        sqlite(QStringLiteral("CREATE TABLE contacts (name TEXT);"));
    } else if (fault == "newer") {
        sqlite(QStringLiteral("PRAGMA application_id = %1;\nPRAGMA user_version = %2;\n"
                              "CREATE TABLE future (x);")
                   .arg(kRegisterApplicationId)
                   .arg(kRegisterSchemaVersion + 1));
    } else if (fault == "readonly") {
        RegisterWriter(path).open();
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    } else if (fault == "nofolder") {
        QFile f(base + QStringLiteral("/file"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        path = base + QStringLiteral("/file/sub/register.sqlite");
    } else if (fault == "lockedfolder") {
        QVERIFY(QFile::setPermissions(base, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    } else if (fault == "newfolder") {
        path = base + QStringLiteral("/not/yet/register.sqlite");
    }
    const QByteArray before = Bytes(path);

    RegisterWriter w(path);
    if (fault == "full") {
        w.setAfterOpen([](QSqlDatabase& db) {
            QSqlQuery q(db);
            q.exec(QStringLiteral("PRAGMA page_count"));
            q.next();
            const int pages = q.value(0).toInt();
            q.exec(QStringLiteral("PRAGMA max_page_count = %1").arg(pages + 3));
        });
    }
    std::atomic<int> told{0};
    RegisterProblem heard;
    w.setOffHandler([&](const RegisterProblem& p) {
        heard = p;
        ++told;
    });
    for (int i = 0; i < 200; ++i)
        w.post(Entry(QStringLiteral("1600%1").arg(i, 4, 10, QLatin1Char('0'))));
    QVERIFY(w.flush());
    QFile::setPermissions(base,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    QCOMPARE(int(w.problem().kind), kind);
    QCOMPARE(w.isOff(), kind != int(Kind::None));
    QCOMPARE(told.load(), kind != int(Kind::None) ? 1 : 0);
    QCOMPARE(int(heard.kind), kind);
    QCOMPARE(w.written() + w.dropped(), 200);
    if (untouched) QCOMPARE(Bytes(path), before);
    if (fault == "full") {
        // What was written before the disk filled stays, in a whole file.
        QVERIFY(w.written() > 0);
        QCOMPARE(Events(path), qint64(w.written()));
    }
    if (fault == "newfolder") QCOMPARE(Events(path), 200);
}

void TestRegisterStore::killedWriterLosesAtMostOneEvent() {
    const QString path = dir_.filePath(QStringLiteral("killed.sqlite"));
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--child-writer"), path, QStringLiteral("0"), QStringLiteral("K")});
    int written = -1;
    QByteArray out;
    while (written < 60 && child.waitForReadyRead(5000)) {
        out += child.readAllStandardOutput();
        const QList<QByteArray> lines = out.split('\n');
        if (lines.size() >= 2) written = lines.at(lines.size() - 2).toInt();
    }
    child.kill();  // SIGKILL, in the middle of the next write or between two
    QVERIFY(child.waitForFinished(5000));
    out += child.readAllStandardOutput();
    const QList<QByteArray> lines = out.trimmed().split('\n');
    written = lines.last().toInt();
    QVERIFY(written >= 60);

    QCOMPARE(Pragma(path, "integrity_check"), QStringLiteral("ok"));
    const qint64 events = Events(path);
    QVERIFY2(events >= written && events <= written + 1,
             qPrintable(QStringLiteral("%1 events, %2 told").arg(events).arg(written)));
}

void TestRegisterStore::writersAtOnceLoseNothing() {
    const QString path = dir_.filePath(QStringLiteral("shared.sqlite"));
    constexpr int kEach = 150;
    QList<QProcess*> children;
    for (const char* tag : {"A", "B", "C"}) {
        auto* p = new QProcess(this);
        p->start(
            QCoreApplication::applicationFilePath(),
            {QStringLiteral("--child-writer"), path, QString::number(kEach), QLatin1String(tag)});
        children << p;
    }
    {
        RegisterWriter w(path);
        for (int i = 0; i < kEach; ++i) w.post(Entry(QStringLiteral("W%1").arg(i % 50)));
        QVERIFY(w.flush());
        QVERIFY2(!w.isOff(), qPrintable(w.problem().describe()));
    }
    for (QProcess* p : children) {
        QVERIFY(p->waitForFinished(30000));
        QCOMPARE(p->exitCode(), 0);
        delete p;
    }
    QCOMPARE(Events(path), qint64(4 * kEach));
}

void TestRegisterStore::mergeAddsNothingTwice() {
    const QString a = dir_.filePath(QStringLiteral("merge-a.sqlite"));
    const QString b = dir_.filePath(QStringLiteral("merge-b.sqlite"));
    const QDateTime t0 = QDateTime::currentDateTimeUtc().addSecs(-3600);
    {
        RegisterWriter w(a);
        w.post(Entry(QStringLiteral("16000001"), QStringLiteral("Site A"), t0));
        RegisterEntry later = Entry(QStringLiteral("16000001"), QString(), t0.addSecs(300));
        later.module.port = QStringLiteral("/dev/ttyUSB0");
        w.post(later);
        QVERIFY(w.flush());
    }
    {
        RegisterWriter w(b);
        RegisterEntry older =
            Entry(QStringLiteral("16000001"), QStringLiteral("Site B"), t0.addSecs(60));
        older.module.port = QStringLiteral("COM9");
        older.module.version = QStringLiteral("01.30-01");
        w.post(older);
        RegisterEntry test =
            Entry(QStringLiteral("50000002"), QStringLiteral("Site B"), t0.addSecs(120));
        test.module.type = QStringLiteral("RQ-3050S");
        test.kind = QStringLiteral("test");
        RegisterTestRun run;
        run.test = QStringLiteral("card-test");
        run.ending = QStringLiteral("stopped");
        run.started = t0;
        run.ended = t0.addSecs(120);
        run.verdict = QStringLiteral("passed");
        run.cards = {
            CardRead{1500, 2, false, QStringLiteral("0000163003"), QStringLiteral("00027CBB")}};
        test.test = run;
        w.post(test);
        QVERIFY(w.flush());
    }
    MergeCounts c;
    RegisterProblem p;
    QVERIFY2(MergeRegister(a, b, &c, &p), qPrintable(p.describe()));
    QCOMPARE(c.modules, 1);
    QCOMPARE(c.events, 2);
    QCOMPARE(c.tests, 1);
    // Twice, and back: nothing is added twice.
    QVERIFY(MergeRegister(a, b, &c, &p));
    QCOMPARE(c.events + c.modules + c.tests, 0);
    QVERIFY(MergeRegister(b, a, &c, &p));
    QCOMPARE(c.events, 2);
    QCOMPARE(Events(a), 4);
    QCOMPARE(Events(b), 4);

    RegisterReader r;
    QVERIFY(r.open(a));
    const QList<RegisterModule> m =
        r.modules({std::nullopt, std::nullopt, QStringLiteral("16000001")});
    QCOMPARE(m.size(), 1);
    // The newest event's port wins; a field only the older one told is taken.
    QCOMPARE(m.first().facts.port, QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(m.first().facts.version, QStringLiteral("01.30-01"));
    QCOMPARE(m.first().site, QStringLiteral("Site B"));
    QCOMPARE(m.first().firstSeen, t0);
    const QList<RegisterModule> s = r.modules({std::nullopt, QStringLiteral("RQ-3050S"), {}});
    QCOMPARE(s.size(), 1);
    QCOMPARE(s.first().lastTest, QStringLiteral("passed"));
    const std::optional<RegisterEntry> test = r.lastTest(s.first().key);
    QVERIFY(test && test->test);
    QCOMPARE(test->test->cards.size(), 1);
    QCOMPARE(test->test->cards.first().channel, 2);
}

void TestRegisterStore::mergeRefuses_data() {
    QTest::addColumn<QString>("other");
    QTest::addColumn<int>("kind");
    QTest::newRow("not a database") << "text" << int(Kind::NotDatabase);
    QTest::newRow("another program's database") << "foreign" << int(Kind::NotRegister);
    QTest::newRow("a newer schema") << "newer" << int(Kind::Newer);
    QTest::newRow("itself") << "self" << int(Kind::SameFile);
    QTest::newRow("itself through a link") << "link" << int(Kind::SameFile);
    QTest::newRow("no such file") << "missing" << int(Kind::Failed);
}

void TestRegisterStore::mergeRefuses() {
    QFETCH(QString, other);
    QFETCH(int, kind);
    const QString base = dir_.filePath(QStringLiteral("refuse-") + QTest::currentDataTag());
    QVERIFY(QDir().mkpath(base));
    const QString into = base + QStringLiteral("/register.sqlite");
    {
        RegisterWriter w(into);
        w.post(Entry(QStringLiteral("16000001")));
        QVERIFY(w.flush());
    }
    QString path = base + QStringLiteral("/other.sqlite");
    if (other == "text") {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not a register");
    } else if (other == "foreign") {
        QVERIFY(Load(path, QStringLiteral("CREATE TABLE event (uuid BLOB);")));
    } else if (other == "newer") {
        QVERIFY(Load(path, QStringLiteral("PRAGMA application_id = %1;\nPRAGMA user_version = 99;\n"
                                          "CREATE TABLE module (x);")
                               .arg(kRegisterApplicationId)));
    } else if (other == "self") {
        path = into;
    } else if (other == "link") {
        QVERIFY(QFile::link(into, path));
    }
    const QByteArray before = Bytes(into);
    MergeCounts c;
    RegisterProblem p;
    QVERIFY(!MergeRegister(into, path, &c, &p));
    QCOMPARE(int(p.kind), kind);
    QVERIFY(!p.describe().isEmpty());
    QCOMPARE(Bytes(into), before);
    QCOMPARE(Events(into), 1);
}

void TestRegisterStore::csvRoundTrip_data() {
    QTest::addColumn<QString>("site");
    QTest::addColumn<QString>("serial");
    QTest::newRow("quotes") << "say \"hi\""
                            << "AB\"CD\"E";
    QTest::newRow("commas") << "a,b,c"
                            << "12,34,56";
    QTest::newRow("line breaks") << "line 1\nline 2\r\nend"
                                 << "1234\n678";
    QTest::newRow("chinese") << "北京 工地 三號"
                             << "序號12345";
    QTest::newRow("blanks at the ends") << " padded "
                                        << " 123456 ";
    QTest::newRow("sql in a text") << "x'); DROP TABLE module; --"
                                   << "'OR'1'='";
}

void TestRegisterStore::csvRoundTrip() {
    QFETCH(QString, site);
    QFETCH(QString, serial);
    const QString path =
        dir_.filePath(QStringLiteral("csv-%1.sqlite").arg(QTest::currentDataTag()));
    {
        RegisterWriter w(path);
        w.post(Entry(QStringLiteral("16000001"), QStringLiteral("other site")));
        RegisterEntry e = Entry(serial, site);
        e.before = SettingValues{{QStringLiteral("di-mode"), QStringLiteral("hold")}};
        e.after = SettingValues{{QStringLiteral("di-mode"), site}};
        w.post(e);
        QVERIFY(w.flush());
    }
    RegisterReader r;
    QVERIFY(r.open(path));
    // Bound, not pasted: the site finds exactly its own module.
    const QList<RegisterModule> found = r.modules({site, std::nullopt, {}});
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.first().facts.serial, serial);
    QCOMPARE(r.modules().size(), 2);

    const QString modules = dir_.filePath(QStringLiteral("modules.csv"));
    QString why;
    QVERIFY(WriteCsv(modules, ModuleCsvHeader(), {ModuleCsvCells(found.first())}, &why));
    const QByteArray bytes = Bytes(modules);
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    const QList<QStringList> rows = ParseCsv(bytes);
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows.at(0), ModuleCsvHeader());
    QCOMPARE(rows.at(1).at(ModuleCsvHeader().indexOf("site")), site);
    QCOMPARE(rows.at(1).at(ModuleCsvHeader().indexOf("serial")), serial);

    const QString history = dir_.filePath(QStringLiteral("history.csv"));
    QList<QStringList> cells;
    for (const RegisterEntry& e : r.history(found.first().key)) cells << HistoryCsvCells(e);
    QVERIFY(WriteCsv(history, HistoryCsvHeader(), cells, &why));
    const QList<QStringList> h = ParseCsv(Bytes(history));
    QCOMPARE(h.size(), 2);
    QCOMPARE(h.at(1).at(HistoryCsvHeader().indexOf("site")), site);
    QCOMPARE(h.at(1).at(HistoryCsvHeader().indexOf("after")), "di-mode=" + site);
}

void TestRegisterStore::filter_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<bool>("matches");
    QTest::newRow("empty") << "" << true;
    QTest::newRow("serial anywhere") << "16000003" << true;
    QTest::newRow("serial column") << "serial:0000" << true;
    QTest::newRow("type column, other type") << "type:3050" << false;
    QTest::newRow("site phrase") << "site:\"plant 4\"" << true;
    QTest::newRow("two words, both found") << "Plant 4" << true;
    QTest::newRow("two words, one missing") << "plant 5" << false;
    QTest::newRow("site column, other site") << "site:depot" << false;
    QTest::newRow("port") << "com3" << true;
    QTest::newRow("last test") << "passed" << true;
    QTest::newRow("id") << "07" << true;
    QTest::newRow("type and serial") << "type:rq-3016 serial:03" << true;
}

void TestRegisterStore::filter() {
    QFETCH(QString, filter);
    QFETCH(bool, matches);
    RegisterModule m;
    m.facts.type = QStringLiteral("RQ-3016");
    m.facts.serial = QStringLiteral("16000003");
    m.facts.port = QStringLiteral("COM3");
    m.facts.id = 7;
    m.site = QStringLiteral("Plant 4, hall B");
    m.lastTest = QStringLiteral("passed");
    QCOMPARE(Matches(m, ParseRegisterFilter(filter)), matches);
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 5 && QByteArray(argv[1]) == "--child-writer")
        return ChildWriter(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toInt(),
                           QString::fromLocal8Bit(argv[4]), QByteArray(argv[3]).toInt() == 0);
    TestRegisterStore test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_register_store.moc"
