// The fixed layout in each language: every text fits its control, every control lies inside
// its parent, and no two controls of one parent overlap (the type selector excepted, whose
// empty page area the message line and the panels lie over).
#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

#include "app/pagecontrol.h"
#include "support/windowfixture.h"

namespace {

QString Where(const QWidget* w) {
    return QStringLiteral("%1 (%2)").arg(w->objectName(),
                                         QLatin1String(w->metaObject()->className()));
}

// What the text of a control needs, against what the control gives it; empty when it fits.
QString Clipped(const QWidget* w) {
    const QFontMetrics fm(w->font());
    if (auto* l = qobject_cast<const QLabel*>(w)) {
        if (l->text().isEmpty() || l->wordWrap()) return {};
        const int need = fm.horizontalAdvance(l->text()) + 2 * qMax(l->indent(), 0);
        const QRect room = l->contentsRect();
        if (need > room.width() || fm.height() > room.height())
            return QStringLiteral("\"%1\" needs %2x%3, has %4x%5")
                .arg(l->text())
                .arg(need)
                .arg(fm.height())
                .arg(room.width())
                .arg(room.height());
        return {};
    }
    if (auto* b = qobject_cast<const QAbstractButton*>(w)) {
        if (b->text().isEmpty()) return {};
        const QSize need = b->sizeHint();
        if (need.width() > b->width() || fm.height() > b->height())
            return QStringLiteral("\"%1\" needs %2x%3, has %4x%5")
                .arg(b->text())
                .arg(need.width())
                .arg(need.height())
                .arg(b->width())
                .arg(b->height());
        return {};
    }
    if (auto* g = qobject_cast<const QGroupBox*>(w)) {
        if (g->title().isEmpty()) return {};
        const int need = fm.horizontalAdvance(g->title()) + 16;
        if (need > g->width())
            return QStringLiteral("title \"%1\" needs %2, has %3")
                .arg(g->title())
                .arg(need)
                .arg(g->width());
        return {};
    }
    if (auto* c = qobject_cast<const QComboBox*>(w)) {
        // The widest item and the drop-down arrow must fit.
        QComboBox probe;
        probe.setFont(c->font());
        probe.setEditable(c->isEditable());
        for (int i = 0; i < c->count(); ++i) probe.addItem(c->itemText(i));
        probe.setSizeAdjustPolicy(QComboBox::AdjustToContents);
        const QSize need = probe.sizeHint();
        if (need.width() > c->width() || fm.height() > c->height())
            return QStringLiteral("items need %1x%2, has %3x%4")
                .arg(need.width())
                .arg(need.height())
                .arg(c->width())
                .arg(c->height());
        return {};
    }
    if (auto* e = qobject_cast<const QLineEdit*>(w)) {
        // A box with a limit shows that many of its widest digits; any other box its text.
        const QString probe =
            e->maxLength() < 100 ? QString(e->maxLength(), QLatin1Char('0')) : e->text();
        const int need = fm.horizontalAdvance(probe) + 8;
        if (need > e->width() || fm.height() > e->height())
            return QStringLiteral("\"%1\" needs %2x%3, has %4x%5")
                .arg(probe)
                .arg(need)
                .arg(fm.height())
                .arg(e->width())
                .arg(e->height());
        return {};
    }
    return {};
}

bool IsControl(const QWidget* w) {
    return qobject_cast<const QLabel*>(w) || qobject_cast<const QAbstractButton*>(w) ||
           qobject_cast<const QGroupBox*>(w) || qobject_cast<const QComboBox*>(w) ||
           qobject_cast<const QLineEdit*>(w) || w->inherits("QScrollBar") || w->inherits("Shape") ||
           qobject_cast<const QTabWidget*>(w) || qobject_cast<const PageControl*>(w);
}

// Controls placed by the layout: named, and not the inner parts of a compound widget.
QList<QWidget*> PlacedControls(QWidget& root) {
    QList<QWidget*> result;
    for (QWidget* w : root.findChildren<QWidget*>()) {
        if (w->objectName().isEmpty() || w->objectName().startsWith(QLatin1String("qt_"))) continue;
        if (!IsControl(w)) continue;
        QWidget* p = w->parentWidget();
        if (p && (qobject_cast<QComboBox*>(p) || qobject_cast<QTabBar*>(p))) continue;
        if (qobject_cast<PageControl*>(p)) continue;  // the tab buttons are laid out by it
        result << w;
    }
    return result;
}

void ShowLanguage(TfrmModule& w, int lang) {
    const char* items[] = {"mnuEnglish", "mnuSimplified", "mnuTraditional"};
    w.findChild<QAction*>(QLatin1String(items[lang]))->trigger();
}

}  // namespace

class TestWindowLayout : public QObject {
    Q_OBJECT
  private slots:
    void textsFit_data();
    void textsFit();
    void controlsInsideParentsWithoutOverlap_data() { textsFit_data(); }
    void controlsInsideParentsWithoutOverlap();
    void typeTabsFitAboveTheMessageLine_data() { textsFit_data(); }
    void typeTabsFitAboveTheMessageLine();
    void pageContentsFitThePageArea_data() { textsFit_data(); }
    void pageContentsFitThePageArea();
    void skyBlueWhereTheLayoutSaysSo();
    void screenshotsOfEveryPage();
};

void TestWindowLayout::textsFit_data() {
    QTest::addColumn<int>("lang");
    QTest::newRow("English") << 0;
    QTest::newRow("Simplified") << 1;
    QTest::newRow("Traditional") << 2;
}

void TestWindowLayout::textsFit() {
    QFETCH(int, lang);
    WindowFixture f;
    TfrmModule& w = f.build();
    ShowLanguage(w, lang);
    // Texts that operations write later must fit as well as the placeholders.
    w.pnSerial->setText(w.Msg(4) + QStringLiteral(" : 12345678"));
    w.pnVersion->setText(w.Msg(5) + QStringLiteral(" : 05.36-01"));
    QStringList faults;
    for (QWidget* c : PlacedControls(w)) {
        const QString why = Clipped(c);
        if (!why.isEmpty()) faults << Where(c) + QStringLiteral(": ") + why;
    }
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
}

void TestWindowLayout::controlsInsideParentsWithoutOverlap() {
    QFETCH(int, lang);
    WindowFixture f;
    TfrmModule& w = f.build();
    ShowLanguage(w, lang);
    QStringList faults;
    const QList<QWidget*> controls = PlacedControls(w);
    for (QWidget* c : controls) {
        QWidget* p = c->parentWidget();
        if (!p->rect().contains(c->geometry()))
            faults << Where(c) + QStringLiteral(" leaves ") + Where(p);
        for (QWidget* other : controls) {
            if (other == c || other->parentWidget() != p || other < c) continue;
            if (qobject_cast<PageControl*>(c) || qobject_cast<PageControl*>(other)) continue;
            if (c->geometry().intersects(other->geometry()))
                faults << Where(c) + QStringLiteral(" overlaps ") + Where(other);
        }
    }
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
}

void TestWindowLayout::typeTabsFitAboveTheMessageLine() {
    QFETCH(int, lang);
    WindowFixture f;
    TfrmModule& w = f.build();
    ShowLanguage(w, lang);
    const int top = w.pnMsg->geometry().top();
    for (int i = 0; i < w.pcMain->count(); ++i) {
        QAbstractButton* tab = w.pcMain->tabButton(i);
        const QRect r(tab->mapTo(w.pnMsg->parentWidget(), QPoint(0, 0)), tab->size());
        QVERIFY2(r.bottom() < top, qPrintable(tab->text()));
        QVERIFY2(tab->sizeHint().width() <= tab->width(), qPrintable(tab->text()));
    }
}

void TestWindowLayout::pageContentsFitThePageArea() {
    QFETCH(int, lang);
    WindowFixture f;
    TfrmModule& w = f.build();
    ShowLanguage(w, lang);
    QStringList faults;
    for (int i = 0; i < w.pcOther->count(); ++i) {
        QWidget* page = w.pcOther->widget(i);
        w.pcOther->setCurrentIndex(i);
        const QRect area = page->rect();
        for (QWidget* c : page->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
            if (!area.contains(c->geometry()))
                faults << Where(c) + QStringLiteral(" outside the page area %1x%2")
                                         .arg(area.width())
                                         .arg(area.height());
    }
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
}

void TestWindowLayout::skyBlueWhereTheLayoutSaysSo() {
    WindowFixture f;
    TfrmModule& w = f.build();
    const QColor skyBlue(166, 202, 240);
    for (const char* name : {"pnMsg", "pnSerial", "pnVersion", "pnID", "pnPrintStatus"}) {
        auto* panel = w.findChild<QLabel*>(QLatin1String(name));
        QVERIFY2(panel->autoFillBackground(), name);
        QCOMPARE(panel->palette().color(QPalette::Window), skyBlue);
    }
    for (const char* name : {"cmbPort", "cmbBaudRate"})
        QCOMPARE(w.findChild<QComboBox*>(QLatin1String(name))->palette().color(QPalette::Base),
                 skyBlue);
    // Value and result panels of the pages keep the face colour of the window.
    for (const char* name : {"pnLinkStatus", "pnRepTxOn", "pnRQ3050K_Card1", "pnKeyNumber"}) {
        auto* panel = w.findChild<QLabel*>(QLatin1String(name));
        QVERIFY2(panel, name);
        QVERIFY2(panel->palette().color(QPalette::Window) != skyBlue, name);
    }
}

void TestWindowLayout::screenshotsOfEveryPage() {
    // Pictures for a person to look at: QUILLON_SCREENSHOTS=<dir> saves every page of the
    // special functions, the common page included, in each language.
    const QString dir = qEnvironmentVariable("QUILLON_SCREENSHOTS");
    if (dir.isEmpty()) QSKIP("set QUILLON_SCREENSHOTS to a directory to save screenshots");
    WindowFixture f;
    TfrmModule& w = f.build();
    for (int lang = 0; lang < 3; ++lang) {
        ShowLanguage(w, lang);
        for (int i = 0; i < w.pcOther->count(); ++i) {
            if (i < w.pcMain->count()) w.pcMain->clickTab(i);
            w.pcOther->setCurrentIndex(i);
            const QString name = w.pcOther->widget(i)->objectName();
            QVERIFY(
                w.grab().save(QStringLiteral("%1/page-%2-lang%3.png").arg(dir, name).arg(lang)));
        }
        // The two menus, whose items carry texts of several languages.
        for (QAction* top : w.menuBar()->actions()) {
            QMenu* menu = top->menu();
            menu->popup(w.mapToGlobal(QPoint(0, 0)));
            QVERIFY(QTest::qWaitForWindowExposed(menu));
            QVERIFY(menu->grab().save(
                QStringLiteral("%1/menu-%2-lang%3.png").arg(dir, top->objectName()).arg(lang)));
            menu->hide();
        }
    }
}

QTEST_MAIN(TestWindowLayout)
#include "test_window_layout.moc"
