// The controller link module: its port line setting and run mode read back into the page, and
// the operations of its page: get status, send a data record, set baud rate, set run mode.

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include "app/frmmodule.h"
#include "common/factory.h"
#include "common/operation.h"
#include "link/linesettings.h"
#include "modules/portoperations.h"
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

namespace {
// "G" + the six boxes joined as typed: nothing between them, none filled up to its maximum.
QString DataRecord(const TfrmModule& w) {
    QString record = QStringLiteral("G");
    for (const char* box :
         {"edLinkCRID", "edLinkRDID", "edLinkDate", "edLinkCardNo", "edLinkCardID", "edLinkType"})
        record += w.control<QLineEdit>(box)->text();
    return record;
}
}  // namespace

void TfrmModule::btnLinkStatusClick() {
    GetPortModuleStatus(*this, control<QLabel>("pnLinkStatus"));
}

void TfrmModule::btnLinkSendDataClick() {
    Operation op;
    op.nameRow = 60;
    op.formable = [this] { return CommandSendable(*this, DataRecord(*this)); };
    op.action = [this] {
        return SendCommand(*this, DataRecord(*this)) ? TryResult::Success : TryResult::Failed;
    };
    RunOperation(*this, op);
}

void TfrmModule::btnLinkPortClick() {
    SetPortModuleLine(*this, control<QComboBox>("cmbLinkPort"));
}

void TfrmModule::btnLinkModeClick() {
    auto* list = control<QComboBox>("cmbLinkMode");
    Operation op;
    op.nameRow = 80;
    // A mode digit beyond the items, read back after a link, leaves no index to send.
    op.formable = [list] { return list->currentIndex() >= 0; };
    op.action = [this, list] {
        return SendCommand(*this, QStringLiteral("A") + QString::number(list->currentIndex()))
                   ? TryResult::Success
                   : TryResult::Failed;
    };
    RunOperation(*this, op);
}
