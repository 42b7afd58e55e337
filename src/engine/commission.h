#pragma once
// Batch commissioning from a plan: each row names a module by type and serial number and gives
// its new ID, line setting and type settings. The plan is read and checked as a whole against
// a survey of the bus before anything is sent; then the rows run in an order in which no two
// modules share an ID at any moment, each verified by a read-back at its new place.

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "engine/survey.h"
#include "link/moduletype.h"

class ModuleContext;

struct PlanRow {
    int row = 0;  // the line of the file (the header is line 1)
    ModuleType type = ModuleType::RQ3016;
    QString serial;
    std::optional<int> id;         // empty cell: the ID stays
    std::optional<int> lineIndex;  // empty cell: the line setting stays
    // Type settings by column name, each as a number (see PlanSettingText).
    QMap<QString, int> settings;
};

// What is wrong with a plan: the file's line and the column (empty for the whole row).
struct PlanProblem {
    int row = 0;
    QString column;
    QString text;
    QString describe() const;  // "row 3, column id: ..."
};

// The type-setting columns a plan may carry, after type,serial,id,line.
QStringList PlanSettingNames();
// A setting's value as the plan and the report write it ("hold", "RS485 32", "9600,e,8,1").
QString PlanSettingText(const QString& name, int value);
// A column's value in a read-back, as a number; nothing when the read-back has none.
std::optional<int> PlanSettingValue(const QString& name, const ModuleSettings& settings);

// Reads a plan (comma-separated, a header line first, blank lines and "#" lines skipped).
// False with the problems when any row or the header does not parse.
bool ParsePlan(const QString& text, QList<PlanRow>& rows, QList<PlanProblem>& problems);

// The survey a plan needs: its types, with the settings read back.
SurveyPlan PlanSurvey(const QList<PlanRow>& rows, const SurveyPlan& base);

// One row as the check placed it.
struct PlanItem {
    PlanRow row;
    // Found alone by the survey; otherwise the module is taken to be among those that answer
    // together at `id` (the shared-ID path: Set ID by serial number without the pre-query).
    bool shared = false;
    int id = 0;
    int lineIndex = 0;
    // What the survey found (on the shared path only the type and the place).
    SurveyModule found;
    int targetId = 0;
    int targetLine = 0;
    // The settings that differ from the read-back (all given ones on the shared path).
    QMap<QString, int> changes;
    bool unchanged() const {
        return !shared && changes.isEmpty() && targetId == id && targetLine == lineIndex;
    }
};

// Places every row on the surveyed bus; false with the problems (nothing may be sent) for a
// serial number not found, one given twice, or two modules that would share an ID.
bool CheckPlan(const QList<PlanRow>& rows, const SurveyResult& bus, QList<PlanItem>& items,
               QList<PlanProblem>& problems);

// One row's end.
struct PlanOutcome {
    int row = 0;
    QString foundAt;  // "ID 03 at 19200,e,8,1"
    QString before;   // "id=03 line=19200,e,8,1 di-mode=hold"
    QString after;
    bool verified = false;
    QString outcome;  // "unchanged", "done", "failed: ..."
    bool failed() const { return outcome.startsWith(QLatin1String("failed")); }
};

struct CommissionHooks {
    // Each command as it is about to be sent, or (dry run) instead of sending it.
    std::function<void(const PlanItem&, const QString& command)> command;
    std::function<void(const PlanOutcome&)> done;
};

// Runs the checked items on the context's port in a safe order; with `dryRun` only tells the
// commands. The outcomes come in the plan's row order.
QList<PlanOutcome> RunPlan(ModuleContext& m, int portNo, QList<PlanItem> items, bool dryRun,
                           const CommissionHooks& hooks = {});
