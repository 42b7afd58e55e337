// quillon-cli checkout as a technician runs it: a walk through a building of two buses played
// by quillon-sim's event files, every point passing in the order walked and filed in the site
// register; the points list written from a survey; lists refused before anything is sent; a
// module that never answers, a port that does not open and an adapter pulled mid-run.

#include <signal.h>

#include <QElapsedTimer>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTest>

#include "support/clirun.h"
#include "support/simprocess.h"

namespace {

QList<QJsonObject> Objects(const QByteArray& out) {
    QList<QJsonObject> objects;
    for (const QByteArray& l : out.split('\n'))
        if (!l.isEmpty()) objects << QJsonDocument::fromJson(l).object();
    return objects;
}

// Reads the program's output until a line holds `what` or the time is up.
bool WaitFor(QProcess& p, QByteArray& out, const QByteArray& what, int ms = 20000) {
    QElapsedTimer t;
    t.start();
    while (!out.contains(what) && t.elapsed() < ms) {
        p.waitForReadyRead(50);
        out += p.readAllStandardOutput();
    }
    return out.contains(what);
}

}  // namespace

class TestCliCheckout : public QObject {
    Q_OBJECT

  private:
    CliRunner cli_;

  private slots:
    void walkAcrossTwoBuses();
    void refused_data();
    void refused();
    void silentModuleAndPulledAdapter();
};

void TestCliCheckout::walkAcrossTwoBuses() {
    // The walk starts once both buses have surely been surveyed.
    const QString walkA = cli_.write("a.events",
                                     "6000 module 16000301 input 3 1\n"
                                     "6600 module 16000301 input 3 0\n"
                                     "7800 module 50000302 card 1 00027CBB\n"
                                     "9000 module 50000302 key 2 12\n");
    const QString walkB = cli_.write("b.events",
                                     "7200 module 16000401 input 1 1\n"
                                     "8400 module 16000401 input 1 0\n");
    Sim a({"--module", "RQ-3016:3:16000301", "--module", "RQ-3050K:4:50000302", "--events", walkA,
           "--quiet"});
    Sim b({"--module", "RQ-3016:2:16000401", "--module", "RQ-3020:6:20000403", "--events", walkB,
           "--quiet"});
    QVERIFY(!a.pty.isEmpty() && !b.pty.isEmpty());
    const QString points = cli_.write("points.csv",
                                      "type,serial,point,label\n"
                                      "RQ-3016,16000301,DI3,\"Door 12, contact\"\n"
                                      "RQ-3016,16000401,DI1,\"Exit \"\"B\"\"\nfloor 2\"\n"
                                      "RQ-3050K,50000302,CH1,二楼 读卡器\n"
                                      "RQ-3050K,50000302,KEYS,=keypad\n"
                                      "RQ-3020,20000403,ANSWERS,Printer\n");
    const QString reg = cli_.path("register.sqlite");
    const QStringList buses = {"--port", a.pty, "--port", b.pty, "--line", "5", "--ids", "1-6"};
    const Run run = cli_.run(QStringList{"checkout", "--points", points, "--until-done", "--json",
                                         "--register", reg, "--site", "Tower"} +
                             buses);
    QVERIFY2(run.code == 0, run.err.constData());
    QStringList passed;
    QJsonObject summary;
    for (const QJsonObject& o : Objects(run.out)) {
        if (o.value("summary").toBool()) summary = o;
        if (o.value("state").toString() != "passed") continue;
        passed << o.value("point").toString() + ' ' + o.value("label").toString();
        QCOMPARE(o.value("port").toString(), o.value("serial").toString() == "16000401" ||
                                                     o.value("serial").toString() == "20000403"
                                                 ? b.pty
                                                 : a.pty);
        QVERIFY(o.value("ms").toDouble() > 0);
    }
    // Each point once, in the order walked; the printer answers at once.
    QCOMPARE(passed, (QStringList{"ANSWERS Printer", "DI3 Door 12, contact",
                                  "DI1 Exit \"B\"\nfloor 2", "CH1 二楼 读卡器", "KEYS =keypad"}));
    QCOMPARE(summary.value("passed").toInt(), 5);
    QCOMPARE(summary.value("points").toInt(), 5);

    // Each pass is an event of its module, with the point's label, at the site.
    const Run history = cli_.run({"register", "history", "50000302", "--json", "--register", reg});
    QCOMPARE(history.code, 0);
    QStringList checked;
    for (const QJsonObject& o : Objects(history.out))
        if (o.value("kind").toString() == "checkout")
            checked << o.value("operation").toString() + ' ' + o.value("detail").toString() + ' ' +
                           o.value("site").toString();
    QCOMPARE(checked.size(), 2);
    QVERIFY2(checked.contains("Checkout KEYS =keypad Tower"), qPrintable(checked.join('|')));

    // The list of everything a survey finds, labels empty, for the engineer to fill in.
    const QString tmpl = cli_.path("template.csv");
    const Run written = cli_.run(QStringList{"checkout", "--points-template", tmpl} + buses);
    QVERIFY2(written.code == 0, written.err.constData());
    QFile f(tmpl);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll()).split("\r\n", Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1 + 17 + 4 + 17 + 1);
    QCOMPARE(lines.value(0), QStringLiteral("type,serial,point,label"));
    QVERIFY(lines.contains("RQ-3050K,50000302,KEYS,"));
}

void TestCliCheckout::refused_data() {
    QTest::addColumn<QByteArray>("list");
    QTest::addColumn<QByteArray>("why");
    QTest::newRow("unknown type") << QByteArray("RQ-3016,16000301,DI1,a\nRQ-3070,16000302,DI1,b\n")
                                  << QByteArray(
                                         "row 2, column type: \"RQ-3070\" is not a module type");
    QTest::newRow("serial given twice")
        << QByteArray("RQ-3016,16000301,DI1,a\nRQ-3050S,16000301,CH1,b\n")
        << QByteArray("row 2, column serial: 16000301 is given for RQ-3016 in row 1");
    QTest::newRow("point the type lacks")
        << QByteArray(
               "type,serial,point,label\nRQ-3050S,50000302,KEYS,\"a\nb\"\nRQ-3020,20000303,DI1,\n")
        << QByteArray("row 4, column point: \"DI1\" is not a point of RQ-3020");
}

void TestCliCheckout::refused() {
    // Refused with its row and column before anything is asked.
    QFETCH(QByteArray, list);
    QFETCH(QByteArray, why);
    Sim sim({"--module", "RQ-3016:1:16000301"});
    const Run r = cli_.run({"checkout", "--points", cli_.write("bad.csv", list), "--port", sim.pty,
                            "--line", "5", "--no-register"});
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.contains(why), r.err.constData());
    QVERIFY(r.err.contains("nothing was sent"));
    QVERIFY(sim.heard().isEmpty());
}

void TestCliCheckout::silentModuleAndPulledAdapter() {
    // A module of the list that no bus holds ends "module silent"; a port that does not open
    // leaves the others going; when an adapter is pulled, that bus's points say so while the
    // other bus goes on.
    Sim a({"--module", "RQ-3016:1:16000301", "--quiet"});
    auto b = std::make_unique<Sim>(QStringList{"--module", "RQ-3020:1:20000301", "--quiet"});
    const QString points = cli_.write("points.csv",
                                      "RQ-3016,16000301,DI1,Door\n"
                                      "RQ-3020,20000301,ANSWERS,Printer\n"
                                      "RQ-3016,16000999,DI1,Never there\n");
    QProcess p;
    const QString reg = cli_.path("annex.sqlite");
    cli_.start(p, {"checkout", "--points", points, "--json", "--register", reg, "--site", "Annex",
                   "--port", a.pty, "--port", b->pty, "--port", cli_.path("no-such-port"), "--line",
                   "5", "--ids", "1-2"});
    QByteArray out;
    QVERIFY2(WaitFor(p, out, "\"state\":\"passed\""), out.constData());
    QVERIFY(out.contains("\"label\":\"Never there\",\"ms\":0,\"point\":\"DI1\",\"port\":\"-\""));
    b.reset();  // the adapter of the printer's bus pulled
    QVERIFY2(WaitFor(p, out, "\"serial\":\"20000301\",\"state\":\"port failed\""), out.constData());
    a.command("input 1 1");
    a.proc.waitForBytesWritten(2000);
    QVERIFY2(WaitFor(p, out, "\"serial\":\"16000301\",\"state\":\"passed\""), out.constData());
    ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    QVERIFY(p.waitForFinished(10000));
    out += p.readAllStandardOutput();
    QCOMPARE(p.exitCode(), 130);
    const QJsonObject summary = Objects(out).last();
    QCOMPARE(summary.value("passed").toInt(), 2);
    QCOMPARE(summary.value("points").toInt(), 3);
    QVERIFY(p.readAllStandardError().contains("no-such-port"));

    // The report's part of the points: each with its label, when it passed or why not; the
    // count on the title page.
    const QString pdf = cli_.path("annex.pdf");
    const Run report = cli_.run({"report", "--site", "Annex", "--pdf", pdf, "--register", reg});
    QVERIFY2(report.code == 0, report.err.constData());
    QProcess text;
    text.start("pdftotext", {"-layout", pdf, "-"});
    QVERIFY(text.waitForFinished(20000));
    const QString page = QString::fromUtf8(text.readAllStandardOutput());
    QVERIFY2(page.contains("2 of 3 points passed"), qPrintable(page));
    QVERIFY2(page.contains(QRegularExpression("16000999 +DI1 +Never there +module silent")),
             qPrintable(page));
    QVERIFY(page.contains(QRegularExpression("20000301 +ANSWERS +Printer +passed")));
    QVERIFY(page.contains(QRegularExpression("16000301 +DI1 +Door +passed")));
}

QTEST_GUILESS_MAIN(TestCliCheckout)
#include "test_cli_checkout.moc"
