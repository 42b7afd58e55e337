#include "engine/linkmodule.h"

#include "engine/factory.h"
#include "engine/modulecontext.h"
#include "engine/portmodule.h"
#include "link/linesettings.h"

const QStringList& RunModeNames() {
    static const QStringList names{QStringLiteral("dvr"), QStringLiteral("led"),
                                   QStringLiteral("mp3")};
    return names;
}

bool ReadLinkModuleSettings(ModuleContext& m, LinkModuleSettings& out) {
    out.hasPort = true;
    if (!SendCommand(m, QStringLiteral("K"))) return false;
    if (m.link.RxPos == 9) {
        const int index = LineSettings::indexOfCode(ReplyAt(m.link.LastReply, 6));
        if (index < 0) return false;
        out.portLineIndex = index;
    } else {
        out.hasPort = false;
    }
    Pause(100);
    if (!SendCommand(m, QStringLiteral("A"))) return false;
    const int mode = DigitValue(ReplyAt(m.link.LastReply, 6));
    if (mode < 0) return false;
    out.runMode = mode;
    return true;
}

Outcome SendDataRecord(ModuleContext& m, const QStringList& fields) {
    return SendLetters(m, 60, QStringLiteral("G") + fields.join(QString()));
}

Outcome SetRunMode(ModuleContext& m, int mode) {
    Operation op;
    op.nameRow = 80;
    op.formable = mode >= 0;
    if (op.formable) op.wanted = SettingText(QStringLiteral("run-mode"), mode);
    op.action = [&m, mode] { return SendTry(m, QStringLiteral("A") + QString::number(mode)); };
    return RunOperation(m, op);
}

std::vector<FactoryStep> LinkModuleFactorySteps() {
    using namespace factory;
    // The settings come first, so they show the defaults even when "Zi" is not answered.
    return {Set([](ModuleSettings& s) { s.linkModule.portLineIndex = 2; }),
            Set([](ModuleSettings& s) { s.linkModule.runMode = 0; }), Send(QStringLiteral("Zi")),
            Wait(100)};
}
