#include "engine/common.h"

#include "engine/modulecontext.h"
#include "link/linesettings.h"

Outcome SetModuleId(ModuleContext& m, int newId) {
    const QString id = TwoDigitText(newId);
    Operation op;
    op.nameRow = 25;
    op.wanted = {{QStringLiteral("id"), id}};
    op.action = [&m, id] {
        // The serial number of the module that has just answered the identification query.
        if (!SendCommand(m, QStringLiteral("C") + ReplyText(m.link.LastReply, 6, 8) + id))
            return TryResult::Failed;
        m.ModuleId = id;
        return TryResult::Success;
    };
    return RunOperation(m, op);
}

Outcome SetModuleLine(ModuleContext& m, int lineIndex) {
    Operation op;
    op.nameRow = 28;
    // No setting chosen has no code to send: not even the pre-query goes out.
    op.formable = lineIndex >= 0 && lineIndex < LineSettings::kListed;
    if (op.formable) op.wanted = {{QStringLiteral("line"), LineSettings::text(lineIndex)}};
    op.action = [&m, lineIndex] {
        if (!SendCommand(m, QStringLiteral("E") + LineSettings::code(lineIndex)))
            return TryResult::Failed;
        // The port keeps its setting for now: the reply came at the old one.
        m.BaudIndex = lineIndex;
        m.BaudText = LineSettings::text(lineIndex);
        return TryResult::Success;
    };
    return RunOperation(m, op);
}

Outcome CommandTest(ModuleContext& m, const QString& letters, QString& shown) {
    Operation op;
    op.nameRow = 35;
    op.preQuery = 0;
    op.tries = 1;
    op.sent = letters;
    op.action = [&m, &letters, &shown] {
        if (!SendCommand(m, letters)) return TryResult::Failed;
        m.link.RenderTraffic(m.link.RxPos, m.link.RxBuf);
        shown = QString::fromLatin1(m.link.LogBuf);
        return TryResult::Success;
    };
    return RunOperation(m, op);
}
