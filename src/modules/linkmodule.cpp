// The controller link module: its port line setting and run mode read back into the page.

#include <QComboBox>
#include <QGroupBox>

#include "app/frmmodule.h"
#include "common/factory.h"
#include "common/operation.h"
#include "link/linesettings.h"
#include "modules/settingsreads.h"

bool ReadLinkModuleSettings(TfrmModule& w) {
    auto* group = w.control<QGroupBox>("gbLinkPort");
    group->setVisible(true);
    if (!SendCommand(w, QStringLiteral("K"))) return false;
    if (w.link.RxPos == 9) {
        const int index = LineSettings::indexOfCode(ReplyAt(w, 6));
        if (index < 0) return false;
        SelectOrNone(w.control<QComboBox>("cmbLinkPort"), index);
    } else {
        group->setVisible(false);
    }
    Pause(100);
    if (!SendCommand(w, QStringLiteral("A"))) return false;
    const int mode = DigitValue(ReplyAt(w, 6));
    if (mode < 0) return false;
    SelectOrNone(w.control<QComboBox>("cmbLinkMode"), mode);
    return true;
}

std::vector<FactoryStep> LinkModuleFactorySteps() {
    using namespace factory;
    // The lists are set first, so they show the defaults even when "Zi" is not answered.
    return {Set(QStringLiteral("cmbLinkPort"), 2), Set(QStringLiteral("cmbLinkMode"), 0),
            Send(QStringLiteral("Zi")), Wait(100)};
}
