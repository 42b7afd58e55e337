#include "common/continuoustest.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <chrono>

#include "app/frmmodule.h"
#include "app/tone.h"
#include "common/operation.h"

void ContinuousRun::pause(int ms) {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        QCoreApplication::processEvents();
        const qint64 left = ms - clock.elapsed();
        if (left <= 0) return;
        // Sleeps in the event loop: a click or a paint is handled as it comes, and the timer
        // ends the wait when the time is up.
        QEventLoop loop;
        QTimer::singleShot(std::chrono::milliseconds(left), Qt::PreciseTimer, &loop,
                           &QEventLoop::quit);
        loop.exec();
    }
}

namespace {

// Gives back everything the test took, however it ends (an exception included): the run
// flag, the port, the busy lamp's timer, the disabled controls and the button's caption.
class RunScope {
  public:
    RunScope(TfrmModule& w, const ContinuousTest& t) : w_(w), t_(t) {
        w_.Polling = 1;
        w_.pollingButton = t.button;
        w_.pollingCaption = t.button->text();
        t.button->setText(w.Msg(31));
        QCoreApplication::processEvents();
        for (QWidget* c : t.disabled) c->setEnabled(false);
    }
    ~RunScope() {
        w_.Polling = 0;
        w_.link.ClosePort();
        w_.tmrBusy->stop();
        w_.setWindowEnabled(true);
        for (QWidget* c : t_.disabled) c->setEnabled(true);
        t_.button->setText(w_.pollingCaption);
        w_.pollingButton = nullptr;
    }
    RunScope(const RunScope&) = delete;
    RunScope& operator=(const RunScope&) = delete;

  private:
    TfrmModule& w_;
    const ContinuousTest& t_;
};

}  // namespace

void RunContinuousTest(TfrmModule& w, const ContinuousTest& test) {
    if (w.Linked != 1) {
        w.platform().tone->play(Tones::kFailureHz, Tones::kDurationMs);
        return;
    }
    if (w.Polling == 1) {
        // A press while the test runs: the running loop sees it at its next cycle.
        w.Polling = 0;
        return;
    }

    RunScope scope(w, test);
    if (test.clearMessage) w.ClearMessage();
    if (test.start) test.start();

    if (!w.link.OpenPort(w.PortNo, w.BaudText)) {
        const int port = w.PortNo;
        w.ShowMessage([&w, port] {
            return w.Msg(2) + QStringLiteral(" : ") + QString::number(port) + QLatin1Char(' ') +
                   w.Msg(3);
        });
        SignalFailure(w);
        return;
    }
    // The lamp blinks, but the window takes input: the button must be able to stop the test.
    w.SetBusy(1);
    w.setWindowEnabled(true);

    ContinuousRun run;
    while (w.Polling == 1) {
        test.cycle(run);
        if (run.failures() >= ContinuousRun::kFailureLimit) break;
    }

    w.tmrBusy->stop();
    if (w.Polling == 1) {
        // Three exchanges in a row without a verified reply: the module is gone.
        w.ShowMessage(17);
        w.Polling = 0;
        SignalFailure(w);
    } else {
        SignalSuccess(w);
    }
    w.link.ClosePort();
}
