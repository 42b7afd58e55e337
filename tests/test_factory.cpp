// Factory default for every module type through the window: the frames on the wire, the
// controls afterwards, and a simulated module that really takes its defaults.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QScrollBar>
#include <QtTest>
#include <optional>

#include "app/pagecontrol.h"
#include "app/shape.h"
#include "support/simwindow.h"

namespace {

using Reply = std::optional<std::string>;

bool Checked(TfrmModule& w, int k) {
    return w.findChild<QCheckBox*>(QStringLiteral("chkDI%1").arg(k))->isChecked();
}

// A module of the type with every setting away from its default, linked at ID `id`.
SimModule& Changed(VirtualPorts& ports, int tab, int id) {
    SimModule& m = ports.addModule(1, kAllModuleTypes[tab]);
    m.id = id;
    m.diMode = 'S';
    m.noNc = "1111000011110000";
    m.portLineIndex = 11;
    m.runMode = 2;
    m.txOnDelay = 200;
    m.txOffDelay = 100;
    m.ch2Id = 42;
    m.interfaceDigit = 3;
    m.keyNumber = 16;
    return m;
}

}  // namespace

class TestFactory : public QObject {
    Q_OBJECT
  private slots:
    void perType_data();
    void perType();
    void keepsTheLinkedLineSetting();
    void failedStepRestartsAtIdOne();
    void emptyChannelTwoSerial();
    void linkListsSetEvenWhenNotAnswered();
    void shortIdentificationSendsNoTypeCommand();
};

void TestFactory::perType_data() {
    QTest::addColumn<int>("tab");
    QTest::addColumn<int>("id");
    QTest::addColumn<QStringList>("commands");
    QTest::newRow("RQ-3016 at 07")
        << 0 << 7
        << QStringList{"B07B", "B07C1600000101", "B01GH", "B01A0000000000000000", "B01E5"};
    QTest::newRow("RQ-3016 at 01")
        << 0 << 1
        << QStringList{"B01B", "B01C1600000101", "B01GH", "B01A0000000000000000", "B01E5"};
    QTest::newRow("RQ-3020") << 1 << 3 << QStringList{"E03B", "E03C2000000101", "E01E5"};
    QTest::newRow("RQ-3030") << 2 << 4 << QStringList{"F04B", "F04Zi"};
    QTest::newRow("RQ-3040") << 3 << 5 << QStringList{"X05B", "X05Zi"};
    QTest::newRow("RQ-3050S") << 4 << 6
                              << QStringList{"A06B", "A06C5000000101", "A01C5000000205", "A01A001",
                                             "A01E5"};
    QTest::newRow("RQ-3050K") << 5 << 1
                              << QStringList{"H01B",    "H01C5100000101", "H01C5100000205",
                                             "H01A001", "H01L04",         "H01E5"};
}

void TestFactory::perType() {
    QFETCH(int, tab);
    QFETCH(int, id);
    QFETCH(QStringList, commands);
    VirtualPorts ports;
    SimModule& m = Changed(ports, tab, id);
    WindowFixture f;
    TfrmModule& w = BuildLinked(f, ports, tab);
    QCOMPARE(w.ModuleId, QStringLiteral("%1").arg(id, 2, 10, QLatin1Char('0')));
    Click(w, "btnFactory");
    QCOMPARE(Commands(ports, 1), commands);
    QCOMPARE(w.pnMsg->text(), QStringLiteral("Set factory default ok."));
    QCOMPARE(w.shComm->brushColor(), QColor(255, 255, 0));
    QCOMPARE(f.tone.tones, (QList<QPair<int, int>>{{1000, 300}}));
    QCOMPARE(w.pnID->text(), QStringLiteral("01"));
    QCOMPARE(w.ModuleId, QStringLiteral("01"));
    QCOMPARE(w.cmbBaudRate->currentText(), QStringLiteral("19200,e,8,1"));

    // The controls show the defaults ...
    const QString v = tab == 4 ? QStringLiteral("S") : QStringLiteral("K");
    switch (tab) {
        case 0:
            QCOMPARE(w.control<QComboBox>("cmbDIDOMode")->currentIndex(), 0);
            for (int k = 1; k <= 16; ++k) QVERIFY(!Checked(w, k));
            break;
        case 2:
            QCOMPARE(w.control<QComboBox>("cmbLinkPort")->currentText(),
                     QStringLiteral("9600,n,8,1"));
            QCOMPARE(w.control<QComboBox>("cmbLinkMode")->currentIndex(), 0);
            break;
        case 3:
            QCOMPARE(w.control<QComboBox>("cmbRepPort")->currentIndex(), 5);
            QCOMPARE(w.control<QLabel>("pnRepTxOn")->text(), QStringLiteral("15"));
            QCOMPARE(w.control<QLabel>("pnRepTxOff")->text(), QStringLiteral("10"));
            break;
        case 4:
        case 5:
            QCOMPARE(w.findChild<QLabel*>(QStringLiteral("pnRQ3050%1_ID").arg(v))->text(),
                     QStringLiteral("05"));
            QCOMPARE(
                w.findChild<QComboBox*>(QStringLiteral("cmbRQ3050%1_Mode").arg(v))->currentIndex(),
                1);
            if (tab == 5) QCOMPARE(w.control<QLabel>("pnKeyNumber")->text(), QStringLiteral("04"));
            break;
    }

    // ... and so does the module: a new scan finds it at ID 01 and 19200,e,8,1 and reads the
    // defaults back.
    QCOMPARE(m.id, 1);
    QCOMPARE(m.lineIndex, 5);
    w.sbID->setValue(9);
    Click(w, "btnScan");
    QCOMPARE(w.pnMsg->text(), QStringLiteral("Module find ok. (COM : #1)"));
    QCOMPARE(w.pnID->text(), QStringLiteral("01"));
    switch (tab) {
        case 0:
            QCOMPARE(m.diMode, 'H');
            QCOMPARE(m.noNc, std::string(16, '0'));
            break;
        case 2:
            QCOMPARE(m.portLineIndex, 2);
            QCOMPARE(m.runMode, 0);
            break;
        case 3:
            QCOMPARE(m.portLineIndex, 5);
            QCOMPARE(m.txOnDelay, 15);
            QCOMPARE(m.txOffDelay, 10);
            break;
        case 4:
        case 5:
            QCOMPARE(m.ch2Id, 5);
            QCOMPARE(m.interfaceDigit, 1);
            if (tab == 5) QCOMPARE(m.keyNumber, 4);
            break;
    }
}

void TestFactory::keepsTheLinkedLineSetting() {
    VirtualPorts ports;
    SimModule& m = ports.addModule(1, ModuleType::RQ3020);
    m.lineIndex = 3;
    WindowFixture f;
    f.writeIni("[General]\nType=1\nScanCommNo=1\nScanBaudRate=\"9600,e,8,1\"\nScanBaudRateNo=3\n");
    TfrmModule& w = f.build(&ports, VirtualPortList({1}));
    Click(w, "btnScan");
    QCOMPARE(w.Linked, uint8_t(1));
    Click(w, "btnFactory");
    QCOMPARE(w.pnMsg->text(), QStringLiteral("Set factory default ok."));
    QCOMPARE(w.cmbBaudRate->currentIndex(), 5);
    QCOMPARE(w.BaudText, QStringLiteral("9600,e,8,1"));
    QCOMPARE(w.BaudIndex, 3);
    QCOMPARE(w.Linked, uint8_t(1));
    Click(w, "btnTest");
    QCOMPARE(ports.opens().back().lineSetting, QStringLiteral("9600,e,8,1"));
}

void TestFactory::failedStepRestartsAtIdOne() {
    VirtualPorts ports;
    Changed(ports, 0, 7);
    WindowFixture f;
    TfrmModule& w = BuildLinked(f, ports, 0);
    FaultConfig faults;
    faults.dropShare = 1.0;
    faults.onlyCommand = "GH";
    faults.times = 1;
    ports.host(1).faults() = faults;
    Click(w, "btnFactory");
    QCOMPARE(Commands(ports, 1),
             (QStringList{"B07B", "B07C1600000101", "B01GH", "B01B", "B01C1600000101", "B01GH",
                          "B01A0000000000000000", "B01E5"}));
    QCOMPARE(w.pnMsg->text(), QStringLiteral("Set factory default ok."));
}

void TestFactory::emptyChannelTwoSerial() {
    VirtualPorts ports;
    ports.addModule(1, ModuleType::RQ3050S);
    WindowFixture f;
    TfrmModule& w = BuildLinked(f, ports, 4);
    w.control<QLabel>("pnRQ3050S_SN")->clear();
    Click(w, "btnFactory");
    // Nothing is between the command letter and the new ID; the module does not take it.
    QCOMPARE(Commands(ports, 1),
             (QStringList{"A01B", "A01C5000000101", "A01C05", "A01B", "A01C5000000101", "A01C05"}));
    QCOMPARE(w.pnMsg->text(), QStringLiteral("Set factory default error!"));
    QCOMPARE(w.shComm->brushColor(), QColor(255, 0, 0));
    QCOMPARE(f.tone.tones, (QList<QPair<int, int>>{{300, 300}}));
    // What was set before the failing step stays.
    QCOMPARE(w.ModuleId, QStringLiteral("01"));
    QCOMPARE(w.control<QLabel>("pnRQ3050S_ID")->text(), QStringLiteral("05"));
}

void TestFactory::linkListsSetEvenWhenNotAnswered() {
    VirtualPorts ports;
    ports.addModule(1, ModuleType::RQ3030);
    WindowFixture f;
    TfrmModule& w = BuildLinked(f, ports, 2);
    w.control<QComboBox>("cmbLinkPort")->setCurrentIndex(7);
    w.control<QComboBox>("cmbLinkMode")->setCurrentIndex(2);
    FaultConfig faults;
    faults.dropShare = 1.0;
    faults.onlyCommand = "Zi";
    ports.host(1).faults() = faults;
    Click(w, "btnFactory");
    QCOMPARE(Commands(ports, 1), (QStringList{"F01B", "F01Zi", "F01B", "F01Zi"}));
    QCOMPARE(w.pnMsg->text(), QStringLiteral("Set factory default error!"));
    QCOMPARE(w.control<QComboBox>("cmbLinkPort")->currentText(), QStringLiteral("9600,n,8,1"));
    QCOMPARE(w.control<QComboBox>("cmbLinkMode")->currentIndex(), 0);
}

void TestFactory::shortIdentificationSendsNoTypeCommand() {
    VirtualPorts ports;
    ports.addModule(1, ModuleType::RQ3050K);
    WindowFixture f;
    TfrmModule& w = BuildLinked(f, ports, 5);
    w.control<QScrollBar>("sbKeyNumber")->setValue(9);
    ports.host(1).setReplyOverride([](const std::string& cmd, const Reply& reply) -> Reply {
        if (cmd == "H01B") return std::string("H01B1234567");  // 15 bytes
        return reply;
    });
    Click(w, "btnFactory");
    QCOMPARE(Commands(ports, 1), (QStringList{"H01B", "H01B"}));
    QCOMPARE(w.pnMsg->text(), QStringLiteral("Set factory default error!"));
    QCOMPARE(w.control<QLabel>("pnKeyNumber")->text(), QStringLiteral("09"));
}

QTEST_MAIN(TestFactory)
#include "test_factory.moc"
