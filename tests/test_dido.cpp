// The DI/DO page through the window against a simulated module: the two settings and the
// continuous DI/DO test with its endings.
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QtTest>
#include <optional>

#include "app/pagecontrol.h"
#include "app/shape.h"
#include "support/simwindow.h"

namespace {

using Reply = std::optional<std::string>;
const QColor kWhite(255, 255, 255);
const QColor kYellow(255, 255, 0);
const QColor kRed(255, 0, 0);

QCheckBox* Box(TfrmModule& w, const char* prefix, int k) {
    return w.findChild<QCheckBox*>(QLatin1String(prefix) + QString::number(k));
}

QString Circles(TfrmModule& w) {
    QString s;
    for (int k = 1; k <= 16; ++k) {
        const QColor c = w.findChild<Shape*>(QStringLiteral("shDI%1").arg(k))->brushColor();
        s += c == kYellow ? QLatin1Char('Y') : c == kWhite ? QLatin1Char('w') : QLatin1Char('?');
    }
    return s;
}

QStringList TestCommands(VirtualPorts& ports) {
    QStringList out;
    for (const QString& c : Commands(ports, 1))
        if (c.startsWith(QLatin1String("B01I"))) out << c;
    return out;
}

}  // namespace

class TestDido : public QObject {
    Q_OBJECT
  private slots:
    void settingsSendControlsAsTheyAre_data();
    void settingsSendControlsAsTheyAre();
    void settingsNeedSixteenByteIdentification();
    void testEndings_data();
    void testEndings();
    void testFollowsBoxesAndColoursCircles();
    void testWhileRunning();
    void testPortTakenThenStartsAgain();
    void testNotLinkedOnlyBeeps();
};

void TestDido::settingsSendControlsAsTheyAre_data() {
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QList<int>>("checked");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("message");
    QTest::newRow("normal") << QByteArray("btnDIDOMode") << 1 << QList<int>{} << "B01GS"
                            << "Set DI mode ok.";
    QTest::newRow("hold") << QByteArray("btnDIDOMode") << 0 << QList<int>{3} << "B01GH"
                          << "Set DI mode ok.";
    QTest::newRow("DI1 and DI16") << QByteArray("btnDIDONoNc") << 1 << QList<int>{1, 16}
                                  << "B01A1000000000000001"
                                  << "Set DI NO/NC ok.";
    QTest::newRow("none") << QByteArray("btnDIDONoNc") << 0 << QList<int>{}
                          << "B01A0000000000000000"
                          << "Set DI NO/NC ok.";
}

void TestDido::settingsSendControlsAsTheyAre() {
    QFETCH(QByteArray, button);
    QFETCH(int, mode);
    QFETCH(QList<int>, checked);
    QFETCH(QString, command);
    QFETCH(QString, message);
    VirtualPorts ports;
    SimModule& m = ports.addModule(1, ModuleType::RQ3016);
    WindowFixture f;
    TfrmModule& w = BuildLinked(f, ports, 0);
    w.control<QComboBox>("cmbDIDOMode")->setCurrentIndex(mode);
    for (int k = 1; k <= 16; ++k) Box(w, "chkDI", k)->setChecked(checked.contains(k));
    Click(w, button.constData());
    QCOMPARE(Commands(ports, 1), (QStringList{"B01B", command}));
    QCOMPARE(w.pnMsg->text(), message);
    QCOMPARE(w.shComm->brushColor(), kYellow);
    QCOMPARE(f.tone.tones, (QList<QPair<int, int>>{{1000, 300}}));
    // The module took it; the controls stay as the user set them.
    if (button == "btnDIDOMode")
        QCOMPARE(m.diMode, mode == 0 ? 'H' : 'S');
    else
        QCOMPARE(QString::fromStdString(m.noNc), command.mid(4));
    QCOMPARE(w.control<QComboBox>("cmbDIDOMode")->currentIndex(), mode);
    for (int k = 1; k <= 16; ++k) QCOMPARE(Box(w, "chkDI", k)->isChecked(), checked.contains(k));
}

void TestDido::settingsNeedSixteenByteIdentification() {
    VirtualPorts ports;
    ports.addModule(1, ModuleType::RQ3016);
    WindowFixture f;
    TfrmModule& w = BuildLinked(f, ports, 0);
    ports.host(1).setReplyOverride([](const std::string& cmd, const Reply& reply) -> Reply {
        if (cmd == "B01B") return std::string("B01B1234567");  // a 15-byte frame
        return reply;
    });
    Click(w, "btnDIDOMode");
    QCOMPARE(Commands(ports, 1), (QStringList{"B01B", "B01B"}));
    QCOMPARE(w.pnMsg->text(), QStringLiteral("Set DI mode error!"));
    QCOMPARE(w.shComm->brushColor(), kRed);
    QCOMPARE(f.tone.tones, (QList<QPair<int, int>>{{300, 300}}));
    ports.clearRecords();
    Click(w, "btnDIDONoNc");
    QCOMPARE(Commands(ports, 1), (QStringList{"B01B", "B01B"}));
    QCOMPARE(w.pnMsg->text(), QStringLiteral("Set DI NO/NC error!"));
}

// Each character of the script is one test cycle: g a 24-byte reply, 6 a 16-byte reply,
// s silence, c a 24-byte reply and a press of "Cancel process" while it is on its way.
void TestDido::testEndings_data() {
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<int>("cycles");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("tone");
    QTest::newRow("stopped by the user") << QByteArray("ggc") << 3 << QString() << 1000;
    QTest::newRow("three silent cycles") << QByteArray("gsss") << 4 << "Module not find" << 300;
    QTest::newRow("two fails, good, two fails") << QByteArray("ssgssc") << 6 << QString() << 1000;
    QTest::newRow("a 16-byte reply resets the count")
        << QByteArray("ss6sc") << 5 << QString() << 1000;
    QTest::newRow("two fails then lost") << QByteArray("ss6sss") << 6 << "Module not find" << 300;
}

void TestDido::testEndings() {
    QFETCH(QByteArray, script);
    QFETCH(int, cycles);
    QFETCH(QString, message);
    QFETCH(int, tone);
    VirtualPorts ports;
    ports.addModule(1, ModuleType::RQ3016);
    WindowFixture f;
    TfrmModule& w = BuildLinked(f, ports, 0);
    w.pnMsg->setText(QStringLiteral("before"));
    int cycle = 0;
    ports.host(1).setReplyOverride([&](const std::string& cmd, const Reply& reply) -> Reply {
        if (cmd.compare(0, 4, "B01I") != 0) return reply;
        const char step = cycle < script.size() ? script.at(cycle) : 's';
        ++cycle;
        if (step == 's') return std::nullopt;
        if (step == '6') return std::string("B01I12345678");
        if (step == 'c') Click(w, "btnDIDOTest");
        return reply;
    });
    Click(w, "btnDIDOTest");
    QCOMPARE(cycle, cycles);
    QCOMPARE(w.pnMsg->text(), message);
    QCOMPARE(w.shComm->brushColor(), tone == 1000 ? kYellow : kRed);
    QCOMPARE(f.tone.tones, (QList<QPair<int, int>>{{tone, 300}}));
    QCOMPARE(w.Polling, uint8_t(0));
    QVERIFY(!w.link.isOpen());
    QVERIFY(!ports.isOpen(1));
    QVERIFY(!w.tmrBusy->isActive());
    QCOMPARE(w.control<QPushButton>("btnDIDOTest")->text(), QStringLiteral("DI/DO test"));
    for (const char* name : {"btnScan", "btnLink", "gbDIDOMode", "gbDIDONoNc", "tsCommand", "btnID",
                             "btnBaudRate", "pcMain"})
        QVERIFY2(w.control<QWidget>(name)->isEnabled(), name);
}

void TestDido::testFollowsBoxesAndColoursCircles() {
    VirtualPorts ports;
    SimModule& m = ports.addModule(1, ModuleType::RQ3016);
    m.inputMode = InputMode::Fixed;
    m.inputs = "1000000000000001";
    WindowFixture f;
    TfrmModule& w = BuildLinked(f, ports, 0);
    Box(w, "chkDO", 16)->setChecked(true);
    QStringList circles;
    QList<qint64> sentAt;
    QElapsedTimer clock;
    clock.start();
    int cycle = 0;
    ports.host(1).setReplyOverride([&](const std::string& cmd, const Reply& reply) -> Reply {
        if (cmd.compare(0, 4, "B01I") != 0) return reply;
        sentAt << clock.elapsed();
        circles << Circles(w);
        switch (++cycle) {
            case 1:
                Box(w, "chkDO", 2)->setChecked(true);  // the next cycle sends it
                return reply;
            case 2:
                return std::string("B01I12A0000000000001");  // only "1" lights a circle
            case 3:
                return std::string("B01I11111111");  // 16 bytes: no circle changes
            default:
                SaveScreenshot(w, QStringLiteral("dido-test-running"));
                Click(w, "btnDIDOTest");
                return reply;
        }
    });
    Click(w, "btnDIDOTest");
    QCOMPARE(TestCommands(ports), (QStringList{"B01I0000000000000001", "B01I0100000000000001",
                                               "B01I0100000000000001", "B01I0100000000000001"}));
    // Circles as they were when each command went out: after the reply before it.
    QCOMPARE(circles, (QStringList{"wwwwwwwwwwwwwwww", "YwwwwwwwwwwwwwwY", "YwwwwwwwwwwwwwwY",
                                   "YwwwwwwwwwwwwwwY"}));
    QCOMPARE(Circles(w), QStringLiteral("YwwwwwwwwwwwwwwY"));
    ports.host(1).setReplyOverride([&](const std::string&, const Reply&) -> Reply {
        Click(w, "btnDIDOTest");
        return std::string("B01I2A10000000000000");
    });
    Click(w, "btnDIDOTest");
    QCOMPARE(Circles(w), QStringLiteral("wwYwwwwwwwwwwwww"));
    // Each cycle waits at least 50 ms before it sends.
    for (int i = 1; i < sentAt.size(); ++i) QVERIFY(sentAt[i] - sentAt[i - 1] >= 50);
}

void TestDido::testWhileRunning() {
    VirtualPorts ports;
    ports.addModule(1, ModuleType::RQ3016);
    WindowFixture f;
    TfrmModule& w = BuildLinked(f, ports, 0);
    // Checked while the test runs, from inside an exchange; failures are collected.
    QStringList wrong;
    auto expect = [&wrong](bool ok, const char* what) {
        if (!ok) wrong << QString::fromLatin1(what);
    };
    bool checked = false;
    ports.host(1).setReplyOverride([&](const std::string&, const Reply& reply) -> Reply {
        if (checked) return reply;
        checked = true;
        expect(w.Polling == 1, "Polling");
        expect(w.control<QPushButton>("btnDIDOTest")->text() == QLatin1String("Cancel process"),
               "caption");
        expect(w.centralWidget()->isEnabled(), "window enabled");
        expect(w.tmrBusy->isActive(), "busy lamp");
        expect(w.pnMsg->text().isEmpty(), "message emptied");
        for (const char* name : {"btnScan", "btnLink", "gbDIDOMode", "gbDIDONoNc", "tsCommand",
                                 "btnID", "btnBaudRate", "pcMain"})
            expect(!w.control<QWidget>(name)->isEnabled(), name);
        expect(w.control<QWidget>("btnDIDOTest")->isEnabled(), "test button enabled");
        expect(Box(w, "chkDO", 1)->isEnabled(), "DO boxes enabled");
        // The window does not close while the test holds the port.
        expect(!w.close() && w.isVisible(), "close refused");
        // A language change keeps the button saying how to stop the test.
        w.mnuSimplifiedClick();
        expect(w.control<QPushButton>("btnDIDOTest")->text() == QStringLiteral("取消运作"),
               "caption after a language change");
        Click(w, "btnDIDOTest");
        return reply;
    });
    Click(w, "btnDIDOTest");
    QVERIFY(checked);
    QCOMPARE(wrong, QStringList());
    QCOMPARE(w.Polling, uint8_t(0));
    QCOMPARE(w.control<QPushButton>("btnDIDOTest")->text(), w.Msg(71));
    QVERIFY(w.close());
}

void TestDido::testPortTakenThenStartsAgain() {
    VirtualPorts ports;
    ports.addModule(1, ModuleType::RQ3016);
    WindowFixture f;
    TfrmModule& w = BuildLinked(f, ports, 0);
    {
        auto other = ports.open(1, QStringLiteral("19200,e,8,1"));  // another program has it
        Click(w, "btnDIDOTest");
    }
    QCOMPARE(w.pnMsg->text(), QStringLiteral("Open COM : 1 Error"));
    QCOMPARE(w.shComm->brushColor(), kRed);
    QCOMPARE(f.tone.tones, (QList<QPair<int, int>>{{300, 300}}));
    QCOMPARE(w.Polling, uint8_t(0));
    QCOMPARE(w.control<QPushButton>("btnDIDOTest")->text(), QStringLiteral("DI/DO test"));
    QVERIFY(w.control<QWidget>("btnScan")->isEnabled());
    QVERIFY(Commands(ports, 1).isEmpty());
    ports.host(1).setReplyOverride([&](const std::string&, const Reply& reply) -> Reply {
        Click(w, "btnDIDOTest");
        return reply;
    });
    Click(w, "btnDIDOTest");
    QCOMPARE(TestCommands(ports).size(), 1);
    QCOMPARE(w.shComm->brushColor(), kYellow);
}

void TestDido::testNotLinkedOnlyBeeps() {
    VirtualPorts ports;
    ports.addModule(1, ModuleType::RQ3016);
    WindowFixture f;
    TfrmModule& w = f.build(&ports, VirtualPortList({1}));
    w.shComm->setBrushColor(kYellow);
    const QString message = w.pnMsg->text();
    Click(w, "btnDIDOTest");
    QCOMPARE(f.tone.tones, (QList<QPair<int, int>>{{300, 300}}));
    QCOMPARE(w.shComm->brushColor(), kYellow);
    QCOMPARE(w.pnMsg->text(), message);
    QVERIFY(ports.opens().empty());
}

QTEST_MAIN(TestDido)
#include "test_dido.moc"
