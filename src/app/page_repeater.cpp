// The repeater's page: get status, the line setting of its own port, the TX delays and raw data.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>

#include "app/frmmodule.h"
#include "engine/repeater.h"

void TfrmModule::showRepeaterSettings(const RepeaterSettings& s) {
    if (s.portLineIndex) SelectOrNone(control<QComboBox>("cmbRepPort"), *s.portLineIndex);
    if (s.txOn) control<QScrollBar>("sbRepTxOn")->setValue(*s.txOn);
    if (s.txOff) control<QScrollBar>("sbRepTxOff")->setValue(*s.txOff);
}

void TfrmModule::btnRepStatusClick() {
    showPortModuleStatus("pnRepStatus");
}

void TfrmModule::btnRepPortClick() {
    setPortModuleLine("cmbRepPort");
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
