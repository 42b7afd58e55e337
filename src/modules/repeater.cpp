// The repeater: its port line setting and transmit delays read back into the page, and the
// operations of its page: get status, set baud rate, set TX delay, send raw data.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>

#include "app/frmmodule.h"
#include "common/factory.h"
#include "common/operation.h"
#include "link/linesettings.h"
#include "modules/portoperations.h"
#include "modules/settingsreads.h"

namespace {
// Two hex characters as a number, or -1.
int HexPair(QChar hi, QChar lo) {
    auto nibble = [](QChar c) {
        const char16_t u = c.unicode();
        if (u >= '0' && u <= '9') return u - '0';
        if (u >= 'A' && u <= 'F') return u - 'A' + 10;
        if (u >= 'a' && u <= 'f') return u - 'a' + 10;
        return -1;
    };
    const int h = nibble(hi), l = nibble(lo);
    return (h < 0 || l < 0) ? -1 : h * 16 + l;
}
}  // namespace

bool ReadRepeaterSettings(TfrmModule& w) {
    if (!SendCommand(w, QStringLiteral("K"))) return false;
    const int index = LineSettings::indexOfCode(ReplyAt(w, 6));
    if (index < 0) return false;
    SelectOrNone(w.control<QComboBox>("cmbRepPort"), index);
    Pause(100);
    if (!SendCommand(w, QStringLiteral("A"))) return false;
    // Delays that are not hexadecimal end this read quietly; the module still counts as read.
    const int on = HexPair(ReplyAt(w, 6), ReplyAt(w, 7));
    if (on < 0) return true;
    w.control<QScrollBar>("sbRepTxOn")->setValue(on);
    const int off = HexPair(ReplyAt(w, 8), ReplyAt(w, 9));
    if (off < 0) return true;
    w.control<QScrollBar>("sbRepTxOff")->setValue(off);
    return true;
}

std::vector<FactoryStep> RepeaterFactorySteps() {
    using namespace factory;
    return {Set(QStringLiteral("cmbRepPort"), 5), Set(QStringLiteral("sbRepTxOn"), 15),
            Set(QStringLiteral("sbRepTxOff"), 10), Send(QStringLiteral("Zi")), Wait(100)};
}

void TfrmModule::btnRepStatusClick() {
    GetPortModuleStatus(*this, control<QLabel>("pnRepStatus"));
}

void TfrmModule::btnRepPortClick() {
    SetPortModuleLine(*this, control<QComboBox>("cmbRepPort"));
}

void TfrmModule::btnRepTxClick() {
    Operation op;
    op.nameRow = 86;
    op.action = [this] {
        const QString delays =
            QString::asprintf("%02X%02X", control<QScrollBar>("sbRepTxOn")->value(),
                              control<QScrollBar>("sbRepTxOff")->value());
        return SendCommand(*this, QStringLiteral("A") + delays) ? TryResult::Success
                                                                : TryResult::Failed;
    };
    RunOperation(*this, op);
}

void TfrmModule::btnRepDataClick() {
    auto* box = control<QLineEdit>("edRepData");
    Operation op;
    op.nameRow = 60;
    // One byte per character: a character beyond Latin-1 has no byte, and no replacement
    // character is written in its place.
    op.formable = [box] {
        for (const QChar c : box->text()) {
            if (c.unicode() > 0xFF) return false;
        }
        return true;
    };
    // Raw bytes outside any frame; nothing is awaited and the write is not examined.
    op.action = [this, box] {
        const QByteArray bytes = box->text().toLatin1();
        if (!bytes.isEmpty())
            link.SendBlock(reinterpret_cast<const uint8_t*>(bytes.constData()),
                           static_cast<int>(bytes.size()));
        return TryResult::Success;
    };
    RunOperation(*this, op);
}
