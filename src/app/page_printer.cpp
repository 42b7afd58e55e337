// The printer interface's page: get status, print data, print code.

#include <QLabel>
#include <QLineEdit>

#include "app/frmmodule.h"
#include "engine/portmodule.h"
#include "engine/printer.h"

void TfrmModule::btnPrintStatusClick() {
    auto* panel = control<QLabel>("pnPrintStatus");
    runOperation([this, panel] {
        QChar status;
        const Outcome o = GetStatus(module, status);
        // An unknown character leaves the last known status in the panel.
        const QString text = PrinterStatusText(status);
        if (o.ok() && !text.isEmpty()) panel->setText(text);
        return o;
    });
}

void TfrmModule::btnPrintDataClick() {
    const QString text = control<QLineEdit>("edPrintData")->text();
    runOperation([this, text] { return PrintData(module, text); });
}

void TfrmModule::btnPrintCodeClick() {
    const QString text = control<QLineEdit>("edPrintCode")->text();
    runOperation([this, text] { return PrintCode(module, text); });
}
