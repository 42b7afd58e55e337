#pragma once
// The bus survey: every module on one port, over the chosen line settings and types. First an
// identification query to ID 00 goes out at every line setting and type; where not a byte
// answers it, no module of that type listens there and its IDs are skipped. Then each ID of the
// pairs that answered is asked with the identification query (again while bytes arrive that do
// not verify): a verified reply is a module, bytes that never verify are a collision (two
// modules share the ID, or the line is noisy). Asking the probes first lets the time left be
// known once they are done. CH #2 of a Wiegand module answers at its own ID as well: it is
// listed as CH #2 of its module's serial number.

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>

#include "engine/modulesettings.h"
#include "link/moduletype.h"

class ModuleContext;

struct SurveyPlan {
    int portNo = 1;
    // Line-setting indexes in the order asked; empty: all twelve of the scan.
    QList<int> lines;
    // Types in the order asked; empty: all six.
    QList<ModuleType> types;
    // IDs 1..99 in the order asked; empty: 1 to 99.
    QList<int> ids;
    // Reads each module found back with its type's settings; otherwise only its version.
    bool readSettings = false;
    // Identification queries to ID 00 before a line setting and type count as empty.
    int probeTries = 2;
    // Queries to one ID while bytes arrive that do not verify.
    int collisionTries = 3;
};

struct SurveyModule {
    ModuleType type = ModuleType::RQ3016;
    int id = 0;
    int lineIndex = 0;
    // Every line setting it answered at, lineIndex first: more than one only on a line that
    // does not carry parity (a pseudo-terminal), where 9600,n and 9600,e reach it alike.
    QList<int> lineIndexes;
    QString serial;
    QString version;  // empty when the version query was not answered
    bool settingsRead = false;
    // A Wiegand module's settings hold its CH #2 ID and serial number (asked even without
    // the read-back).
    ModuleSettings settings;
    // Set when this is CH #2 of a Wiegand module: that module's serial number.
    QString ch2Of;
    bool isCh2() const { return !ch2Of.isEmpty(); }
};

// An ID where bytes arrived but never a verified identification reply.
struct SurveyCollision {
    ModuleType type = ModuleType::RQ3016;
    int id = 0;
    int lineIndex = 0;
};

struct SurveyProgress {
    int lineIndex = 0;
    ModuleType type = ModuleType::RQ3016;
    int id = 0;  // 0: the probe to ID 00
    // Steps (probes and IDs) done, out of all that the survey is known to take so far.
    int done = 0;
    int total = 0;
    // The time left (see SurveyEstimate) and the progress by time, 0..100.
    int msLeft = 0;
    int percent = 0;
    // Still asking ID 00 at every line setting and type.
    bool probing = false;
};

struct SurveyResult {
    QList<SurveyModule> modules;
    QList<SurveyCollision> collisions;
    // Line setting and type pairs whose probe drew no byte.
    int skipped = 0;
    bool stopped = false;
    bool portFailed = false;  // the port would not open: the survey ended there
};

struct SurveyHooks {
    // After the probe and after each ID.
    std::function<void(const SurveyProgress&)> progress;
    // Asked before each exchange; true ends the survey, keeping what was found.
    std::function<bool()> stop;
    // Each module as soon as it is found (after its read-back, if asked).
    std::function<void(const SurveyModule&)> found;
};

// Runs the plan on the context's link. The context's place, type and ID are the survey's
// afterwards and Linked is 0.
SurveyResult RunSurvey(ModuleContext& m, const SurveyPlan& plan, const SurveyHooks& hooks = {});

// The plan's lists with their defaults filled in.
QList<int> SurveyLines(const SurveyPlan& plan);
QList<ModuleType> SurveyTypes(const SurveyPlan& plan);
QList<int> SurveyIds(const SurveyPlan& plan);
