#include "engine/survey.h"

#include "engine/findmodule.h"
#include "engine/modulecontext.h"
#include "engine/observer.h"
#include "engine/operation.h"
#include "link/linesettings.h"

namespace {

enum class Answer { None, Garbled, Verified };

// One identification query: nothing at all, bytes that do not verify, or the 16-byte reply.
Answer Ask(ModuleContext& m, const QString& id) {
    if (AskIdentification(m, id)) return Answer::Verified;
    return m.link.RxPos > 0 ? Answer::Garbled : Answer::None;
}

}  // namespace

QList<int> SurveyLines(const SurveyPlan& plan) {
    if (!plan.lines.isEmpty()) return plan.lines;
    QList<int> all;
    for (int j = 0; j < LineSettings::kListed; ++j) all << j;
    return all;
}

QList<ModuleType> SurveyTypes(const SurveyPlan& plan) {
    if (!plan.types.isEmpty()) return plan.types;
    return QList<ModuleType>(std::begin(kAllModuleTypes), std::end(kAllModuleTypes));
}

QList<int> SurveyIds(const SurveyPlan& plan) {
    if (!plan.ids.isEmpty()) return plan.ids;
    QList<int> all;
    for (int id = 1; id <= 99; ++id) all << id;
    return all;
}

SurveyResult RunSurvey(ModuleContext& m, const SurveyPlan& plan, const SurveyHooks& hooks) {
    SurveyResult result;
    const QList<int> lines = SurveyLines(plan);
    const QList<ModuleType> types = SurveyTypes(plan);
    const QList<int> ids = SurveyIds(plan);
    const int pairs = static_cast<int>(lines.size() * types.size());
    const int perPair = 1 + static_cast<int>(ids.size());
    const int probeMs = std::max(1, plan.probeTries) * Link::kSilenceLimitMs;

    m.Linked = 0;
    m.PortNo = plan.portNo;
    int pair = 0;
    auto stopAsked = [&] {
        if (!result.stopped && hooks.stop && hooks.stop()) result.stopped = true;
        return result.stopped;
    };
    auto report = [&](int lineIndex, ModuleType type, int id, int doneInPair) {
        if (!hooks.progress) return;
        SurveyProgress p;
        p.lineIndex = lineIndex;
        p.type = type;
        p.id = id;
        p.total = pairs * perPair;
        p.done = pair * perPair + doneInPair;
        const int pairsLeft = pairs - pair - 1;
        p.msLeft = (perPair - doneInPair) * Link::kSilenceLimitMs + pairsLeft * probeMs;
        if (doneInPair >= perPair) p.msLeft = pairsLeft * probeMs;
        hooks.progress(p);
    };

    for (int lineIndex : lines) {
        for (ModuleType type : types) {
            if (stopAsked()) break;
            m.selectType(type);
            m.BaudIndex = lineIndex;
            m.BaudText = LineSettings::text(lineIndex);
            if (!m.link.OpenPort(plan.portNo, m.BaudText)) {
                result.portFailed = true;
                return result;
            }
            m.observer().scanLine(lineIndex);
            m.observer().pump();
            Answer probe = Answer::None;
            for (int t = 0; t < std::max(1, plan.probeTries) && probe == Answer::None; ++t) {
                if (stopAsked()) break;
                probe = Ask(m, QStringLiteral("00"));
            }
            if (result.stopped) {
                m.link.ClosePort();
                break;
            }
            if (probe == Answer::None) {
                ++result.skipped;
                m.link.ClosePort();
                report(lineIndex, type, 0, perPair);
                ++pair;
                continue;
            }
            report(lineIndex, type, 0, 1);
            int doneInPair = 1;
            for (int id : ids) {
                if (stopAsked()) break;
                const QString idText = TwoDigitText(id);
                Answer a = Ask(m, idText);
                for (int t = 1; t < plan.collisionTries && a == Answer::Garbled; ++t) {
                    if (stopAsked()) break;
                    a = Ask(m, idText);
                }
                m.observer().pump();
                // A line that does not carry parity (a pseudo-terminal) lets a module answer at
                // two line settings: the same type, ID and serial number is one module.
                bool seen = false;
                if (a == Answer::Verified) {
                    for (SurveyModule& f : result.modules) {
                        if (f.type != type || f.id != id ||
                            f.serial != ReplyText(m.link.LastReply, 6, 8))
                            continue;
                        seen = true;
                        f.lineIndexes << lineIndex;
                    }
                }
                if (a == Answer::Verified && !seen) {
                    SurveyModule found;
                    found.type = type;
                    found.id = id;
                    found.lineIndex = lineIndex;
                    found.lineIndexes = {lineIndex};
                    const QByteArray identification = m.link.LastReply;
                    found.serial = ReplyText(identification, 6, 8);
                    if (plan.readSettings) {
                        // The read-back opens the port on its own.
                        m.link.ClosePort();
                        ReadBack rb;
                        found.settingsRead = ReadModule(m, identification, rb).ok();
                        found.version = rb.version;
                        found.settings = rb.settings;
                        m.Linked = 0;
                        if (!m.link.OpenPort(plan.portNo, m.BaudText)) {
                            result.modules << found;
                            RecordSurveyed(m, found);
                            if (hooks.found) hooks.found(found);
                            result.portFailed = true;
                            return result;
                        }
                    } else {
                        m.ModuleId = idText;
                        for (int t = 0; t < 2 && found.version.isEmpty(); ++t) {
                            Pause(100);
                            if (SendCommand(m, QStringLiteral("V")))
                                found.version = ReplyText(m.link.LastReply, 6, 8);
                        }
                    }
                    result.modules << found;
                    RecordSurveyed(m, found);
                    if (hooks.found) hooks.found(found);
                } else if (a == Answer::Garbled && !result.stopped) {
                    result.collisions << SurveyCollision{type, id, lineIndex};
                }
                ++doneInPair;
                report(lineIndex, type, id, doneInPair);
            }
            m.link.ClosePort();
            ++pair;
        }
        if (result.stopped) break;
    }
    m.Linked = 0;
    return result;
}
