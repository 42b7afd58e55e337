// Every window for the keyboard and a screen reader, in each language: each button has a
// shortcut that its tooltip names and that no other button shown with it shares, and every
// control shown has a name a screen reader can say.
#include <QAbstractButton>
#include <QAccessible>
#include <QMenuBar>
#include <QShortcut>
#include <QtTest>

#include "support/everywindow.h"
#include "support/windowfixture.h"

namespace {

// Our buttons: push buttons and the type tabs, by the names the program gives them.
bool IsOurButton(const QAbstractButton* b) {
    const QString name = b->objectName();
    return name.startsWith(QLatin1String("btn")) || name.startsWith(QLatin1String("ts"));
}

// Roles of what a user reads or works with; frames and containers need no name.
bool IsControl(QAccessible::Role role) {
    switch (role) {
        case QAccessible::PushButton:
        case QAccessible::ButtonMenu:
        case QAccessible::ButtonDropDown:
        case QAccessible::CheckBox:
        case QAccessible::RadioButton:
        case QAccessible::ComboBox:
        case QAccessible::EditableText:
        case QAccessible::ScrollBar:
        case QAccessible::Slider:
        case QAccessible::SpinBox:
        case QAccessible::StaticText:
        case QAccessible::Indicator:
        case QAccessible::ProgressBar:
        case QAccessible::PageTab:
        case QAccessible::PageTabList:
        case QAccessible::Table:
        case QAccessible::List:
        case QAccessible::Tree:
        case QAccessible::Graphic:
            return true;
        default:
            return false;
    }
}

// The unnamed controls under `iface`, as "window/object (role)". The cells of a table or a
// list are its data: the view itself carries the name.
void Unnamed(QAccessibleInterface* iface, const QString& window, QStringList& out) {
    for (int i = 0; i < iface->childCount(); ++i) {
        QAccessibleInterface* child = iface->child(i);
        if (!child || child->state().invisible) continue;
        const QAccessible::Role role = child->role();
        if (IsControl(role) && child->text(QAccessible::Name).trimmed().isEmpty()) {
            QObject* o = child->object();
            out << QStringLiteral("%1/%2 (%3, %4)")
                       .arg(window, o ? o->objectName() : QString(),
                            o ? QLatin1String(o->metaObject()->className()) : QLatin1String("-"))
                       .arg(role);
        }
        if (role != QAccessible::Table && role != QAccessible::List && role != QAccessible::Tree)
            Unnamed(child, window, out);
    }
}

}  // namespace

class TestWindowAccess : public QObject {
    Q_OBJECT
  private slots:
    void everyButtonHasItsOwnShortcut();
    void everyControlHasAName();
};

void TestWindowAccess::everyButtonHasItsOwnShortcut() {
    WindowFixture f;
    TfrmModule& w = f.build();
    const QList<QWidget*> windows = ShowEveryWindow(w);
    QStringList wrong;
    for (int lang = 0; lang < 3; ++lang) {
        ChooseLanguage(w, lang);
        auto check = [&](QWidget* window, const QString& where) {
            // The menu bar's letters are taken.
            QMap<QKeySequence, QString> taken;
            if (auto* mw = qobject_cast<QMainWindow*>(window))
                for (QAction* a : mw->menuBar()->actions())
                    taken[QKeySequence::mnemonic(a->text())] = a->objectName();
            for (QAbstractButton* b : window->findChildren<QAbstractButton*>()) {
                if (!IsOurButton(b) || !b->isVisible() || b->window() != window) continue;
                const QString at =
                    QStringLiteral("%1 %2 %3").arg(LanguageName(lang), where, b->objectName());
                auto* sc = b->findChild<QShortcut*>(QString(), Qt::FindDirectChildrenOnly);
                if (!sc || sc->key().isEmpty()) {
                    wrong << at + QStringLiteral(": no shortcut");
                    continue;
                }
                const QString key = sc->key().toString(QKeySequence::NativeText);
                if (!b->toolTip().contains(key))
                    wrong << at + QStringLiteral(": tooltip ") + b->toolTip();
                if (taken.contains(sc->key()))
                    wrong << at + QStringLiteral(": ") + key + QStringLiteral(" also ") +
                                 taken[sc->key()];
                taken[sc->key()] = b->objectName();
            }
        };
        ForEachPage(w, [&](const QString& page) { check(&w, page); });
        for (QWidget* t : windows.mid(1)) check(t, t->objectName());
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1Char('\n'))));

    // A shortcut presses its button, and only while the button takes input.
    for (QWidget* t : windows.mid(1)) t->hide();
    w.activateWindow();
    if (!QTest::qWaitFor([&w] { return QApplication::activeWindow() == &w; }))
        QSKIP("the window system did not activate the window");
    ForEachPage(w, [](const QString&) {});
    auto* factory = w.findChild<QAbstractButton*>(QStringLiteral("btnFactory"));
    QSignalSpy pressed(factory, &QAbstractButton::clicked);
    QTest::keyClick(&w, Qt::Key_A, Qt::AltModifier);
    QCOMPARE(pressed.count(), 1);
    factory->setEnabled(false);
    QTest::keyClick(&w, Qt::Key_A, Qt::AltModifier);
    QCOMPARE(pressed.count(), 1);
}

void TestWindowAccess::everyControlHasAName() {
    WindowFixture f;
    TfrmModule& w = f.build();
    const QList<QWidget*> windows = ShowEveryWindow(w);
    QStringList unnamed;
    for (int lang = 0; lang < 3; ++lang) {
        ChooseLanguage(w, lang);
        ForEachPage(w, [&](const QString& page) {
            Unnamed(QAccessible::queryAccessibleInterface(&w),
                    LanguageName(lang) + QLatin1Char(' ') + page, unnamed);
        });
        for (QWidget* t : windows.mid(1))
            Unnamed(QAccessible::queryAccessibleInterface(t),
                    LanguageName(lang) + QLatin1Char(' ') + t->objectName(), unnamed);
    }
    unnamed.removeDuplicates();
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QLatin1Char('\n'))));

    // Names follow the language: a value panel says what it shows, and shows it as its value.
    QAccessibleInterface* serial = QAccessible::queryAccessibleInterface(w.pnSerial);
    QCOMPARE(serial->text(QAccessible::Name), QStringLiteral("序號"));
    QCOMPARE(serial->text(QAccessible::Value), w.pnSerial->text());
    ChooseLanguage(w, 0);
    QCOMPARE(serial->text(QAccessible::Name), QStringLiteral("Serial number"));
    QCOMPARE(
        QAccessible::queryAccessibleInterface(w.findChild<QWidget*>(QStringLiteral("sbRQ3050K_ID")))
            ->text(QAccessible::Name),
        QStringLiteral("CH #2 ID"));
    // A list box is labelled by its caption (its name is its value where the platform says so).
    const auto labels =
        QAccessible::queryAccessibleInterface(w.cmbPort)->relations(QAccessible::Label);
    QVERIFY(std::any_of(labels.begin(), labels.end(), [&](const auto& r) {
        return r.first->object() == w.findChild<QObject*>(QStringLiteral("lblCom"));
    }));
}

QTEST_MAIN(TestWindowAccess)
#include "test_window_access.moc"
