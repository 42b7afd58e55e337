// The Wiegand interfaces: CH #2's ID and serial number, the interface and the key number, read
// back into the page and written to the module, and the card read test of both channels.

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>

#include "app/frmmodule.h"
#include "common/continuoustest.h"
#include "common/factory.h"
#include "common/operation.h"
#include "modules/carddecoder.h"
#include "modules/settingsreads.h"

namespace {

// A control of the page of variant "S" or "K": kind + "RQ3050" + variant + "_" + what.
template <class T>
T* PageWidget(const TfrmModule& w, bool keyNumber, const char* kind, const char* what) {
    return w.findChild<T*>(QStringLiteral("%1RQ3050%2_%3")
                               .arg(QLatin1String(kind),
                                    keyNumber ? QStringLiteral("K") : QStringLiteral("S"),
                                    QLatin1String(what)));
}

TryResult Sent(bool verified) {
    return verified ? TryResult::Success : TryResult::Failed;
}

// CH #2 gets its new ID by its serial number, which "N" asks for anew in every try.
void SetCh2Id(TfrmModule& w, bool keyNumber) {
    Operation op;
    op.nameRow = 25;
    op.preQuery = 'N';
    op.action = [&w, keyNumber] {
        const QString id = PageWidget<QLabel>(w, keyNumber, "pn", "ID")->text();
        return Sent(SendCommand(w, QStringLiteral("C") + ReplyText(w, 6, 8) + id));
    };
    RunOperation(w, op);
}

void SetInterface(TfrmModule& w, bool keyNumber) {
    auto* list = PageWidget<QComboBox>(w, keyNumber, "cmb", "Mode");
    Operation op;
    op.nameRow = 90;
    // A list left without a selection by the read-back has no index to send.
    op.formable = [list] { return list->currentIndex() >= 0 && list->currentIndex() <= 3; };
    op.action = [&w, list] {
        return Sent(SendCommand(w, QStringLiteral("A00") + QString::number(list->currentIndex())));
    };
    RunOperation(w, op);
}

void ShowDecoded(const TfrmModule& w, QLabel* panel) {
    const QByteArray& r = w.link.LastReply;
    const auto text = DecodeCardReply(std::string(r.constData(), static_cast<size_t>(r.size())));
    if (text) panel->setText(QString::fromLatin1(text->data(), static_cast<int>(text->size())));
}

// Polls CH #1 at the module's own ID and CH #2 at the ID its panel shows, in turn. Only CH #2
// failures count towards the limit: CH #1 answering keeps the test alive.
void CardTest(TfrmModule& w, bool keyNumber) {
    auto* card1 = PageWidget<QLabel>(w, keyNumber, "pn", "Card1");
    auto* card2 = PageWidget<QLabel>(w, keyNumber, "pn", "Card2");
    auto* ch2Id = PageWidget<QLabel>(w, keyNumber, "pn", "ID");
    ContinuousTest test;
    test.button = PageWidget<QPushButton>(w, keyNumber, "btn", "Card");
    test.clearMessage = false;
    test.disabled << w.control<QWidget>("btnScan") << w.control<QWidget>("btnLink")
                  << w.control<QWidget>("btnID") << PageWidget<QWidget>(w, keyNumber, "btn", "ID")
                  << PageWidget<QWidget>(w, keyNumber, "btn", "Mode");
    if (keyNumber) test.disabled << w.control<QWidget>("btnKeyNumber");
    test.disabled << w.control<QWidget>("btnBaudRate") << w.control<QWidget>("pcMain")
                  << w.control<QWidget>("tsCommand");
    test.start = [card1, card2] {
        card1->clear();
        card2->clear();
    };
    test.cycle = [&w, card1, card2, ch2Id](ContinuousRun& run) {
        run.pause(30);
        if (SendCommand(w, QStringLiteral("F"))) {
            run.answered();
            ShowDecoded(w, card1);
        }
        run.pause(30);
        if (w.link.Transact(w.TypePrefix + ch2Id->text() + QStringLiteral("F"))) {
            run.answered();
            ShowDecoded(w, card2);
        } else {
            run.failed();
        }
    };
    RunContinuousTest(w, test);
}

}  // namespace

void TfrmModule::btnRQ3050S_IDClick() {
    SetCh2Id(*this, false);
}
void TfrmModule::btnRQ3050K_IDClick() {
    SetCh2Id(*this, true);
}
void TfrmModule::btnRQ3050S_ModeClick() {
    SetInterface(*this, false);
}
void TfrmModule::btnRQ3050K_ModeClick() {
    SetInterface(*this, true);
}
void TfrmModule::btnRQ3050S_CardClick() {
    CardTest(*this, false);
}
void TfrmModule::btnRQ3050K_CardClick() {
    CardTest(*this, true);
}

void TfrmModule::btnKeyNumberClick() {
    Operation op;
    op.nameRow = 95;
    op.action = [this] {
        return Sent(
            SendCommand(*this, QStringLiteral("L") + control<QLabel>("pnKeyNumber")->text()));
    };
    RunOperation(*this, op);
}

bool ReadWiegandSettings(TfrmModule& w, bool keyNumber) {
    if (!SendCommand(w, QStringLiteral("N"))) return false;
    const int id = TwoDigits(ReplyAt(w, 3), ReplyAt(w, 4));
    if (id < 0) return false;
    PageWidget<QScrollBar>(w, keyNumber, "sb", "ID")->setValue(id);
    PageWidget<QLabel>(w, keyNumber, "pn", "SN")->setText(ReplyText(w, 6, 8));
    Pause(50);
    if (!SendCommand(w, QStringLiteral("A"))) return false;
    const int mode = DigitValue(ReplyAt(w, 8));
    if (mode < 0) return false;
    SelectOrNone(PageWidget<QComboBox>(w, keyNumber, "cmb", "Mode"), mode);
    if (!keyNumber) return true;
    Pause(50);
    if (!SendCommand(w, QStringLiteral("L"))) return false;
    const int keys = TwoDigits(ReplyAt(w, 6), ReplyAt(w, 7));
    if (keys < 0) return false;
    w.control<QScrollBar>("sbKeyNumber")->setValue(keys);
    return true;
}

std::vector<FactoryStep> WiegandFactorySteps(bool keyNumber) {
    using namespace factory;
    const QString v = keyNumber ? QStringLiteral("K") : QStringLiteral("S");
    std::vector<FactoryStep> s{Set(QStringLiteral("sbRQ3050%1_ID").arg(v), 5),
                               Set(QStringLiteral("cmbRQ3050%1_Mode").arg(v), 1)};
    if (keyNumber) s.push_back(Set(QStringLiteral("sbKeyNumber"), 4));
    // The window processes its events before every command of this sequence.
    s.insert(s.end(), {Wait(100), Pump(), SendId01(), Wait(300), Pump(),
                       Send(QStringLiteral("C{pnRQ3050%1_SN}05").arg(v)), Wait(300), Pump(),
                       Send(QStringLiteral("A001"))});
    if (keyNumber) s.insert(s.end(), {Wait(300), Pump(), Send(QStringLiteral("L04"))});
    s.insert(s.end(), {Wait(300), Pump(), Send(QStringLiteral("E5"))});
    return s;
}
