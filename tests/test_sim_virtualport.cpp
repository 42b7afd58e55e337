// The in-process virtual ports: which opens succeed, exact line settings, purge, real-time
// delays, the records tests read, and the tool's own link talking to simulated modules.

#include <QElapsedTimer>
#include <QTest>

#include "link/frame.h"
#include "link/link.h"
#include "sim/virtualports.h"

namespace {

void Write(SerialPort& port, const std::string& bytes) {
    QVERIFY(
        port.write(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int>(bytes.size())));
}

// Reads until `count` bytes came or `ms` passed.
std::string Read(SerialPort& port, size_t count, int ms = 300) {
    std::string got;
    QElapsedTimer t;
    t.start();
    while (got.size() < count && t.elapsed() < ms) {
        const int b = port.readByte();
        if (b >= 0) got.push_back(static_cast<char>(b));
    }
    return got;
}

}  // namespace

class TestSimVirtualPort : public QObject {
    Q_OBJECT

  private slots:
    void opensByKindOfPort();
    void silentPortTakesBytesAndSaysNothing();
    void lineSettingMustMatchExactly_data();
    void lineSettingMustMatchExactly();
    void closeRestoresConfiguration();
    void setBaudRateAnswersAtOldSetting();
    void purgeDropsReplyNotYetRead();
    void delayedReplyArrivesInTime();
    void idleReadWaitsAboutOneMillisecond();
    void recordsForTests();
    void portOutlivesTheOpener();
    void linkTransacts();
    void linkSeesFaults_data();
    void linkSeesFaults();
};

void TestSimVirtualPort::opensByKindOfPort() {
    VirtualPorts ports;
    ports.addModule(3, ModuleType::RQ3016);
    ports.addSilentPort(1);
    ports.addBusyPort(2);

    QVERIFY(!ports.open(4, "19200,e,8,1"));  // absent
    QCOMPARE(ports.lastFailure().reason, OpenFailure::Reason::NotFound);
    QVERIFY(!ports.open(2, "19200,e,8,1"));  // busy
    QCOMPARE(ports.lastFailure().reason, OpenFailure::Reason::InUse);
    auto silent = ports.open(1, "19200,e,8,1");
    QVERIFY(silent);
    QCOMPARE(ports.lastFailure().reason, OpenFailure::Reason::None);
    auto module = ports.open(3, "19200,e,8,1");
    QVERIFY(module);
    QVERIFY(ports.isOpen(3));
    QVERIFY(!ports.open(3, "19200,e,8,1"));  // already open
    QCOMPARE(ports.lastFailure().reason, OpenFailure::Reason::InUse);
    module->close();
    QVERIFY(!ports.isOpen(3));
    auto again = ports.open(3, "9600,n,8,1");
    QVERIFY(again);
    again.reset();  // destroying the port closes it
    QVERIFY(!ports.isOpen(3));

    const std::vector<VirtualPorts::OpenAttempt>& opens = ports.opens();
    QCOMPARE(opens.size(), size_t(6));
    const int wantPort[] = {4, 2, 1, 3, 3, 3};
    const bool wantOk[] = {false, false, true, true, false, true};
    for (size_t i = 0; i < opens.size(); ++i) {
        QCOMPARE(opens[i].port, wantPort[i]);
        QCOMPARE(opens[i].ok, wantOk[i]);
    }
    QCOMPARE(opens[5].lineSetting, QString("9600,n,8,1"));

    ports.removePort(3);
    QVERIFY(!ports.open(3, "19200,e,8,1"));
}

void TestSimVirtualPort::silentPortTakesBytesAndSaysNothing() {
    VirtualPorts ports;
    ports.addSilentPort(1);
    auto port = ports.open(1, "19200,e,8,1");
    QVERIFY(port);
    Write(*port, wire::BuildCommandFrame("B00B"));
    QVERIFY(Read(*port, 1, 50).empty());
    QCOMPARE(ports.written(1), wire::BuildCommandFrame("B00B"));
    QVERIFY(ports.commands(1).empty());
}

void TestSimVirtualPort::lineSettingMustMatchExactly_data() {
    QTest::addColumn<int>("moduleLine");
    QTest::addColumn<QString>("openWith");
    QTest::addColumn<bool>("answers");
    QTest::newRow("same setting") << 5 << "19200,e,8,1" << true;
    QTest::newRow("no parity") << 5 << "19200,n,8,1" << false;
    QTest::newRow("odd parity") << 5 << "19200,o,8,1" << false;
    QTest::newRow("other baud rate") << 5 << "9600,e,8,1" << false;
    QTest::newRow("two stop bits") << 5 << "19200,e,8,2" << false;
    QTest::newRow("230400,e") << 13 << "230400,e,8,1" << true;
    // A text that does not parse leaves the port at its 9600,n,8,1.
    QTest::newRow("unparsable, module at 9600,n") << 2 << "19200;e;8;1" << true;
    QTest::newRow("unparsable, module at 19200,e") << 5 << "19200;e;8;1" << false;
}

void TestSimVirtualPort::lineSettingMustMatchExactly() {
    QFETCH(int, moduleLine);
    QFETCH(QString, openWith);
    QFETCH(bool, answers);
    VirtualPorts ports;
    ports.addModule(3, ModuleType::RQ3040).lineIndex = moduleLine;
    auto port = ports.open(3, openWith);
    QVERIFY(port);
    Write(*port, wire::BuildCommandFrame("X00B"));
    const std::string reply = Read(*port, 16, answers ? 300 : 60);
    QCOMPARE(reply.size(), answers ? size_t(16) : size_t(0));
}

void TestSimVirtualPort::closeRestoresConfiguration() {
    VirtualPorts ports;
    ports.addModule(3, ModuleType::RQ3016);
    QCOMPARE(ports.lineConfig(3), *ParseLineSetting("9600,n,8,1"));
    const LineConfig other = *ParseLineSetting("38400,o,8,2");
    ports.setLineConfig(3, other);
    auto port = ports.open(3, "19200,e,8,1");
    QCOMPARE(ports.lineConfig(3), *ParseLineSetting("19200,e,8,1"));
    port->close();
    QCOMPARE(ports.lineConfig(3), other);
    port = ports.open(3, "nonsense");
    QCOMPARE(ports.lineConfig(3), other);
}

void TestSimVirtualPort::setBaudRateAnswersAtOldSetting() {
    VirtualPorts ports;
    SimModule& m = ports.addModule(3, ModuleType::RQ3020);
    auto port = ports.open(3, "19200,e,8,1");
    Write(*port, wire::BuildCommandFrame("E01EB"));
    QCOMPARE(Read(*port, 8).size(), size_t(8));
    QCOMPARE(m.lineIndex, 11);
    Write(*port, wire::BuildCommandFrame("E01B"));
    QVERIFY(Read(*port, 1, 60).empty());
    port->close();
    port = ports.open(3, "115200,e,8,1");
    Write(*port, wire::BuildCommandFrame("E01B"));
    QCOMPARE(Read(*port, 16).size(), size_t(16));
}

void TestSimVirtualPort::purgeDropsReplyNotYetRead() {
    VirtualPorts ports;
    ports.addModule(3, ModuleType::RQ3016);
    auto port = ports.open(3, "19200,e,8,1");
    Write(*port, wire::BuildCommandFrame("B01B"));
    port->purge();  // before the reply is due
    QVERIFY(Read(*port, 1, 40).empty());

    Write(*port, wire::BuildCommandFrame("B01B"));
    QTest::qWait(20);  // due now, not yet read
    port->purge();
    QVERIFY(Read(*port, 1, 40).empty());

    Write(*port, wire::BuildCommandFrame("B01B"));
    QCOMPARE(Read(*port, 16).size(), size_t(16));
}

void TestSimVirtualPort::delayedReplyArrivesInTime() {
    VirtualPorts ports;
    ports.addModule(3, ModuleType::RQ3016);
    ports.host(3).setBaseDelayMs(0);
    ports.host(3).faults().delayMs = 150;
    auto port = ports.open(3, "19200,e,8,1");
    QElapsedTimer t;
    t.start();
    Write(*port, wire::BuildCommandFrame("B01B"));
    int first = -1;
    while (first < 0 && t.elapsed() < 1000) first = port->readByte();
    const qint64 arrived = t.elapsed();
    QCOMPARE(first, 0x0A);
    QVERIFY2(arrived >= 149 && arrived < 250, QByteArray::number(arrived));
    // The rest, due at the same time, comes at once.
    QCOMPARE(Read(*port, 15, 20).size(), size_t(15));
}

void TestSimVirtualPort::idleReadWaitsAboutOneMillisecond() {
    VirtualPorts ports;
    ports.addSilentPort(1);
    auto port = ports.open(1, "19200,e,8,1");
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < 20; ++i) QCOMPARE(port->readByte(), -1);
    QVERIFY2(t.elapsed() >= 19 && t.elapsed() < 500, QByteArray::number(t.elapsed()));
}

void TestSimVirtualPort::recordsForTests() {
    VirtualPorts ports;
    ports.addModule(2, ModuleType::RQ3040);
    auto port = ports.open(2, "19200,e,8,1");
    Write(*port, wire::BuildCommandFrame("X01B"));
    Write(*port, "1234");
    Write(*port, wire::BuildCommandFrame("X07B"));
    QCOMPARE(ports.commands(2), (std::vector<std::string>{"X01B", "X07B"}));
    QCOMPARE(ports.host(2).rawBytes(), std::string("1234"));
    QCOMPARE(ports.module(2).rawReceived, std::string("1234"));
    QCOMPARE(ports.written(2),
             wire::BuildCommandFrame("X01B") + "1234" + wire::BuildCommandFrame("X07B"));
    ports.clearRecords();
    QVERIFY(ports.commands(2).empty());
    QVERIFY(ports.written(2).empty());
    QVERIFY(ports.opens().empty());
}

void TestSimVirtualPort::portOutlivesTheOpener() {
    auto ports = std::make_unique<VirtualPorts>();
    ports->addModule(1, ModuleType::RQ3016);
    auto port = ports->open(1, "19200,e,8,1");
    ports.reset();
    Write(*port, wire::BuildCommandFrame("B01B"));
    QCOMPARE(Read(*port, 16).size(), size_t(16));
    port->close();
    QCOMPARE(port->readByte(), -1);
    QVERIFY(!port->write(reinterpret_cast<const uint8_t*>("x"), 1));
}

void TestSimVirtualPort::linkTransacts() {
    VirtualPorts ports;
    SimModule& m = ports.addModule(3, ModuleType::RQ3050K);
    m.id = 12;
    Link link(ports);
    link.setEventPump([] {});
    QVERIFY(link.OpenPort(3, "19200,e,8,1"));
    QVERIFY(link.Transact(QByteArray("H00B")));
    QCOMPARE(link.RxPos, 16);
    QVERIFY(link.VerifyReply());
    QCOMPARE(link.LastReply.mid(2, 2), QByteArray("12"));
    QCOMPARE(link.LastReply.mid(5, 8), QByteArray::fromStdString(m.serial));
    QVERIFY(link.Transact(QByteArray("H12L")));
    QCOMPARE(link.RxPos, 10);
    QCOMPARE(link.LastReply.mid(5, 2), QByteArray("04"));
    QVERIFY(!link.Transact(QByteArray("H13B")));  // no one there
    QCOMPARE(link.RxPos, 0);
    link.ClosePort();
    QVERIFY(!ports.isOpen(3));
    QCOMPARE(ports.commands(3), (std::vector<std::string>{"H00B", "H12L", "H13B"}));
}

// What the tool's transaction makes of each fault (its silence limit is 200 ms).
void TestSimVirtualPort::linkSeesFaults_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("succeeds");
    QTest::newRow("none") << "none" << true;
    QTest::newRow("reply after 150 ms") << "delay150" << true;
    QTest::newRow("reply after 150 ms and a pause of 150 ms") << "delay150pause150" << true;
    QTest::newRow("pause of 250 ms") << "pause250" << false;
    QTest::newRow("reply after 250 ms") << "delay250" << false;
    QTest::newRow("wrong checksum") << "wrong" << false;
    QTest::newRow("lower-case checksum") << "lower" << false;
    QTest::newRow("noise before the frame") << "noise" << false;
    QTest::newRow("truncated") << "truncate" << false;
    QTest::newRow("dropped") << "drop" << false;
    QTest::newRow("paced at 19200,e") << "pace" << true;
}

void TestSimVirtualPort::linkSeesFaults() {
    QFETCH(QString, fault);
    QFETCH(bool, succeeds);
    VirtualPorts ports;
    SimModule& m = ports.addModule(1, ModuleType::RQ3020);
    m.version = "AB.CD-EF";  // the reply to "E01V" then has the checksum 1C, with a letter
    FaultConfig& f = ports.host(1).faults();
    if (fault.startsWith("delay")) f.delayMs = fault.mid(5, 3).toInt();
    if (fault.endsWith("pause150") || fault == "pause250") {
        f.pauseAfterByte = 4;
        f.pauseMs = fault.right(3).toInt();
    }
    if (fault == "wrong") f.wrongChecksum = true;
    if (fault == "lower") f.lowerCaseChecksum = true;
    if (fault == "noise") f.noiseBytes = 3;
    if (fault == "truncate") f.truncateTo = 15;
    if (fault == "drop") f.dropShare = 1;
    if (fault == "pace") ports.host(1).setPacing(true);

    Link link(ports);
    link.setEventPump([] {});
    QVERIFY(link.OpenPort(1, "19200,e,8,1"));
    QCOMPARE(link.Transact(QByteArray("E01V")), succeeds);
    if (succeeds) QCOMPARE(link.LastReply.mid(5, 8), QByteArray("AB.CD-EF"));
}

QTEST_GUILESS_MAIN(TestSimVirtualPort)
#include "test_sim_virtualport.moc"
