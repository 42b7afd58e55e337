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
    // The bus the row belongs to, as the ports were given; empty: whichever holds the serial.
    QString port;
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
    // Where CH #2 of a Wiegand module answers now; 0 when not known.
    int ch2Id = 0;
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
    QString outcome;  // "unchanged", "done", "failed: ...", "not run: stopped"
    bool failed() const { return outcome.startsWith(QLatin1String("failed")); }
    bool notRun() const { return outcome.startsWith(QLatin1String("not run")); }
};

struct CommissionHooks {
    // Each command as it is about to be sent, or (dry run) instead of sending it.
    std::function<void(const PlanItem&, const QString& command)> command;
    std::function<void(const PlanOutcome&)> done;
    // Asked before each row starts: true stops the run there. A row under way runs to its end,
    // and a module that stepped aside to a spare ID for a swap reaches its planned ID first;
    // the rows left end as "not run".
    std::function<bool()> stop;
    // The IDs the survey asked, highest first taken as spares; empty: 1..99.
    QList<int> spareIds;
};

// Runs the checked items on the context's port in a safe order; with `dryRun` only tells the
// commands. The outcomes come in the plan's row order (`done` hears each as it ends).
//
// The order keeps every module findable by a survey of the same bus should the run be cut off
// at any moment: a row sends its type settings first, then its new ID (by serial number), then
// its new line setting, each step checked by the module's answer at its present place; a module
// whose new ID is held by another that moves as well first steps aside to the highest free ID
// the survey asked. A module is therefore always at its old or new ID, at a spare ID, or at its
// new ID and old line setting.
QList<PlanOutcome> RunPlan(ModuleContext& m, int portNo, QList<PlanItem> items, bool dryRun,
                           const CommissionHooks& hooks = {});

// A plan that puts the modules a survey found (with their settings read back) where they are:
// type, serial number, ID, line setting and every setting of its type that was read; CH #2
// entries go into their module's ch2-id. With `ports` (the port of each module, in order) the
// plan carries the column port. Applied to the same bus it changes nothing.
QString WritePlan(const QList<SurveyModule>& modules, const QStringList& ports = {});
// A cell of a comma-separated file, quoted when it holds a comma or a quote.
QString CsvCell(const QString& text);
