// The pages of the modules with a port or a printer of their own: the printer interface, the
// controller link module and the repeater.

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>

#include "app/frmmodule.h"
#include "engine/linkmodule.h"
#include "engine/portmodule.h"
#include "engine/printer.h"
#include "engine/repeater.h"

namespace {

// Get status of the controller link module and the repeater: "Status ok." (row 45) for "O",
// the capital letter, and "Status error!" (row 46) for any other character.
void PortModuleStatus(TfrmModule& w, const char* panelName) {
    auto* panel = w.control<QLabel>(panelName);
    w.runOperation([&w, panel] {
        QChar status;
        const Outcome o = GetStatus(w.module, status);
        if (o.ok()) panel->setText(w.Msg(status == QLatin1Char('O') ? 45 : 46));
        return o;
    });
}

void PortLine(TfrmModule& w, const char* listName) {
    const int index = w.control<QComboBox>(listName)->currentIndex();
    w.runOperation([&w, index] { return SetPortLine(w.module, index); });
}

}  // namespace

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

void TfrmModule::showLinkModuleSettings(const LinkModuleSettings& s) {
    if (s.hasPort) control<QGroupBox>("gbLinkPort")->setVisible(*s.hasPort);
    if (s.portLineIndex) SelectOrNone(control<QComboBox>("cmbLinkPort"), *s.portLineIndex);
    if (s.runMode) SelectOrNone(control<QComboBox>("cmbLinkMode"), *s.runMode);
}

void TfrmModule::btnLinkStatusClick() {
    PortModuleStatus(*this, "pnLinkStatus");
}

void TfrmModule::btnLinkSendDataClick() {
    QStringList fields;
    for (const char* box :
         {"edLinkCRID", "edLinkRDID", "edLinkDate", "edLinkCardNo", "edLinkCardID", "edLinkType"})
        fields << control<QLineEdit>(box)->text();
    runOperation([this, fields] { return SendDataRecord(module, fields); });
}

void TfrmModule::btnLinkPortClick() {
    PortLine(*this, "cmbLinkPort");
}

void TfrmModule::btnLinkModeClick() {
    // A mode digit beyond the items, read back after a link, leaves no index to send.
    const int mode = control<QComboBox>("cmbLinkMode")->currentIndex();
    runOperation([this, mode] { return SetRunMode(module, mode); });
}

void TfrmModule::showRepeaterSettings(const RepeaterSettings& s) {
    if (s.portLineIndex) SelectOrNone(control<QComboBox>("cmbRepPort"), *s.portLineIndex);
    if (s.txOn) control<QScrollBar>("sbRepTxOn")->setValue(*s.txOn);
    if (s.txOff) control<QScrollBar>("sbRepTxOff")->setValue(*s.txOff);
}

void TfrmModule::btnRepStatusClick() {
    PortModuleStatus(*this, "pnRepStatus");
}

void TfrmModule::btnRepPortClick() {
    PortLine(*this, "cmbRepPort");
}

void TfrmModule::btnRepTxClick() {
    const int on = control<QScrollBar>("sbRepTxOn")->value();
    const int off = control<QScrollBar>("sbRepTxOff")->value();
    runOperation([this, on, off] { return SetTxDelays(module, on, off); });
}

void TfrmModule::btnRepDataClick() {
    const QString text = control<QLineEdit>("edRepData")->text();
    runOperation([this, text] { return SendRawData(module, text); });
}
