#include "engine/buses.h"

#include <QEventLoop>
#include <QThread>

#include "engine/modulecontext.h"
#include "link/serialport.h"

BusRunner::BusRunner(int buses, MakeOpener makeOpener, QObject* parent)
    : QObject(parent), buses_(buses), makeOpener_(std::move(makeOpener)) {}

BusRunner::~BusRunner() {
    for (QThread* t : threads_) {
        t->quit();
        t->wait();
        delete t;
    }
}

void BusRunner::post(std::function<void()> f) {
    QMetaObject::invokeMethod(this, std::move(f), Qt::QueuedConnection);
}

void BusRunner::ended(int bus) {
    emit busEnded(bus);
    if (--active_ == 0) emit finished();
}

void BusRunner::start(Work work) {
    for (QThread* t : threads_) {
        t->quit();
        t->wait();
        delete t;
    }
    threads_.clear();
    active_ = buses_;
    if (buses_ == 0) {
        post([this] { emit finished(); });
        return;
    }
    for (int bus = 0; bus < buses_; ++bus) {
        auto* thread = new QThread;
        thread->setObjectName(QStringLiteral("bus %1").arg(bus + 1));
        threads_ << thread;
        thread->start();
        // The work is queued to the thread's own event loop: everything it makes lives there.
        auto* anchor = new QObject;
        anchor->moveToThread(thread);
        QMetaObject::invokeMethod(
            anchor,
            [this, anchor, bus, work] {
                {
                    std::unique_ptr<PortOpener> opener = makeOpener_(bus);
                    ModuleContext m(*opener);
                    if (setup_) setup_(m, bus);
                    work(m, bus);
                }
                anchor->deleteLater();
                post([this, bus] { ended(bus); });
                QThread::currentThread()->quit();
            },
            Qt::QueuedConnection);
    }
}

void BusRunner::run(Work work) {
    QEventLoop loop;
    connect(this, &BusRunner::finished, &loop, &QEventLoop::quit);
    start(std::move(work));
    if (active_ > 0) loop.exec();
}

void StartBusSurvey(BusRunner& runner, const QList<SurveyPlan>& plans,
                    const BusSurveyHooks& hooks) {
    runner.start([&runner, plans, hooks](ModuleContext& m, int bus) {
        OpenFailure failure;
        QObject::connect(&m.link, &Link::portOpenResult, &m.link,
                         [&failure](int, const OpenFailure& f) { failure = f; });
        SurveyHooks h;
        if (hooks.stop) h.stop = [stop = hooks.stop] { return stop->load(); };
        if (hooks.progress)
            h.progress = [&runner, bus, hooks](const SurveyProgress& p) {
                runner.post([bus, p, hooks] { hooks.progress(bus, p); });
            };
        if (hooks.found)
            h.found = [&runner, bus, hooks](const SurveyModule& s) {
                runner.post([bus, s, hooks] { hooks.found(bus, s); });
            };
        const SurveyResult result = RunSurvey(m, plans.value(bus), h);
        if (hooks.ended) {
            const OpenFailure why = result.portFailed ? failure : OpenFailure{};
            runner.post([bus, result, why, hooks] { hooks.ended(bus, result, why); });
        }
    });
}

void RunBusSurvey(BusRunner& runner, const QList<SurveyPlan>& plans, const BusSurveyHooks& hooks) {
    QEventLoop loop;
    QObject::connect(&runner, &BusRunner::finished, &loop, &QEventLoop::quit);
    StartBusSurvey(runner, plans, hooks);
    if (runner.running()) loop.exec();
}

std::unique_ptr<SerialPort> ForwardingOpener::open(int portNo, const QString& lineSetting) {
    return to_.open(portNo, lineSetting);
}
OpenFailure ForwardingOpener::lastFailure() const {
    return to_.lastFailure();
}

void BusesProgress::update(int bus, const SurveyProgress& p) {
    while (last_.size() <= bus) last_.append(SurveyProgress{});
    last_[bus] = p;
}

int BusesProgress::msLeft() const {
    int left = 0;
    for (const SurveyProgress& p : last_) left = std::max(left, p.msLeft);
    return left;
}

int BusesProgress::percent() const {
    // The bus with the most left decides when the whole ends.
    int percent = 100;
    int left = -1;
    for (const SurveyProgress& p : last_) {
        if (p.msLeft > left) {
            left = p.msLeft;
            percent = p.percent;
        }
    }
    return last_.isEmpty() ? 0 : percent;
}
