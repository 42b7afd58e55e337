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

#include "support/simprocess.h"

namespace {

struct Run {
    int code = -1;
    QByteArray out, err;
    // One JSON object a line, as "type id serial line" (or "collision type id line").
    QStringList lines() const {
        QStringList out;
        for (const QByteArray& l : this->out.split('\n')) {
            if (l.isEmpty()) continue;
            const QJsonObject o = QJsonDocument::fromJson(l).object();
            const QString id = QStringLiteral("%1").arg(o.value("id").toInt(), 2, 10, QChar('0'));
            if (o.value("collision").toBool())
                out << QStringLiteral("collision %1 %2 %3")
                           .arg(o.value("type").toString(), id, o.value("line").toString());
            else
                out << QStringLiteral("%1 %2 %3 %4")
                           .arg(o.value("type").toString(), id, o.value("serial").toString(),
                                o.value("line").toString());
        }
        return out;
    }
};

}  // namespace

class TestCliBus : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir dir_;

    Run run(const QStringList& args) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", dir_.path());
        p.setProcessEnvironment(env);
        p.setProgram(qEnvironmentVariable("QUILLON_CLI"));
        p.setArguments(args);
        p.start();
        Run r;
        if (p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit)
            r.code = p.exitCode();
        r.out = p.readAllStandardOutput();
        r.err = p.readAllStandardError();
        return r;
    }
    QString write(const QString& name, const QByteArray& text) {
        const QString path = dir_.filePath(name);
        QFile f(path);
        if (f.open(QIODevice::WriteOnly)) f.write(text);
        return path;
    }

  private slots:
    void surveyFindsBus();
    void applyPlan();
    void refusalsSendNothing_data();
    void refusalsSendNothing();
    void busAsPlan();
    void severalBuses();
    void rowThatFailsExitsFour();
    void interruptFinishesTheStep();
    void killedInASwapIsFinishedByTheNextRun();
};

void TestCliBus::surveyFindsBus() {
    // Five modules at two baud rates, two of them at one ID; the pty carries no parity.
    Sim sim({"--module", "RQ-3016:3", "--module", "RQ-3050K:6:51000009", "--module",
             "RQ-3016:2:16000044:3", "--module", "RQ-3016:5:16000051", "--module",
             "RQ-3016:5:16000052"});
    QVERIFY(!sim.pty.isEmpty());
    const Run r = run({"survey", "--port", sim.pty, "--json", "--ids", "1-6", "--line",
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
        run({"survey", "--port", sim.pty, "--ids", "2-3", "--line", "5", "--type", "RQ-3016"});
    QCOMPARE(t.code, 0);
    QVERIFY2(t.out.contains("RQ-3016   03  19200,e,8,1  16000301  01.20-36"), t.out.constData());
    QVERIFY(!t.out.contains("16000044"));
    const Run none =
        run({"survey", "--port", sim.pty, "--ids", "1-3", "--line", "0", "--type", "RQ-3020"});
    QCOMPARE(none.code, 1);
    QVERIFY(none.out.startsWith("PORT"));
}

void TestCliBus::applyPlan() {
    Sim sim({"--module", "RQ-3016:3:16000003", "--module", "RQ-3016:4:16000004", "--module",
             "RQ-3016:6:16000006"});
    const QString plan = write("plan.csv",
                               "type,serial,id,line,di-mode\n"
                               "RQ-3016,16000003,4,,normal\n"
                               "RQ-3016,16000004,3,,\n"
                               "RQ-3016,16000006,6,,\n");
    const QString report = dir_.filePath("report.csv");
    const QStringList common = {"--port", sim.pty, "--ids", "1-6", "--line", "5"};
    const Run dry = run(QStringList{"apply", plan, "--dry-run"} + common);
    QVERIFY2(dry.code == 0, dry.err.constData());
    QVERIFY2(dry.out.contains("row 2 16000003: B03 set di-mode normal"), dry.out.constData());
    QVERIFY(dry.out.contains("row 3 16000004: B04C1600000403"));
    for (const QString& f : sim.heard())
        QVERIFY2(
            f.mid(7, 1) == "B" || f.mid(7, 1) == "V" || f.mid(7, 1) == "G" || f.mid(7, 1) == "A",
            qPrintable(f));

    const Run done = run(QStringList{"apply", plan, "--report", report} + common);
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

    const Run again = run(QStringList{"apply", plan, "--json"} + common);
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
    const Run r =
        run({"apply", write("bad.csv", plan), "--port", sim.pty, "--ids", "1-4", "--line", "5"});
    QCOMPARE(r.code, 2);
    QVERIFY2(QString::fromUtf8(r.err).contains(message), r.err.constData());
    QVERIFY(r.err.contains("nothing was sent"));
    for (const QString& f : sim.heard()) QVERIFY2(!f.contains("C1600"), qPrintable(f));
}

void TestCliBus::busAsPlan() {
    // What a survey finds, written as a plan: applied to the same bus it changes nothing, and
    // after a factory default it brings the module back.
    Sim sim({"--module", "RQ-3016:2:16000002", "--module", "RQ-3050S:3:50000003", "--module",
             "RQ-3040:3:40000003"});
    const QString plan = dir_.filePath("bus.csv");
    const QStringList common = {"--port", sim.pty, "--ids", "1-3", "--line", "5"};
    const Run set = run({"set", "--port", sim.pty, "--type", "RQ-3040", "--id", "3", "--line",
                         "19200,e,8,1", "--tx-on", "7", "--tx-off", "8"});
    QVERIFY2(set.code == 0, set.err.constData());
    const Run survey = run(QStringList{"survey", "--plan", plan, "--type", "all"} + common);
    QVERIFY2(survey.code == 0, survey.err.constData());
    QFile f(plan);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.value(0), QStringLiteral("type,serial,id,line,di-mode,di-nonc,ch2-id,interface,"
                                            "rep-line,tx-on,tx-off"));
    QCOMPARE(lines.size(), 4);  // CH #2 of the Wiegand module is its ch2-id, not a row
    QVERIFY2(lines.contains("RQ-3050S,50000003,03,\"19200,e,8,1\",,,5,RS485 32,,,"),
             qPrintable(lines.join('\n')));
    const Run same = run(QStringList{"apply", plan, "--json"} + common);
    QVERIFY2(same.code == 0, same.err.constData());
    QCOMPARE(same.out.count("\"outcome\":\"unchanged\""), 3);

    const Run reset = run({"factory-default", "--yes", "--port", sim.pty, "--type", "RQ-3040",
                           "--id", "3", "--line", "19200,e,8,1"});
    QVERIFY2(reset.code == 0, reset.err.constData());
    const Run back = run(QStringList{"apply", plan, "--json"} + common);
    QVERIFY2(back.code == 0, back.err.constData());
    QCOMPARE(back.out.count("\"outcome\":\"done\""), 1);
    QVERIFY(back.out.contains("\"found_at\":\"ID 01 at 19200,e,8,1\""));
    QVERIFY2(back.out.contains("tx-off=8 tx-on=7\""), back.out.constData());
}

void TestCliBus::severalBuses() {
    Sim one({"--module", "RQ-3016:3:16000003", "--module", "RQ-3016:4:16000004"});
    Sim two({"--module", "RQ-3016:4:16000104"});
    Sim silent({"--module", "RQ-3016:9:16000009"});  // answers at 9, never asked
    const QStringList ports = {"--port", one.pty, "--port", two.pty, "--port", silent.pty};
    const QStringList common = QStringList{"--ids", "1-5", "--line", "5"} + ports;
    // Each line names its port; the silent bus says so and makes the exit status 1.
    const Run s = run(QStringList{"survey", "--json"} + common);
    QCOMPARE(s.code, 1);
    QCOMPARE(s.out.count("\"port\":\"" + one.pty.toUtf8() + "\""), 2);
    QCOMPARE(s.out.count("\"port\":\"" + two.pty.toUtf8() + "\""), 1);
    QVERIFY2(s.err.contains(silent.pty.toUtf8() + ": no module answered"), s.err.constData());
    // A port that does not open is worse than a silent one.
    const Run gone = run(QStringList{"survey", "--port", dir_.filePath("no-such-port")} + common);
    QCOMPARE(gone.code, 3);
    QCOMPARE(gone.out.count('\n'), 4);  // the header and the three modules all the same

    // A swap across two buses is refused: a module does not change bus.
    const QString report = dir_.filePath("kept.csv");
    QFile keep(report);
    QVERIFY(keep.open(QIODevice::WriteOnly));
    keep.write("an earlier report\n");
    keep.close();
    const QString across = write("across.csv",
                                 "type,serial,id,line,port\n"
                                 "RQ-3016,16000004,"
                                 "3,," +
                                     two.pty.toUtf8() +
                                     "\n"
                                     "RQ-3016,16000003,4,," +
                                     one.pty.toUtf8() + "\n");
    const Run refused = run(QStringList{"apply", across, "--report", report} + common);
    QCOMPARE(refused.code, 2);
    QVERIFY2(refused.err.contains("a module does not change bus"), refused.err.constData());
    QVERIFY(keep.open(QIODevice::ReadOnly));
    QCOMPARE(keep.readAll(), QByteArray("an earlier report\n"));  // not emptied
    keep.close();
    for (const QString& f : one.heard() + two.heard())
        QVERIFY2(!f.contains("C1600"), qPrintable(f));

    // Without the column each row goes to the bus that holds its serial number.
    const QString plan = write("two.csv",
                               "type,serial,id,line\n"
                               "RQ-3016,16000104,2,\n"
                               "RQ-3016,16000003,5,\n");
    const Run applied = run(QStringList{"apply", plan, "--report", report, "--json"} + common);
    QCOMPARE(applied.code, 0);
    QVERIFY(applied.out.contains("\"port\":\"" + two.pty.toUtf8() + "\",\"row\":2"));
    QVERIFY(applied.out.contains("\"port\":\"" + one.pty.toUtf8() + "\",\"row\":3"));
}

void TestCliBus::rowThatFailsExitsFour() {
    // The repeater takes no transmit delay of 0: that row fails, the other is done.
    Sim sim({"--module", "RQ-3040:2:40000002", "--module", "RQ-3016:3:16000003"});
    const QString plan = write("four.csv",
                               "type,serial,id,line,tx-on,di-mode\n"
                               "RQ-3040,40000002,,,0,\n"
                               "RQ-3016,16000003,,,,normal\n");
    const Run r = run({"apply", plan, "--port", sim.pty, "--ids", "1-3", "--line", "5"});
    QCOMPARE(r.code, 4);
    QVERIFY2(r.out.contains("row 2 RQ-3040 40000002: failed: tx-on not acknowledged"),
             r.out.constData());
    QVERIFY(r.out.contains("row 3 RQ-3016 16000003: done"));
}

void TestCliBus::interruptFinishesTheStep() {
    Sim sim({"--module", "RQ-3016:1:16000001", "--module", "RQ-3016:2:16000002", "--module",
             "RQ-3016:3:16000003"});
    const QString plan = write("three.csv",
                               "type,serial,id,line\n"
                               "RQ-3016,16000001,11,\n"
                               "RQ-3016,16000002,12,\n"
                               "RQ-3016,16000003,13,\n");
    const QStringList common = {"--port", sim.pty, "--ids", "1-3", "--line", "5"};
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", dir_.path());
    p.setProcessEnvironment(env);
    p.start(qEnvironmentVariable("QUILLON_CLI"), QStringList{"apply", plan} + common);
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
    const Run again = run(QStringList{"apply", plan} + common);
    QCOMPARE(again.code, 0);
    QCOMPARE(again.out.count(": unchanged") + again.out.count(": done"), 3);

    // A second Ctrl-C ends at once, here in the middle of the survey.
    p.start(qEnvironmentVariable("QUILLON_CLI"),
            QStringList{"survey", "--port", sim.pty, "--line", "5"});
    QVERIFY(p.waitForReadyRead(5000));
    QCOMPARE(p.state(), QProcess::Running);
    ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    QVERIFY(p.waitForFinished(1000));
    QCOMPARE(p.exitCode(), 130);
}

void TestCliBus::killedInASwapIsFinishedByTheNextRun() {
    Sim sim({"--module", "RQ-3016:3:16000003", "--module", "RQ-3016:4:16000004"});
    const QString plan = write("swap.csv",
                               "type,serial,id,line\n"
                               "RQ-3016,16000003,4,\n"
                               "RQ-3016,16000004,3,\n");
    const QStringList common = {"--port", sim.pty, "--ids", "1-5", "--line", "5"};
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", dir_.path());
    p.setProcessEnvironment(env);
    sim.heard();
    p.start(qEnvironmentVariable("QUILLON_CLI"), QStringList{"apply", plan} + common);
    QVERIFY(p.waitForStarted(5000));
    // Killed as soon as the first module has stepped aside to the spare ID 05.
    QElapsedTimer t;
    t.start();
    bool aside = false;
    while (!aside && t.elapsed() < 20000 && p.state() == QProcess::Running)
        for (const QString& f : sim.heard()) aside = aside || f.contains("C1600000305");
    QVERIFY(aside);
    ::kill(static_cast<pid_t>(p.processId()), SIGKILL);
    QVERIFY(p.waitForFinished(5000));
    const Run again = run(QStringList{"apply", plan, "--json"} + common);
    QVERIFY2(again.code == 0, again.err.constData());
    QVERIFY(again.out.contains("\"found_at\":\"ID 05 at 19200,e,8,1\""));
    const Run after = run(QStringList{"apply", plan, "--json"} + common);
    QCOMPARE(after.out.count("\"outcome\":\"unchanged\""), 2);
}

QTEST_GUILESS_MAIN(TestCliBus)
#include "test_cli_bus.moc"
