#include "engine/repeater.h"

#include "engine/factory.h"
#include "engine/modulecontext.h"
#include "link/linesettings.h"

namespace {
// Two hex characters as a number, or -1.
int HexPair(QChar hi, QChar lo) {
    auto nibble = [](QChar c) {
        const char16_t u = c.unicode();
        if (u >= '0' && u <= '9') return u - '0';
        if (u >= 'A' && u <= 'F') return u - 'A' + 10;
        if (u >= 'a' && u <= 'f') return u - 'a' + 10;
        return -1;
    };
    const int h = nibble(hi), l = nibble(lo);
    return (h < 0 || l < 0) ? -1 : h * 16 + l;
}
}  // namespace

bool ReadRepeaterSettings(ModuleContext& m, RepeaterSettings& out) {
    const QByteArray& r = m.link.LastReply;
    if (!SendCommand(m, QStringLiteral("K"))) return false;
    const int index = LineSettings::indexOfCode(ReplyAt(r, 6));
    if (index < 0) return false;
    out.portLineIndex = index;
    Pause(100);
    if (!SendCommand(m, QStringLiteral("A"))) return false;
    const int on = HexPair(ReplyAt(r, 6), ReplyAt(r, 7));
    if (on < 0) return true;
    out.txOn = on;
    const int off = HexPair(ReplyAt(r, 8), ReplyAt(r, 9));
    if (off < 0) return true;
    out.txOff = off;
    return true;
}

Outcome SetTxDelays(ModuleContext& m, int txOn, int txOff) {
    Operation op;
    op.nameRow = 86;
    const QString letters = QStringLiteral("A") + QString::asprintf("%02X%02X", txOn, txOff);
    op.wanted = SettingText(QStringLiteral("tx-on"), txOn);
    op.wanted.insert(SettingText(QStringLiteral("tx-off"), txOff));
    op.action = [&m, letters] { return SendTry(m, letters); };
    return RunOperation(m, op);
}

Outcome SendRawData(ModuleContext& m, const QString& text) {
    Operation op;
    op.nameRow = 60;
    op.formable = true;
    for (const QChar c : text) {
        if (c.unicode() > 0xFF) op.formable = false;
    }
    op.sent = text;
    // Raw bytes outside any frame; nothing is awaited and the write is not examined.
    op.action = [&m, &text] {
        const QByteArray bytes = text.toLatin1();
        if (!bytes.isEmpty())
            m.link.SendBlock(reinterpret_cast<const uint8_t*>(bytes.constData()),
                             static_cast<int>(bytes.size()));
        return TryResult::Success;
    };
    return RunOperation(m, op);
}

std::vector<FactoryStep> RepeaterFactorySteps() {
    using namespace factory;
    return {Set([](ModuleSettings& s) { s.repeater.portLineIndex = 5; }),
            Set([](ModuleSettings& s) { s.repeater.txOn = 15; }),
            Set([](ModuleSettings& s) { s.repeater.txOff = 10; }), Send(QStringLiteral("Zi")),
            Wait(100)};
}
