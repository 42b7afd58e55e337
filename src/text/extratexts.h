#pragma once
// Texts of the window's additions beside the message table (the traffic log and the reasons a
// port does not open), in the table's three languages. The message table keeps its rows.

#include <QString>

struct OpenFailure;

namespace ExtraTexts {

enum Row {
    kTrafficLogMenu,    // "&Traffic log"
    kTrafficLogTitle,   // "Traffic log"
    kPause,             // "Pause"
    kClear,             // "Clear"
    kSave,              // "Save..."
    kSaved,             // "%1 lines saved to %2"
    kSaveFailed,        // "Cannot save %1: %2"
    kNoDevice,          // "no device for this port number"
    kNotFound,          // "device not found"
    kPermissionDenied,  // "permission denied"
    kPermissionGroup,   // "permission denied: add your user to the group %1, then log in again"
    kInUse,             // "in use by another program"

    // Ports on serial device servers.
    kBadName,             // "not a network port name: %1"
    kHostNotFound,        // "host not found"
    kConnectionRefused,   // "connection refused"
    kNoAnswer,            // "no answer within %1 s"
    kComPortRefused,      // "the server refused serial port control (COM-PORT option)"
    kLineSettingRefused,  // "the line setting cannot be set: %1"
    kConnectionClosed,    // "the server closed the connection"

    // The bus survey window.
    kSurveyMenu,         // "&Bus survey..."
    kSurveyTitle,        // "Bus survey"
    kSurveyPort,         // "Port"
    kSurveyLine,         // "Line setting"
    kSurveyAllLines,     // "All line settings"
    kSurveyType,         // "Type"
    kSurveyCurrentType,  // "Current type (%1)"
    kSurveyAllTypes,     // "All types"
    kSurveyStart,        // "Start"
    kSurveyStop,         // "Stop"
    kSurveyAsking,       // "%1 %2, ID %3: about %4 s left"
    kSurveyDone,         // "%1 module(s) found"
    kSurveyStopped,      // "Stopped: %1 module(s) found so far"
    kSurveyCollision,    // "%1 ID %2 at %3: two modules share the ID, or the line is noisy"
    kSurveySharedId,     // "%1 ID %2 at %3: several modules answer ... name them in a plan"
    kSurveyBusy,         // "An operation or a test is running"
    kSurveyNoPort,       // "%1 does not open: %2"
    kSurveyColumns,      // "Type|ID|Line setting|Serial number|Version"
    kSurveyHint,         // "Double-click a module to link to it"

    // Several buses, plans and ports that take time to open.
    kCancelled,        // "cancelled"
    kConnecting,       // "connecting to %1..."
    kSurveyAllPorts,   // "All mapped ports"
    kSurveyRead,       // "Read each module's settings"
    kSurveySavePlan,   // "Save as plan..."
    kSurveyPlanSaved,  // "Plan of %1 module(s) saved to %2"
    kSurveyProbing,    // "Asking ID 00 at every line setting and type: at most %1 s left"
    kSurveyBuses,      // "%1 buses: about %2 s left"
    kSurveyCh2,        // "CH #2 of %1"
    kSurveyNoPorts,    // "Choose at least one port"
    kSurveyIds,        // "IDs"
    kSurveyBadIds,     // "IDs: N or A-B within 1..99"
    // The live tests: the DI timeline, the card log and the I/O check.
    kTimelineButton,     // "Timeline..."
    kTimelineTitle,      // "DI timeline"
    kTimelineSpans,      // "10 s|60 s|10 min"
    kTimelineOutputs,    // "DO lanes"
    kResume,             // "Resume"
    kChatterLimit,       // "Chattering above"
    kChatterUnit,        // " changes/s"
    kChattering,         // "chattering: %1 changes in 1 s"
    kLaneChanges,        // "%1: %2 changes since the test started"
    kSaveFilters,        // "Changes as CSV (*.csv);;Picture (*.png)"
    kSavedTo,            // "Saved to %1"
    kTimelineIdle,       // "The DI/DO test records the inputs here while it runs"
    kTestEnded,          // "Test ended after %1 s: %2 exchanges, %3 without a reply"
    kCardLogButton,      // "Log..."
    kCardLogTitle,       // "Card log"
    kCardLogColumns,     // "Time|Channel|Card (decimal)|Card (hex)|Key"
    kCardLogCounts,      // "CH #1: %1   CH #2: %2"
    kCardLogFilters,     // "CSV (*.csv)"
    kCheckButton,        // "Check I/O"
    kCheckTitle,         // "I/O check"
    kCheckHint,          // "Wire each output DO k to its input DI k, ..."
    kCheckColumns,       // "Input|Verdict|Seen"
    kCheckSeenTip,       // "The input at each step: all outputs off, DO1 ... DO16 alone, all on"
    kCheckStep,          // "Step %1 of %2"
    kVerdictOk,          // "ok"
    kVerdictStuckOff,    // "stuck off"
    kVerdictStuckOn,     // "stuck on"
    kVerdictCrossed,     // "crossed: follows DO%1"
    kVerdictChattering,  // "chattering"
    kVerdictNotChecked,  // "not checked"
    kCheckPassed,        // "I/O check ok: all 16 inputs follow their outputs"
    kCheckFailed,        // "I/O check: %1 of 16 inputs failed"
    kCheckCancelled,     // "I/O check cancelled: %1 input(s) not checked"
    kCheckNotChecked,    // "%1 input(s) not checked"
    kOutputsMayBeOn,     // "The outputs may still be on: the module did not confirm them off"
    // The site register and its window.
    kRegisterMenu,            // "&Register..."
    kRegisterTitle,           // "Site register"
    kRegisterSite,            // "Site"
    kRegisterFilter,          // "Filter"
    kRegisterFilterHint,      // "serial, type, site or any text; site:NAME ..."
    kRegisterExport,          // "Export"
    kRegisterExportModules,   // "Modules as CSV..."
    kRegisterExportHistory,   // "History of the module as CSV..."
    kRegisterColumns,         // "Type|Serial number|Version|ID|Line setting|Port|Site|..."
    kRegisterHistoryColumns,  // "Time|Source|Operation|Before|Wanted|After|Outcome|..."
    kRegisterCount,           // "%1 of %2 modules"
    kRegisterSaved,           // "%1 rows saved to %2"
    kRegisterOff,             // "The site register is off: %1. ..."
    kRegisterNone,            // "No register (--no-register)"
    kRegisterYes,             // "yes"
    kRegisterNo,              // "no"
    kRegisterNotDatabase,     // "%1 is not a register database; it is left as it is"
    kRegisterNotRegister,     // "%1 is a database of another program; it is left as it is"
    kRegisterNewer,           // "%1 is a register of a newer version of Quillon"
    kRegisterReadOnly,        // "%1 is read-only"
    kRegisterNoFolder,        // "the folder of %1 is missing and cannot be made"
    kRegisterFolder,          // "the folder of %1 cannot be written"
    kRegisterDiskFull,        // "the disk that holds %1 is full"
    kRegisterLocked,          // "%1 stays locked by another program"
    // The commissioning report and replacing a module.
    kRegisterReport,      // "Report..."
    kRegisterReplace,     // "Replace..."
    kReportTitle,         // "Commissioning report"
    kReportFacts,         // "Site|Covers|Dates|Made|Quillon|Modules|Passed"
    kReportColumns,       // "Type|Serial number|Version|ID|Line setting|Settings|..."
    kReportPassed,        // "%1 of %2"
    kReportVerdicts,      // "passed|failed|no card read|not run"
    kReportTests,         // "DI/DO test|Card read test|I/O check"
    kReportAllSites,      // "All sites"
    kReportNoModules,     // "No module for %1: no report written"
    kReportFilters,       // "PDF (*.pdf);;CSV (*.csv)"
    kReportSaved,         // "Report of %1 module(s) saved to %2"
    kReplaceTitle,        // "Replace module"
    kReplaceHint,         // "Take %1 %2 off the bus and connect the new module ..."
    kReplaceStart,        // "Replace"
    kReplaceDone,         // "%1 %2 took the place of %3: ID %4, %5, verified by read-back"
    kReplaceRefused,      // "Not replaced: %1"
    kReplaceNoSelection,  // "Choose the module to replace in the table"
    // The question before the I/O check switches the outputs.
    kIoCheckAsk,      // "Check I/O switches every output of the module on and off ..."
    kIoCheckDontAsk,  // "Do not ask again for this site"
    kRows
};

// Row `row` in language 0..2 (English, Simplified Chinese, Traditional Chinese); English for
// any other language index, an empty text outside the table.
QString text(int row, int langIndex);

// Why a port did not open, in plain words of the language; empty when it did open.
QString describe(const OpenFailure& failure, int langIndex);

}  // namespace ExtraTexts
