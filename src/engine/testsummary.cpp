#include "engine/testsummary.h"

#include "engine/modulecontext.h"

namespace {
const char* const kVerdictNames[] = {"ok",      "stuck-off",  "stuck-on",
                                     "crossed", "chattering", "not-checked"};
}  // namespace

QString VerdictName(ChannelVerdict verdict) {
    return QString::fromLatin1(kVerdictNames[static_cast<int>(verdict)]);
}

std::optional<ChannelVerdict> VerdictOfName(const QString& name) {
    for (int i = 0; i < static_cast<int>(std::size(kVerdictNames)); ++i)
        if (name == QLatin1String(kVerdictNames[i])) return static_cast<ChannelVerdict>(i);
    return std::nullopt;
}

TestSummary BeginSummary(LiveTest test) {
    TestSummary s;
    s.test = test;
    s.started = QDateTime::currentDateTimeUtc();
    s.verdicts.fill(ChannelVerdict::NotChecked);
    return s;
}

void EndSummary(ModuleContext& m, TestSummary& summary, ContinuousEnd end) {
    summary.end = end;
    summary.ended = QDateTime::currentDateTimeUtc();
    m.observer().testEnded(summary);
}
