#pragma once
// One entry of a module's history as the register keeps it: the event (what, when, where,
// from which front end, with its values and outcome), what it tells of the module, and for a
// live test its run with the changes per input or the cards read.

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUuid>
#include <array>
#include <optional>

#include "engine/operation.h"
#include "engine/testsummary.h"

// Which front end an event came from.
enum class RecordSource { Window, Cli, Survey, Apply, Checkout };
// "window", "cli", "survey", "apply", "checkout".
QString SourceName(RecordSource source);

// What an event says of its module; an empty text or -1 says nothing of that field.
struct RegisterModuleFacts {
    QString type;  // "RQ-3016"
    QString serial;
    QString port;  // as the user named it
    int id = -1;
    QString line;  // "19200,e,8,1"
    QString version;
    QString ch2Serial;
    // Type settings that replace the known ones of the same names.
    SettingValues settings;
};

struct RegisterTestRun {
    QString test;    // "dido-test", "card-test", "dido-check"
    QString ending;  // "stopped", "module-lost", "port-not-opened"
    QDateTime started;
    QDateTime ended;
    int cycles = 0;
    int failures = 0;
    QString verdict;  // "passed", "failed", "no card read", "not run"
    // Changes seen on inputs 1..16 (the DI/DO test and check).
    std::optional<std::array<int, 16>> inputChanges;
    // The check's verdict per input ("ok", "stuck-off", ...) and the output a crossed one
    // followed (0: none).
    std::optional<std::array<QString, 16>> verdicts;
    std::optional<std::array<int, 16>> follows;
    QList<CardRead> cards;
};

struct RegisterEntry {
    QUuid uuid;      // unique across machines: merging keeps one of each
    QDateTime time;  // UTC
    QString source;  // SourceName
    // "scan", "link", "survey", "read", "operation", "apply", "test", "checkout" (a point of a
    // site checkout: its name the operation, its label the detail); "replaced-by" and
    // "replaces" tie two modules together.
    QString kind;
    QString operation;  // in English: "Set DI mode", "Read card test", "apply row 3"
    QString site;
    RegisterModuleFacts module;
    std::optional<SettingValues> before;
    std::optional<SettingValues> wanted;
    std::optional<SettingValues> after;
    QString detail;      // a text the operation sent, where it had one
    int outcomeRow = 0;  // the message-table row; 0 for none
    QString outcome;     // in English
    std::optional<bool> ok;
    std::optional<bool> verified;  // null: nothing to verify
    QString planName;
    QString planHash;
    // The other module of a replacement (its type and serial number).
    QString relatedType;
    QString relatedSerial;
    std::optional<RegisterTestRun> test;
    // The role that recorded it, as the team's server says once it has the event; "local"
    // before (set by readers).
    QString recordedBy;
    // For an event fetched from the team's server: its number there (0: not fetched). Such an
    // event is filed as sent, with `recordedBy` as its recorder.
    qint64 serverSeq = 0;
};

// What a test summary came to: "passed", "failed", "no card read" or "not run".
QString TestVerdict(const TestSummary& summary);
// The register's names of a test and of its ending.
QString TestName(LiveTest test);
QString EndingName(ContinuousEnd end);
QString ChannelVerdictName(ChannelVerdict verdict);

// A set of values as the register stores them (a JSON object), and back.
QString ValuesJson(const SettingValues& values);
SettingValues ValuesOfJson(const QString& json);
// "name=value; name=value", as a history shows them.
QString ValuesText(const SettingValues& values);
