// The keyboard of the main window: Enter presses the default button btnScan, or the button
// that has the focus, and nothing while the window is busy.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include "support/windowfixture.h"

class TestWindowKeys : public QObject {
    Q_OBJECT
  private slots:
    void enterPressesScanFromAnyBox();
    void enterPressesTheFocusedButton();
    void enterDoesNothingWhileBusy();
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

QTEST_MAIN(TestWindowKeys)
#include "test_window_keys.moc"
