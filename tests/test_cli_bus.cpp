// quillon-cli survey and apply as a user runs them, against quillon-sim hosting a bus of
// several modules on one pseudo-terminal: what is found, the exit statuses, the report, and
// the frames the bus heard.

#include <signal.h>

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "support/clirun.h"
#include "support/simprocess.h"

class TestCliBus : public QObject {
    Q_OBJECT

  private:
    CliRunner cli_;

  private slots:
    void surveyFindsBus();
    void applyPlan();
    void refusalsSendNothing_data();
    void refusalsSendNothing();
    void rowThatFailsExitsFour();
};

void TestCliBus::surveyFindsBus() {
    // Five modules at two baud rates, two of them at one ID; the pty carries no parity.
    Sim sim({"--module", "RQ-3016:3", "--module", "RQ-3050K:6:51000009", "--module",
             "RQ-3016:2:16000044:3", "--module", "RQ-3016:5:16000051", "--module",
             "RQ-3016:5:16000052"});
    QVERIFY(!sim.pty.isEmpty());
    const Run r = cli_.run({"survey", "--port", sim.pty, "--json", "--ids", "1-6", "--line",
                            "19200,e,8,1", "--line", "3", "--type", "all"});
    QVERIFY2(r.code == 0, r.err.constData());
    QCOMPARE(r.lines(),
             (QStringList{"RQ-3016 03 16000301 19200,e,8,1", "RQ-3050K 06 51000009 19200,e,8,1",
                          "RQ-3050K 05 51900602 19200,e,8,1", "RQ-3016 02 16000044 9600,e,8,1",
                          "collision RQ-3016 05 19200,e,8,1"}));
    // CH #2 of the Wiegand module answers at its own ID and is named as such.
    QVERIFY(r.out.contains("\"ch2_of\":\"51000009\""));
    // Text: a table with the version; a collision says what it may mean.
    const Run t =
        cli_.run({"survey", "--port", sim.pty, "--ids", "2-3", "--line", "5", "--type", "RQ-3016"});
    QCOMPARE(t.code, 0);
    QVERIFY2(t.out.contains("RQ-3016   03  19200,e,8,1  16000301  01.20-36"), t.out.constData());
    QVERIFY(!t.out.contains("16000044"));
    const Run none =
        cli_.run({"survey", "--port", sim.pty, "--ids", "1-3", "--line", "0", "--type", "RQ-3020"});
    QCOMPARE(none.code, 1);
    QVERIFY(none.out.startsWith("PORT"));
}

void TestCliBus::applyPlan() {
    Sim sim({"--module", "RQ-3016:3:16000003", "--module", "RQ-3016:4:16000004", "--module",
             "RQ-3016:6:16000006"});
    const QString plan = cli_.write("plan.csv",
                                    "type,serial,id,line,di-mode\n"
                                    "RQ-3016,16000003,4,,normal\n"
                                    "RQ-3016,16000004,3,,\n"
                                    "RQ-3016,16000006,6,,\n");
    const QString report = cli_.path("report.csv");
    const QStringList common = {"--port", sim.pty, "--ids", "1-6", "--line", "5"};
    const Run dry = cli_.run(QStringList{"apply", plan, "--dry-run"} + common);
    QVERIFY2(dry.code == 0, dry.err.constData());
    QVERIFY2(dry.out.contains("row 2 16000003: B03 set di-mode normal"), dry.out.constData());
    QVERIFY(dry.out.contains("row 3 16000004: B04C1600000403"));
    for (const QString& f : sim.heard())
        QVERIFY2(
            f.mid(7, 1) == "B" || f.mid(7, 1) == "V" || f.mid(7, 1) == "G" || f.mid(7, 1) == "A",
            qPrintable(f));

    const Run done = cli_.run(QStringList{"apply", plan, "--report", report} + common);
    QVERIFY2(done.code == 0, done.err.constData());
    QFile f(report);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QStringList rows = QString::fromUtf8(f.readAll()).split('\n');
    QCOMPARE(rows.value(0),
             QStringLiteral("row,type,serial,found_at,before,after,verified,outcome,port"));
    // Rows as they end: the unchanged one first, then those of the swap.
    QVERIFY2(rows.value(1).startsWith("4,RQ-3016,16000006,") &&
                 rows.value(1).endsWith(",yes,unchanged," + sim.pty),
             qPrintable(rows.value(1)));
    QVERIFY(rows.filter("2,RQ-3016,16000003,\"ID 03 at 19200,e,8,1\"").size() == 1);
    QVERIFY(rows.filter(",yes,done,").size() == 2);

    const Run again = cli_.run(QStringList{"apply", plan, "--json"} + common);
    QCOMPARE(again.code, 0);
    QCOMPARE(again.out.count("\"outcome\":\"unchanged\""), 3);
}

void TestCliBus::refusalsSendNothing_data() {
    QTest::addColumn<QByteArray>("plan");
    QTest::addColumn<QString>("message");
    QTest::newRow("value out of range")
        << QByteArray("type,serial,id,line\nRQ-3016,16000003,0,\n") << "row 2, column id:";
    QTest::newRow("serial not found")
        << QByteArray("type,serial,id,line\nRQ-3016,16000099,7,\n") << "row 2, column serial:";
    QTest::newRow("ID taken") << QByteArray("type,serial,id,line\nRQ-3016,16000003,4,\n")
                              << "row 2, column id: row 2 (16000003) would share";
}

void TestCliBus::refusalsSendNothing() {
    QFETCH(QByteArray, plan);
    QFETCH(QString, message);
    Sim sim({"--module", "RQ-3016:3:16000003", "--module", "RQ-3016:4:16000004"});
    const Run r = cli_.run(
        {"apply", cli_.write("bad.csv", plan), "--port", sim.pty, "--ids", "1-4", "--line", "5"});
    QCOMPARE(r.code, 2);
    QVERIFY2(QString::fromUtf8(r.err).contains(message), r.err.constData());
    QVERIFY(r.err.contains("nothing was sent"));
    for (const QString& f : sim.heard()) QVERIFY2(!f.contains("C1600"), qPrintable(f));
}

void TestCliBus::rowThatFailsExitsFour() {
    // The repeater takes no transmit delay of 0: that row fails, the other is done.
    Sim sim({"--module", "RQ-3040:2:40000002", "--module", "RQ-3016:3:16000003"});
    const QString plan = cli_.write("four.csv",
                                    "type,serial,id,line,tx-on,di-mode\n"
                                    "RQ-3040,40000002,,,0,\n"
                                    "RQ-3016,16000003,,,,normal\n");
    const Run r = cli_.run({"apply", plan, "--port", sim.pty, "--ids", "1-3", "--line", "5"});
    QCOMPARE(r.code, 4);
    QVERIFY2(r.out.contains("row 2 RQ-3040 40000002: failed: tx-on not acknowledged"),
             r.out.constData());
    QVERIFY(r.out.contains("row 3 RQ-3016 16000003: done"));
}

QTEST_GUILESS_MAIN(TestCliBus)
#include "test_cli_bus.moc"
