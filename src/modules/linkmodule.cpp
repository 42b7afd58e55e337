// The controller link module: its port line setting and run mode read back into the page.

#include <QComboBox>
#include <QGroupBox>

#include "app/frmmodule.h"
#include "common/operation.h"
#include "link/linesettings.h"
#include "modules/settingsreads.h"

namespace {
// A list shows no selection for a value beyond its items.
void Select(QComboBox* list, int index) {
    list->setCurrentIndex(index < list->count() ? index : -1);
}
}  // namespace

bool ReadLinkModuleSettings(TfrmModule& w) {
    auto* group = w.control<QGroupBox>("gbLinkPort");
    group->setVisible(true);
    if (!SendCommand(w, QStringLiteral("K"))) return false;
    if (w.link.RxPos == 9) {
        const int index = LineSettings::indexOfCode(ReplyAt(w, 6));
        if (index < 0) return false;
        Select(w.control<QComboBox>("cmbLinkPort"), index);
    } else {
        group->setVisible(false);
    }
    Pause(100);
    if (!SendCommand(w, QStringLiteral("A"))) return false;
    const int mode = DigitValue(ReplyAt(w, 6));
    if (mode < 0) return false;
    Select(w.control<QComboBox>("cmbLinkMode"), mode);
    return true;
}

int DigitValue(QChar c) {
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ? c.unicode() - '0' : -1;
}

int TwoDigits(QChar hi, QChar lo) {
    const int h = DigitValue(hi), l = DigitValue(lo);
    return (h < 0 || l < 0) ? -1 : h * 10 + l;
}
