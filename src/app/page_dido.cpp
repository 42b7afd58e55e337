// The DI/DO module's page: DI mode, NO/NC, the continuous DI/DO test with its timeline, and
// the I/O check.

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

#include "app/didocheckwindow.h"
#include "app/ditimelinewindow.h"
#include "app/frmmodule.h"
#include "app/shape.h"
#include "engine/didocheck.h"
#include "engine/didotimeline.h"

namespace {
// The controls prefix1..prefix16.
template <class T>
QList<T*> Sixteen(const TfrmModule& w, const char* prefix) {
    QList<T*> controls;
    for (int k = 1; k <= 16; ++k)
        controls << w.findChild<T*>(QLatin1String(prefix) + QString::number(k));
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
            findChild<QCheckBox*>(QStringLiteral("chkDI%1").arg(k))
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

void TfrmModule::btnDIDOCheckClick() {
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
