// quillon-cli survey and apply as a user runs them on several buses at once and on buses cut
// off: each a quillon-sim of several modules on a pseudo-terminal. The ports named in output and
// plans, the worst exit status, a bus written as a plan, Ctrl-C and kill -9 in the middle of a
// run.

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

class TestCliBuses : public QObject {
    Q_OBJECT

  private:
    CliRunner cli_;

  private slots:
    void busAsPlan();
    void severalBuses();
    void interruptFinishesTheStep();
    void killedInASwapIsFinishedByTheNextRun();
};

void TestCliBuses::busAsPlan() {
    // What a survey finds, written as a plan: applied to the same bus it changes nothing, and
    // after a factory default it brings the module back.
    Sim sim({"--module", "RQ-3016:2:16000002", "--module", "RQ-3050S:3:50000003", "--module",
             "RQ-3040:3:40000003"});
    const QString plan = cli_.path("bus.csv");
    const QStringList common = {"--port", sim.pty, "--ids", "1-3", "--line", "5"};
    const Run set = cli_.run({"set", "--port", sim.pty, "--type", "RQ-3040", "--id", "3", "--line",
                              "19200,e,8,1", "--tx-on", "7", "--tx-off", "8"});
    QVERIFY2(set.code == 0, set.err.constData());
    const Run survey = cli_.run(QStringList{"survey", "--plan", plan, "--type", "all"} + common);
    QVERIFY2(survey.code == 0, survey.err.constData());
    QFile f(plan);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.value(0), QStringLiteral("type,serial,id,line,di-mode,di-nonc,ch2-id,interface,"
                                            "rep-line,tx-on,tx-off"));
    QCOMPARE(lines.size(), 4);  // CH #2 of the Wiegand module is its ch2-id, not a row
    QVERIFY2(lines.contains("RQ-3050S,50000003,03,\"19200,e,8,1\",,,5,RS485 32,,,"),
             qPrintable(lines.join('\n')));
    const Run same = cli_.run(QStringList{"apply", plan, "--json"} + common);
    QVERIFY2(same.code == 0, same.err.constData());
    QCOMPARE(same.out.count("\"outcome\":\"unchanged\""), 3);

    const Run reset = cli_.run({"factory-default", "--yes", "--port", sim.pty, "--type", "RQ-3040",
                                "--id", "3", "--line", "19200,e,8,1"});
    QVERIFY2(reset.code == 0, reset.err.constData());
    const Run back = cli_.run(QStringList{"apply", plan, "--json"} + common);
    QVERIFY2(back.code == 0, back.err.constData());
    QCOMPARE(back.out.count("\"outcome\":\"done\""), 1);
    QVERIFY(back.out.contains("\"found_at\":\"ID 01 at 19200,e,8,1\""));
    QVERIFY2(back.out.contains("tx-off=8 tx-on=7\""), back.out.constData());
}

void TestCliBuses::severalBuses() {
    Sim one({"--module", "RQ-3016:3:16000003", "--module", "RQ-3016:4:16000004"});
    Sim two({"--module", "RQ-3016:4:16000104"});
    Sim silent({"--module", "RQ-3016:9:16000009"});  // answers at 9, never asked
    const QStringList ports = {"--port", one.pty, "--port", two.pty, "--port", silent.pty};
    const QStringList common = QStringList{"--ids", "1-5", "--line", "5"} + ports;
    // Each line names its port; the silent bus says so and makes the exit status 1.
    const Run s = cli_.run(QStringList{"survey", "--json"} + common);
    QCOMPARE(s.code, 1);
    QCOMPARE(s.out.count("\"port\":\"" + one.pty.toUtf8() + "\""), 2);
    QCOMPARE(s.out.count("\"port\":\"" + two.pty.toUtf8() + "\""), 1);
    QVERIFY2(s.err.contains(silent.pty.toUtf8() + ": no module answered"), s.err.constData());
    // A port that does not open is worse than a silent one.
    const Run gone = cli_.run(QStringList{"survey", "--port", cli_.path("no-such-port")} + common);
    QCOMPARE(gone.code, 3);
    QCOMPARE(gone.out.count('\n'), 4);  // the header and the three modules all the same

    // A swap across two buses is refused: a module does not change bus.
    const QString report = cli_.path("kept.csv");
    QFile keep(report);
    QVERIFY(keep.open(QIODevice::WriteOnly));
    keep.write("an earlier report\n");
    keep.close();
    const QString across = cli_.write("across.csv",
                                      "type,serial,id,line,port\n"
                                      "RQ-3016,16000004,"
                                      "3,," +
                                          two.pty.toUtf8() +
                                          "\n"
                                          "RQ-3016,16000003,4,," +
                                          one.pty.toUtf8() + "\n");
    const Run refused = cli_.run(QStringList{"apply", across, "--report", report} + common);
    QCOMPARE(refused.code, 2);
    QVERIFY2(refused.err.contains("a module does not change bus"), refused.err.constData());
    QVERIFY(keep.open(QIODevice::ReadOnly));
    QCOMPARE(keep.readAll(), QByteArray("an earlier report\n"));  // not emptied
    keep.close();
    for (const QString& f : one.heard() + two.heard())
        QVERIFY2(!f.contains("C1600"), qPrintable(f));

    // Without the column each row goes to the bus that holds its serial number.
    const QString plan = cli_.write("two.csv",
                                    "type,serial,id,line\n"
                                    "RQ-3016,16000104,2,\n"
                                    "RQ-3016,16000003,5,\n");
    const Run applied = cli_.run(QStringList{"apply", plan, "--report", report, "--json"} + common);
    QCOMPARE(applied.code, 0);
    QVERIFY(applied.out.contains("\"port\":\"" + two.pty.toUtf8() + "\",\"row\":2"));
    QVERIFY(applied.out.contains("\"port\":\"" + one.pty.toUtf8() + "\",\"row\":3"));
}

void TestCliBuses::interruptFinishesTheStep() {
    Sim sim({"--module", "RQ-3016:1:16000001", "--module", "RQ-3016:2:16000002", "--module",
             "RQ-3016:3:16000003"});
    const QString plan = cli_.write("three.csv",
                                    "type,serial,id,line\n"
                                    "RQ-3016,16000001,11,\n"
                                    "RQ-3016,16000002,12,\n"
                                    "RQ-3016,16000003,13,\n");
    const QStringList common = {"--port", sim.pty, "--ids", "1-3", "--line", "5"};
    QProcess p;
    cli_.start(p, QStringList{"apply", plan} + common);
    // Ctrl-C once the first row has ended: the row under way ends, the last is left.
    QByteArray out;
    QElapsedTimer t;
    t.start();
    while (!out.contains(": done") && t.elapsed() < 20000) {
        p.waitForReadyRead(50);
        out += p.readAllStandardOutput();
    }
    QCOMPARE(p.state(), QProcess::Running);
    ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    QVERIFY(p.waitForFinished(10000));
    out += p.readAllStandardOutput();
    QCOMPARE(p.exitCode(), 130);
    QVERIFY2(out.contains("not run: stopped"), out.constData());
    QVERIFY2(!out.contains("failed"), out.constData());
    QVERIFY(p.readAllStandardError().contains("row(s) not run"));
    // The same plan again finishes it.
    const Run again = cli_.run(QStringList{"apply", plan} + common);
    QCOMPARE(again.code, 0);
    QCOMPARE(again.out.count(": unchanged") + again.out.count(": done"), 3);

    // A second Ctrl-C ends at once, here in the middle of the survey.
    cli_.start(p, {"survey", "--port", sim.pty, "--line", "5"});
    QVERIFY(p.waitForReadyRead(5000));
    QCOMPARE(p.state(), QProcess::Running);
    ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    QVERIFY(p.waitForFinished(1000));
    QCOMPARE(p.exitCode(), 130);
}

void TestCliBuses::killedInASwapIsFinishedByTheNextRun() {
    Sim sim({"--module", "RQ-3016:3:16000003", "--module", "RQ-3016:4:16000004"});
    const QString plan = cli_.write("swap.csv",
                                    "type,serial,id,line\n"
                                    "RQ-3016,16000003,4,\n"
                                    "RQ-3016,16000004,3,\n");
    const QStringList common = {"--port", sim.pty, "--ids", "1-5", "--line", "5"};
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", cli_.config());
    p.setProcessEnvironment(env);
    sim.heard();
    cli_.start(p, QStringList{"apply", plan} + common);
    // Killed as soon as the first module has stepped aside to the spare ID 05.
    QElapsedTimer t;
    t.start();
    bool aside = false;
    while (!aside && t.elapsed() < 20000 && p.state() == QProcess::Running)
        for (const QString& f : sim.heard()) aside = aside || f.contains("C1600000305");
    QVERIFY(aside);
    ::kill(static_cast<pid_t>(p.processId()), SIGKILL);
    QVERIFY(p.waitForFinished(5000));
    const Run again = cli_.run(QStringList{"apply", plan, "--json"} + common);
    QVERIFY2(again.code == 0, again.err.constData());
    QVERIFY(again.out.contains("\"found_at\":\"ID 05 at 19200,e,8,1\""));
    const Run after = cli_.run(QStringList{"apply", plan, "--json"} + common);
    QCOMPARE(after.out.count("\"outcome\":\"unchanged\""), 2);
}

QTEST_GUILESS_MAIN(TestCliBuses)
#include "test_cli_buses.moc"
