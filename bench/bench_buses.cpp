// Several buses at once, each a worker thread with its own context on a simulated bus of its
// own: a survey of 4 buses together against the slowest of them alone, apply of a plan for
// 4 x 10 modules together against the slowest bus alone, the CPU that 8 buses surveyed together
// take, and what a re-run after a cut-off run costs over a run that was not cut off, in
// surveys. With --baseline-cli and --cli (two quillon-cli programs) and --sim, also the survey of
// 4 buses on pseudo-terminals by each program: the baseline one port after another (it takes
// one), this one all at once.
#include <sys/resource.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <vector>

#include "engine/buses.h"
#include "engine/commission.h"
#include "engine/modulecontext.h"
#include "sim/virtualports.h"

namespace {

constexpr int kModules = 10;

// Ten DI/DO modules at IDs 1..10 of one line setting.
std::unique_ptr<VirtualPorts> MakeBus(int bus) {
    auto ports = std::make_unique<VirtualPorts>();
    for (int k = 1; k <= kModules; ++k) {
        SimModule s(ModuleType::RQ3016);
        s.id = k;
        s.serial = QStringLiteral("16%1%2")
                       .arg(bus, 2, 10, QChar('0'))
                       .arg(k, 4, 10, QChar('0'))
                       .toStdString();
        ports->addModule(1, s);
    }
    return ports;
}

// Every module 20 IDs up and to hold mode normal.
QString Plan(int bus) {
    QString text = QStringLiteral("type,serial,id,line,di-mode\n");
    for (int k = 1; k <= kModules; ++k)
        text += QStringLiteral("RQ-3016,16%1%2,%3,,normal\n")
                    .arg(bus, 2, 10, QChar('0'))
                    .arg(k, 4, 10, QChar('0'))
                    .arg(k + 20);
    return text;
}

SurveyPlan Survey() {
    SurveyPlan plan;
    plan.lines = {5};
    plan.types = {ModuleType::RQ3016};
    for (int id = 1; id <= 12; ++id) plan.ids << id;
    return plan;
}

void ApplyOn(ModuleContext& m, const QString& text, int cutAfterRows = -1) {
    QList<PlanRow> rows;
    QList<PlanProblem> problems;
    ParsePlan(text, rows, problems);
    const SurveyPlan plan = PlanSurvey(rows, Survey());
    const SurveyResult bus = RunSurvey(m, plan);
    QList<PlanItem> items;
    if (!CheckPlan(rows, bus, items, problems)) {
        std::fprintf(stderr, "plan refused: %s\n", qPrintable(problems.value(0).describe()));
        return;
    }
    int done = 0;
    CommissionHooks hooks;
    hooks.spareIds = SurveyIds(plan);
    hooks.done = [&done](const PlanOutcome&) { ++done; };
    hooks.stop = [&] { return cutAfterRows >= 0 && done >= cutAfterRows; };
    RunPlan(m, 1, items, false, hooks);
}

// Runs `work` on the given buses at once; returns the wall time in seconds.
double Together(std::vector<std::unique_ptr<VirtualPorts>>& buses, const BusRunner::Work& work) {
    BusRunner runner(static_cast<int>(buses.size()), [&buses](int b) {
        return std::make_unique<ForwardingOpener>(*buses.at(size_t(b)));
    });
    QElapsedTimer t;
    t.start();
    runner.run(work);
    return t.elapsed() / 1000.0;
}

double Cpu() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void Ratio(const char* what, int n, const BusRunner::Work& work) {
    std::vector<std::unique_ptr<VirtualPorts>> buses;
    for (int b = 0; b < n; ++b) buses.push_back(MakeBus(b));
    double slowest = 0;
    for (int b = 0; b < n; ++b) {
        std::vector<std::unique_ptr<VirtualPorts>> one;
        one.push_back(MakeBus(b));
        // Each bus alone, under its own index so that it gets its own plan.
        const double alone = Together(one, [&work, b](ModuleContext& m, int) { work(m, b); });
        slowest = std::max(slowest, alone);
    }
    const double together = Together(buses, work);
    std::printf(
        "%s: %d buses at once %.2f s, the slowest alone %.2f s, ratio %.3f (target <= 1.10)\n",
        what, n, together, slowest, together / slowest);
}

// Seconds that `program args` takes.
double Timed(const QString& program, const QStringList& args) {
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    p.waitForFinished(600000);
    return t.elapsed() / 1000.0;
}

void CommandLines(const QString& baseline, const QString& ours, const QString& sim) {
    std::vector<std::unique_ptr<QProcess>> sims;
    QStringList ptys;
    for (int b = 0; b < 4; ++b) {
        auto p = std::make_unique<QProcess>();
        QStringList args{"--quiet"};
        for (int k = 1; k <= 5; ++k)
            args << "--module"
                 << QStringLiteral("RQ-3016:%1:16%2%3")
                        .arg(k)
                        .arg(b, 2, 10, QChar('0'))
                        .arg(k, 4, 10, QChar('0'));
        p->start(sim, args);
        p->waitForReadyRead(5000);
        ptys << QString::fromLatin1(p->readLine().trimmed().mid(5));
        sims.push_back(std::move(p));
    }
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    const QStringList common = {"survey", "--ids", "1-12", "--line", "5", "--type", "RQ-3016"};
    double one = 0;
    for (const QString& pty : ptys) one += Timed(baseline, common + QStringList{"--port", pty});
    QStringList all = common;
    for (const QString& pty : ptys) all << "--port" << pty;
    const double together = Timed(ours, all);
    std::printf(
        "survey of 4 buses of 5 modules on pseudo-terminals: baseline one after another "
        "%.2f s, this build all at once %.2f s, ratio %.3f\n",
        one, together, together / one);
    for (auto& p : sims) p->kill(), p->waitForFinished(2000);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    auto option = [&args](const char* name) {
        const int i = args.indexOf(QString::fromLatin1(name));
        return i >= 0 ? args.value(i + 1) : QString();
    };

    Ratio("survey", 4, [](ModuleContext& m, int) { RunSurvey(m, Survey()); });
    Ratio("apply of 10 modules a bus", 4, [](ModuleContext& m, int bus) { ApplyOn(m, Plan(bus)); });

    {
        std::vector<std::unique_ptr<VirtualPorts>> buses;
        for (int b = 0; b < 8; ++b) buses.push_back(MakeBus(b));
        const double cpu = Cpu();
        const double wall = Together(buses, [](ModuleContext& m, int) { RunSurvey(m, Survey()); });
        const double used = Cpu() - cpu;
        std::printf(
            "CPU of 8 buses surveyed at once: %.2f s in %.2f s, %.1f%% of a core (target < 10%%)\n",
            used, wall, 100 * used / wall);
    }

    {
        // A run cut off after half its rows, then the same plan again, against one run whole.
        std::vector<std::unique_ptr<VirtualPorts>> whole, cut, surveyOnly;
        whole.push_back(MakeBus(0));
        cut.push_back(MakeBus(0));
        surveyOnly.push_back(MakeBus(0));
        const QString plan = Plan(0);
        const double full = Together(whole, [&plan](ModuleContext& m, int) { ApplyOn(m, plan); });
        const double first =
            Together(cut, [&plan](ModuleContext& m, int) { ApplyOn(m, plan, kModules / 2); });
        const double rerun = Together(cut, [&plan](ModuleContext& m, int) { ApplyOn(m, plan); });
        QList<PlanRow> rows;
        QList<PlanProblem> problems;
        ParsePlan(plan, rows, problems);
        const SurveyPlan sp = PlanSurvey(rows, Survey());
        const double survey =
            Together(surveyOnly, [&sp](ModuleContext& m, int) { RunSurvey(m, sp); });
        std::printf(
            "re-run after a cut-off: cut run %.2f s + re-run %.2f s against a whole run "
            "%.2f s: %.2f surveys (of %.2f s) more (target <= 1)\n",
            first, rerun, full, (first + rerun - full) / survey, survey);
    }

    const QString baseline = option("--baseline-cli");
    const QString ours = option("--cli");
    const QString sim = option("--sim");
    if (!baseline.isEmpty() && !ours.isEmpty() && !sim.isEmpty()) CommandLines(baseline, ours, sim);
    return 0;
}
