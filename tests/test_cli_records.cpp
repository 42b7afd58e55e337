// What the site register holds after quillon-cli has commissioned buses, as a customer reads
// it: exactly the modules of the plan, each event under its own module, the report's dates;
// what a run ended by a signal leaves in it; and a register that cannot be read.

#include <signal.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include "support/clirun.h"
#include "support/parsecsv.h"
#include "support/simprocess.h"

namespace {

QList<QJsonObject> Objects(const QByteArray& out) {
    QList<QJsonObject> list;
    for (const QByteArray& l : out.split('\n'))
        if (!l.trimmed().isEmpty()) list << QJsonDocument::fromJson(l).object();
    return list;
}

QString Key(const QJsonObject& o) {
    return o.value("type").toString() + ' ' + o.value("serial").toString();
}

}  // namespace

class TestCliRecords : public QObject {
    Q_OBJECT

  private:
    CliRunner cli_;
    QString register_;
    Run run(const QStringList& args) {
        return cli_.run(args + QStringList{"--register", register_});
    }

  private slots:
    void init() {
        register_ = cli_.path(QStringLiteral("%1.sqlite").arg(QTest::currentDataTag()));
        QFile::remove(register_);
    }
    void twoBusesLeaveExactlyThePlansModules();
    void signalLeavesTheRowsThatRan_data();
    void signalLeavesTheRowsThatRan();
    void unreadableRegisterSaysWhy_data();
    void unreadableRegisterSaysWhy();
};

void TestCliRecords::twoBusesLeaveExactlyThePlansModules() {
    // Every type; fresh modules at ID 01 on both buses, a swap of IDs 03 and 04, and a Wiegand
    // module whose CH #2 (ID 05) answers before the module itself (ID 06).
    Sim a({"--module", "RQ-3016:1:16000601", "--module", "RQ-3016:3:16000603", "--module",
           "RQ-3016:4:16000604", "--module", "RQ-3040:1:40000601", "--module",
           "RQ-3050K:6:51000606"});
    Sim b({"--module", "RQ-3020:1:20000701", "--module", "RQ-3030:1:30000701", "--module",
           "RQ-3050S:1:50000701"});
    const QString plan = cli_.write("mixed.csv",
                                    "type,serial,id,line\n"
                                    "RQ-3016,16000601,11,\n"
                                    "RQ-3016,16000603,4,\n"
                                    "RQ-3016,16000604,3,\n"
                                    "RQ-3040,40000601,12,\n"
                                    "RQ-3050K,51000606,13,\n"
                                    "RQ-3020,20000701,7,\n"
                                    "RQ-3030,30000701,8,\n"
                                    "RQ-3050S,50000701,9,\n");
    const QStringList apply = {"apply", plan,   "--port", a.pty, "--port", b.pty,
                               "--ids", "1-13", "--line", "5",   "--site", "Two buses"};
    const Run first = run(apply);
    QVERIFY2(first.code == 0, first.err.constData());
    QCOMPARE(first.out.count(": done"), 8);
    const Run again = run(apply);
    QVERIFY2(again.code == 0, again.err.constData());
    QCOMPARE(again.out.count(": unchanged"), 8);

    const QSet<QString> planned{"RQ-3016 16000601", "RQ-3016 16000603",  "RQ-3016 16000604",
                                "RQ-3040 40000601", "RQ-3050K 51000606", "RQ-3020 20000701",
                                "RQ-3030 30000701", "RQ-3050S 50000701"};
    QSet<QString> listed;
    for (const QJsonObject& m : Objects(run({"register", "list", "--json"}).out)) {
        listed << Key(m);
        // Each module's history is its own: a Set ID under the module it was sent to.
        const QList<QJsonObject> events =
            Objects(run({"register", "history", m.value("serial").toString(), "--json"}).out);
        int setIds = 0;
        for (const QJsonObject& e : events) {
            QCOMPARE(Key(e), Key(m));
            QVERIFY2(e.value("outcome").toString() != "Get setting data: Module data error!",
                     qPrintable(Key(m)));
            setIds += e.value("outcome").toString() == "Set ID ok." ? 1 : 0;
        }
        QVERIFY2(setIds >= 1, qPrintable(Key(m)));
    }
    QCOMPARE(listed, planned);

    const QString csv = cli_.path("report.csv");
    const Run report = run({"report", "--site", "Two buses", "--csv", csv, "--json"});
    QVERIFY2(report.code == 0, report.err.constData());
    QFile f(csv);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QList<QStringList> rows = ParseCsv(f.readAll());
    QCOMPARE(rows.size(), planned.size() + 1);
    const int commissioning = rows.first().indexOf("commissioning");
    const QString today = QDate::currentDate().toString(Qt::ISODate);
    for (const QStringList& r : rows.mid(1)) {
        QVERIFY(planned.contains(r.at(0) + ' ' + r.at(1)));
        // Done when it was changed, and confirmed by the run that found it so.
        QCOMPARE(r.at(commissioning), QStringLiteral("done %1, confirmed %1").arg(today));
    }
}

void TestCliRecords::signalLeavesTheRowsThatRan_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGHUP") << SIGHUP;
}

void TestCliRecords::signalLeavesTheRowsThatRan() {
    QFETCH(int, signal);
    QStringList modules;
    QByteArray plan = "type,serial,id,line,di-mode\n";
    for (int i = 1; i <= 10; ++i) {
        const QString serial = QStringLiteral("160001%1").arg(i, 2, 10, QChar('0'));
        modules << "--module" << QStringLiteral("RQ-3016:%1:%2").arg(i).arg(serial);
        plan += "RQ-3016," + serial.toLatin1() + "," + QByteArray::number(i) + ",,normal\n";
    }
    Sim sim(modules);
    QProcess p;
    cli_.start(p, {"apply", cli_.write("ten.csv", plan), "--port", sim.pty, "--ids", "1-10",
                   "--line", "5", "--register", register_});
    QByteArray out;
    QElapsedTimer t;
    t.start();
    while (out.count(": done") < 3 && t.elapsed() < 30000) {
        p.waitForReadyRead(50);
        out += p.readAllStandardOutput();
    }
    QCOMPARE(p.state(), QProcess::Running);
    ::kill(static_cast<pid_t>(p.processId()), signal);
    QVERIFY(p.waitForFinished(15000));
    out += p.readAllStandardOutput();
    QCOMPARE(p.exitCode(), 130);
    QVERIFY2(out.contains("not run: stopped"), out.constData());

    // The register holds each row that ran, and none that did not.
    QSet<QString> ran, recorded;
    static const QRegularExpression done(QStringLiteral(" RQ-3016 (\\d{8}): done"));
    for (const QByteArray& line : out.split('\n')) {
        const QRegularExpressionMatch m = done.match(QString::fromLatin1(line));
        if (m.hasMatch()) ran << m.captured(1);
    }
    for (int i = 1; i <= 10; ++i) {
        const QString serial = QStringLiteral("160001%1").arg(i, 2, 10, QChar('0'));
        for (const QJsonObject& e : Objects(run({"register", "history", serial, "--json"}).out))
            if (e.value("kind").toString() == "apply" && e.value("outcome").toString() == "done")
                recorded << serial;
    }
    QVERIFY(ran.size() >= 3 && ran.size() < 10);
    QCOMPARE(recorded, ran);
}

void TestCliRecords::unreadableRegisterSaysWhy_data() {
    QTest::addColumn<QString>("file");  // under the test's folder
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("why");
    QTest::newRow("nothing recorded yet") << "none-yet.sqlite" << 0 << "";
    QTest::newRow("its folder not made yet") << "new/folder/r.sqlite" << 0 << "";
    QTest::newRow("its folder is a file") << "notes.txt/r.sqlite" << 2 << "is missing and cannot";
    QTest::newRow("not a database") << "notes.txt" << 2 << "is not a register database";
}

void TestCliRecords::unreadableRegisterSaysWhy() {
    QFETCH(QString, file);
    QFETCH(int, code);
    QFETCH(QString, why);
    cli_.write("notes.txt", "my notes\n");
    const Run r = cli_.run({"register", "list", "--register", cli_.path(file)});
    QCOMPARE(r.code, code);
    if (code == 0) {
        QVERIFY(r.out.startsWith("TYPE"));
        QCOMPARE(r.out.count('\n'), 1);
        QVERIFY(r.err.isEmpty());
        QVERIFY(!QFile::exists(cli_.path(file)));
    } else {
        QVERIFY(r.out.isEmpty());
        QVERIFY2(r.err.contains(why.toUtf8()), r.err.constData());
    }
}

QTEST_GUILESS_MAIN(TestCliRecords)
#include "test_cli_records.moc"
