#include "engine/factory.h"

#include "engine/modulecontext.h"
#include "engine/observer.h"
#include "engine/printer.h"
#include "link/linesettings.h"

namespace {

std::vector<FactoryStep> StepsOf(std::optional<ModuleType> type) {
    if (!type) return {};
    switch (*type) {
        case ModuleType::RQ3016:
            return DidoFactorySteps();
        case ModuleType::RQ3020:
            return PrinterFactorySteps();
        case ModuleType::RQ3030:
            return LinkModuleFactorySteps();
        case ModuleType::RQ3040:
            return RepeaterFactorySteps();
        case ModuleType::RQ3050S:
            return WiegandFactorySteps(false);
        case ModuleType::RQ3050K:
            return WiegandFactorySteps(true);
    }
    return {};
}

// The letters with "{SN}" and "{CH2SN}" filled in, in one pass: a serial number that happens
// to contain a placeholder goes out as it is.
QString Letters(const QString& text, const QString& serial, const FactoryInputs& in) {
    const QString fields[] = {QStringLiteral("{SN}"), QStringLiteral("{CH2SN}")};
    const QString values[] = {serial, in.ch2Serial};
    QString out;
    for (int at = 0; at < text.size();) {
        bool filled = false;
        for (int k = 0; k < 2 && !filled; ++k) {
            if (text.mid(at, fields[k].size()) == fields[k]) {
                out += values[k];
                at += fields[k].size();
                filled = true;
            }
        }
        if (!filled) out += text.at(at++);
    }
    return out;
}

void TakeId01(ModuleContext& m, FactoryResult& out) {
    out.id01 = true;
    m.ModuleId = QStringLiteral("01");
}

// One try after its wait: "B", then the type's steps until one fails.
TryResult FactoryTry(ModuleContext& m, const std::vector<FactoryStep>& steps,
                     const FactoryInputs& in, FactoryResult& out) {
    if (!SendCommand(m, QStringLiteral("B")) || m.link.RxPos != 16) return TryResult::Failed;
    const QString serial = ReplyText(m.link.LastReply, 6, 8);
    for (const FactoryStep& s : steps) {
        switch (s.kind) {
            case FactoryStep::Kind::Wait:
                Pause(s.value);
                break;
            case FactoryStep::Kind::Pump:
                m.observer().pump();
                break;
            case FactoryStep::Kind::Set:
                s.set(out.settings);
                break;
            case FactoryStep::Kind::Send:
                if (!SendCommand(m, Letters(s.text, serial, in))) return TryResult::Failed;
                if (s.setsId01) TakeId01(m, out);
                break;
        }
    }
    TakeId01(m, out);
    out.lineDefault = true;
    return TryResult::Success;
}

}  // namespace

Outcome FactoryDefault(ModuleContext& m, const FactoryInputs& in, FactoryResult& out) {
    const std::vector<FactoryStep> steps = StepsOf(m.type);
    Operation op;
    op.nameRow = 41;
    // The identification query is the first command of each try, not a separate pre-query:
    // the type's sequence follows it with waits of its own.
    op.preQuery = 0;
    // Without a type there are no factory settings to write.
    op.formable = !steps.empty();
    op.action = [&] { return FactoryTry(m, steps, in, out); };
    // What a whole run leaves: the type's defaults, ID 01 and the default line setting.
    ModuleSettings defaults;
    for (const FactoryStep& s : steps)
        if (s.kind == FactoryStep::Kind::Set) s.set(defaults);
    if (op.formable) {
        op.wanted = SettingTexts(defaults);
        op.wanted.insert(QStringLiteral("id"), QStringLiteral("01"));
        op.wanted.insert(QStringLiteral("line"), LineSettings::text(LineSettings::kDefaultIndex));
    }
    return RunOperation(m, op);
}
