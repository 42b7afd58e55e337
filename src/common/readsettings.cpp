// Reading a found module back: serial number, ID, version, then its type's own settings.

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QScrollBar>

#include "app/frmmodule.h"
#include "app/pagecontrol.h"
#include "app/shape.h"
#include "common/operation.h"
#include "modules/settingsreads.h"

namespace {

bool ReadTypeSettings(TfrmModule& w) {
    switch (w.pcMain->currentIndex()) {
        case 0:
            return ReadDidoSettings(w);
        case 1:
            return ReadPrinterSettings(w);
        case 2:
            return ReadLinkModuleSettings(w);
        case 3:
            return ReadRepeaterSettings(w);
        case 4:
            return ReadWiegandSettings(w, false);
        case 5:
            return ReadWiegandSettings(w, true);
        default:
            return false;  // no type selected: nothing to read
    }
}

}  // namespace

void TfrmModule::ReadSettings() {
    cmbBaudRate->setCurrentIndex(BaudIndex);
    ShowSerial(ReplyText(*this, 6, 8));
    QCoreApplication::processEvents();

    bool outcome = false;
    const int id = TwoDigits(ReplyAt(*this, 3), ReplyAt(*this, 4));
    // An ID that is not two digits cannot be addressed: report the data error at once.
    if (id >= 0) {
        sbID->setValue(id);
        ModuleId = ReplyText(*this, 3, 2);
        if (link.OpenPort(PortNo, BaudText)) {
            bool version = false;
            for (int t = 0; t < 2 && !version; ++t) {
                Pause(100);
                version = SendCommand(*this, QStringLiteral("V"));
            }
            if (version) {
                ShowVersion(ReplyText(*this, 6, 8));
                Pause(50);
                outcome = ReadTypeSettings(*this);
                Linked = 1;
                SetBusy(0);
                shComm->setBrushColor(kYellow);
            }
            link.ClosePort();
        }
    }
    const QString where = QStringLiteral(" : #%1)").arg(PortNo);
    if (outcome) {
        ShowMessage(15, where);
        SignalSuccess(*this);
    } else {
        ShowMessage(16, where);
        SetBusy(0);
        SignalFailure(*this);
    }
}
