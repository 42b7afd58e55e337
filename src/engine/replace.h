#pragma once
// Replacing a module: a broken module has been taken off the bus and a new one of its type put
// in its place, and the new one takes the old one's ID, line setting and type settings. A
// survey finds the new module (by default it asks ID 01, where a new module answers, and the
// old ID, at 19200,e,8,1 and the old line setting); the settings go out as a plan of one row
// by serial number, in the order that lets a run cut off at any moment be finished by the next
// run, and a read-back at the old place verifies them. Refused, with nothing sent but the
// survey's queries, when the old module still answers, when no new module or more than one
// answers, or when another module holds the old ID.

#include <QSet>
#include <QString>
#include <functional>

#include "engine/commission.h"
#include "engine/operation.h"
#include "engine/survey.h"

class ModuleContext;

struct ReplaceRequest {
    ModuleType type = ModuleType::RQ3016;
    QString oldSerial;
    int id = 1;         // the old module's ID
    int lineIndex = 5;  // and line setting
    // Its type settings, by the names and texts of a plan ("di-mode" = "hold").
    SettingValues settings;
    // The new module's serial number; empty: the one new module that answers.
    QString newSerial;
    // Modules that were in service beside the old one: never taken for the new one.
    QSet<QString> inService;
    // The port, and the line settings and IDs asked; empty lists take the defaults above. The
    // old ID and line setting are always asked.
    SurveyPlan survey;
    // Carried into the record: the site the new module takes over.
    QString site;
};

enum class ReplaceEnd { Done, Refused, Failed, PortFailed, Stopped };

struct ReplaceResult {
    ReplaceEnd end = ReplaceEnd::Refused;
    QString text;  // in English: why it was refused, or how it ended
    QString newSerial;
    // Where the new module was found.
    int foundId = 0;
    int foundLine = 0;
    PlanOutcome outcome;
};

struct ReplaceHooks {
    // Asked between the survey's exchanges and before the row starts: true stops there.
    std::function<bool()> stop;
    std::function<void(const SurveyProgress&)> progress;
    // Each command as it is about to be sent.
    std::function<void(const QString& command)> command;
};

// The plan of one row that puts the module with `newSerial` where the request's old module was.
QString ReplacementPlan(const ReplaceRequest& request, const QString& newSerial);

// Runs the replacement on the context's link; when it is done the context's recorders hear
// moduleReplaced.
ReplaceResult ReplaceModule(ModuleContext& m, const ReplaceRequest& request,
                            const ReplaceHooks& hooks = {});
