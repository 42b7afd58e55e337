// The DI/DO module: its settings read back into the page.

#include <QCheckBox>
#include <QComboBox>

#include "app/frmmodule.h"
#include "common/operation.h"
#include "modules/settingsreads.h"

bool ReadDidoSettings(TfrmModule& w) {
    if (!SendCommand(w, QStringLiteral("G"))) return false;
    const QChar mode = ReplyAt(w, 6);
    auto* cmbMode = w.control<QComboBox>("cmbDIDOMode");
    if (mode == QLatin1Char('H'))
        cmbMode->setCurrentIndex(0);
    else if (mode == QLatin1Char('S'))
        cmbMode->setCurrentIndex(1);
    Pause(50);
    if (!SendCommand(w, QStringLiteral("A"))) return false;
    for (int k = 1; k <= 16; ++k) {
        auto* box = w.findChild<QCheckBox*>(QStringLiteral("chkDI%1").arg(k));
        box->setChecked(ReplyAt(w, 5 + k) == QLatin1Char('1'));
    }
    return true;
}
