// Finding a module, reading it back and the common operations, driven through the window
// against simulated modules on the in-process port.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QtTest>

#include "app/pagecontrol.h"
#include "app/shape.h"
#include "sim/virtualports.h"
#include "support/simwindow.h"

class TestOperations : public QObject {
    Q_OBJECT
  private slots:
    void scanFindsModuleOnRememberedPortWithoutSaving();
    void fullSearchOrderWithoutLock();
    void fullSearchWithLockTriesOnlyRememberedSetting();
    void scanFindsNothing();
    void linkUsesTypedPortAndPanelId();
    void linkWithTextThatIsNoPortTriesPortOne();
    void readSettingsPerType_data();
    void readSettingsPerType();
    void unansweredTypeQueryIsDataErrorButLinked();
    void idThatIsNotDigitsEndsWithDataError();
    void operationRefusedWhenNotLinked();
    void setIdThenNextCommandUsesNewId();
    void setBaudRateKeepsPortUntilNextOperation();
    void commandTestShowsReplyOrKeepsText();
    void secondTryAfterMissedPreQuery();
};

void TestOperations::scanFindsModuleOnRememberedPortWithoutSaving() {
    VirtualPorts ports;
    SimModule& m = ports.addModule(3, ModuleType::RQ3016);
    m.serial = "12345678";
    WindowFixture f;
    const QByteArray ini =
        "[General]\nType=0\nScanCommNo=3\nScanBaudRate=\"19200,e,8,1\"\nScanBaudRateNo=5\n";
    f.writeIni(ini);
    TfrmModule& w = f.build(&ports, VirtualPortList({1, 3}));
    Click(w, "btnScan");
    QCOMPARE(w.pnMsg->text(), QStringLiteral("Module find ok. (COM : #3)"));
    QCOMPARE(w.pnSerial->text(), QStringLiteral("S/N : 12345678"));
    QCOMPARE(w.pnVersion->text(), QStringLiteral("VER : 01.20-36"));
    QCOMPARE(w.Linked, uint8_t(1));
    QCOMPARE(w.ModuleId, QStringLiteral("01"));
    QCOMPARE(w.shComm->brushColor(), QColor(255, 255, 0));
    QCOMPARE(f.tone.tones.last(), qMakePair(1000, 300));
    QCOMPARE(Commands(ports, 3).first(), QStringLiteral("B00B"));
    QVERIFY(Commands(ports, 3).contains(QStringLiteral("B01V")));
    QFile file(f.iniPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), ini);  // found where it was: nothing saved
    QVERIFY(w.centralWidget()->isEnabled());
}

void TestOperations::fullSearchOrderWithoutLock() {
    VirtualPorts ports;
    ports.addSilentPort(1);
    ports.addBusyPort(2);
    SimModule& m = ports.addModule(4, ModuleType::RQ3020);
    m.lineIndex = 3;  // 9600,e,8,1
    WindowFixture f;
    f.writeIni("[General]\nType=1\nScanCommNo=9\n");
    TfrmModule& w = f.build(&ports, VirtualPortList({1, 2, 4}));
    w.chkLock->setChecked(false);
    Click(w, "btnScan");
    QCOMPARE(w.pnMsg->text(), QStringLiteral("Module find ok. (COM : #4)"));
    QStringList opened;
    for (const auto& a : ports.opens())
        opened << QStringLiteral("%1:%2").arg(a.port).arg(a.lineSetting);
    QStringList expected{QStringLiteral("9:19200,e,8,1")};
    for (int j = 0; j < 12; ++j) expected << QStringLiteral("1:") + LineSettings::text(j);
    expected << QStringLiteral("2:4800,n,8,1");
    for (int j = 0; j <= 3; ++j) expected << QStringLiteral("4:") + LineSettings::text(j);
    // The settings read opens the found port once more.
    expected << QStringLiteral("4:9600,e,8,1");
    QCOMPARE(opened, expected);
    QCOMPARE(w.PortNo, 4);
    QCOMPARE(w.BaudIndex, 3);
    QSettings s(f.iniPath(), QSettings::IniFormat);
    QCOMPARE(s.value(QStringLiteral("ScanCommNo")).toInt(), 4);
    QCOMPARE(s.value(QStringLiteral("ScanBaudRate")).toString(), QStringLiteral("9600,e,8,1"));
    QCOMPARE(s.value(QStringLiteral("ScanBaudRateNo")).toInt(), 3);
}

void TestOperations::fullSearchWithLockTriesOnlyRememberedSetting() {
    VirtualPorts ports;
    ports.addSilentPort(1);
    ports.addSilentPort(2);
    WindowFixture f;
    f.writeIni("[General]\nScanBaudRate=\"57600,n,8,1\"\nScanBaudRateNo=8\n");
    TfrmModule& w = f.build(&ports, VirtualPortList({1, 2}));
    // A stored port outside 1..255 loads as 1, so the negative port is set in memory.
    w.PortNo = -1;
    QElapsedTimer t;
    t.start();
    Click(w, "btnScan");
    QStringList opened;
    for (const auto& a : ports.opens())
        opened << QStringLiteral("%1:%2").arg(a.port).arg(a.lineSetting);
    // A negative remembered port is not tried first; each port once, at the remembered setting,
    // with 2 queries.
    QCOMPARE(opened, (QStringList{"1:57600,n,8,1", "2:57600,n,8,1"}));
    QCOMPARE(QByteArray::fromStdString(ports.written(1)), QByteArray("\x09"
                                                                     "B00B09\x0D"
                                                                     "\x09"
                                                                     "B00B09\x0D"));
    QVERIFY(t.elapsed() >= 4 * 200);
}

void TestOperations::scanFindsNothing() {
    VirtualPorts ports;
    WindowFixture f;
    TfrmModule& w = f.build(&ports, VirtualPortList({1}));
    w.cmbBaudRate->setCurrentIndex(2);
    w.pnMsg->setText(QStringLiteral("x"));
    Click(w, "btnScan");
    QCOMPARE(w.pnMsg->text(), QStringLiteral("Module not find"));
    QCOMPARE(w.cmbBaudRate->currentIndex(), 5);
    QCOMPARE(w.shComm->brushColor(), QColor(255, 0, 0));
    QCOMPARE(f.tone.tones, (QList<QPair<int, int>>{{300, 300}}));
    QCOMPARE(w.Linked, uint8_t(0));
    QVERIFY(w.centralWidget()->isEnabled());
    QVERIFY(!w.tmrBusy->isActive());
    QVERIFY(!QFile::exists(f.iniPath()));
}

void TestOperations::linkUsesTypedPortAndPanelId() {
    VirtualPorts ports;
    SimModule& m = ports.addModule(6, ModuleType::RQ3040);
    m.id = 12;
    m.lineIndex = 10;
    WindowFixture f;
    TfrmModule& w = f.build(&ports, VirtualPortList({1}));
    w.pcMain->clickTab(3);
    w.cmbPort->setEditText(QStringLiteral("COM6"));
    w.sbID->setValue(12);
    w.cmbBaudRate->setCurrentIndex(10);
    Click(w, "btnLink");
    QCOMPARE(w.pnMsg->text(), QStringLiteral("Module find ok. (COM : #6)"));
    QCOMPARE(Commands(ports, 6).first(), QStringLiteral("X12B"));
    QCOMPARE(w.PortNo, 6);
    QCOMPARE(w.BaudText, QStringLiteral("115200,n,8,1"));
    QVERIFY(!QFile::exists(f.iniPath()));  // a link saves nothing
}

void TestOperations::linkWithTextThatIsNoPortTriesPortOne() {
    VirtualPorts ports;
    ports.addModule(1, ModuleType::RQ3016);
    WindowFixture f;
    TfrmModule& w = f.build(&ports, VirtualPortList({1}));
    w.cmbPort->setEditText(QStringLiteral("ttyUSB0"));
    Click(w, "btnLink");
    QCOMPARE(ports.opens().front().port, 1);
    QCOMPARE(w.Linked, uint8_t(1));
}

void TestOperations::readSettingsPerType_data() {
    QTest::addColumn<int>("tab");
    QTest::newRow("RQ-3016") << 0;
    QTest::newRow("RQ-3020") << 1;
    QTest::newRow("RQ-3030") << 2;
    QTest::newRow("RQ-3040") << 3;
    QTest::newRow("RQ-3050S") << 4;
    QTest::newRow("RQ-3050K") << 5;
}

void TestOperations::readSettingsPerType() {
    QFETCH(int, tab);
    VirtualPorts ports;
    SimModule& m = ports.addModule(1, kAllModuleTypes[tab]);
    m.diMode = 'S';
    m.noNc = "1010000000000001";
    m.portLineIndex = 11;
    m.runMode = 2;
    m.txOnDelay = 255;
    m.txOffDelay = 1;
    m.ch2Id = 42;
    m.ch2Serial = "CH2SER01";
    m.interfaceDigit = 3;
    m.keyNumber = 16;
    WindowFixture f;
    f.writeIni(QStringLiteral("[General]\nType=%1\n").arg(tab).toLatin1());
    TfrmModule& w = f.build(&ports, VirtualPortList({1}));
    Click(w, "btnScan");
    QCOMPARE(w.pnMsg->text(), QStringLiteral("Module find ok. (COM : #1)"));
    switch (tab) {
        case 0:
            QCOMPARE(w.control<QComboBox>("cmbDIDOMode")->currentIndex(), 1);
            for (int k = 1; k <= 16; ++k)
                QCOMPARE(w.findChild<QCheckBox*>(QStringLiteral("chkDI%1").arg(k))->isChecked(),
                         k == 1 || k == 3 || k == 16);
            break;
        case 2:
            QVERIFY(!w.control<QGroupBox>("gbLinkPort")->isHidden());
            QCOMPARE(w.control<QComboBox>("cmbLinkPort")->currentIndex(), 11);
            QCOMPARE(w.control<QComboBox>("cmbLinkMode")->currentIndex(), 2);
            break;
        case 3:
            QCOMPARE(w.control<QComboBox>("cmbRepPort")->currentIndex(), 11);
            QCOMPARE(w.control<QLabel>("pnRepTxOn")->text(), QStringLiteral("255"));
            QCOMPARE(w.control<QLabel>("pnRepTxOff")->text(), QStringLiteral("1"));
            break;
        case 4:
        case 5: {
            const QString v = tab == 4 ? QStringLiteral("S") : QStringLiteral("K");
            QCOMPARE(w.findChild<QLabel*>(QStringLiteral("pnRQ3050%1_ID").arg(v))->text(),
                     QStringLiteral("42"));
            QCOMPARE(w.findChild<QLabel*>(QStringLiteral("pnRQ3050%1_SN").arg(v))->text(),
                     QStringLiteral("CH2SER01"));
            QCOMPARE(
                w.findChild<QComboBox*>(QStringLiteral("cmbRQ3050%1_Mode").arg(v))->currentIndex(),
                3);
            if (tab == 5) QCOMPARE(w.control<QLabel>("pnKeyNumber")->text(), QStringLiteral("16"));
            break;
        }
        default:
            QCOMPARE(Commands(ports, 1), (QStringList{"E00B", "E01V"}));
    }
}

void TestOperations::unansweredTypeQueryIsDataErrorButLinked() {
    VirtualPorts ports;
    ports.addModule(1, ModuleType::RQ3016);
    FaultConfig faults;
    faults.dropShare = 1.0;
    faults.onlyCommand = "G";
    ports.host(1).faults() = faults;
    WindowFixture f;
    TfrmModule& w = f.build(&ports, VirtualPortList({1}));
    Click(w, "btnScan");
    QCOMPARE(w.pnMsg->text(), QStringLiteral("Module data error! (COM : #1)"));
    QCOMPARE(w.Linked, uint8_t(1));
    QCOMPARE(w.shComm->brushColor(), QColor(255, 0, 0));
    QCOMPARE(f.tone.tones.last(), qMakePair(300, 300));
    QVERIFY(w.centralWidget()->isEnabled());
}

void TestOperations::idThatIsNotDigitsEndsWithDataError() {
    // A port that answers the scan with a 16-byte frame whose ID is not two digits.
    VirtualPorts ports;
    ports.addModule(1, ModuleType::RQ3016);
    WindowFixture f;
    TfrmModule& w = f.build(&ports, VirtualPortList({1}));
    w.sbID->setValue(9);
    w.ModuleId = QStringLiteral("09");
    w.link.LastReply = QByteArray::fromStdString(wire::BuildReplyFrame("BX1B12345678"));
    w.SetBusy(1);
    w.ReadSettings();
    QCOMPARE(w.pnMsg->text(), QStringLiteral("Module data error! (COM : #1)"));
    QCOMPARE(w.ModuleId, QStringLiteral("09"));
    QCOMPARE(w.sbID->value(), 9);
    QVERIFY(w.centralWidget()->isEnabled());
    QVERIFY(!w.tmrBusy->isActive());
    QVERIFY(ports.opens().empty());
}

void TestOperations::operationRefusedWhenNotLinked() {
    VirtualPorts ports;
    ports.addModule(1, ModuleType::RQ3016);
    WindowFixture f;
    TfrmModule& w = f.build(&ports, VirtualPortList({1}));
    w.shComm->setBrushColor(QColor(255, 255, 0));
    Click(w, "btnID");
    QCOMPARE(w.pnMsg->text(), QStringLiteral("Start select module type."));
    QCOMPARE(w.shComm->brushColor(), QColor(255, 0, 0));
    QCOMPARE(f.tone.tones, (QList<QPair<int, int>>{{300, 300}}));
    QVERIFY(ports.opens().empty());
}

void TestOperations::setIdThenNextCommandUsesNewId() {
    VirtualPorts ports;
    SimModule& m = ports.addModule(1, ModuleType::RQ3016);
    m.serial = "12345678";
    m.id = 5;
    WindowFixture f;
    TfrmModule& w = f.build(&ports, VirtualPortList({1}));
    Click(w, "btnScan");
    QCOMPARE(w.ModuleId, QStringLiteral("05"));
    QCOMPARE(w.pnID->text(), QStringLiteral("05"));
    w.sbID->setValue(7);
    ports.clearRecords();
    Click(w, "btnID");
    QCOMPARE(w.pnMsg->text(), QStringLiteral("Set ID ok."));
    QCOMPARE(Commands(ports, 1), (QStringList{"B05B", "B05C1234567807"}));
    QCOMPARE(m.id, 7);
    QCOMPARE(w.ModuleId, QStringLiteral("07"));
    ports.clearRecords();
    Click(w, "btnTest");
    QCOMPARE(Commands(ports, 1), (QStringList{"B07V"}));
}

void TestOperations::setBaudRateKeepsPortUntilNextOperation() {
    VirtualPorts ports;
    SimModule& m = ports.addModule(1, ModuleType::RQ3016);
    WindowFixture f;
    TfrmModule& w = f.build(&ports, VirtualPortList({1}));
    Click(w, "btnScan");
    w.cmbBaudRate->setCurrentIndex(11);
    ports.clearRecords();
    Click(w, "btnBaudRate");
    QCOMPARE(w.pnMsg->text(), QStringLiteral("Set baud rate ok."));
    QCOMPARE(Commands(ports, 1), (QStringList{"B01B", "B01EB"}));
    QCOMPARE(ports.opens().back().lineSetting, QStringLiteral("19200,e,8,1"));
    QCOMPARE(m.lineIndex, 11);
    QCOMPARE(w.BaudText, QStringLiteral("115200,e,8,1"));
    QCOMPARE(w.BaudIndex, 11);
    Click(w, "btnTest");
    QCOMPARE(ports.opens().back().lineSetting, QStringLiteral("115200,e,8,1"));
    QCOMPARE(w.pnMsg->text(), QStringLiteral("Command test ok."));
}

void TestOperations::commandTestShowsReplyOrKeepsText() {
    VirtualPorts ports;
    ports.addModule(1, ModuleType::RQ3016);
    WindowFixture f;
    TfrmModule& w = f.build(&ports, VirtualPortList({1}));
    Click(w, "btnScan");
    Click(w, "btnTest");
    auto* recv = w.control<QLineEdit>("edTestRecv");
    QCOMPARE(w.pnMsg->text(), QStringLiteral("Command test ok."));
    QVERIFY(recv->text().startsWith(QLatin1String("[0A]B01V01.20-36")));
    QVERIFY(recv->text().endsWith(QLatin1String("[0D]")));
    const QString before = recv->text();
    w.control<QLineEdit>("edTestSend")->setText(QStringLiteral("Q"));  // unknown: no reply
    Click(w, "btnTest");
    QCOMPARE(w.pnMsg->text(), QStringLiteral("Command test error!"));
    QCOMPARE(recv->text(), before);
}

void TestOperations::secondTryAfterMissedPreQuery() {
    VirtualPorts ports;
    ports.addModule(1, ModuleType::RQ3016);
    WindowFixture f;
    TfrmModule& w = f.build(&ports, VirtualPortList({1}));
    Click(w, "btnScan");
    FaultConfig faults;
    faults.dropShare = 1.0;
    faults.onlyCommand = "B";
    faults.times = 1;
    ports.host(1).faults() = faults;
    ports.clearRecords();
    Click(w, "btnBaudRate");
    QCOMPARE(w.pnMsg->text(), QStringLiteral("Set baud rate ok."));
    QCOMPARE(Commands(ports, 1), (QStringList{"B01B", "B01B", "B01E5"}));
}

QTEST_MAIN(TestOperations)
#include "test_operations.moc"
