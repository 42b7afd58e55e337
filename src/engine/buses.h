#pragma once
// Several buses worked at once: one worker thread per bus, each running its own event loop, with
// its port opener, module context and link made in that thread, so that serial ports and
// sockets live in the thread that uses them. Workers share nothing mutable: what they find
// reaches the thread that started them as queued calls (post), and only that thread prints or
// paints. A bus that fails or falls silent ends its own worker and leaves the others running.

#include <QList>
#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>

#include "engine/survey.h"
#include "link/openfailure.h"
#include "link/serialport.h"

class ModuleContext;
class QThread;

class BusRunner : public QObject {
    Q_OBJECT
  public:
    // Each runs in the bus's worker thread.
    using MakeOpener = std::function<std::unique_ptr<PortOpener>(int bus)>;
    using SetUpContext = std::function<void(ModuleContext& m, int bus)>;
    using Work = std::function<void(ModuleContext& m, int bus)>;

    BusRunner(int buses, MakeOpener makeOpener, QObject* parent = nullptr);
    // Waits for workers still running; call stop flags of the work first.
    ~BusRunner() override;

    // Runs right after a bus's context is made, before its work (a front end attaches its
    // recorders here).
    void setContextSetup(SetUpContext setup) { setup_ = std::move(setup); }

    // Runs `work` on every bus at once and returns; finished() follows when all have ended.
    void start(Work work);
    // start(), then the calling thread's event loop until every bus has ended.
    void run(Work work);
    bool running() const { return active_ > 0; }
    int buses() const { return buses_; }

    // From any thread: `f` runs in the runner's thread, after what was posted before it.
    void post(std::function<void()> f);

  signals:
    void busEnded(int bus);
    void finished();

  private:
    void ended(int bus);

    int buses_;
    MakeOpener makeOpener_;
    SetUpContext setup_;
    QList<QThread*> threads_;
    int active_ = 0;
};

// What a survey of several buses tells, in the runner's thread.
struct BusSurveyHooks {
    std::function<void(int bus, const SurveyProgress&)> progress;
    std::function<void(int bus, const SurveyModule&)> found;
    // A bus's survey has ended; `failure` says why its port did not open when it did not.
    std::function<void(int bus, const SurveyResult&, const OpenFailure& failure)> ended;
    // Set from the front end to stop every bus between two exchanges.
    const std::atomic<bool>* stop = nullptr;
};

// Surveys bus i with plans[i] (their portNo the number that bus's opener opens), all at once.
void StartBusSurvey(BusRunner& runner, const QList<SurveyPlan>& plans, const BusSurveyHooks& hooks);
// The same, running the calling thread's event loop until every bus has ended.
void RunBusSurvey(BusRunner& runner, const QList<SurveyPlan>& plans, const BusSurveyHooks& hooks);

// An opener that hands every open to another one it does not own: a bus's worker given a
// port opener that outlives it. The wait of the other opener stays its own.
class ForwardingOpener : public PortOpener {
  public:
    explicit ForwardingOpener(PortOpener& to) : to_(to) {}
    std::unique_ptr<SerialPort> open(int portNo, const QString& lineSetting) override;
    OpenFailure lastFailure() const override;

  private:
    PortOpener& to_;
};

// The time left of several surveys that run side by side: the longest, and the progress that
// goes with it.
struct BusesProgress {
    void update(int bus, const SurveyProgress& p);
    int msLeft() const;
    int percent() const;

  private:
    QList<SurveyProgress> last_;
};
