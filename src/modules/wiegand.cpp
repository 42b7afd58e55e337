// The Wiegand interfaces: CH #2's ID and serial number, the interface and the key number read
// back into the page.

#include <QComboBox>
#include <QLabel>
#include <QScrollBar>

#include "app/frmmodule.h"
#include "common/operation.h"
#include "modules/settingsreads.h"

bool ReadWiegandSettings(TfrmModule& w, bool keyNumber) {
    const QString v = keyNumber ? QStringLiteral("K") : QStringLiteral("S");
    auto name = [&](const char* kind, const char* what) {
        return QStringLiteral("%1RQ3050%2_%3").arg(QLatin1String(kind), v, QLatin1String(what));
    };
    if (!SendCommand(w, QStringLiteral("N"))) return false;
    const int id = TwoDigits(ReplyAt(w, 3), ReplyAt(w, 4));
    if (id < 0) return false;
    w.findChild<QScrollBar*>(name("sb", "ID"))->setValue(id);
    w.findChild<QLabel*>(name("pn", "SN"))->setText(ReplyText(w, 6, 8));
    Pause(50);
    if (!SendCommand(w, QStringLiteral("A"))) return false;
    const int mode = DigitValue(ReplyAt(w, 8));
    if (mode < 0) return false;
    SelectOrNone(w.findChild<QComboBox*>(name("cmb", "Mode")), mode);
    if (!keyNumber) return true;
    Pause(50);
    if (!SendCommand(w, QStringLiteral("L"))) return false;
    const int keys = TwoDigits(ReplyAt(w, 6), ReplyAt(w, 7));
    if (keys < 0) return false;
    w.control<QScrollBar>("sbKeyNumber")->setValue(keys);
    return true;
}
