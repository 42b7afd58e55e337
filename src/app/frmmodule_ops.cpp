// The window's side of the engine: its observer, the frame of single operations and of the
// continuous tests, and the settings of a read-back shown on the page of the type.

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "app/frmmodule.h"
#include "app/pagecontrol.h"
#include "app/shape.h"
#include "app/tone.h"
#include "app/windowobserver.h"
#include "engine/portmodule.h"

void TfrmModule::Observer::message(int row, const QString& suffix) {
    w_.ShowMessage(row, suffix);
}
void TfrmModule::Observer::pump() {
    QCoreApplication::processEvents();
}
void TfrmModule::Observer::scanRemembered(int portNo, int lineIndex) {
    w_.cmbPort->setEditText(QStringLiteral("COM%1").arg(portNo));
    w_.cmbBaudRate->setCurrentIndex(lineIndex);
}
void TfrmModule::Observer::scanEntry(int entry) {
    w_.cmbPort->setCurrentIndex(entry);
}
void TfrmModule::Observer::scanLine(int lineIndex) {
    w_.cmbBaudRate->setCurrentIndex(lineIndex);
}
void TfrmModule::Observer::scanFoundBySearch() {
    w_.SaveSettings();
}
void TfrmModule::Observer::serialRead(const QString& serial) {
    w_.ShowSerial(serial);
}
void TfrmModule::Observer::versionRead(const QString& version) {
    w_.ShowVersion(version);
}
void TfrmModule::Observer::moduleLinked() {
    w_.SetBusy(0);
    w_.shComm->setBrushColor(kYellow);
}
void TfrmModule::Observer::continuousStarted() {
    // The lamp blinks, but the window takes input: the button must be able to stop the test.
    w_.SetBusy(1);
    w_.setWindowEnabled(true);
}

void TfrmModule::SignalSuccess() {
    shComm->setBrushColor(kYellow);
    platform_.tone->play(Tones::kSuccessHz, Tones::kDurationMs);
}

void TfrmModule::SignalFailure() {
    shComm->setBrushColor(kRed);
    platform_.tone->play(Tones::kFailureHz, Tones::kDurationMs);
}

void TfrmModule::showOutcome(const Outcome& o) {
    if (o.status != Outcome::Status::NotLinked) ShowMessage(o.row);
    if (o.ok())
        SignalSuccess();
    else
        SignalFailure();
}

void TfrmModule::runOperation(const std::function<Outcome()>& operation) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    setWindowEnabled(false);
    showOutcome(operation());
    setWindowEnabled(true);
    QApplication::restoreOverrideCursor();
}

namespace {

// Gives back everything the test took, however it ends (an exception included): the run
// flag, the port, the busy lamp's timer, the disabled controls and the button's caption.
class RunScope {
  public:
    RunScope(TfrmModule& w, const TfrmModule::ContinuousView& v) : w_(w), v_(v) {
        w_.Polling = 1;
        w_.pollingButton = v.button;
        w_.pollingCaption = v.button->text();
        v.button->setText(w.Msg(31));
        QCoreApplication::processEvents();
        for (QWidget* c : v.disabled) c->setEnabled(false);
    }
    ~RunScope() {
        w_.Polling = 0;
        w_.link.ClosePort();
        w_.tmrBusy->stop();
        w_.setWindowEnabled(true);
        for (QWidget* c : v_.disabled) c->setEnabled(true);
        v_.button->setText(w_.pollingCaption);
        w_.pollingButton = nullptr;
    }
    RunScope(const RunScope&) = delete;
    RunScope& operator=(const RunScope&) = delete;

  private:
    TfrmModule& w_;
    const TfrmModule::ContinuousView& v_;
};

}  // namespace

void TfrmModule::runContinuous(
    const ContinuousView& view,
    const std::function<ContinuousEnd(const std::function<bool()>&)>& run) {
    if (Linked != 1) {
        platform_.tone->play(Tones::kFailureHz, Tones::kDurationMs);
        return;
    }
    if (Polling == 1) {
        // A press while the test runs: the running loop sees it at its next cycle.
        Polling = 0;
        return;
    }

    RunScope scope(*this, view);
    if (view.clearMessage) ClearMessage();
    if (view.start) view.start();

    switch (run([this] { return Polling != 1; })) {
        case ContinuousEnd::PortNotOpened: {
            const int port = PortNo;
            ShowMessage([this, port] {
                return Msg(2) + QStringLiteral(" : ") + QString::number(port) + QLatin1Char(' ') +
                       Msg(3);
            });
            SignalFailure();
            break;
        }
        case ContinuousEnd::ModuleLost:
            // Three exchanges in a row without a verified reply: the module is gone.
            tmrBusy->stop();
            ShowMessage(17);
            Polling = 0;
            SignalFailure();
            break;
        case ContinuousEnd::Stopped:
            tmrBusy->stop();
            if (view.stopped)
                view.stopped();
            else
                SignalSuccess();
            break;
    }
}

void TfrmModule::SelectOrNone(QComboBox* list, int index) {
    list->setCurrentIndex(index < list->count() ? index : -1);
}

std::optional<ModuleType> TfrmModule::tabType() const {
    const int index = pcMain->currentIndex();
    if (index < 0 || index >= static_cast<int>(std::size(kAllModuleTypes))) return std::nullopt;
    return kAllModuleTypes[index];
}

void TfrmModule::showSettings(const ModuleSettings& s) {
    const auto type = tabType();
    if (!type) return;
    switch (*type) {
        case ModuleType::RQ3016:
            showDidoSettings(s.dido);
            break;
        case ModuleType::RQ3020:
            break;
        case ModuleType::RQ3030:
            showLinkModuleSettings(s.linkModule);
            break;
        case ModuleType::RQ3040:
            showRepeaterSettings(s.repeater);
            break;
        case ModuleType::RQ3050S:
            showWiegandSettings(false, s.wiegand);
            break;
        case ModuleType::RQ3050K:
            showWiegandSettings(true, s.wiegand);
            break;
    }
}

void TfrmModule::showPortModuleStatus(const char* panelName) {
    auto* panel = control<QLabel>(panelName);
    runOperation([this, panel] {
        QChar status;
        const Outcome o = GetStatus(module, status);
        if (o.ok()) panel->setText(Msg(status == QLatin1Char('O') ? 45 : 46));
        return o;
    });
}

void TfrmModule::setPortModuleLine(const char* listName) {
    const int index = control<QComboBox>(listName)->currentIndex();
    runOperation([this, index] { return SetPortLine(module, index); });
}
