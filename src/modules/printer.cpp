// The printer interface: nothing to read back beyond serial number and version; the
// operations of its page: get status, print data, print code.

#include <QLabel>
#include <QLineEdit>

#include "app/frmmodule.h"
#include "common/factory.h"
#include "common/operation.h"
#include "modules/portoperations.h"
#include "modules/settingsreads.h"

bool ReadPrinterSettings(TfrmModule&) {
    return true;
}

std::vector<FactoryStep> PrinterFactorySteps() {
    using namespace factory;
    return {Wait(100), SendId01(), Wait(200), Pump(), Send(QStringLiteral("E5"))};
}

namespace {

// The printer's state as the module reports it; these texts are not translated.
QString PrinterStatusText(QChar status) {
    switch (status.unicode()) {
        case 'O':
            return QStringLiteral("Print ok.");
        case 'P':
            return QStringLiteral("Print paper out!");
        case 'E':
            return QStringLiteral("Print error!");
        case 'N':
            return QStringLiteral("Print no select!");
        case 'B':
            return QStringLiteral("Print busy!");
        case 'F':
            return QStringLiteral("Buffer full!");
        default:
            return QString();
    }
}

// Sends the letter + the box's text exactly as it stands: no check, no conversion of hex pairs.
void SendBoxText(TfrmModule& w, int nameRow, const QString& letter, const QLineEdit* box) {
    Operation op;
    op.nameRow = nameRow;
    op.formable = [&w, letter, box] { return CommandSendable(w, letter + box->text()); };
    op.action = [&w, letter, box] {
        return SendCommand(w, letter + box->text()) ? TryResult::Success : TryResult::Failed;
    };
    RunOperation(w, op);
}

}  // namespace

void TfrmModule::btnPrintStatusClick() {
    auto* panel = control<QLabel>("pnPrintStatus");
    Operation op;
    op.nameRow = 57;
    op.action = [this, panel] {
        return QueryStatus(*this, [panel](QChar status) {
            // An unknown character leaves the last known status in the panel.
            const QString text = PrinterStatusText(status);
            if (!text.isEmpty()) panel->setText(text);
        });
    };
    RunOperation(*this, op);
}

void TfrmModule::btnPrintDataClick() {
    SendBoxText(*this, 73, QStringLiteral("G"), control<QLineEdit>("edPrintData"));
}

void TfrmModule::btnPrintCodeClick() {
    SendBoxText(*this, 76, QStringLiteral("H"), control<QLineEdit>("edPrintCode"));
}
