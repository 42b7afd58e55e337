// quillon-sim's command language, options and event files: what each command does to the
// module as the tool then sees it, and which input is refused with a reason.

#include <QTemporaryFile>
#include <QTest>

#include "sim/console.h"
#include "sim/simprogram.h"
#include "support/simexchange.h"

using simtest::Exchange;
using simtest::Positions;

class TestSimConsole : public QObject {
    Q_OBJECT

  private slots:
    void cardsAndKeysReachTheCardRead();
    void inputsOfTheDiDoModule();
    void wiringFaults_data();
    void wiringFaults();
    void chatterFollowsTheClock();
    void settingsAndStatus();
    void faultsByName();
    void refusedLines_data();
    void refusedLines();
    void stateAndHelp();
    void options();
    void badOptions_data();
    void badOptions();
    void eventFiles();
};

void TestSimConsole::cardsAndKeysReachTheCardRead() {
    ModuleHost host{SimModule(ModuleType::RQ3050K)};
    SimConsole c(host);
    QVERIFY(c.run("card 1 00027CBB").ok);
    QVERIFY(c.run("card 2 FFFFFFFF 18").ok);
    QVERIFY(c.run("key 2 1234").ok);
    QVERIFY(c.run("cardkey 1 00027CBB 12").ok);
    QVERIFY(c.run("wide 1 0000000000027CBB").ok);
    QVERIFY(c.run("card 1 next").ok);
    QVERIFY(c.run("card 1 next").ok);

    std::string r = Exchange(host, "H01F");
    QCOMPARE(r.size(), size_t(17));
    QCOMPARE(Positions(r, 7, 14), std::string("00027CBB"));
    r = Exchange(host, "H01F");
    QCOMPARE(r.size(), size_t(21));
    QCOMPARE(Positions(r, 17, 18), std::string("12"));
    QCOMPARE(Exchange(host, "H01F").size(), size_t(26));
    QCOMPARE(Positions(Exchange(host, "H01F"), 7, 14), std::string("00027CBB"));
    QCOMPARE(Positions(Exchange(host, "H01F"), 7, 14), std::string("00027CBC"));
    r = Exchange(host, "H05F");
    QCOMPARE(r.size(), size_t(18));
    QCOMPARE(Positions(r, 8, 15), std::string("FFFFFFFF"));
    QCOMPARE(Positions(Exchange(host, "H05F"), 7, 11), std::string("K1234"));
}

void TestSimConsole::inputsOfTheDiDoModule() {
    ModuleHost host{SimModule(ModuleType::RQ3016)};
    SimConsole c(host);
    const std::string outputs = "0000000000000011";
    Exchange(host, "B01I" + outputs);
    // "input" starts from what the inputs showed (the outputs) and fixes them.
    QVERIFY(c.run("input 1 1").ok);
    QCOMPARE(Positions(Exchange(host, "B01I0000000000000000"), 6, 21),
             std::string("1000000000000011"));
    QVERIFY(c.run("inputs 0101010101010101").ok);
    QCOMPARE(Positions(Exchange(host, "B01I"), 6, 21), std::string("0101010101010101"));
    QVERIFY(c.run("inputs walk").ok);
    QCOMPARE(Positions(Exchange(host, "B01I"), 6, 21), std::string("1000000000000000"));
    QVERIFY(c.run("inputs follow").ok);
    QCOMPARE(Positions(Exchange(host, "B01I" + outputs), 6, 21), outputs);
}

// Each list of wiring faults against the outputs sent: what the inputs show.
void TestSimConsole::wiringFaults_data() {
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("outputs");
    QTest::addColumn<QString>("inputs");
    QTest::newRow("none") << "none"
                          << "1100000000000001"
                          << "1100000000000001";
    QTest::newRow("stuck on") << "stuck-on:3"
                              << "0000000000000000"
                              << "0010000000000000";
    QTest::newRow("stuck off") << "stuck-off:16"
                               << "1111111111111111"
                               << "1111111111111110";
    QTest::newRow("crossed") << "cross:2=5"
                             << "0000100000000000"
                             << "0100100000000000";
    QTest::newRow("crossed, its own output on") << "cross:2=5"
                                                << "0100000000000000"
                                                << "0000000000000000";
    QTest::newRow("open") << "open"
                          << "1111111111111111"
                          << "0000000000000000";
    QTest::newRow("in the order written") << "open,stuck-on:1,cross:9=1"
                                          << "1000000000000000"
                                          << "1000000010000000";
}

void TestSimConsole::wiringFaults() {
    QFETCH(QString, list);
    QFETCH(QString, outputs);
    QFETCH(QString, inputs);
    ModuleHost host{SimModule(ModuleType::RQ3016)};
    SimConsole c(host);
    const SimConsole::Result r = c.run("wiring " + list.toStdString());
    QVERIFY2(r.ok, r.output.c_str());
    QCOMPARE(c.run("wiring").output, "wiring " + list.toStdString() + "\n");
    QCOMPARE(Positions(Exchange(host, "B01I" + outputs.toStdString()), 6, 21),
             inputs.toStdString());
    // The harness acts on what reaches it: fixed inputs stay as set.
    QVERIFY(c.run("inputs 1111111111111111").ok);
    Exchange(host, "B01I" + outputs.toStdString());
    QCOMPARE(host.module().inputs, std::string(16, '1'));
}

void TestSimConsole::chatterFollowsTheClock() {
    ModuleHost host{SimModule(ModuleType::RQ3016)};
    SimConsole c(host);
    QVERIFY(c.run("wiring chatter:4:10").ok);
    // On for the first 50 ms of every 100 ms, whatever the outputs.
    const SimTime second = SimTime(std::chrono::seconds(1000));
    const auto input4 = [&](int ms) {
        return Positions(
            Exchange(host, "B01I1111111111111111", second + std::chrono::milliseconds(ms)), 9, 9);
    };
    QCOMPARE(input4(10), std::string("1"));
    QCOMPARE(input4(60), std::string("0"));
    QCOMPARE(input4(110), std::string("1"));
    QVERIFY(c.run("state").output.find("wiring: chatter:4:10") != std::string::npos);
}

void TestSimConsole::settingsAndStatus() {
    ModuleHost host{SimModule(ModuleType::RQ3020)};
    SimConsole c(host);
    QVERIFY(c.run("status P").ok);
    QCOMPARE(Positions(Exchange(host, "E01F"), 6, 6), std::string("P"));
    QVERIFY(c.run("id 42").ok);
    QVERIFY(c.run("serial ABCDEFGH").ok);
    const std::string r = Exchange(host, "E00B");
    QCOMPARE(Positions(r, 3, 4), std::string("42"));
    QCOMPARE(Positions(r, 6, 13), std::string("ABCDEFGH"));
    QVERIFY(c.run("line 9600,n,8,1").ok);
    QCOMPARE(host.module().lineIndex, 2);
    QVERIFY(c.run("line B").ok);
    QCOMPARE(host.module().lineIndex, 11);

    ModuleHost wiegand{SimModule(ModuleType::RQ3050S)};
    SimConsole w(wiegand);
    QVERIFY(w.run("ch2id 9").ok);
    QVERIFY(w.run("ch2serial 22222222").ok);
    const std::string n = Exchange(wiegand, "A01N");
    QCOMPARE(Positions(n, 3, 4), std::string("09"));
    QCOMPARE(Positions(n, 6, 13), std::string("22222222"));
}

void TestSimConsole::faultsByName() {
    ModuleHost host{SimModule(ModuleType::RQ3016)};
    SimConsole c(host);
    QVERIFY(c.run("fault drop 1").ok);
    QVERIFY(Exchange(host, "B01B").empty());
    QVERIFY(c.run("fault clear").ok);
    QCOMPARE(Exchange(host, "B01B").size(), size_t(16));
    QVERIFY(c.run("fault oversize 2000").ok);
    QVERIFY(c.run("fault only V").ok);
    QCOMPARE(Exchange(host, "B01B").size(), size_t(16));
    QCOMPARE(Exchange(host, "B01V").size(), size_t(2000));
    QVERIFY(c.run("fault wrong-checksum").ok);
    QVERIFY(host.faults().wrongChecksum);
    QVERIFY(c.run("fault wrong-checksum off").ok);
    QVERIFY(!host.faults().wrongChecksum);
    QVERIFY(c.run("fault silent-after 0").ok);
    QVERIFY(Exchange(host, "B01B").empty());
}

void TestSimConsole::refusedLines_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("line");
    auto row = [](ModuleType t, const char* line) {
        QTest::newRow((ModuleTypeName(t) + ": " + line).c_str()) << int(t) << QString(line);
    };
    row(ModuleType::RQ3016, "card 1 00027CBB");
    row(ModuleType::RQ3050K, "card 3 00027CBB");
    row(ModuleType::RQ3050K, "card 1 27CBB");
    row(ModuleType::RQ3050K, "card 1 00027CBB 19");
    row(ModuleType::RQ3050K, "key 1");
    row(ModuleType::RQ3050K, "wide 1 00027CBB");
    row(ModuleType::RQ3050K, "input 1 1");
    row(ModuleType::RQ3016, "input 17 1");
    row(ModuleType::RQ3016, "input 1 2");
    row(ModuleType::RQ3016, "inputs 0101");
    row(ModuleType::RQ3016, "wiring cross:17=1");
    row(ModuleType::RQ3016, "wiring cross:3");
    row(ModuleType::RQ3016, "wiring chatter:3:0");
    row(ModuleType::RQ3016, "wiring stuck-on:1,");
    row(ModuleType::RQ3016, "wiring open:2");
    row(ModuleType::RQ3016, "wiring loose:2");
    row(ModuleType::RQ3020, "wiring open");
    row(ModuleType::RQ3016, "status O");
    row(ModuleType::RQ3020, "status OK");
    row(ModuleType::RQ3020, "id 0");
    row(ModuleType::RQ3020, "id 100");
    row(ModuleType::RQ3020, "serial 123");
    row(ModuleType::RQ3020, "ch2id 5");
    row(ModuleType::RQ3020, "line E");
    row(ModuleType::RQ3020, "line 19200,x,8,1");
    row(ModuleType::RQ3020, "fault drop 2");
    row(ModuleType::RQ3020, "fault delay -5");
    row(ModuleType::RQ3020, "fault bogus 1");
    row(ModuleType::RQ3020, "fault noise");
    row(ModuleType::RQ3020, "frobnicate");
    row(ModuleType::RQ3016, "module 16000301");
    row(ModuleType::RQ3016, "module NOSUCH01 input 1 1");
}

void TestSimConsole::refusedLines() {
    QFETCH(int, type);
    QFETCH(QString, line);
    ModuleHost host{SimModule(static_cast<ModuleType>(type))};
    const SimModule before = host.module();
    SimConsole c(host);
    const SimConsole::Result r = c.run(line.toStdString());
    QVERIFY(!r.ok);
    QVERIFY(!r.quit);
    QVERIFY(!r.output.empty());
    // Nothing changed.
    QCOMPARE(host.module().describeState(), before.describeState());
    QVERIFY(!host.faults().any());
}

void TestSimConsole::stateAndHelp() {
    ModuleHost host{SimModule(ModuleType::RQ3040)};
    SimConsole c(host);
    Exchange(host, "X01AFF01");
    host.receive(std::string("12\x01"), SimClock::now(), host.module().lineConfig(),
                 ModuleHost::LineMatch::Exact);
    const std::string state = c.run("state").output;
    QVERIFY(state.find("type: RQ-3040") != std::string::npos);
    QVERIFY(state.find("tx on delay: 255") != std::string::npos);
    QVERIFY(state.find("raw received: 12[01]") != std::string::npos);
    QVERIFY(state.find("faults: none") != std::string::npos);
    QVERIFY(c.run("help").output.find("cardkey CH HEX8 KEYS") != std::string::npos);
    QVERIFY(c.run("quit").quit);
    const SimConsole::Result blank = c.run("   ");
    QVERIFY(blank.ok && blank.output.empty());
}

void TestSimConsole::options() {
    SimOptions o;
    std::string error;
    QCOMPARE(ParseSimOptions({"--type",       "rq-3050k",
                              "--id=12",      "--serial",
                              "ABCDEFGH",     "--line",
                              "115200,e,8,1", "--ch2-id",
                              "33",           "--drop",
                              "0.25",         "--delay",
                              "20",           "--wrong-checksum",
                              "--seed",       "99",
                              "--card-every", "500",
                              "--link",       "/tmp/x"},
                             &o, &error),
             ParseOutcome::Run);
    QCOMPARE(o.type, ModuleType::RQ3050K);
    QVERIFY(o.pty);
    QCOMPARE(o.linkPath, std::string("/tmp/x"));
    QCOMPARE(o.seed, 99u);
    QCOMPARE(o.faults.dropShare, 0.25);
    QCOMPARE(o.faults.delayMs, 20);
    QVERIFY(o.faults.wrongChecksum);
    QCOMPARE(o.schedule.size(), size_t(1));
    QCOMPARE(o.schedule[0].everyMs, 500LL);
    const SimModule m = o.makeModule();
    QCOMPARE(m.id, 12);
    QCOMPARE(m.serial, std::string("ABCDEFGH"));
    QCOMPARE(m.lineIndex, 11);
    QCOMPARE(m.ch2Id, 33);
    QVERIFY(!m.ch2Serial.empty());

    SimOptions d;
    QCOMPARE(ParseSimOptions({"--device", "/dev/ttyUSB0", "--line", "3"}, &d, &error),
             ParseOutcome::Run);
    QVERIFY(!d.pty);
    QCOMPARE(d.lineIndex, 3);
    QCOMPARE(ParseSimOptions({"--help"}, &d, &error), ParseOutcome::Help);

    // A bus: one module per --module, serial numbers of their own unless given.
    SimOptions b;
    QCOMPARE(ParseSimOptions(
                 {"--module", "RQ-3016:3", "--module=3016:3", "--module", "rq3050k:7:51000009:3"},
                 &b, &error),
             ParseOutcome::Run);
    QCOMPARE(b.busModules.size(), size_t(3));
    QCOMPARE(b.busModules[0].id, 3);
    QVERIFY(b.busModules[0].serial != b.busModules[1].serial);
    QCOMPARE(b.busModules[2].type(), ModuleType::RQ3050K);
    QCOMPARE(b.busModules[2].serial, std::string("51000009"));
    QCOMPARE(b.busModules[2].lineIndex, 3);
    QVERIFY(b.busModules[2].ch2Serial != b.busModules[2].serial);
    QCOMPARE(b.makeModule().id, 3);

    // Wiring faults, with the inputs following the outputs as before.
    SimOptions w;
    QCOMPARE(ParseSimOptions({"--wiring", "cross:3=5,chatter:7:2.5"}, &w, &error),
             ParseOutcome::Run);
    const SimModule dido = w.makeModule();
    QCOMPARE(dido.wiring.describe(), std::string("cross:3=5,chatter:7:2.5"));
    QCOMPARE(dido.inputMode, InputMode::FollowOutputs);
}

void TestSimConsole::badOptions_data() {
    QTest::addColumn<QStringList>("args");
    QTest::newRow("unknown type") << QStringList{"--type", "RQ-3060"};
    QTest::newRow("ID 0") << QStringList{"--id", "0"};
    QTest::newRow("ID not a number") << QStringList{"--id", "1x"};
    QTest::newRow("short serial") << QStringList{"--serial", "1234567"};
    QTest::newRow("line code E") << QStringList{"--line", "E"};
    QTest::newRow("missing value") << QStringList{"--delay"};
    QTest::newRow("stray argument") << QStringList{"RQ-3016"};
    QTest::newRow("link with device") << QStringList{"--device", "/dev/x", "--link", "/tmp/y"};
    QTest::newRow("cards on a printer") << QStringList{"--type", "RQ-3020", "--card-every", "5"};
    QTest::newRow("missing events file") << QStringList{"--events", "/nonexistent/file"};
    QTest::newRow("module without ID") << QStringList{"--module", "RQ-3016"};
    QTest::newRow("module ID 100") << QStringList{"--module", "RQ-3016:100"};
    QTest::newRow("module serial of 7") << QStringList{"--module", "RQ-3016:3:1600000"};
    QTest::newRow("module line E") << QStringList{"--module", "RQ-3016:3::E"};
    QTest::newRow("module with --id") << QStringList{"--module", "RQ-3016:3", "--id", "4"};
    QTest::newRow("wiring of 17 inputs") << QStringList{"--wiring", "stuck-off:17"};
    QTest::newRow("wiring of a card reader")
        << QStringList{"--type", "RQ-3050S", "--wiring", "open"};
}

void TestSimConsole::badOptions() {
    QFETCH(QStringList, args);
    std::vector<std::string> a;
    for (const QString& s : args) a.push_back(s.toStdString());
    SimOptions o;
    std::string error;
    QCOMPARE(ParseSimOptions(a, &o, &error), ParseOutcome::Error);
    QVERIFY(!error.empty());
}

void TestSimConsole::eventFiles() {
    std::vector<ScheduledCommand> s;
    std::string error;
    QVERIFY(ParseEventFile("# cards\n500 card 1 00027CBB\n\nevery 2000 key 2 12\n  0 status P\n",
                           &s, &error));
    QCOMPARE(s.size(), size_t(3));
    QCOMPARE(s[0].atMs, 500LL);
    QCOMPARE(s[0].everyMs, 0LL);
    QCOMPARE(s[0].command, std::string("card 1 00027CBB"));
    QCOMPARE(s[1].atMs, 2000LL);
    QCOMPARE(s[1].everyMs, 2000LL);
    QCOMPARE(s[2].command, std::string("status P"));

    std::vector<ScheduledCommand> bad;
    QVERIFY(!ParseEventFile("soon card 1 00027CBB\n", &bad, &error));
    QVERIFY(error.find("line 1") != std::string::npos);
    QVERIFY(!ParseEventFile("100\n", &bad, &error));
    QVERIFY(!ParseEventFile("every 0 key 1 1\n", &bad, &error));

    QTemporaryFile file;
    QVERIFY(file.open());
    file.write("every 100 card 1 next\n");
    file.close();
    SimOptions o;
    o.type = ModuleType::RQ3050S;
    QCOMPARE(ParseSimOptions({"--type", "RQ-3050S", "--events", file.fileName().toStdString()}, &o,
                             &error),
             ParseOutcome::Run);
    QCOMPARE(o.schedule.size(), size_t(1));
    QCOMPARE(o.schedule[0].command, std::string("card 1 next"));
}

QTEST_GUILESS_MAIN(TestSimConsole)
#include "test_sim_console.moc"
