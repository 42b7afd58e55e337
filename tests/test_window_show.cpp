// When the window re-texts itself, and what the port box offers: a restore after a minimise
// keeps what operations have shown, the panels stay readable while busy, and a port list is
// shown in ascending order whatever the platform delivers. The pages of special functions are
// made as they are shown, the same as when made at once. The sound library waits for the
// first tone.
#include <QAbstractButton>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QShowEvent>
#include <QtTest>
#include <cmath>
#include <stdexcept>

#include "app/pagecontrol.h"
#include "app/tone.h"
#include "support/windowfixture.h"

class TestWindowShow : public QObject {
    Q_OBJECT
  private slots:
    void restoreKeepsWhatOperationsShowed();
    void panelsStayReadableWhileBusy();
    void disabledTextHasContrast();
    void portListInPlatformOrder();
    void failingPortListGivesFallback();
    void pagesAreMadeAsShown();
    void soundLibraryWaitsForTheFirstTone();
};

void TestWindowShow::restoreKeepsWhatOperationsShowed() {
    WindowFixture f;
    TfrmModule& w = f.build();
    w.pnMsg->setText(QStringLiteral("Module find ok. (COM1)"));
    w.pnSerial->setText(QStringLiteral("S/N : 12345678"));

    QShowEvent restore;  // what the window system sends when the window comes back
    QSpontaneKeyEvent::setSpontaneous(&restore);
    qApp->notify(&w, &restore);  // as the event loop delivers it, flag kept
    QCOMPARE(w.pnMsg->text(), QStringLiteral("Module find ok. (COM1)"));
    QCOMPARE(w.pnSerial->text(), QStringLiteral("S/N : 12345678"));

    // Showing the window again from the program is a new show: the texts start over.
    w.hide();
    w.show();
    QCOMPARE(w.pnMsg->text(), QStringLiteral("Start select module type."));
    QCOMPARE(w.pnSerial->text(), QStringLiteral("S/N : ________"));
}

void TestWindowShow::panelsStayReadableWhileBusy() {
    WindowFixture f;
    TfrmModule& w = f.build();
    const QColor idle = w.pnMsg->palette().color(QPalette::Active, QPalette::WindowText);
    w.SetBusy(1);
    QVERIFY(!w.pnMsg->isEnabled());
    for (QLabel* panel : {w.pnMsg, w.pnSerial, w.pnVersion, w.sbCommSent})
        QCOMPARE(panel->palette().color(QPalette::Disabled, QPalette::WindowText), idle);
    QCOMPARE(w.pnMsg->palette().color(QPalette::Disabled, QPalette::Window), QColor(166, 202, 240));
    w.SetBusy(0);
}

namespace {
// Contrast ratio of two colours by their relative luminance, 1 to 21.
double Contrast(const QColor& a, const QColor& b) {
    auto lum = [](const QColor& c) {
        auto ch = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * ch(c.redF()) + 0.7152 * ch(c.greenF()) + 0.0722 * ch(c.blueF());
    };
    const double la = lum(a), lb = lum(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}
}  // namespace

void TestWindowShow::disabledTextHasContrast() {
    WindowFixture f;
    TfrmModule& w = f.build();
    struct Pair {
        const char* control;
        QPalette::ColorRole text;
        QPalette::ColorRole background;
    };
    const Pair pairs[] = {{"cmbPort", QPalette::Text, QPalette::Base},
                          {"cmbPort", QPalette::ButtonText, QPalette::Button},
                          {"cmbBaudRate", QPalette::ButtonText, QPalette::Button},
                          {"btnScan", QPalette::ButtonText, QPalette::Button},
                          {"chkLock", QPalette::WindowText, QPalette::Window},
                          {"lblCom", QPalette::WindowText, QPalette::Window},
                          {"edTestSend", QPalette::Text, QPalette::Base}};
    for (const char* lang : {"mnuSimplified", "mnuTraditional", "mnuEnglish"}) {
        w.findChild<QAction*>(QLatin1String(lang))->trigger();
        w.SetBusy(1);
        for (const Pair& p : pairs) {
            auto* c = w.findChild<QWidget*>(QLatin1String(p.control));
            QVERIFY(!c->isEnabled());
            const QPalette pal = c->palette();
            const double ratio = Contrast(pal.color(QPalette::Disabled, p.text),
                                          pal.color(QPalette::Disabled, p.background));
            QVERIFY2(ratio >= 4.5,
                     qPrintable(QStringLiteral("%1 %2: %3").arg(lang, p.control).arg(ratio)));
        }
        w.SetBusy(0);
    }
}

void TestWindowShow::portListInPlatformOrder() {
    WindowFixture f;
    // Not sorted, duplicates kept: the box shows what the platform gives, in its order.
    TfrmModule& w = f.build(nullptr, {{12, QStringLiteral("/dev/ttyUSB1"), QString()},
                                      {3, QStringLiteral("/dev/ttyS2"), QString()},
                                      {5, QStringLiteral("/dev/ttyACM0"), QString()},
                                      {3, QStringLiteral("/dev/ttyS2"), QString()}});
    QStringList shown;
    for (int i = 0; i < w.cmbPort->count(); ++i) shown << w.cmbPort->itemText(i);
    QCOMPARE(shown, (QStringList{"COM12", "COM3", "COM5", "COM3"}));
    QCOMPARE(w.cmbPort->itemData(0, Qt::ToolTipRole).toString(), QStringLiteral("/dev/ttyUSB1"));
    QCOMPARE(w.cmbPort->currentText(), QStringLiteral("COM1"));  // the remembered port
}

void TestWindowShow::failingPortListGivesFallback() {
    WindowFixture f;
    f.throwingPortList = true;
    TfrmModule& w = f.build();
    QCOMPARE(w.cmbPort->count(), 16);
    QCOMPARE(w.cmbPort->itemText(15), QStringLiteral("COM16"));
    QVERIFY(f.errors.isEmpty());  // a port list failure is never reported
}

namespace {
// A page's named controls as a user and a screen reader meet them.
QStringList Looks(QWidget* page) {
    QStringList rows;
    for (QWidget* c : page->findChildren<QWidget*>()) {
        // Qt's own parts (a list's popup) come and go as Qt needs them.
        if (c->objectName().isEmpty() || c->objectName().startsWith(QLatin1String("qt_"))) continue;
        QString text;
        if (auto* b = qobject_cast<QAbstractButton*>(c))
            text = b->text();
        else if (auto* l = qobject_cast<QLabel*>(c))
            text = l->text();
        else if (auto* g = qobject_cast<QGroupBox*>(c))
            text = g->title();
        const QRect r = c->geometry();
        rows << QStringLiteral("%1 %2 %3,%4,%5,%6 shown %7 enabled %8 focus %9 [%10] [%11] [%12]")
                    .arg(QLatin1String(c->metaObject()->className()), c->objectName())
                    .arg(r.x())
                    .arg(r.y())
                    .arg(r.width())
                    .arg(r.height())
                    .arg(c->isVisibleTo(page))
                    .arg(c->isEnabled())
                    .arg(c->focusPolicy())
                    .arg(text, c->accessibleName(), c->toolTip());
    }
    rows.sort();
    return rows;
}
}  // namespace

void TestWindowShow::pagesAreMadeAsShown() {
    WindowFixture lazy;
    lazy.pagesAsShown = true;
    TfrmModule& w = lazy.build();
    QStringList made;
    for (int i = 0; i < w.pcOther->count(); ++i)
        if (w.pageBuilt(w.pcOther->widget(i))) made << w.pcOther->widget(i)->objectName();
    QCOMPARE(made, QStringList{QStringLiteral("tsDIDO")});  // the page of the type shown

    WindowFixture all;  // every page made at once
    TfrmModule& e = all.build();
    // A page made after a change of language comes up in the new one.
    for (TfrmModule* x : {&w, &e})
        x->findChild<QAction*>(QStringLiteral("mnuSimplified"))->trigger();

    // Each page as a user opens it, and one of its buttons, which sounds that it needs a link.
    const struct {
        int typeTab;  // -1: the Command tab
        const char* button;
    } pages[] = {{0, "btnDIDOMode"},  {1, "btnPrintStatus"}, {2, "btnLinkStatus"},
                 {3, "btnRepStatus"}, {4, "btnRQ3050S_ID"},  {5, "btnKeyNumber"},
                 {-1, "btnTest"}};
    for (const auto& p : pages) {
        for (WindowFixture* f : {&lazy, &all}) {
            TfrmModule& x = f->window();
            if (p.typeTab >= 0)
                x.pcMain->clickTab(p.typeTab);
            else
                x.pcOther->setCurrentWidget(x.findChild<QWidget*>(QStringLiteral("tsCommand")));
            const qsizetype tones = f->tone.tones.size();
            x.findChild<QPushButton*>(QLatin1String(p.button))->click();
            QVERIFY2(f->tone.tones.size() == tones + 1, p.button);
        }
        QWidget* page = w.pcOther->currentWidget();
        QVERIFY(w.pageBuilt(page));
        QCOMPARE(Looks(page), Looks(e.pcOther->currentWidget()));
    }

    // A lookup of a control of a page not made yet makes the pages first.
    WindowFixture other;
    other.pagesAsShown = true;
    TfrmModule& o = other.build();
    QVERIFY(o.control<QScrollBar>("sbRepTxOn"));
    for (int i = 0; i < o.pcOther->count(); ++i) QVERIFY(o.pageBuilt(o.pcOther->widget(i)));
}

QTEST_MAIN(TestWindowShow)
#include "test_window_show.moc"

void TestWindowShow::soundLibraryWaitsForTheFirstTone() {
    WindowFixture f;
    TfrmModule& w = f.build();
    w.show();
    QCoreApplication::processEvents();
#ifdef Q_OS_LINUX
    QFile maps(QStringLiteral("/proc/self/maps"));
    QVERIFY(maps.open(QIODevice::ReadOnly));
    QVERIFY(!maps.readAll().contains("libasound"));
#endif
    // Played or, without a sound device, waited for: the tone lasts its length either way.
    QElapsedTimer t;
    t.start();
    Tone().play(Tones::kSuccessHz, 80);
    QVERIFY2(t.elapsed() >= 75, QByteArray::number(t.elapsed()));
}
