// The live tests' views beside the pages: the DI timeline and the I/O check's result (DI/DO
// page), the card log (Wiegand pages), their texts, and the summary each test ends with.

#include <QPushButton>

#include "app/cardlogmodel.h"
#include "app/cardlogwindow.h"
#include "app/didocheckwindow.h"
#include "app/ditimelinewindow.h"
#include "app/frmmodule.h"
#include "app/namedchildren.h"
#include "app/windowobserver.h"
#include "engine/didotimeline.h"
#include "settings/settings.h"
#include "text/extratexts.h"

namespace {

// Shows a tool window in front.
template <class W>
void Bring(W* w) {
    w->show();
    w->raise();
    w->activateWindow();
}

// Buttons beside the pages' controls, with their texts.
struct LiveButton {
    const char* name;
    int row;
    void (TfrmModule::*handler)();
};
const LiveButton kLiveButtons[] = {
    {"btnDITimeline", ExtraTexts::kTimelineButton, &TfrmModule::btnDITimelineClick},
    {"btnDIDOCheck", ExtraTexts::kCheckButton, &TfrmModule::btnDIDOCheckClick},
    {"btnRQ3050S_CardLog", ExtraTexts::kCardLogButton, &TfrmModule::btnCardLogClick},
    {"btnRQ3050K_CardLog", ExtraTexts::kCardLogButton, &TfrmModule::btnCardLogClick},
};

}  // namespace

void TfrmModule::buildLive() {
    diTimeline = std::make_shared<DidoTimeline>();
    if (platform_.settings) diTimeline->setChatterLimit(LoadChatterLimit(*platform_.settings));
    cardLog = new CardLogModel(this);
    frmDITimeline.setMaker([this] {
        auto* w = new TfrmDITimeline(diTimeline, this);
        w->chatterLimitChanged = [this](int limit) {
            if (platform_.settings) SaveChatterLimit(*platform_.settings, limit);
        };
        w->applyTexts(LangIndex);
        return w;
    });
    frmCardLog.setMaker([this] {
        auto* w = new TfrmCardLog(*cardLog, this);
        w->applyTexts(LangIndex);
        return w;
    });
    frmDIDOCheck.setMaker([this] {
        auto* w = new TfrmDIDOCheck(this);
        w->applyTexts(LangIndex);
        return w;
    });
    applyLiveTexts();
    refreshLinkedControls();
}

void TfrmModule::connectLive(QWidget* root) {
    const NamedChildren named(root);
    for (const LiveButton& b : kLiveButtons)
        if (auto* button = named.find<QPushButton>(b.name)) connectButton(button, b.handler);
}

void TfrmModule::applyLiveTexts() {
    // The buttons of pages not made yet get their texts when they are made.
    const NamedChildren named(this);
    for (const LiveButton& b : kLiveButtons)
        if (auto* button = named.find<QPushButton>(b.name))
            button->setText(ExtraTexts::text(b.row, LangIndex));
    if (frmDITimeline.made()) frmDITimeline->applyTexts(LangIndex);
    if (frmCardLog.made()) frmCardLog->applyTexts(LangIndex);
    if (frmDIDOCheck.made()) frmDIDOCheck->applyTexts(LangIndex);
}

void TfrmModule::refreshLinkedControls() {
    // The check needs a module to check; while a test runs, only its own button stays.
    auto* check = findChild<QPushButton*>(QStringLiteral("btnDIDOCheck"));
    if (check) check->setEnabled(Linked == 1 && (Polling != 1 || pollingButton == check));
}

void TfrmModule::btnDITimelineClick() {
    Bring<TfrmDITimeline>(frmDITimeline);
}

void TfrmModule::btnCardLogClick() {
    Bring<TfrmCardLog>(frmCardLog);
}

void TfrmModule::testEnded(const TestSummary& s) {
    if (s.test == LiveTest::DidoTest && frmDITimeline.made()) frmDITimeline->testEnded(s);
    if (s.test == LiveTest::CardTest && frmCardLog.made()) frmCardLog->testEnded(s);
}

void TfrmModule::Observer::testEnded(const TestSummary& summary) {
    w_.testEnded(summary);
}
