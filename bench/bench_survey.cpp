// What a bus survey costs: five DI/DO modules at one line setting, surveyed over all twelve
// line settings for their type, against its floor (per empty line setting the ID-00 probe's
// tries of 200 ms each; per populated line setting 94 absent IDs of 200 ms, and for each module
// found the 100 ms pause before its version query) and against the floor of a survey that asks
// all 99 IDs at every line setting. Then `apply` of a plan for ten fresh printer interfaces
// that all answer at ID 01, against the pauses and silences its exchanges prescribe.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>

#include "engine/commission.h"
#include "engine/modulecontext.h"
#include "engine/survey.h"
#include "link/linesettings.h"
#include "link/link.h"
#include "sim/virtualports.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    VirtualPorts ports;
    const int ids[] = {3, 17, 42, 64, 99};
    for (int id : ids) {
        SimModule s(ModuleType::RQ3016);
        s.id = id;
        s.serial = "160000" + std::to_string(id / 10) + std::to_string(id % 10);
        ports.addModule(1, s);
    }
    ModuleContext m(ports);
    SurveyPlan plan;
    plan.types = {ModuleType::RQ3016};
    QElapsedTimer t;
    t.start();
    const SurveyResult r = RunSurvey(m, plan);
    const double wall = t.elapsed() / 1000.0;

    const int lines = LineSettings::kListed;
    const int found = static_cast<int>(r.modules.size());
    const double silence = Link::kSilenceLimitMs / 1000.0;
    const double floor =
        (lines - 1) * plan.probeTries * silence + (99 - found) * silence + found * 0.100;
    const double naive = (lines - 1) * 99 * silence + (99 - found) * silence + found * 0.100;
    std::printf(
        "survey, 5 modules at one of %d line settings: %d found, %d collisions, %d line "
        "settings skipped\n",
        lines, found, static_cast<int>(r.collisions.size()), r.skipped);
    std::printf("  wall %.2f s, floor %.2f s, ratio %.3f (target <= 1.05)\n", wall, floor,
                wall / floor);
    std::printf("  against asking all 99 IDs at every line setting (its floor %.1f s): %.3f\n",
                naive, wall / naive);

    // Ten modules at ID 01, IDs 01..10 from a plan, surveyed at their line setting for IDs
    // 1..10. Floor: the survey's nine absent IDs (200 ms each); per row the 100 ms before Set
    // ID, then the identification and read-back at the new ID twice (100 ms before the version
    // query, 50 ms after it), once to take the module over and once to verify it.
    VirtualPorts bus;
    QString text = QStringLiteral("type,serial,id,line\n");
    for (int k = 0; k < 10; ++k) {
        SimModule s(ModuleType::RQ3020);
        s.serial = "200000" + std::to_string(10 + k);
        bus.addModule(1, s);
        text += QStringLiteral("RQ-3020,%1,%2,\n").arg(QString::fromStdString(s.serial)).arg(k + 1);
    }
    ModuleContext c(bus);
    QList<PlanRow> rows;
    QList<PlanProblem> problems;
    ParsePlan(text, rows, problems);
    SurveyPlan base;
    base.lines = {LineSettings::kDefaultIndex};
    for (int id = 1; id <= 10; ++id) base.ids << id;
    t.restart();
    const SurveyResult seen = RunSurvey(c, PlanSurvey(rows, base));
    QList<PlanItem> items;
    const bool checked = CheckPlan(rows, seen, items, problems);
    int done = 0;
    for (const PlanOutcome& o : RunPlan(c, 1, items, false)) done += o.outcome == "done" ? 1 : 0;
    const double applyWall = t.elapsed() / 1000.0;
    const double applyFloor = 9 * silence + 10 * (0.100 + 2 * 0.150);
    std::printf("apply, ten modules at ID 01 by serial number: %s, %d rows done\n",
                checked ? "plan checked" : "plan refused", done);
    std::printf("  wall %.2f s, pauses and silences %.2f s, ratio %.3f (target <= 1.1)\n",
                applyWall, applyFloor, applyWall / applyFloor);
    return found == 5 && done == 10 ? 0 : 1;
}
