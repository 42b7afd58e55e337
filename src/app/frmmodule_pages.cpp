// The pages of special functions made as they are needed: a page's controls are connected to
// their handlers, put in the tab chain and given the window's texts once they exist.

#include <QPushButton>
#include <QScrollBar>

#include "app/frmmodule.h"
#include "app/namedchildren.h"

namespace {

struct PageButton {
    const char* name;
    void (TfrmModule::*handler)();
};
const PageButton kPageButtons[] = {
    {"btnTest", &TfrmModule::btnTestClick},
    {"btnFactory", &TfrmModule::btnFactoryClick},
    {"btnDIDOMode", &TfrmModule::btnDIDOModeClick},
    {"btnDIDONoNc", &TfrmModule::btnDIDONoNcClick},
    {"btnDIDOTest", &TfrmModule::btnDIDOTestClick},
    {"btnRQ3050S_ID", &TfrmModule::btnRQ3050S_IDClick},
    {"btnRQ3050K_ID", &TfrmModule::btnRQ3050K_IDClick},
    {"btnRQ3050S_Mode", &TfrmModule::btnRQ3050S_ModeClick},
    {"btnRQ3050K_Mode", &TfrmModule::btnRQ3050K_ModeClick},
    {"btnKeyNumber", &TfrmModule::btnKeyNumberClick},
    {"btnRQ3050S_Card", &TfrmModule::btnRQ3050S_CardClick},
    {"btnRQ3050K_Card", &TfrmModule::btnRQ3050K_CardClick},
    {"btnPrintStatus", &TfrmModule::btnPrintStatusClick},
    {"btnPrintData", &TfrmModule::btnPrintDataClick},
    {"btnPrintCode", &TfrmModule::btnPrintCodeClick},
    {"btnLinkStatus", &TfrmModule::btnLinkStatusClick},
    {"btnLinkSendData", &TfrmModule::btnLinkSendDataClick},
    {"btnLinkPort", &TfrmModule::btnLinkPortClick},
    {"btnLinkMode", &TfrmModule::btnLinkModeClick},
    {"btnRepStatus", &TfrmModule::btnRepStatusClick},
    {"btnRepPort", &TfrmModule::btnRepPortClick},
    {"btnRepTx", &TfrmModule::btnRepTxClick},
    {"btnRepData", &TfrmModule::btnRepDataClick},
};
const PageButton kPageBars[] = {
    {"sbRepTxOn", &TfrmModule::sbRepTxOnChange},
    {"sbRepTxOff", &TfrmModule::sbRepTxOffChange},
    {"sbRQ3050S_ID", &TfrmModule::sbRQ3050S_IDChange},
    {"sbRQ3050K_ID", &TfrmModule::sbRQ3050K_IDChange},
    {"sbKeyNumber", &TfrmModule::sbKeyNumberChange},
};

}  // namespace

void TfrmModule::buildAllPages() {
    while (!unbuiltPages_.isEmpty()) buildPage(unbuiltPages_.first());
}

void TfrmModule::preparePage(QWidget* page) {
    const NamedChildren named(page);
    for (const PageButton& b : kPageButtons)
        if (auto* button = named.find<QPushButton>(b.name)) connectButton(button, b.handler);
    for (const PageButton& b : kPageBars)
        if (auto* bar = named.find<QScrollBar>(b.name)) connectBar(bar, b.handler);
    connectLive(page);
    prepareAccess(page);
    refreshLinkedControls();
    // Before the first show the window's texts are yet to be applied to every page at once.
    if (!shown_) return;
    applyTexts();
    applyLiveTexts();
    applyAccess();
}
