// The main window for the keyboard and a screen reader: its tab order, its scroll bars in the
// tab chain, the lamp's and the DI circles' states, and the shortcut and name tables applied
// to it and its tool windows in the window's language.

#include <QScrollBar>

#include "app/access.h"
#include "app/frmmodule.h"
#include "app/namedchildren.h"
#include "app/shape.h"
#include "text/extratexts.h"

namespace {

// Focus moves in reading order where building order differs from it: down the left column of
// a page before its right one, and along a row of buttons from left to right.
const char* const kTabChains[][8] = {
    {"btnDITimeline", "btnDIDOTest", "btnDIDOCheck"},
    {"cmbLinkPort", "btnLinkPort", "cmbLinkMode", "btnLinkMode", "edLinkCRID"},
    {"btnLinkStatus", "cmbLinkPort"},
};

}  // namespace

void TfrmModule::buildAccess() {
    Access::installFactory();
    prepareAccess(centralWidget());
    Access::follow(this, [this] { return LangIndex; });
}

void TfrmModule::prepareAccess(QWidget* root) {
    // A scroll bar takes no focus unless told, and its arrow keys run backwards: these choose
    // values, so they are in the tab chain and Right (or Up) makes the value larger.
    for (QScrollBar* bar : root->findChildren<QScrollBar*>()) {
        if (!bar->objectName().startsWith(QLatin1String("sb"))) continue;
        bar->setFocusPolicy(Qt::StrongFocus);
        bar->setInvertedControls(false);
    }
    // A chain is set up with the page whose controls it orders.
    const NamedChildren named(root);
    for (const auto& chain : kTabChains) {
        QList<QWidget*> links;
        for (const char* name : chain)
            if (name) links << named.find<QWidget>(name);
        if (links.contains(nullptr)) continue;
        for (int k = 1; k < links.size(); ++k) setTabOrder(links[k - 1], links[k]);
    }
}

void TfrmModule::applyAccess() {
    auto text = [this](int row) { return ExtraTexts::text(row, LangIndex); };
    shComm->setStateNames(
        {{kYellow, text(ExtraTexts::kLampOk)}, {kRed, text(ExtraTexts::kLampFailed)}},
        text(ExtraTexts::kLampFailed));
    if (tmrBusy->isActive()) shComm->setStateOverride(text(ExtraTexts::kLampBusy));
    const NamedChildren named(this);
    for (int k = 1; k <= 16; ++k) {
        auto* circle = named.find<Shape>(QStringLiteral("shDI%1").arg(k));
        if (!circle) break;  // the DI/DO page is not made yet
        circle->setStateNames({{kYellow, text(ExtraTexts::kStateOn)}}, text(ExtraTexts::kStateOff));
        circle->setAccessibleName(text(ExtraTexts::kNameDiInput).arg(k));
    }
    Access::apply(this, LangIndex);
    for (QWidget* w : findChildren<QWidget*>())
        if (w->isWindow()) Access::apply(w, LangIndex);
}
