// The controller link module's page: get status, the data record, the line setting of its
// own port and its run mode.

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include "app/frmmodule.h"
#include "engine/linkmodule.h"
#include "engine/portmodule.h"

void TfrmModule::showLinkModuleSettings(const LinkModuleSettings& s) {
    if (s.hasPort) control<QGroupBox>("gbLinkPort")->setVisible(*s.hasPort);
    if (s.portLineIndex) SelectOrNone(control<QComboBox>("cmbLinkPort"), *s.portLineIndex);
    if (s.runMode) SelectOrNone(control<QComboBox>("cmbLinkMode"), *s.runMode);
}

void TfrmModule::btnLinkStatusClick() {
    showPortModuleStatus("pnLinkStatus");
}

void TfrmModule::btnLinkSendDataClick() {
    QStringList fields;
    for (const char* box :
         {"edLinkCRID", "edLinkRDID", "edLinkDate", "edLinkCardNo", "edLinkCardID", "edLinkType"})
        fields << control<QLineEdit>(box)->text();
    runOperation([this, fields] { return SendDataRecord(module, fields); });
}

void TfrmModule::btnLinkPortClick() {
    setPortModuleLine("cmbLinkPort");
}

void TfrmModule::btnLinkModeClick() {
    // A mode digit beyond the items, read back after a link, leaves no index to send.
    const int mode = control<QComboBox>("cmbLinkMode")->currentIndex();
    runOperation([this, mode] { return SetRunMode(module, mode); });
}
