// Several buses at once, each in a worker thread with its own context on an in-process bus of
// simulated modules: one bus silent and one absent beside a bus that answers, and a plan cut off
// at every step (its port dying, or a stop) that the next run of the same plan still finishes.
// Runs under a QCoreApplication alone.
#include <QtTest>
#include <atomic>

#include "engine/buses.h"
#include "engine/commission.h"
#include "engine/modulecontext.h"
#include "sim/virtualports.h"

namespace {

// A port that goes dead once `frames` command frames have gone out through it: what follows is
// lost, the reply to the last one too, and the port no longer opens (a cable pulled, a laptop
// lid closed). A negative count never cuts.
class CutOff : public PortOpener {
  public:
    CutOff(PortOpener& to, int frames) : to_(to), left_(frames) {}
    std::unique_ptr<SerialPort> open(int portNo, const QString& lineSetting) override {
        if (dead()) return nullptr;
        std::unique_ptr<SerialPort> port = to_.open(portNo, lineSetting);
        if (!port) return nullptr;
        return std::make_unique<Port>(std::move(port), *this);
    }
    bool dead() const { return left_ == 0; }

  private:
    class Port : public SerialPort {
      public:
        Port(std::unique_ptr<SerialPort> p, CutOff& cut) : p_(std::move(p)), cut_(cut) {}
        int readByte() override { return cut_.dead() ? -1 : p_->readByte(); }
        int readByteWithin(int ms) override {
            if (!cut_.dead()) return p_->readByteWithin(ms);
            QThread::msleep(static_cast<unsigned long>(std::max(ms, 1)));
            return -1;
        }
        bool write(const uint8_t* bytes, int count) override {
            if (cut_.dead()) return false;
            const bool ok = p_->write(bytes, count);
            if (count > 0 && bytes[count - 1] == 0x0D && cut_.left_ > 0) --cut_.left_;
            return ok;
        }
        void purge() override { p_->purge(); }
        void close() override { p_->close(); }

      private:
        std::unique_ptr<SerialPort> p_;
        CutOff& cut_;
    };
    PortOpener& to_;
    int left_;
};

// Surveys the bus for the plan, checks it and runs it on the context's port.
QList<PlanOutcome> Apply(ModuleContext& m, const QString& planText, const SurveyPlan& base,
                         const std::function<bool()>& stop = {}) {
    QList<PlanRow> rows;
    QList<PlanProblem> problems;
    if (!ParsePlan(planText, rows, problems)) return {};
    const SurveyPlan plan = PlanSurvey(rows, base);
    const SurveyResult bus = RunSurvey(m, plan);
    QList<PlanItem> items;
    if (bus.portFailed || !CheckPlan(rows, bus, items, problems)) return {};
    CommissionHooks hooks;
    hooks.stop = stop;
    hooks.spareIds = SurveyIds(plan);
    return RunPlan(m, 1, items, false, hooks);
}

struct Wanted {
    const char* serial;
    int id;
    int line;
    char diMode;
};

// Two fresh modules at ID 01 (one moves, one stays), a swap of 03 and 04, a line change of
// the module that goes to 03 and a type setting: every kind of step a plan has.
const char kPlan[] =
    "type,serial,id,line,di-mode\n"
    "RQ-3016,16000011,2,,\n"
    "RQ-3016,16000012,1,,\n"
    "RQ-3016,16000003,4,,\n"
    "RQ-3016,16000004,3,\"9600,e,8,1\",normal\n";
const Wanted kWanted[] = {{"16000011", 2, 5, 'H'},
                          {"16000012", 1, 5, 'H'},
                          {"16000003", 4, 5, 'H'},
                          {"16000004", 3, 3, 'S'}};

void PlaceBus(VirtualPorts& ports) {
    for (const auto& [serial, id] : {std::pair{"16000011", 1}, std::pair{"16000012", 1},
                                     std::pair{"16000003", 3}, std::pair{"16000004", 4}}) {
        SimModule s(ModuleType::RQ3016);
        s.serial = serial;
        s.id = id;
        ports.addModule(1, s);
    }
}

// What differs between the bus and the plan, one text a module.
QStringList Differences(VirtualPorts& ports) {
    QStringList out;
    for (const Wanted& w : kWanted) {
        bool seen = false;
        for (int i = 0; i < 4; ++i) {
            const SimModule& s = ports.host(1).module(i);
            if (s.serial != w.serial) continue;
            seen = true;
            if (s.id != w.id || s.lineIndex != w.line || s.diMode != w.diMode)
                out << QStringLiteral("%1 at ID %2 line %3 mode %4")
                           .arg(w.serial)
                           .arg(s.id)
                           .arg(s.lineIndex)
                           .arg(QChar(s.diMode));
        }
        if (!seen) out << QStringLiteral("%1 missing").arg(w.serial);
    }
    return out;
}

}  // namespace

class TestEngineBuses : public QObject {
    Q_OBJECT

  private slots:
    void twoBusesOneSilent();
    void cutOffAnywhere();
};

void TestEngineBuses::twoBusesOneSilent() {
    // Bus 1 answers, bus 2 is a port that opens and stays silent, bus 3 does not open.
    VirtualPorts ports[3];
    SimModule a(ModuleType::RQ3016);
    a.serial = "16000002";
    a.id = 2;
    ports[0].addModule(1, a);
    ports[1].addSilentPort(1);
    BusRunner runner(3,
                     [&ports](int bus) { return std::make_unique<ForwardingOpener>(ports[bus]); });
    QList<QThread*> setUpIn;
    QList<int> setUpBus;
    runner.setContextSetup([&](ModuleContext& m, int bus) {
        // Runs in the worker, with the context and its link made there.
        QVERIFY(m.link.thread() == QThread::currentThread());
        QMetaObject::invokeMethod(&runner, [&, t = QThread::currentThread(), bus] {
            setUpIn << t;
            setUpBus << bus;
        });
    });
    SurveyPlan plan;
    plan.lines = {5};
    plan.types = {ModuleType::RQ3016};
    plan.ids = {1, 2, 3};
    QStringList found;
    QMap<int, SurveyResult> ended;
    QMap<int, OpenFailure> failures;
    BusSurveyHooks hooks;
    hooks.found = [&](int bus, const SurveyModule& s) {
        QVERIFY(QThread::currentThread() == thread());
        found << QStringLiteral("%1 %2").arg(bus).arg(s.serial);
    };
    hooks.ended = [&](int bus, const SurveyResult& r, const OpenFailure& f) {
        ended.insert(bus, r);
        failures.insert(bus, f);
    };
    QSignalSpy finished(&runner, &BusRunner::finished);
    StartBusSurvey(runner, {plan, plan, plan}, hooks);
    QVERIFY(finished.wait(10000));
    QCOMPARE(found, QStringList{"0 16000002"});
    QCOMPARE(ended.size(), 3);
    QCOMPARE(ended.value(0).modules.size(), 1);
    QVERIFY(!ended.value(1).portFailed);
    QCOMPARE(ended.value(1).skipped, 1);
    QVERIFY(ended.value(2).portFailed);
    QCOMPARE(failures.value(2).reason, OpenFailure::Reason::NotFound);
    QCOMPARE(setUpIn.size(), 3);
    QCOMPARE(QSet<QThread*>(setUpIn.begin(), setUpIn.end()).size(), 3);
    QVERIFY(!setUpIn.contains(thread()));
}

void TestEngineBuses::cutOffAnywhere() {
    // One table of cut-off points: after so many frames of the run the port dies, or a stop
    // comes after so many rows have ended. Every case is a bus of its own, all run at once.
    struct Cut {
        int frames;  // -1: no cut of the port
        int stopAfterRows;
    };
    QList<Cut> cuts;
    for (int frames = 1; frames <= 40; ++frames) cuts.append({frames, -1});
    for (int rows = 0; rows <= 2; ++rows) cuts.append({-1, rows});
    std::vector<VirtualPorts> buses(static_cast<size_t>(cuts.size()));
    for (VirtualPorts& b : buses) PlaceBus(b);
    SurveyPlan base;
    base.lines = {5};
    base.ids = {1, 2, 3, 4, 5};
    QList<QStringList> firstRun(cuts.size());
    QList<QStringList> secondRun(cuts.size());
    QList<bool> cutHappened(cuts.size(), false);

    BusRunner runner(static_cast<int>(cuts.size()), [&](int bus) {
        return std::make_unique<ForwardingOpener>(buses[static_cast<size_t>(bus)]);
    });
    runner.run([&](ModuleContext&, int bus) {
        const Cut cut = cuts.at(bus);
        VirtualPorts& ports = buses[static_cast<size_t>(bus)];
        QStringList first, second;
        bool happened = false;
        {
            // The survey goes out whole; the cut counts from the first frame of the run.
            int rowsDone = 0;
            ModuleContext m(ports);
            QList<PlanRow> rows;
            QList<PlanProblem> problems;
            ParsePlan(kPlan, rows, problems);
            const SurveyPlan plan = PlanSurvey(rows, base);
            const SurveyResult seen = RunSurvey(m, plan);
            QList<PlanItem> items;
            if (CheckPlan(rows, seen, items, problems)) {
                CutOff dyingPort(ports, cut.frames);
                ModuleContext run(cut.frames >= 0 ? static_cast<PortOpener&>(dyingPort) : ports);
                CommissionHooks hooks;
                hooks.spareIds = SurveyIds(plan);
                hooks.done = [&](const PlanOutcome&) { ++rowsDone; };
                hooks.stop = [&] {
                    return cut.stopAfterRows >= 0 && rowsDone >= cut.stopAfterRows;
                };
                for (const PlanOutcome& o : RunPlan(run, 1, items, false, hooks))
                    first << o.outcome;
                happened = dyingPort.dead() || first.join(' ').contains("not run");
            } else {
                for (const PlanProblem& p : problems) first << p.describe();
            }
        }
        // The same plan again, with the same options, on the bus as the cut left it.
        ModuleContext again(ports);
        for (const PlanOutcome& o : Apply(again, kPlan, base)) second << o.outcome;
        QMetaObject::invokeMethod(&runner, [&, bus, first, second, happened] {
            firstRun[bus] = first;
            secondRun[bus] = second;
            cutHappened[bus] = happened;
        });
    });
    int cutShort = 0;
    for (int i = 0; i < cuts.size(); ++i) {
        const QString where =
            cuts.at(i).frames >= 0
                ? QStringLiteral("cut after %1 frames").arg(cuts.at(i).frames)
                : QStringLiteral("stop after %1 rows").arg(cuts.at(i).stopAfterRows);
        const QString seen =
            where + ": " + firstRun.at(i).join(", ") + " | then " + secondRun.at(i).join(", ");
        // A count beyond the run's own frames lets it finish.
        if (cutHappened.at(i))
            ++cutShort;
        else
            QVERIFY2(firstRun.at(i).count("done") + firstRun.at(i).count("unchanged") == 4,
                     qPrintable(seen));
        QCOMPARE(secondRun.at(i).size(), 4);
        for (const QString& o : secondRun.at(i))
            QVERIFY2(o == "done" || o == "unchanged", qPrintable(seen));
        QVERIFY2(Differences(buses[static_cast<size_t>(i)]).isEmpty(),
                 qPrintable(seen + " | " + Differences(buses[static_cast<size_t>(i)]).join("; ")));
    }
    // Every frame of the run (a little over thirty) and every stop between rows was a cut.
    QVERIFY(cutShort >= 30);
}

QTEST_GUILESS_MAIN(TestEngineBuses)
#include "test_engine_buses.moc"
