// The site register's file: schema upgrades from every earlier version, the faults that turn it
// off (and leave the file alone), a writer killed mid-write, and several writers at once.
#include <sys/stat.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include "register/registerreader.h"
#include "register/registerstore.h"
#include "register/registerwriter.h"
#include "support/registertest.h"

namespace {

using namespace registertest;
using Kind = RegisterProblem::Kind;

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
