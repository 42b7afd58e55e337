// Finding a module: the scan over ports and line settings, and the link on one port.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

#include "app/frmmodule.h"
#include "common/operation.h"
#include "link/linesettings.h"

namespace {

// "COM12" gives 12; anything that is not "COM" and a number gives 0.
int PortNumberOf(const QString& text) {
    bool ok = false;
    const int n = text.mid(3).toInt(&ok);
    return ok && n > 0 ? n : 0;
}

// Up to `attempts` identification queries to ID 00; true at the first 16-byte verified reply.
bool Identify(TfrmModule& w, const QString& id, int attempts) {
    for (int i = 0; i < attempts; ++i) {
        if (w.link.Transact(w.TypePrefix + id + QStringLiteral("B")) && w.link.RxPos == 16)
            return true;
    }
    return false;
}

void ShowScanning(TfrmModule& w, int n) {
    w.ShowMessage(12, QStringLiteral(" : #") + QString::number(n));
    QCoreApplication::processEvents();
}

void NotFound(TfrmModule& w) {
    w.cmbBaudRate->setCurrentIndex(LineSettings::kDefaultIndex);
    w.ShowMessage(17);
    w.SetBusy(0);
    SignalFailure(w);
}

}  // namespace

void TfrmModule::btnScanClick() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    SetBusy(1);
    ShowMessage(11, QStringLiteral(" ...."));
    ShowReadoutPlaceholders();
    QCoreApplication::processEvents();
    Linked = 0;
    bool found = false;

    if (PortNo > 0) {
        cmbPort->setEditText(QStringLiteral("COM%1").arg(PortNo));
        cmbBaudRate->setCurrentIndex(BaudIndex);
        if (link.OpenPort(PortNo, BaudText)) {
            ShowScanning(*this, PortNo);
            found = Identify(*this, QStringLiteral("00"), 3);
            link.ClosePort();
        }
    }

    if (!found) {
        cmbPort->setCurrentIndex(-1);
        for (int e = 0; e < cmbPort->count() && !found; ++e) {
            cmbPort->setCurrentIndex(e);
            QCoreApplication::processEvents();
            const int n = PortNumberOf(cmbPort->itemText(e));
            int j = 0;
            do {
                if (chkLock->isChecked()) j = BaudIndex;
                cmbBaudRate->setCurrentIndex(j);
                if (!link.OpenPort(n, LineSettings::text(j))) break;
                ShowScanning(*this, n);
                if (Identify(*this, QStringLiteral("00"), 2)) {
                    PortNo = n;
                    BaudText = LineSettings::text(j);
                    BaudIndex = j;
                    SaveSettings();
                    found = true;
                }
                link.ClosePort();
                if (found || chkLock->isChecked()) break;
                ++j;
            } while (j < LineSettings::kListed);
        }
    }

    if (found)
        ReadSettings();
    else
        NotFound(*this);
    QApplication::restoreOverrideCursor();
}

void TfrmModule::btnLinkClick() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    SetBusy(1);
    ShowMessage(14, QStringLiteral(" ...."));
    ShowReadoutPlaceholders();
    QCoreApplication::processEvents();
    Linked = 0;
    bool found = false;

    int n = PortNumberOf(cmbPort->currentText());
    if (n == 0) n = 1;
    int j = cmbBaudRate->currentIndex();
    if (j < 0) j = LineSettings::kDefaultIndex;
    if (link.OpenPort(n, LineSettings::text(j))) {
        ShowScanning(*this, n);
        found = Identify(*this, pnID->text(), 3);
        link.ClosePort();
    }
    if (found) {
        PortNo = n;
        BaudIndex = j;
        BaudText = LineSettings::text(j);
        ReadSettings();
    } else {
        NotFound(*this);
    }
    QApplication::restoreOverrideCursor();
}
