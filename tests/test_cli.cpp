// quillon-cli as a user runs it, against quillon-sim on a pseudo-terminal: exit statuses,
// standard output (text and JSON), and the frames the simulated module heard.

#include <signal.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "support/simprocess.h"

namespace {

struct Run {
    int code = -1;
    QByteArray out, err;
    QJsonObject json() const { return QJsonDocument::fromJson(out).object(); }
};

class TestCli : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir config_;

    // A settings file that maps COM1 to `device`, with the given extra lines.
    void writeSettings(const QString& device, const QByteArray& more = {}) {
        QDir().mkpath(config_.path() + "/VARNO");
        QFile f(settingsPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(more + "[Ports]\nCOM1=" + device.toLatin1() + "\n");
    }
    QString settingsPath() const { return config_.path() + "/VARNO/Quillon.conf"; }

    QProcess* start(const QStringList& args) {
        auto* p = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", config_.path());
        p->setProcessEnvironment(env);
        p->setProgram(qEnvironmentVariable("QUILLON_CLI"));
        p->setArguments(args);
        p->start();
        return p;
    }
    Run run(const QStringList& args) {
        QProcess* p = start(args);
        Run r;
        if (p->waitForFinished(20000) && p->exitStatus() == QProcess::NormalExit)
            r.code = p->exitCode();
        r.out = p->readAllStandardOutput();
        r.err = p->readAllStandardError();
        delete p;
        return r;
    }
    // Checks "key=value" pairs of a JSON object; values compare as text.
    static bool Has(const QJsonObject& o, const QStringList& pairs, QString* why) {
        for (const QString& pair : pairs) {
            const QString key = pair.section('=', 0, 0), want = pair.section('=', 1);
            const QJsonValue v = o.value(key);
            const QString got = v.isDouble() ? QString::number(v.toInt())
                                : v.isBool() ? (v.toBool() ? "true" : "false")
                                             : v.toString();
            if (got != want) {
                *why = QStringLiteral("%1: got \"%2\", want \"%3\"").arg(key, got, want);
                return false;
            }
        }
        return true;
    }

  private slots:
    // Every case starts without a settings file: the defaults of a fresh installation.
    void init() { QFile::remove(settingsPath()); }
    void badUsageSendsNothing_data();
    void badUsageSendsNothing();
    void readCommands_data();
    void readCommands();
    void typeCommands_data();
    void typeCommands();
    void scanSavesOnlyWhenAsked();
    void setVerifiesByReadBack_data();
    void setVerifiesByReadBack();
    void continuousTests_data();
    void continuousTests();
    void cardReadTextSaysWhen();
    void didoCheck_data();
    void didoCheck();
};

void TestCli::badUsageSendsNothing_data() {
    QTest::addColumn<QStringList>("args");
    QTest::newRow("unknown option") << QStringList{"info", "--bogus"};
    QTest::newRow("unknown command") << QStringList{"frobnicate"};
    QTest::newRow("no command") << QStringList{};
    QTest::newRow("ID 0") << QStringList{"info", "--id", "0"};
    QTest::newRow("ID 100") << QStringList{"info", "--id", "100"};
    QTest::newRow("line does not parse") << QStringList{"info", "--line", "19200,x,8,1"};
    QTest::newRow("port neither COMn nor path") << QStringList{"info", "--port", "ttyS0"};
    QTest::newRow("unknown type") << QStringList{"info", "--type", "RQ-9999"};
    QTest::newRow("17 NO/NC flags") << QStringList{"set", "--di-nonc", "10000000000000001"};
    QTest::newRow("NO/NC not binary") << QStringList{"set", "--di-nonc", "100000000000000x"};
    QTest::newRow("new ID 100") << QStringList{"set", "--new-id", "100"};
    QTest::newRow("setting of another type") << QStringList{"set", "--interface", "32"};
    QTest::newRow("no setting") << QStringList{"set"};
    QTest::newRow("tx-on alone") << QStringList{"set", "--type", "RQ-3040", "--tx-on", "3"};
    QTest::newRow("command of another type") << QStringList{"print-status"};
    QTest::newRow("factory default unconfirmed") << QStringList{"factory-default"};
    QTest::newRow("outputs of 15") << QStringList{"dido-test", "--outputs", "000000000000000"};
    QTest::newRow("send without text") << QStringList{"send"};
    QTest::newRow("check settling in 1") << QStringList{"dido-check", "--settle", "1"};
    QTest::newRow("check settling in 11") << QStringList{"dido-check", "--settle", "11"};
    QTest::newRow("check of a printer") << QStringList{"dido-check", "--type", "RQ-3020"};
}

void TestCli::badUsageSendsNothing() {
    QFETCH(QStringList, args);
    Sim sim({"--type", "RQ-3016", "--id", "3"});
    QVERIFY(!sim.pty.isEmpty());
    // The row's own options come last, and so win over these.
    const Run r = run(QStringList{"--type", "RQ-3016", "--port", sim.pty, "--id", "3"} + args);
    QCOMPARE(r.code, 2);
    QVERIFY(r.out.isEmpty());
    QVERIFY2(r.err.startsWith("quillon-cli: "), r.err.constData());
    QCOMPARE(sim.heard(), QStringList());
}

void TestCli::readCommands_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("fields");  // key=value of the JSON result
    QTest::addColumn<QString>("heard");       // a frame the module heard
    const QStringList at3 = {"--type", "RQ-3016", "--port", "COM1", "--id", "3", "--json"};
    QTest::newRow("info") << (QStringList{"info"} + at3) << 0
                          << QStringList{"type=RQ-3016",
                                         "port=COM1",
                                         "id=3",
                                         "serial=16000001",
                                         "version=01.20-36",
                                         "line=19200,e,8,1",
                                         "di_mode=hold",
                                         "di_nonc=0000000000000000"}
                          << "[09]B03V";
    QTest::newRow("info, line as code") << (QStringList{"info", "--line", "5"} + at3) << 0
                                        << QStringList{"id=3", "line=19200,e,8,1"} << "[09]B03G";
    QTest::newRow("info at another ID")
        << QStringList{"info", "--type", "RQ-3016", "--port", "COM1", "--id", "4"} << 1
        << QStringList{} << "[09]B04B";
    // The diagnostic follows --language; "Module not find" in Simplified Chinese.
    QTest::newRow("not found, in Chinese")
        << QStringList{"info", "--type", "RQ-3016",    "--port", "COM1",
                       "--id", "4",      "--language", "zh-CN"}
        << 1 << QStringList{QString::fromUtf8("模组机没有连线")} << "[09]B04B";
    QTest::newRow("info on a missing device")
        << QStringList{"info", "--port", "/dev/quillon-none", "--type", "RQ-3016"} << 3
        << QStringList{"/dev/quillon-none: device not found"} << "";
    QTest::newRow("info on a port without device")
        << QStringList{"info", "--port", "COM77", "--type", "RQ-3016"} << 3
        << QStringList{"COM77: no device for this port number"} << "";
    QTest::newRow("scan one port, locked")
        << (QStringList{"scan", "--lock", "--line", "19200,e,8,1"} + at3) << 0
        << QStringList{"port=COM1", "id=3", "line=19200,e,8,1"} << "[09]B00B";
    QTest::newRow("send") << (QStringList{"send", "V", "--hex"} + at3) << 0
                          << QStringList{"sent=B03V", "reply=[0A]B03V01.20-3618[0D]"} << "[09]B03V";
}

void TestCli::readCommands() {
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QStringList, fields);
    QFETCH(QString, heard);
    Sim sim({"--type", "RQ-3016", "--id", "3"});
    writeSettings(sim.pty);
    const Run r = run(args);
    QVERIFY2(r.code == code, r.err.constData());
    if (code == 0) {
        QJsonParseError e;
        QJsonDocument::fromJson(r.out, &e);
        QCOMPARE(e.error, QJsonParseError::NoError);
        QString why;
        QVERIFY2(Has(r.json(), fields, &why), qPrintable(why));
    } else {
        // For a failure, the fields are words of the diagnostic.
        QVERIFY(r.out.isEmpty());
        QVERIFY(!r.err.isEmpty());
        for (const QString& word : fields)
            QVERIFY2(QString::fromUtf8(r.err).contains(word), r.err.constData());
    }
    const QStringList frames = sim.heard();
    if (heard.isEmpty())
        QCOMPARE(frames, QStringList());
    else
        QVERIFY2(frames.filter(heard).size() > 0, qPrintable(frames.join(' ')));
}

void TestCli::typeCommands_data() {
    QTest::addColumn<QString>("type");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QString>("heard");
    QTest::newRow("printer status") << "RQ-3020" << QStringList{"print-status"}
                                    << QStringList{"status=O", "text=Print ok."} << "[09]E03F";
    QTest::newRow("print") << "RQ-3020" << QStringList{"print", "HELLO"}
                           << QStringList{"sent=HELLO"} << "[09]E03GHELLO";
    QTest::newRow("print code") << "RQ-3020" << QStringList{"print-code", "1B40"}
                                << QStringList{"sent=1B40"} << "[09]E03H1B40";
    QTest::newRow("link status") << "RQ-3030" << QStringList{"link-status"}
                                 << QStringList{"status=O"} << "[09]F03F";
    QTest::newRow("link record") << "RQ-3030" << QStringList{"link-send", "01", "02", "20261209",
                                                             "12345678",  "01", "A"}
                                 << QStringList{"sent=0102202612091234567801A"}
                                 << "[09]F03G0102202612091234567801A";
    QTest::newRow("link read-back")
        << "RQ-3030" << QStringList{"info"}
        << QStringList{"link_port=true", "link_line=9600,n,8,1", "run_mode=0"} << "[09]F03K";
    QTest::newRow("repeater status")
        << "RQ-3040" << QStringList{"rep-status"} << QStringList{"status=O"} << "[09]X03F";
    QTest::newRow("repeater read-back")
        << "RQ-3040" << QStringList{"info"}
        << QStringList{"rep_line=19200,e,8,1", "tx_on=15", "tx_off=10"} << "[09]X03K";
    QTest::newRow("repeater delays")
        << "RQ-3040" << QStringList{"set", "--tx-on", "3", "--tx-off", "4"}
        << QStringList{"ok=true"} << "[09]X03A0304";
    QTest::newRow("factory default") << "RQ-3016" << QStringList{"factory-default", "--yes"}
                                     << QStringList{"ok=true", "id_01=true"} << "[09]B01E5";
}

// The commands of the printer, link module and repeater, and factory default.
void TestCli::typeCommands() {
    QFETCH(QString, type);
    QFETCH(QStringList, args);
    QFETCH(QStringList, fields);
    QFETCH(QString, heard);
    Sim sim({"--type", type, "--id", "3"});
    const Run r = run(args + QStringList{"--type", type, "--port", sim.pty, "--id", "3", "--json"});
    QVERIFY2(r.code == 0, r.err.constData());
    QString why;
    QVERIFY2(Has(r.json(), fields, &why), qPrintable(why + " in " + r.out));
    const QStringList frames = sim.heard();
    QVERIFY2(frames.filter(heard).size() > 0, qPrintable(frames.join(' ')));
}

void TestCli::scanSavesOnlyWhenAsked() {
    Sim sim({"--type", "RQ-3016", "--id", "3", "--line", "9600,n,8,1"});
    writeSettings(sim.pty, "; kept\n");
    const QStringList args = {"scan", "--type", "RQ-3016", "--port", "COM1"};
    QFile f(settingsPath());
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray before = f.readAll();
    f.close();

    Run r = run(args);
    QVERIFY2(r.code == 0, r.err.constData());
    QVERIFY(r.out.contains("line: 9600,"));
    QVERIFY(r.out.contains("id: 3\n"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
    f.close();

    r = run(args + QStringList{"--save"});
    QVERIFY2(r.code == 0, r.err.constData());
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray after = f.readAll();
    f.close();
    QVERIFY(after.startsWith("; kept\n"));
    QVERIFY(after.contains("ScanCommNo=1"));
    // A pty carries no parity: the first 9600 baud setting answers.
    QVERIFY2(after.contains("ScanBaudRate=\"9600,"), after.constData());
    // The remembered place alone finds it now, with the three queries to ID 00.
    sim.heard();
    r = run({"scan", "--type", "RQ-3016", "--remembered", "--lock", "--port", "COM1", "--json"});
    QVERIFY2(r.code == 0, r.err.constData());
    QVERIFY(r.json().value("line").toString().startsWith("9600,"));
}

void TestCli::setVerifiesByReadBack_data() {
    QTest::addColumn<QStringList>("simArgs");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("settings");  // setting=before>after:verified
    QTest::addColumn<QStringList>("then");      // an info afterwards: its args
    QTest::addColumn<QStringList>("thenFields");
    const QStringList dido = {"--type", "RQ-3016", "--id", "3"};
    QTest::newRow("new ID") << dido << QStringList{"--new-id", "7"} << 0
                            << QStringList{"id=3>7:true"} << QStringList{"--id", "7"}
                            << QStringList{"id=7"};
    QTest::newRow("DI settings")
        << dido << QStringList{"--di-mode", "normal", "--di-nonc", "1000000000000001"} << 0
        << QStringList{"di-mode=hold>normal:true", "di-nonc=0000000000000000>1000000000000001:true"}
        << QStringList{"--id", "3"} << QStringList{"di_mode=normal", "di_nonc=1000000000000001"};
    QTest::newRow("new line") << dido << QStringList{"--new-line", "9600,n,8,1"} << 0
                              << QStringList{"line=19200,e,8,1>9600,n,8,1:true"}
                              << QStringList{"--id", "3", "--line", "9600,n,8,1"}
                              << QStringList{"line=9600,n,8,1"};
    QTest::newRow("ID and line together")
        << dido << QStringList{"--new-id", "12", "--new-line", "3"} << 0
        << QStringList{"id=3>12:true", "line=19200,e,8,1>9600,e,8,1:true"}
        << QStringList{"--id", "12", "--line", "9600,e,8,1"} << QStringList{"id=12"};
    QTest::newRow("a setting that did not take")
        << (dido + QStringList{"--silent-after", "4"}) << QStringList{"--di-mode", "normal"} << 1
        << QStringList{"di-mode=hold>:false"} << QStringList{} << QStringList{};
    QTest::newRow("Wiegand settings")
        << QStringList{"--type", "RQ-3050K", "--id", "3"}
        << QStringList{"--type",      "RQ-3050K", "--ch2-id",     "9",
                       "--interface", "40",       "--key-number", "8"}
        << 0
        << QStringList{"ch2-id=5>9:true", "interface=RS485 32>RS485 40:true", "key-number=4>8:true"}
        << QStringList{"--type", "RQ-3050K", "--id", "3"}
        << QStringList{"ch2_id=9", "interface=RS485 40", "key_number=8"};
}

void TestCli::setVerifiesByReadBack() {
    QFETCH(QStringList, simArgs);
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QStringList, settings);
    QFETCH(QStringList, then);
    QFETCH(QStringList, thenFields);
    Sim sim(simArgs);
    const QStringList common = {"--port", sim.pty, "--json"};
    QStringList setArgs = QStringList{"set", "--type", "RQ-3016", "--id", "3"} + args + common;
    const Run r = run(setArgs);
    QVERIFY2(r.code == code, r.err.constData());
    const QJsonArray list = r.json().value("settings").toArray();
    QCOMPARE(list.size(), settings.size());
    for (int i = 0; i < list.size(); ++i) {
        const QJsonObject s = list.at(i).toObject();
        auto text = [](const QJsonValue& v) {
            return v.isDouble() ? QString::number(v.toInt()) : v.toString();
        };
        const QString got =
            QStringLiteral("%1=%2>%3:%4")
                .arg(s.value("setting").toString(), text(s.value("before")), text(s.value("after")),
                     s.value("verified").toBool() ? "true" : "false");
        QCOMPARE(got, settings.at(i));
    }
    QCOMPARE(r.json().value("ok").toBool(), code == 0);

    if (then.isEmpty()) return;
    const Run info = run(QStringList{"info", "--type", "RQ-3016"} + then + common);
    QVERIFY2(info.code == 0, info.err.constData());
    QString why;
    QVERIFY2(Has(info.json(), thenFields, &why), qPrintable(why));
}

void TestCli::continuousTests_data() {
    QTest::addColumn<QStringList>("simArgs");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("lines");  // results before it ends; 0: ended by SIGINT
    QTest::addColumn<QString>("first");
    const QStringList dido = {"--type", "RQ-3016", "--id", "3"};
    const QStringList wiegand = {"--type", "RQ-3050S", "--id", "3", "--card-every", "100"};
    QTest::newRow("DI/DO cycles") << dido
                                  << QStringList{"dido-test", "--type",           "RQ-3016",
                                                 "--outputs", "1010000000000000", "--cycles",
                                                 "5"}
                                  << 5 << R"({"cycle":1,"inputs":"1010000000000000"})";
    QTest::newRow("DI/DO interrupted") << dido << QStringList{"dido-test", "--type", "RQ-3016"} << 0
                                       << R"({"cycle":1,"inputs":"0000000000000000"})";
    QTest::newRow("cards counted")
        << wiegand << QStringList{"card-read", "--type", "RQ-3050S", "--count", "3"} << 3
        << R"j({"channel":1,"text":"CARD : 0000163003(D)  00027CBB(H)"})j";
    QTest::newRow("cards interrupted")
        << wiegand << QStringList{"card-read", "--type", "RQ-3050S"} << 0
        << R"j({"channel":1,"text":"CARD : 0000163003(D)  00027CBB(H)"})j";
}

void TestCli::continuousTests() {
    QFETCH(QStringList, simArgs);
    QFETCH(QStringList, args);
    QFETCH(int, lines);
    QFETCH(QString, first);
    Sim sim(simArgs);
    const QStringList at = {"--port", sim.pty, "--id", "3", "--json"};
    QProcess* p = start(args + at);
    QElapsedTimer t;
    t.start();
    QByteArray out;
    while (out.count('\n') < 2 && t.elapsed() < 10000 && p->state() != QProcess::NotRunning) {
        p->waitForReadyRead(50);
        out += p->readAllStandardOutput();
    }
    if (lines == 0) {
        QVERIFY(out.count('\n') >= 2);
        ::kill(static_cast<pid_t>(p->processId()), SIGINT);
    }
    QVERIFY(p->waitForFinished(5000));
    out += p->readAllStandardOutput();
    const QByteArray err = p->readAllStandardError();
    QCOMPARE(p->exitStatus(), QProcess::NormalExit);
    QVERIFY2(p->exitCode() == (lines == 0 ? 130 : 0), err.constData());
    delete p;
    const QList<QByteArray> results = out.trimmed().split('\n');
    if (lines > 0) QCOMPARE(results.size(), lines);
    QCOMPARE(QString::fromLatin1(results.first()), first);
    for (const QByteArray& line : results) QVERIFY(QJsonDocument::fromJson(line).isObject());

    // The port is released: the next command opens it at once.
    QElapsedTimer again;
    again.start();
    const Run r = run(QStringList{"info"} + args.mid(1, 2) + at);
    QVERIFY2(r.code == 0, r.err.constData());
    QVERIFY(again.elapsed() < 2000);
}

void TestCli::cardReadTextSaysWhen() {
    Sim sim({"--type", "RQ-3050S", "--id", "3", "--card-every", "100"});
    const Run r =
        run({"card-read", "--type", "RQ-3050S", "--port", sim.pty, "--id", "3", "--count", "2"});
    QVERIFY2(r.code == 0, r.err.constData());
    const QList<QByteArray> lines = r.out.trimmed().split('\n');
    QCOMPARE(lines.size(), 2);
    // The time of day, then the channel and what the panel shows.
    const QRegularExpression line(QStringLiteral(
        "^\\d\\d:\\d\\d:\\d\\d\\.\\d{3}  CH #1: CARD : \\d{10}\\(D\\)  [0-9A-F]{8}\\(H\\)$"));
    for (const QByteArray& l : lines)
        QVERIFY2(line.match(QString::fromLatin1(l)).hasMatch(), l.constData());
    // The summary goes to standard error.
    QVERIFY2(r.err.contains("card read test: ") && r.err.contains("CH #1: 2"), r.err.constData());
}

void TestCli::didoCheck_data() {
    QTest::addColumn<QStringList>("wiring");
    QTest::addColumn<bool>("interrupt");
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("results");  // channel=verdict[/follows], the rest ok
    QTest::newRow("sound harness") << QStringList() << false << 0 << QStringList();
    QTest::newRow("crossed and stuck") << QStringList{"--wiring", "cross:3=5,stuck-on:9"} << false
                                       << 1 << QStringList{"3=crossed/5", "9=stuck-on"};
    QTest::newRow("interrupted") << QStringList() << true << 130 << QStringList();
}

void TestCli::didoCheck() {
    QFETCH(QStringList, wiring);
    QFETCH(bool, interrupt);
    QFETCH(int, code);
    QFETCH(QStringList, results);
    Sim sim(QStringList{"--type", "RQ-3016", "--id", "3"} + wiring);
    QProcess* p =
        start({"dido-check", "--type", "RQ-3016", "--port", sim.pty, "--id", "3", "--json"});
    if (interrupt) {
        // Once the check is under way: its first output alone.
        QElapsedTimer t;
        t.start();
        while (!sim.heard().join(' ').contains("B03I1000000000000000") && t.elapsed() < 10000) {
        }
        ::kill(static_cast<pid_t>(p->processId()), SIGINT);
    }
    QVERIFY(p->waitForFinished(20000));
    const QByteArray out = p->readAllStandardOutput(), err = p->readAllStandardError();
    QCOMPARE(p->exitStatus(), QProcess::NormalExit);
    QVERIFY2(p->exitCode() == code, err.constData());
    delete p;
    const QList<QByteArray> lines = out.trimmed().split('\n');
    QCOMPARE(lines.size(), 16);
    for (int k = 1; k <= 16; ++k) {
        const QJsonObject o = QJsonDocument::fromJson(lines[k - 1]).object();
        QCOMPARE(o.value("channel").toInt(), k);
        QString want = interrupt ? "not-checked" : "ok";
        for (const QString& r : results)
            if (r.section('=', 0, 0).toInt() == k) want = r.section('=', 1);
        QString got = o.value("verdict").toString();
        if (o.contains("follows")) got += '/' + QString::number(o.value("follows").toInt());
        QCOMPARE(got, want);
    }
    // However it ended, the outputs were switched off last.
    QStringList heard = sim.heard();
    for (int i = 0; i < 20 && !heard.isEmpty() && !heard.last().contains("B03I"); ++i)
        heard.removeLast();
    QVERIFY(!heard.isEmpty());
    QVERIFY2(heard.last().startsWith("[09]B03I0000000000000000"), qPrintable(heard.last()));
}

}  // namespace

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
