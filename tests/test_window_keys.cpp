// The keyboard of the main window: Enter presses the default button btnScan, or the button
// that has the focus (the command test in the command box), and nothing while the window is
// busy; a module is linked, readdressed and tested with keys alone.
#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

#include "app/shape.h"
#include "support/simwindow.h"
#include "support/windowfixture.h"

class TestWindowKeys : public QObject {
    Q_OBJECT
  private slots:
    void enterPressesScanFromAnyBox();
    void enterPressesTheFocusedButton();
    void enterDoesNothingWhileBusy();
    void enterInTheCommandBoxSends();
    void linkSetIdAndTestWithKeysAlone();
};

void TestWindowKeys::enterPressesScanFromAnyBox() {
    WindowFixture f;
    TfrmModule& w = f.build();
    w.activateWindow();
    if (!QTest::qWaitForWindowActive(&w)) QSKIP("the window system did not activate the window");
    auto* scan = w.findChild<QPushButton*>(QStringLiteral("btnScan"));
    QSignalSpy pressed(scan, &QPushButton::clicked);
    auto* send = w.findChild<QLineEdit*>(QStringLiteral("edPrintData"));
    send->setFocus();
    QTest::keyClick(send, Qt::Key_Return);
    QCOMPARE(pressed.count(), 1);
    QTest::keyClick(w.cmbPort, Qt::Key_Enter);
    QCOMPARE(pressed.count(), 2);
    QCOMPARE(send->text(), QStringLiteral("Print test."));  // the box keeps its text
}

void TestWindowKeys::enterPressesTheFocusedButton() {
    WindowFixture f;
    TfrmModule& w = f.build();
    w.activateWindow();
    if (!QTest::qWaitForWindowActive(&w)) QSKIP("the window system did not activate the window");
    auto* scan = w.findChild<QPushButton*>(QStringLiteral("btnScan"));
    auto* link = w.findChild<QPushButton*>(QStringLiteral("btnLink"));
    QSignalSpy scans(scan, &QPushButton::clicked);
    QSignalSpy links(link, &QPushButton::clicked);
    link->setFocus();
    QTest::keyClick(link, Qt::Key_Return);
    QCOMPARE(links.count(), 1);
    QCOMPARE(scans.count(), 0);
}

void TestWindowKeys::enterDoesNothingWhileBusy() {
    WindowFixture f;
    TfrmModule& w = f.build();
    w.activateWindow();
    if (!QTest::qWaitForWindowActive(&w)) QSKIP("the window system did not activate the window");
    auto* scan = w.findChild<QPushButton*>(QStringLiteral("btnScan"));
    QSignalSpy pressed(scan, &QPushButton::clicked);
    w.SetBusy(1);
    QTest::keyClick(&w, Qt::Key_Return);
    w.SetBusy(0);
    QCOMPARE(pressed.count(), 0);
}

void TestWindowKeys::enterInTheCommandBoxSends() {
    WindowFixture f;
    TfrmModule& w = f.build();
    w.activateWindow();
    if (!QTest::qWaitForWindowActive(&w)) QSKIP("the window system did not activate the window");
    w.pcOther->setCurrentWidget(w.control<QWidget>("tsCommand"));
    QSignalSpy scans(w.control<QPushButton>("btnScan"), &QPushButton::clicked);
    QSignalSpy sends(w.control<QPushButton>("btnTest"), &QPushButton::clicked);
    auto* command = w.control<QLineEdit>("edTestSend");
    command->setFocus();
    QTest::keyClick(command, Qt::Key_Return);
    QCOMPARE(sends.count(), 1);
    QCOMPARE(scans.count(), 0);
}

void TestWindowKeys::linkSetIdAndTestWithKeysAlone() {
    VirtualPorts ports;
    ports.addModule(1, ModuleType::RQ3016);
    WindowFixture f;
    f.writeIni("[General]\nType=0\n");
    TfrmModule& w = f.build(&ports, VirtualPortList({1}));
    w.activateWindow();
    if (!QTest::qWaitForWindowActive(&w)) QSKIP("the window system did not activate the window");
    auto say = [](QWidget* o) {
        return QAccessible::queryAccessibleInterface(o)->text(QAccessible::Value);
    };

    QTest::keyClick(&w, Qt::Key_K, Qt::AltModifier);  // Link module: finds and reads it
    QCOMPARE(w.Linked, uint8_t(1));
    QVERIFY(w.pnSerial->text().contains(QLatin1String("S/N : ")));
    QCOMPARE(say(w.shComm), QStringLiteral("yellow: succeeded"));

    // Tab from the port box reaches the ID bar; the arrow key moves it.
    w.cmbPort->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.sbID));
    QTest::keyClick(w.sbID, Qt::Key_Right);
    QCOMPARE(w.pnID->text(), QStringLiteral("02"));
    QTest::keyClick(&w, Qt::Key_I, Qt::AltModifier);  // Set ID
    QCOMPARE(w.pnMsg->text(), QStringLiteral("Set ID ok."));
    const QStringList heard = Commands(ports, 1);
    QVERIFY(std::any_of(heard.begin(), heard.end(), [](const QString& c) {
        return c.startsWith(QLatin1String("B01C")) && c.endsWith(QLatin1String("02"));
    }));

    // The DI/DO test starts and stops on its key; the simulated inputs follow the outputs.
    w.control<QCheckBox>("chkDO3")->setChecked(true);
    auto* test = w.control<QPushButton>("btnDIDOTest");
    int cycles = 0;
    QString lamp, di3, di4, caption;
    ports.host(1).setReplyOverride(
        [&](const std::string&, const std::optional<std::string>& reply) {
            if (++cycles == 6) {
                lamp = say(w.shComm);
                di3 = say(w.findChild<Shape*>(QStringLiteral("shDI3")));
                di4 = say(w.findChild<Shape*>(QStringLiteral("shDI4")));
                caption = test->text();
                QTest::keyClick(&w, Qt::Key_T, Qt::AltModifier);
            }
            return reply;
        });
    QTest::keyClick(&w, Qt::Key_T, Qt::AltModifier);
    QCOMPARE(caption, QStringLiteral("Cancel process"));
    QCOMPARE(lamp, QStringLiteral("blinking: working"));
    QCOMPARE(di3, QStringLiteral("on"));
    QCOMPARE(di4, QStringLiteral("off"));
    QCOMPARE(w.Polling, uint8_t(0));
    QCOMPARE(test->text(), QStringLiteral("DI/DO test"));
    QVERIFY(cycles < 12);  // it stopped at the key, not by itself
}

QTEST_MAIN(TestWindowKeys)
#include "test_window_keys.moc"
