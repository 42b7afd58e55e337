// The DI/DO module's page: DI mode, NO/NC, the continuous DI/DO test with its timeline, and
// the I/O check.

#include <QCheckBox>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>

#include "app/didocheckwindow.h"
#include "app/ditimelinewindow.h"
#include "app/frmmodule.h"
#include "app/shape.h"
#include "engine/didocheck.h"
#include "engine/didotimeline.h"
#include "register/registerwriter.h"
#include "settings/settings.h"
#include "text/extratexts.h"

namespace {
// The controls prefix1..prefix16.
template <class T>
QList<T*> Sixteen(TfrmModule& w, const char* prefix) {
    QList<T*> controls;
    for (int k = 1; k <= 16; ++k)
        controls << w.control<T>(QLatin1String(prefix) + QString::number(k));
    return controls;
}

// The boxes as they are now.
Channels Boxes(const QList<QCheckBox*>& boxes) {
    Channels c;
    for (int k = 0; k < 16; ++k) c[k] = boxes[k]->isChecked();
    return c;
}

// What a live test on this page disables besides the other test's button.
void DisableForTest(TfrmModule& w, TfrmModule::ContinuousView& view, const char* otherTest) {
    for (const char* name : {"btnScan", "btnLink", "gbDIDOMode", "gbDIDONoNc", "tsCommand", "btnID",
                             "btnBaudRate", "pcMain"})
        view.disabled << w.control<QWidget>(name);
    view.disabled << w.control<QWidget>(otherTest);
}
}  // namespace

void TfrmModule::showDidoSettings(const DidoSettings& s) {
    if (s.mode) control<QComboBox>("cmbDIDOMode")->setCurrentIndex(*s.mode == DiMode::Hold ? 0 : 1);
    if (s.normallyClosed) {
        for (int k = 1; k <= 16; ++k)
            control<QCheckBox>(QStringLiteral("chkDI%1").arg(k))
                ->setChecked((*s.normallyClosed)[k - 1]);
    }
}

void TfrmModule::btnDIDOModeClick() {
    const DiMode mode =
        control<QComboBox>("cmbDIDOMode")->currentIndex() == 0 ? DiMode::Hold : DiMode::Normal;
    runOperation([this, mode] { return SetDiMode(module, mode); });
}

void TfrmModule::btnDIDONoNcClick() {
    const Channels flags = Boxes(Sixteen<QCheckBox>(*this, "chkDI"));
    runOperation([this, flags] { return SetNoNc(module, flags); });
}

void TfrmModule::btnDIDOTestClick() {
    ContinuousView view;
    view.button = control<QPushButton>("btnDIDOTest");
    DisableForTest(*this, view, "btnDIDOCheck");
    view.start = [this] {
        diTimeline->start();
        if (frmDITimeline.made()) frmDITimeline->testStarted();
    };
    // Looked up once: a cycle only reads the boxes and colours the circles.
    const QList<QCheckBox*> boxes = Sixteen<QCheckBox>(*this, "chkDO");
    const QList<Shape*> circles = Sixteen<Shape>(*this, "shDI");
    runContinuous(view, [this, &boxes, &circles](const std::function<bool()>& stop) {
        return RunDidoTest(
            module,
            // The outputs follow the boxes as they are at the moment of sending.
            [&boxes] { return Boxes(boxes); },
            [&circles](const Channels& inputs) {
                for (int k = 0; k < 16; ++k)
                    circles[k]->setBrushColor(inputs[k] ? kYellow : QColor(Qt::white));
            },
            stop,
            [this](const DidoCycle& cycle) {
                diTimeline->record(cycle);
                if (frmDITimeline.made()) frmDITimeline->timelineChanged();
            });
    });
}

// On a live site the outputs may drive door locks or sirens: the check asks first, unless told
// not to for the current site.
bool TfrmModule::mayCheckSwitchOutputs() {
    const QString site = platform_.siteRegister ? platform_.siteRegister->site()
                         : platform_.settings   ? LoadRegisterSite(*platform_.settings)
                                                : QString();
    QStringList unasked;
    if (platform_.settings) unasked = LoadIoCheckUnasked(*platform_.settings);
    if (unasked.contains(site)) return true;
    const QString question = ExtraTexts::text(ExtraTexts::kIoCheckAsk, LangIndex);
    const QString dontAsk = ExtraTexts::text(ExtraTexts::kIoCheckDontAsk, LangIndex);
    bool dontAskAgain = false;
    bool yes = false;
    if (platform_.askSwitchOutputs) {
        yes = platform_.askSwitchOutputs(question, dontAsk, &dontAskAgain);
    } else {
        QMessageBox box(QMessageBox::Question,
                        ExtraTexts::text(ExtraTexts::kCheckButton, LangIndex), question,
                        QMessageBox::Yes | QMessageBox::No, this);
        box.setDefaultButton(QMessageBox::No);
        auto* check = new QCheckBox(dontAsk, &box);
        box.setCheckBox(check);
        yes = box.exec() == QMessageBox::Yes;
        dontAskAgain = check->isChecked();
    }
    if (yes && dontAskAgain && platform_.settings) {
        unasked << site;
        SaveIoCheckUnasked(*platform_.settings, unasked);
    }
    return yes;
}

void TfrmModule::btnDIDOCheckClick() {
    // A press while the check runs cancels it; only a start asks.
    if (Polling != 1 && !mayCheckSwitchOutputs()) return;
    ContinuousView view;
    view.button = control<QPushButton>("btnDIDOCheck");
    DisableForTest(*this, view, "btnDIDOTest");
    // The check sets the outputs itself.
    view.disabled << control<QWidget>("gbDIDODO");
    view.start = [this] {
        frmDIDOCheck->begin();
        frmDIDOCheck->show();
        frmDIDOCheck->raise();
    };
    std::array<ChannelVerdict, 16> verdicts{};
    view.stopped = [this, &verdicts] {
        // Finished or cancelled: the verdicts say which.
        ShowMessage([this, verdicts] {
            return TfrmDIDOCheck::Summary(verdicts, ContinuousEnd::Stopped, LangIndex);
        });
        int failed = 0;
        for (ChannelVerdict v : verdicts)
            failed += v != ChannelVerdict::Ok && v != ChannelVerdict::NotChecked ? 1 : 0;
        if (failed > 0)
            SignalFailure();
        else
            SignalSuccess();
    };
    runContinuous(view, [this, &verdicts](const std::function<bool()>& stop) {
        DidoCheckResult result;
        const ContinuousEnd end = RunDidoCheck(module, DidoCheckOptions(), result, stop,
                                               [this](int done) { frmDIDOCheck->progress(done); });
        verdicts = result.verdicts;
        frmDIDOCheck->showResult(result, end);
        return end;
    });
}
