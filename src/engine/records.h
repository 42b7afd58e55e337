#pragma once
// What the engine tells its recorders once something has happened to a module: where it was
// met (a scan, a link, a survey), what a read-back found, what an operation asked for and came
// to, and how a row of a commissioning plan ended. Each record names its module and the place
// where it was met, so that a recorder needs nothing else to file it.

#include <QMap>
#include <QString>
#include <optional>

#include "engine/operation.h"
#include "link/moduletype.h"

class ModuleContext;
struct ModuleSettings;
struct PlanItem;
struct PlanOutcome;
struct SurveyModule;

struct ModulePlace {
    std::optional<ModuleType> type;
    QString serial;      // from the identification reply; empty when not known
    int id = -1;         // -1: not known
    int lineIndex = -1;  // -1: not known
    QString port;        // as the user named it: COM3, a device path, rfc2217://...
};

// What the context knows of its module's settings: what was last read or set, and what was
// set since the last read-back and so is not yet confirmed by one.
struct KnownSettings {
    QString serial;  // the module they belong to
    SettingValues values;
    SettingValues unverified;
    // Its type: a frame of another type goes to another module, whose serial is not known.
    std::optional<ModuleType> type;
};

enum class SightingKind { Scan, Link, Survey };

// A module answered its identification query.
struct Sighting {
    SightingKind how = SightingKind::Link;
    ModulePlace place;
    QString version;  // a survey asks for it; empty otherwise
};

// A read-back of a module: serial number, version and settings.
struct ReadRecord {
    ModulePlace place;
    QString version;
    QString ch2Serial;  // the Wiegand interfaces' second channel; empty otherwise
    SettingValues settings;
    // The values set since the previous read-back, which this one confirms or not.
    SettingValues wanted;
    Outcome outcome;  // rows 15 (found) and 16 (data error)
    // Null when nothing was waiting to be confirmed.
    std::optional<bool> verified() const;
};

// One run of the operation frame on a linked module.
struct OperationRecord {
    ModulePlace place;
    int nameRow = 0;  // the operation's name in the message table
    SettingValues before;
    SettingValues wanted;
    SettingValues after;  // the wanted values once the module has taken them; empty otherwise
    QString sent;         // a text the operation carries (a command, print data), if any
    Outcome outcome;
};

// Which plan a commissioning run carries out: its file's name and a hash of its content.
struct PlanSource {
    QString fileName;
    QString sha256;  // hexadecimal
};

// How one row of a plan ended.
struct PlanRowRecord {
    ModulePlace place;  // where the module is afterwards
    PlanSource plan;
    int row = 0;
    QString foundAt;
    QString before;
    QString after;
    QString outcome;
    bool verified = false;
    bool failed = false;
};

// A module that took the place of another (a broken one swapped for a new one of its type):
// the new one was given the old one's ID, line setting and type settings, and a read-back at
// that place confirmed them.
struct ReplacementRecord {
    ModulePlace replaced;     // the old module: its type, serial number and the place it had
    ModulePlace replacement;  // the new one, where it answers now
    SettingValues settings;   // the type settings it was given
    // The site the new module takes over from the old one; empty: the front end's current one.
    QString site;
};

// The module of the context as it stands: its type, the serial number of the module last read
// back or named by a plan's row (none when that was of another type), ID, line setting and
// port.
ModulePlace PlaceOf(const ModuleContext& m);
// The type's own settings of a read-back, with "ch2-id" and the like; no "id" and "line".
SettingValues SettingTexts(const ModuleSettings& settings);
// One setting of a plan's column by its number (see PlanSettingText).
SettingValues SettingText(const QString& name, int value);
// A plan's file name and the hash of its bytes.
PlanSource PlanSourceOf(const QString& fileName, const QByteArray& content);

// The operation frame's side: the known values of the settings an operation sets, then its
// record; a success makes the wanted values the known ones, until a read-back confirms them.
SettingValues KnownBefore(const ModuleContext& m, const SettingValues& wanted);
// `addressee`: the serial number that answered the operation's identification pre-query, if
// any; the record is filed under it, whatever module the context knew before.
void RecordOperation(ModuleContext& m, const Operation& op, const SettingValues& before,
                     const Outcome& outcome, const QString& addressee = QString());
// What a read-back tells the context's recorders, and what it tells the context: the values
// read become the known ones.
void RecordRead(ModuleContext& m, const QString& serial, int id, const QString& version,
                const ModuleSettings& settings, const Outcome& outcome);
// A module met by a scan or link (from the context's identification) or by a survey.
void RecordSighting(ModuleContext& m, SightingKind how);
void RecordSurveyed(ModuleContext& m, const SurveyModule& found);
// A row of a plan that has run (not a dry run).
void RecordPlanRow(ModuleContext& m, const PlanItem& item, const PlanOutcome& outcome);

// A point of a site checkout that passed or showed a fault (chattering, its module silent).
struct CheckoutRecord {
    ModulePlace place;
    QString point;  // "DI3", "CH1", "KEYS", "ANSWERS"
    QString label;
    QString state;  // "passed", "chattering", "module silent", "port failed"
    bool passed = false;
    QString detail;  // what was seen: "7 changes in 1 s", the card read
    // The state a point that did not pass ended the run in.
    bool ended = false;
};
