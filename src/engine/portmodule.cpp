#include "engine/portmodule.h"

#include "engine/modulecontext.h"
#include "link/linesettings.h"

Outcome GetStatus(ModuleContext& m, QChar& status) {
    Operation op;
    op.nameRow = 57;
    op.action = [&m, &status] {
        if (!SendCommand(m, QStringLiteral("F"))) return TryResult::Failed;
        if (m.link.RxPos != 9) return TryResult::FailNow;
        status = ReplyAt(m.link.LastReply, 6);
        return TryResult::Success;
    };
    return RunOperation(m, op);
}

Outcome SetPortLine(ModuleContext& m, int lineIndex) {
    Operation op;
    op.nameRow = 28;
    op.formable = lineIndex >= 0 && lineIndex < LineSettings::kListed;
    // The module's own port: of the controller link module or of the repeater.
    if (op.formable && m.type)
        op.wanted = SettingText(*m.type == ModuleType::RQ3040 ? QStringLiteral("rep-line")
                                                              : QStringLiteral("link-line"),
                                lineIndex);
    op.action = [&m, lineIndex] {
        return SendTry(m, QStringLiteral("K") + LineSettings::code(lineIndex));
    };
    return RunOperation(m, op);
}

Outcome SendLetters(ModuleContext& m, int nameRow, const QString& letters) {
    Operation op;
    op.nameRow = nameRow;
    op.formable = CommandSendable(m, letters);
    op.sent = letters;
    op.action = [&m, &letters] { return SendTry(m, letters); };
    return RunOperation(m, op);
}
