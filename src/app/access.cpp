#include "app/access.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QChildEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>
#include <QTabWidget>

#include "app/namedchildren.h"
#include "app/shape.h"
#include "text/extratexts.h"
#include "text/messagetable.h"
#include "text/shortcuts.h"

namespace {

// A panel: its name says what it shows, the text it shows is its value.
class PanelInterface : public QAccessibleWidget {
  public:
    explicit PanelInterface(ValuePanel* panel)
        : QAccessibleWidget(panel, QAccessible::StaticText) {}
    QString text(QAccessible::Text t) const override {
        const QString shown = static_cast<QLabel*>(widget())->text();
        if (t == QAccessible::Value || t == QAccessible::Description) return shown;
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) return shown;
        return QAccessibleWidget::text(t);
    }
};

// A circle: an indicator whose value is its state.
class ShapeInterface : public QAccessibleWidget {
  public:
    explicit ShapeInterface(Shape* shape) : QAccessibleWidget(shape, QAccessible::Indicator) {}
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value || t == QAccessible::Description)
            return static_cast<Shape*>(widget())->stateName();
        return QAccessibleWidget::text(t);
    }
};

// Asked for the most derived class first, before Qt's own factory of widgets: made only when
// a screen reader (or a test) first asks for a control's interface.
QAccessibleInterface* Factory(const QString&, QObject* object) {
    if (auto* shape = qobject_cast<Shape*>(object)) return new ShapeInterface(shape);
    if (auto* panel = qobject_cast<ValuePanel*>(object)) return new PanelInterface(panel);
    return nullptr;
}

// Labels and the controls they caption.
struct Buddy {
    const char* label;
    const char* control;
};
const Buddy kBuddies[] = {
    {"lblCom", "cmbPort"},
    {"lblID", "sbID"},
    {"lblTestSend", "edTestSend"},
    {"lblTestRecv", "edTestRecv"},
    {"lblDIDOMode", "cmbDIDOMode"},
    {"lblPrintData", "edPrintData"},
    {"lblPrintCode", "edPrintCode"},
    {"lblLinkCRID", "edLinkCRID"},
    {"lblLinkRDID", "edLinkRDID"},
    {"lblLinkDate", "edLinkDate"},
    {"lblLinkCardNo", "edLinkCardNo"},
    {"lblLinkCardID", "edLinkCardID"},
    {"lblLinkType", "edLinkType"},
    {"lblLinkPort", "cmbLinkPort"},
    {"lblLinkMode", "cmbLinkMode"},
    {"lblRepPort", "cmbRepPort"},
    {"lblRepTxOn", "sbRepTxOn"},
    {"lblRepTxOff", "sbRepTxOff"},
    {"lblRepData", "edRepData"},
    {"lblKeyNumber", "sbKeyNumber"},
    {"lbSurveyPortCaption", "lstSurveyPorts"},
    {"lbSurveyLineCaption", "cmbSurveyLine"},
    {"lbSurveyTypeCaption", "cmbSurveyType"},
    {"lbSurveyIdsCaption", "edSurveyIds"},
    {"lbRegisterSiteCaption", "edRegisterSite"},
    {"lbRegisterFilterCaption", "edRegisterFilter"},
    {"lbRegisterServerCaption", "edRegisterServer"},
    {"lblDITimelineChatter", "edDITimelineChatter"},
};

// Controls that no label captions, with the text that names them: a row of the message table
// (message = true) or of the extra texts.
struct Name {
    const char* control;
    bool message;
    int row;
};
const Name kNames[] = {
    {"pnMsg", false, ExtraTexts::kNameMessage},
    {"shComm", false, ExtraTexts::kNameLamp},
    {"pnSerial", false, ExtraTexts::kNameSerial},
    {"pnVersion", false, ExtraTexts::kNameVersion},
    {"pnID", false, ExtraTexts::kNameModuleId},
    {"cmbBaudRate", true, 20},
    {"sbCommSent", false, ExtraTexts::kNameSent},
    {"sbCommReceived", false, ExtraTexts::kNameReceived},
    {"pcMain", false, ExtraTexts::kNameTypes},
    {"pnPrintStatus", true, 44},
    {"pnLinkStatus", true, 44},
    {"pnRepStatus", true, 44},
    {"pnRepTxOn", true, 84},
    {"pnRepTxOff", true, 85},
    {"pnRQ3050S_SN", false, ExtraTexts::kNameCh2Serial},
    {"pnRQ3050K_SN", false, ExtraTexts::kNameCh2Serial},
    {"sbRQ3050S_ID", false, ExtraTexts::kNameCh2Id},
    {"sbRQ3050K_ID", false, ExtraTexts::kNameCh2Id},
    {"pnRQ3050S_ID", false, ExtraTexts::kNameCh2Id},
    {"pnRQ3050K_ID", false, ExtraTexts::kNameCh2Id},
    {"cmbRQ3050S_Mode", true, 89},
    {"cmbRQ3050K_Mode", true, 89},
    {"pnRQ3050S_Card1", false, ExtraTexts::kNameCh1Card},
    {"pnRQ3050K_Card1", false, ExtraTexts::kNameCh1Card},
    {"pnRQ3050S_Card2", false, ExtraTexts::kNameCh2Card},
    {"pnRQ3050K_Card2", false, ExtraTexts::kNameCh2Card},
    {"pnKeyNumber", false, ExtraTexts::kNameKeyNumber},
    {"edTrafficLog", false, ExtraTexts::kTrafficLogTitle},
    {"pnLogStatus", true, 44},
    {"wgDITimeline", false, ExtraTexts::kTimelineTitle},
    {"cmbDITimelineSpan", false, ExtraTexts::kNameTimeSpan},
    {"pnDITimelineStatus", true, 44},
    {"tvCardLog", false, ExtraTexts::kCardLogTitle},
    {"pnCardLogCounts", false, ExtraTexts::kNameCounts},
    {"pnCardLogStatus", true, 44},
    {"tvDIDOCheck", false, ExtraTexts::kCheckTitle},
    {"pnDIDOCheckStatus", true, 44},
    {"tblSurvey", false, ExtraTexts::kSurveyTitle},
    {"pbSurvey", false, ExtraTexts::kNameProgress},
    {"lbSurveyProgress", false, ExtraTexts::kNameProgress},
    {"lbSurveyStatus", true, 44},
    {"tblRegister", false, ExtraTexts::kNameModules},
    {"tblRegisterHistory", false, ExtraTexts::kNameHistory},
    {"lbRegisterStatus", true, 44},
    {"lblRegisterSync", false, ExtraTexts::kNameSync},
    {"lbCheckoutCount", false, ExtraTexts::kNamePassed},
    {"lbCheckoutStatus", true, 44},
};

// The label's words without the colon that captions a control.
QString Spoken(QString text) {
    text = text.trimmed();
    while (text.endsWith(QLatin1Char(':')) || text.endsWith(QChar(0xFF1A))) text.chop(1);
    return text;
}

void ApplyShortcut(QAbstractButton* button, int langIndex) {
    const QString key = Shortcuts::key(button->objectName(), langIndex);
    auto* shortcut = button->findChild<QShortcut*>(QString(), Qt::FindDirectChildrenOnly);
    if (key.isEmpty()) {
        delete shortcut;
        return;
    }
    if (!shortcut) {
        // A shortcut of its own rather than the button's: setText() clears a button's
        // shortcut, and the texts change with the language and while a test runs. It fires
        // only while the button is shown and takes input.
        shortcut = new QShortcut(button);
        QObject::connect(shortcut, &QShortcut::activated, button, [button] {
            if (button->isVisible() && button->isEnabled()) button->click();
        });
    }
    const QKeySequence sequence = QKeySequence::fromString(key, QKeySequence::PortableText);
    shortcut->setKey(sequence);
    button->setToolTip(ExtraTexts::text(ExtraTexts::kShortcutTip, langIndex)
                           .arg(sequence.toString(QKeySequence::NativeText)));
}

// Applies the tables to each window of the main window's as it is first shown.
class Follower : public QObject {
  public:
    Follower(QWidget* main, std::function<int()> langIndex)
        : QObject(main), langIndex_(std::move(langIndex)) {
        main->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ChildPolished) {
            auto* child = static_cast<QChildEvent*>(event)->child();
            if (child->isWidgetType() && static_cast<QWidget*>(child)->isWindow())
                Access::apply(static_cast<QWidget*>(child), langIndex_());
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    std::function<int()> langIndex_;
};

}  // namespace

ValuePanel::ValuePanel(QWidget* parent) : QLabel(parent) {}

namespace Access {

void installFactory() {
    static const bool installed = [] {
        QAccessible::installFactory(&Factory);
        return true;
    }();
    (void)installed;
}

void apply(QWidget* window, int langIndex) {
    auto own = [window](QWidget* w) { return w && w->window() == window; };
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>())
        if (own(b) && !b->objectName().isEmpty()) ApplyShortcut(b, langIndex);
    const NamedChildren named(window);
    for (const Buddy& b : kBuddies) {
        auto* label = named.find<QLabel>(b.label);
        auto* control = named.find<QWidget>(b.control);
        if (!own(label) || !own(control)) continue;
        label->setBuddy(control);
        // A label names its control through its buddy for item views and lists; for the
        // others the name is set too, without the colon, so every kind says the same.
        control->setAccessibleName(Spoken(label->text()));
    }
    for (const Name& n : kNames) {
        auto* w = named.find<QWidget>(n.control);
        if (!own(w)) continue;
        w->setAccessibleName(n.message ? MessageTable::text(n.row, langIndex)
                                       : ExtraTexts::text(n.row, langIndex));
    }
    // The text box of an editable list, and of a number box, speaks for its control.
    for (QComboBox* c : window->findChildren<QComboBox*>())
        if (own(c) && c->lineEdit()) c->lineEdit()->setAccessibleName(c->accessibleName());
    // The tab row of a page control is named by the group around it.
    for (QTabWidget* t : window->findChildren<QTabWidget*>()) {
        if (!own(t)) continue;
        for (QWidget* p = t->parentWidget(); p && p != window; p = p->parentWidget()) {
            if (auto* g = qobject_cast<QGroupBox*>(p); g && !g->title().isEmpty()) {
                t->setAccessibleName(g->title());
                break;
            }
        }
    }
}

void follow(QWidget* main, std::function<int()> langIndex) {
    new Follower(main, std::move(langIndex));
}

}  // namespace Access
