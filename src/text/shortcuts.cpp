#include "text/shortcuts.h"

#include "text/messagetable.h"

namespace {

struct Row {
    const char* control;
    const char* keys[MessageTable::kLanguages];
};

// The Chinese columns keep the English letters: an input method leaves Alt+letter to the
// window, and a technician who switches the language keeps the keys he knows.
constexpr Row kRows[] = {
    // The type tabs, and the row above the pages.
    {"tsRQ3016Tab", {"Ctrl+1", "Ctrl+1", "Ctrl+1"}},
    {"tsRQ3020Tab", {"Ctrl+2", "Ctrl+2", "Ctrl+2"}},
    {"tsRQ3030Tab", {"Ctrl+3", "Ctrl+3", "Ctrl+3"}},
    {"tsRQ3040Tab", {"Ctrl+4", "Ctrl+4", "Ctrl+4"}},
    {"tsRQ3050STab", {"Ctrl+5", "Ctrl+5", "Ctrl+5"}},
    {"tsRQ3050KTab", {"Ctrl+6", "Ctrl+6", "Ctrl+6"}},
    {"btnScan", {"Alt+S", "Alt+S", "Alt+S"}},
    {"btnLink", {"Alt+K", "Alt+K", "Alt+K"}},
    {"btnID", {"Alt+I", "Alt+I", "Alt+I"}},
    {"btnBaudRate", {"Alt+B", "Alt+B", "Alt+B"}},
    // RQ-3016
    {"btnDIDOMode", {"Alt+M", "Alt+M", "Alt+M"}},
    {"btnDIDONoNc", {"Alt+N", "Alt+N", "Alt+N"}},
    {"btnDIDOTest", {"Alt+T", "Alt+T", "Alt+T"}},
    {"btnDITimeline", {"Alt+E", "Alt+E", "Alt+E"}},
    {"btnDIDOCheck", {"Alt+C", "Alt+C", "Alt+C"}},
    // RQ-3020
    {"btnPrintStatus", {"Alt+G", "Alt+G", "Alt+G"}},
    {"btnPrintData", {"Alt+D", "Alt+D", "Alt+D"}},
    {"btnPrintCode", {"Alt+O", "Alt+O", "Alt+O"}},
    // RQ-3030
    {"btnLinkStatus", {"Alt+G", "Alt+G", "Alt+G"}},
    {"btnLinkSendData", {"Alt+D", "Alt+D", "Alt+D"}},
    {"btnLinkPort", {"Alt+P", "Alt+P", "Alt+P"}},
    {"btnLinkMode", {"Alt+M", "Alt+M", "Alt+M"}},
    // RQ-3040
    {"btnRepStatus", {"Alt+G", "Alt+G", "Alt+G"}},
    {"btnRepPort", {"Alt+P", "Alt+P", "Alt+P"}},
    {"btnRepTx", {"Alt+X", "Alt+X", "Alt+X"}},
    {"btnRepData", {"Alt+D", "Alt+D", "Alt+D"}},
    // RQ-3050S and RQ-3050K
    {"btnRQ3050S_ID", {"Alt+2", "Alt+2", "Alt+2"}},
    {"btnRQ3050S_Mode", {"Alt+N", "Alt+N", "Alt+N"}},
    {"btnRQ3050S_Card", {"Alt+T", "Alt+T", "Alt+T"}},
    {"btnRQ3050S_CardLog", {"Alt+O", "Alt+O", "Alt+O"}},
    {"btnRQ3050K_ID", {"Alt+2", "Alt+2", "Alt+2"}},
    {"btnRQ3050K_Mode", {"Alt+N", "Alt+N", "Alt+N"}},
    {"btnRQ3050K_Card", {"Alt+T", "Alt+T", "Alt+T"}},
    {"btnRQ3050K_CardLog", {"Alt+O", "Alt+O", "Alt+O"}},
    {"btnKeyNumber", {"Alt+Y", "Alt+Y", "Alt+Y"}},
    // Common
    {"btnTest", {"Alt+T", "Alt+T", "Alt+T"}},
    {"btnFactory", {"Alt+A", "Alt+A", "Alt+A"}},
    // Traffic log
    {"btnLogPause", {"Alt+P", "Alt+P", "Alt+P"}},
    {"btnLogClear", {"Alt+C", "Alt+C", "Alt+C"}},
    {"btnLogSave", {"Alt+S", "Alt+S", "Alt+S"}},
    // DI timeline
    {"btnDITimelinePause", {"Alt+P", "Alt+P", "Alt+P"}},
    {"btnDITimelineSave", {"Alt+S", "Alt+S", "Alt+S"}},
    // Card log
    {"btnCardLogSave", {"Alt+S", "Alt+S", "Alt+S"}},
    // Bus survey
    {"btnSurveyStart", {"Alt+S", "Alt+S", "Alt+S"}},
    {"btnSurveySavePlan", {"Alt+P", "Alt+P", "Alt+P"}},
    // Register
    {"btnRegisterExport", {"Alt+E", "Alt+E", "Alt+E"}},
    {"btnRegisterReport", {"Alt+R", "Alt+R", "Alt+R"}},
    {"btnRegisterReplace", {"Alt+P", "Alt+P", "Alt+P"}},
    {"btnRegisterSync", {"Alt+Y", "Alt+Y", "Alt+Y"}},
    // Site checkout
    {"btnCheckoutPoints", {"Alt+P", "Alt+P", "Alt+P"}},
    {"btnCheckoutStart", {"Alt+T", "Alt+T", "Alt+T"}},
    {"btnCheckoutSave", {"Alt+S", "Alt+S", "Alt+S"}},
};

}  // namespace

namespace Shortcuts {

QString key(const QString& objectName, int langIndex) {
    if (langIndex < 0 || langIndex >= MessageTable::kLanguages) langIndex = Languages::kEnglish;
    for (const Row& r : kRows)
        if (objectName == QLatin1String(r.control)) return QString::fromLatin1(r.keys[langIndex]);
    return QString();
}

}  // namespace Shortcuts
