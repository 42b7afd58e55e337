// Finding a module on the window: the scan over the port box's ports, the link on the port,
// line setting and ID shown, and the read-back into the readout and the type's page.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QScrollBar>

#include "app/frmmodule.h"
#include "engine/findmodule.h"
#include "link/linesettings.h"
#include "link/portmap.h"

namespace {

void NotFound(TfrmModule& w) {
    w.cmbBaudRate->setCurrentIndex(LineSettings::kDefaultIndex);
    w.ShowMessage(17);
    w.SetBusy(0);
    w.SignalFailure();
}

// What the window shows when a scan or link starts.
void Starting(TfrmModule& w, int row) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    w.SetBusy(1);
    w.ShowMessage(row, QStringLiteral(" ...."));
    w.ShowReadoutPlaceholders();
    QCoreApplication::processEvents();
}

}  // namespace

void TfrmModule::btnScanClick() {
    Starting(*this, 11);
    ScanPlan plan;
    for (int e = 0; e < cmbPort->count(); ++e) plan.ports << PortNumberOf(cmbPort->itemText(e));
    plan.lock = chkLock->isChecked();
    // Escape or a close ends a scan that waits on network ports.
    plan.stop = [this] { return cancelOpen; };
    if (Scan(module, plan))
        ReadSettings();
    else
        NotFound(*this);
    QApplication::restoreOverrideCursor();
}

void TfrmModule::btnLinkClick() {
    Starting(*this, 14);
    int n = PortNumberOf(cmbPort->currentText());
    if (n == 0) n = 1;
    int j = cmbBaudRate->currentIndex();
    if (j < 0) j = LineSettings::kDefaultIndex;
    if (LinkAt(module, n, j, pnID->text()))
        ReadSettings();
    else
        NotFound(*this);
    QApplication::restoreOverrideCursor();
}

void TfrmModule::ReadSettings() {
    cmbBaudRate->setCurrentIndex(BaudIndex);
    module.type = tabType();
    ReadBack r;
    const Outcome o = ReadModule(module, link.LastReply, r);
    if (r.id >= 0) sbID->setValue(r.id);
    showSettings(r.settings);
    ShowMessage(o.row, QStringLiteral(" : #%1)").arg(PortNo));
    if (o.ok()) {
        SignalSuccess();
    } else {
        SetBusy(0);
        SignalFailure();
    }
}
