// What a bus survey costs: five DI/DO modules at one line setting, surveyed over all twelve
// line settings for their type, against its floor (per empty line setting the ID-00 probe's
// tries of 200 ms each; per populated line setting 94 absent IDs of 200 ms, and for each module
// found the 100 ms pause before its version query) and against the floor of a survey that asks
// all 99 IDs at every line setting.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>

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
    return found == 5 ? 0 : 1;
}
