// The Wiegand interfaces' pages (variant "S", and "K" with a key number): CH #2 ID, interface,
// key number and the card read test.

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>

#include "app/cardlogmodel.h"
#include "app/frmmodule.h"
#include "engine/wiegand.h"

namespace {

// A control of the page of variant "S" or "K": kind + "RQ3050" + variant + "_" + what.
template <class T>
T* PageWidget(TfrmModule& w, bool keyNumber, const char* kind, const char* what) {
    return w.control<T>(QStringLiteral("%1RQ3050%2_%3")
                            .arg(QLatin1String(kind),
                                 keyNumber ? QStringLiteral("K") : QStringLiteral("S"),
                                 QLatin1String(what)));
}

void Ch2Id(TfrmModule& w, bool keyNumber) {
    const int id = PageWidget<QScrollBar>(w, keyNumber, "sb", "ID")->value();
    w.runOperation([&w, id] { return SetCh2Id(w.module, id); });
}

void Interface(TfrmModule& w, bool keyNumber) {
    const int index = PageWidget<QComboBox>(w, keyNumber, "cmb", "Mode")->currentIndex();
    w.runOperation([&w, index] { return SetInterface(w.module, index); });
}

void CardTest(TfrmModule& w, bool keyNumber) {
    QLabel* cards[] = {PageWidget<QLabel>(w, keyNumber, "pn", "Card1"),
                       PageWidget<QLabel>(w, keyNumber, "pn", "Card2")};
    auto* ch2Id = PageWidget<QScrollBar>(w, keyNumber, "sb", "ID");
    TfrmModule::ContinuousView view;
    view.button = PageWidget<QPushButton>(w, keyNumber, "btn", "Card");
    view.clearMessage = false;
    view.disabled << w.control<QWidget>("btnScan") << w.control<QWidget>("btnLink")
                  << w.control<QWidget>("btnID") << PageWidget<QWidget>(w, keyNumber, "btn", "ID")
                  << PageWidget<QWidget>(w, keyNumber, "btn", "Mode");
    if (keyNumber) view.disabled << w.control<QWidget>("btnKeyNumber");
    view.disabled << w.control<QWidget>("btnBaudRate") << w.control<QWidget>("pcMain")
                  << w.control<QWidget>("tsCommand");
    view.start = [&w, cards] {
        cards[0]->clear();
        cards[1]->clear();
        w.cardLog->start(QDateTime::currentDateTimeUtc());
    };
    w.runContinuous(view, [&w, cards, ch2Id](const std::function<bool()>& stop) {
        return RunCardTest(
            w.module,
            // CH #2 is asked at the ID the bar shows now: moving it takes effect at once.
            [ch2Id] { return ch2Id->value(); },
            [cards](int channel, const QString& text) { cards[channel - 1]->setText(text); }, stop,
            [&w](const CardRead& card) { w.cardLog->add(card); });
    });
}

}  // namespace

void TfrmModule::showWiegandSettings(bool keyNumber, const WiegandSettings& s) {
    if (s.ch2Id) PageWidget<QScrollBar>(*this, keyNumber, "sb", "ID")->setValue(*s.ch2Id);
    if (s.ch2Serial) PageWidget<QLabel>(*this, keyNumber, "pn", "SN")->setText(*s.ch2Serial);
    if (s.interface)
        SelectOrNone(PageWidget<QComboBox>(*this, keyNumber, "cmb", "Mode"), *s.interface);
    if (keyNumber && s.keyNumber) control<QScrollBar>("sbKeyNumber")->setValue(*s.keyNumber);
}

void TfrmModule::btnRQ3050S_IDClick() {
    Ch2Id(*this, false);
}
void TfrmModule::btnRQ3050K_IDClick() {
    Ch2Id(*this, true);
}
void TfrmModule::btnRQ3050S_ModeClick() {
    Interface(*this, false);
}
void TfrmModule::btnRQ3050K_ModeClick() {
    Interface(*this, true);
}
void TfrmModule::btnRQ3050S_CardClick() {
    CardTest(*this, false);
}
void TfrmModule::btnRQ3050K_CardClick() {
    CardTest(*this, true);
}

void TfrmModule::btnKeyNumberClick() {
    const int keys = control<QScrollBar>("sbKeyNumber")->value();
    runOperation([this, keys] { return SetKeyNumber(module, keys); });
}
