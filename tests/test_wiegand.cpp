// The two Wiegand pages through the window against simulated modules: CH #2 ID, interface and
// key number, and the card read test of both channels.
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>
#include <optional>

#include "app/shape.h"
#include "support/simwindow.h"

namespace {

using Reply = std::optional<std::string>;

template <class T>
T* On(TfrmModule& w, const QString& v, const char* kind, const char* what) {
    return w.findChild<T*>(
        QStringLiteral("%1RQ3050%2_%3").arg(QLatin1String(kind), v, QLatin1String(what)));
}

}  // namespace

class TestWiegand : public QObject {
    Q_OBJECT
  private slots:
    void settings_data();
    void settings();
    void idAsksSerialAnewInEveryTry();
    void interfaceWithoutSelectionSendsNothing();
    void cardTestShowsBothChannels();
    void cardTestRunsWhileChannelOneAnswers();
    void cardTestEndsWhenModuleIsLost();
};

void TestWiegand::settings_data() {
    QTest::addColumn<QString>("v");
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<int>("value");  // bar position or list index
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QString>("message");
    QTest::newRow("S: CH #2 ID 7") << "S" << QByteArray("btnRQ3050S_ID") << 7
                                   << QStringList{"A01N", "A01C5000000207"} << "Set ID ok.";
    QTest::newRow("K: CH #2 ID 99") << "K" << QByteArray("btnRQ3050K_ID") << 99
                                    << QStringList{"H01N", "H01C5100000299"} << "Set ID ok.";
    QTest::newRow("S: RS485 40") << "S" << QByteArray("btnRQ3050S_Mode") << 2
                                 << QStringList{"A01B", "A01A002"} << "Set interface ok.";
    QTest::newRow("K: RS485 64") << "K" << QByteArray("btnRQ3050K_Mode") << 3
                                 << QStringList{"H01B", "H01A003"} << "Set interface ok.";
    QTest::newRow("K: RS485 24") << "K" << QByteArray("btnRQ3050K_Mode") << 0
                                 << QStringList{"H01B", "H01A000"} << "Set interface ok.";
    QTest::newRow("K: key number 0") << "K" << QByteArray("btnKeyNumber") << 0
                                     << QStringList{"H01B", "H01L00"} << "Set key number ok.";
    QTest::newRow("K: key number 16") << "K" << QByteArray("btnKeyNumber") << 16
                                      << QStringList{"H01B", "H01L16"} << "Set key number ok.";
}

void TestWiegand::settings() {
    QFETCH(QString, v);
    QFETCH(QByteArray, button);
    QFETCH(int, value);
    QFETCH(QStringList, commands);
    QFETCH(QString, message);
    VirtualPorts ports;
    SimModule& m = ports.addModule(1, v == "S" ? ModuleType::RQ3050S : ModuleType::RQ3050K);
    WindowFixture f;
    TfrmModule& w = BuildLinked(f, ports, v == "S" ? 4 : 5);
    if (button.endsWith("_ID"))
        On<QScrollBar>(w, v, "sb", "ID")->setValue(value);
    else if (button.endsWith("_Mode"))
        On<QComboBox>(w, v, "cmb", "Mode")->setCurrentIndex(value);
    else
        w.control<QScrollBar>("sbKeyNumber")->setValue(value);
    Click(w, button.constData());
    QCOMPARE(Commands(ports, 1), commands);
    QCOMPARE(w.pnMsg->text(), message);
    QCOMPARE(f.tone.tones, (QList<QPair<int, int>>{{1000, 300}}));
    QCOMPARE(w.ModuleId, QStringLiteral("01"));  // CH #2's ID is not the module's
    if (button.endsWith("_ID")) QCOMPARE(m.ch2Id, value);
    if (button.endsWith("_Mode")) QCOMPARE(m.interfaceDigit, value);
    if (button == "btnKeyNumber") QCOMPARE(m.keyNumber, value);
    // The next command still goes to the module's own ID.
    ports.clearRecords();
    Click(w, "btnTest");
    QCOMPARE(Commands(ports, 1).value(0).left(3), (v == "S" ? "A01" : "H01"));
}

void TestWiegand::idAsksSerialAnewInEveryTry() {
    VirtualPorts ports;
    SimModule& m = ports.addModule(1, ModuleType::RQ3050K);
    WindowFixture f;
    TfrmModule& w = BuildLinked(f, ports, 5);
    bool firstC = true;
    ports.host(1).setReplyOverride([&](const std::string& cmd, const Reply& reply) -> Reply {
        if (cmd == "H01N" && firstC) return std::string("H05NSERIAL01");
        if (cmd.compare(0, 4, "H01C") == 0 && firstC) {
            firstC = false;
            return std::nullopt;
        }
        return reply;
    });
    Click(w, "btnRQ3050K_ID");
    QCOMPARE(Commands(ports, 1), (QStringList{"H01N", "H01CSERIAL0105", "H01N", "H01C5100000205"}));
    QCOMPARE(w.pnMsg->text(), QStringLiteral("Set ID ok."));
    QCOMPARE(m.ch2Id, 5);
}

void TestWiegand::interfaceWithoutSelectionSendsNothing() {
    VirtualPorts ports;
    ports.addModule(1, ModuleType::RQ3050S);
    WindowFixture f;
    TfrmModule& w = BuildLinked(f, ports, 4);
    On<QComboBox>(w, "S", "cmb", "Mode")->setCurrentIndex(-1);
    Click(w, "btnRQ3050S_Mode");
    QVERIFY(ports.written(1).empty());
    QCOMPARE(w.pnMsg->text(), QStringLiteral("Set interface error!"));
    QCOMPARE(w.shComm->brushColor(), QColor(255, 0, 0));
    QCOMPARE(f.tone.tones, (QList<QPair<int, int>>{{300, 300}}));
}

void TestWiegand::cardTestShowsBothChannels() {
    VirtualPorts ports;
    SimModule& m = ports.addModule(1, ModuleType::RQ3050K);
    WindowFixture f;
    TfrmModule& w = BuildLinked(f, ports, 5);
    m.queueEvent(1, CardEvent::Card("FFFFFFFF"));
    m.queueEvent(2, CardEvent::KeyInput("1234"));
    m.queueEvent(2, CardEvent::CardAndKey("00027CBB", "12"));
    On<QLabel>(w, "K", "pn", "Card1")->setText(QStringLiteral("old"));
    const QString message = w.pnMsg->text();
    QStringList disabledWhileRunning;
    QList<qint64> sentAt;
    QElapsedTimer clock;
    clock.start();
    int queries = 0;
    ports.host(1).setReplyOverride([&](const std::string&, const Reply& reply) -> Reply {
        sentAt << clock.elapsed();
        if (++queries == 3) {
            for (const char* name :
                 {"btnScan", "btnLink", "btnID", "btnRQ3050K_ID", "btnRQ3050K_Mode", "btnKeyNumber",
                  "btnBaudRate", "pcMain", "tsCommand", "btnRQ3050K_Card", "sbRQ3050K_ID",
                  "sbKeyNumber", "cmbRQ3050K_Mode"})
                if (!w.control<QWidget>(name)->isEnabled()) disabledWhileRunning << name;
        }
        // CH #2's address follows its bar from the next cycle on.
        if (queries == 4) On<QScrollBar>(w, "K", "sb", "ID")->setValue(7);
        if (queries == 6) {
            SaveScreenshot(w, QStringLiteral("card-test-running"));
            Click(w, "btnRQ3050K_Card");
        }
        return reply;
    });
    Click(w, "btnRQ3050K_Card");
    QCOMPARE(Commands(ports, 1), (QStringList{"H01F", "H05F", "H01F", "H05F", "H01F", "H07F"}));
    QCOMPARE(disabledWhileRunning,
             (QStringList{"btnScan", "btnLink", "btnID", "btnRQ3050K_ID", "btnRQ3050K_Mode",
                          "btnKeyNumber", "btnBaudRate", "pcMain", "tsCommand"}));
    QCOMPARE(On<QLabel>(w, "K", "pn", "Card1")->text(),
             QStringLiteral("CARD : 4294967295(D)  FFFFFFFF(H)"));
    QCOMPARE(On<QLabel>(w, "K", "pn", "Card2")->text(),
             QStringLiteral("CARD : 0000163003(D)  00027CBB(H)  KEY:12"));
    QCOMPARE(w.pnMsg->text(), message);
    QCOMPARE(w.shComm->brushColor(), QColor(255, 255, 0));
    QCOMPARE(f.tone.tones, (QList<QPair<int, int>>{{1000, 300}}));
    QCOMPARE(On<QPushButton>(w, "K", "btn", "Card")->text(), QStringLiteral("Read card test"));
    QVERIFY(w.control<QWidget>("btnKeyNumber")->isEnabled());
    QVERIFY(!ports.isOpen(1));
    // Each query waits at least 30 ms after the one before it.
    for (int i = 1; i < sentAt.size(); ++i) QVERIFY(sentAt[i] - sentAt[i - 1] >= 30);
}

void TestWiegand::cardTestRunsWhileChannelOneAnswers() {
    VirtualPorts ports;
    SimModule& m = ports.addModule(1, ModuleType::RQ3050S);
    WindowFixture f;
    TfrmModule& w = BuildLinked(f, ports, 4);
    m.ch2Id = 9;  // CH #2 no longer answers at 05
    On<QLabel>(w, "S", "pn", "Card2")->setText(QStringLiteral("old"));
    int queries = 0;
    ports.host(1).setReplyOverride([&](const std::string&, const Reply& reply) -> Reply {
        if (++queries == 10) Click(w, "btnRQ3050S_Card");
        return reply;
    });
    Click(w, "btnRQ3050S_Card");
    QCOMPARE(queries, 10);
    QCOMPARE(On<QLabel>(w, "S", "pn", "Card2")->text(), QString());  // emptied at the start
    QCOMPARE(w.shComm->brushColor(), QColor(255, 255, 0));
    QCOMPARE(w.Polling, uint8_t(0));
}

void TestWiegand::cardTestEndsWhenModuleIsLost() {
    VirtualPorts ports;
    ports.addModule(1, ModuleType::RQ3050S);
    WindowFixture f;
    TfrmModule& w = BuildLinked(f, ports, 4);
    ports.host(1).faults().dropShare = 1.0;  // unplugged
    Click(w, "btnRQ3050S_Card");
    QCOMPARE(Commands(ports, 1).size(), 6);  // three cycles of both queries
    QCOMPARE(w.pnMsg->text(), QStringLiteral("Module not find"));
    QCOMPARE(w.shComm->brushColor(), QColor(255, 0, 0));
    QCOMPARE(f.tone.tones, (QList<QPair<int, int>>{{300, 300}}));
    QCOMPARE(w.Polling, uint8_t(0));
    QVERIFY(w.control<QWidget>("btnScan")->isEnabled());
}

QTEST_MAIN(TestWiegand)
#include "test_wiegand.moc"
