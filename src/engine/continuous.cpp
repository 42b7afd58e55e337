#include "engine/continuous.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <chrono>

#include "engine/modulecontext.h"
#include "engine/observer.h"

void ContinuousRun::pause(int ms) {
    QElapsedTimer clock;
    clock.start();
    const qint64 due = static_cast<qint64>(ms) * 1000000;
    for (;;) {
        QCoreApplication::processEvents();
        const qint64 left = due - clock.nsecsElapsed();
        if (left <= 0) return;
        if (left < 1000000) {
            // Finer than the event loop's timers: the rest is slept, so that the pause does
            // not grow by the part of a millisecond that its events took.
            QThread::usleep(static_cast<unsigned long>((left + 999) / 1000));
            continue;
        }
        // Sleeps in the event loop: a click or a paint is handled as it comes, and the timer
        // ends the wait when the time is up.
        QEventLoop loop;
        QTimer::singleShot(std::chrono::milliseconds(left / 1000000), Qt::PreciseTimer, &loop,
                           &QEventLoop::quit);
        loop.exec();
    }
}

ContinuousEnd RunContinuous(ModuleContext& m, const std::function<void(ContinuousRun&)>& cycle,
                            const std::function<bool()>& stopRequested,
                            const std::function<void(ContinuousRun&)>& finish) {
    if (!m.link.OpenPort(m.PortNo, m.BaudText)) return ContinuousEnd::PortNotOpened;
    m.observer().continuousStarted();
    ContinuousRun run;
    while (!stopRequested()) {
        cycle(run);
        if (run.failures() >= ContinuousRun::kFailureLimit) break;
    }
    // A stop during the last cycle wins over the failure limit reached in it.
    const ContinuousEnd end = stopRequested() ? ContinuousEnd::Stopped : ContinuousEnd::ModuleLost;
    if (finish) finish(run);
    m.link.ClosePort();
    return end;
}
