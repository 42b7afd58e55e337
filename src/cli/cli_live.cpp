// quillon-cli's continuous tests: dido-test and card-read, ending on a count, a time, Ctrl-C
// or the module lost, and the line each live test ends with.

#include <QTime>

#include "cli/cli.h"

namespace cli {

void CliObserver::testEnded(const TestSummary& s) {
    if (s.end == ContinuousEnd::PortNotOpened) return;
    const char* names[] = {"DI/DO test", "card read test", "I/O check"};
    QString line = QStringLiteral("%1: %2 exchanges in %3 s, %4 without a reply")
                       .arg(QLatin1String(names[static_cast<int>(s.test)]))
                       .arg(s.cycles)
                       .arg(s.durationMs() / 1000.0, 0, 'f', 1)
                       .arg(s.failures);
    QStringList parts;
    if (s.test == LiveTest::CardTest) {
        parts << QStringLiteral("CH #1: %1, CH #2: %2").arg(s.cardCounts[0]).arg(s.cardCounts[1]);
    } else if (s.test == LiveTest::DidoTest) {
        for (int k = 0; k < 16; ++k)
            if (s.inputChanges[static_cast<size_t>(k)] > 0)
                parts << QStringLiteral("DI%1 %2").arg(k + 1).arg(
                    s.inputChanges[static_cast<size_t>(k)]);
        if (parts.isEmpty())
            parts << QStringLiteral("no input changed");
        else
            parts.first().prepend(QStringLiteral("changes: "));
    } else {
        for (int v = 0; v <= static_cast<int>(ChannelVerdict::NotChecked); ++v) {
            int n = 0;
            for (ChannelVerdict got : s.verdicts) n += static_cast<int>(got) == v ? 1 : 0;
            if (n > 0)
                parts << QStringLiteral("%1 %2").arg(n).arg(
                    VerdictName(static_cast<ChannelVerdict>(v)));
        }
    }
    line += QStringLiteral("; ") + parts.join(QStringLiteral(", "));
    endProgress();
    std::fprintf(stderr, "quillon-cli: %s\n", line.toUtf8().constData());
}

// Stops a continuous test on Ctrl-C, a count reached or the time run out.
struct Limits {
    int count = 0;       // 0: none
    double seconds = 0;  // 0: none
    QElapsedTimer clock;
    int seen = 0;
    bool reached() const {
        return (count > 0 && seen >= count) || (seconds > 0 && clock.elapsed() >= seconds * 1000);
    }
};

int ContinuousExit(ContinuousEnd end, const Limits& limits) {
    g_continuous = 0;
    if (end == ContinuousEnd::PortNotOpened) return kPortFailed;
    if (g_interrupted) return kInterrupted;
    if (end == ContinuousEnd::ModuleLost && !limits.reached()) return kFailed;
    return kOk;
}

int Cli::didoTest() {
    args(0);
    moduleOptions(true);
    needType({ModuleType::RQ3016});
    const Channels outputs =
        p_.isSet("outputs") ? ParseBits16(p_.value("outputs"), "--outputs") : Channels();
    Limits limits;
    if (p_.isSet("cycles")) limits.count = ParseInt(p_.value("cycles"), 1, 100000000, "--cycles");
    if (p_.isSet("seconds"))
        limits.seconds = ParseInt(p_.value("seconds"), 1, 10000000, "--seconds");
    const bool changes = p_.isSet("changes");
    ReadBack rb;
    if (const int e = linkAndRead(rb)) return e;
    g_continuous = 1;
    if (g_interrupted) return ContinuousExit(ContinuousEnd::Stopped, limits);
    limits.clock.start();
    std::optional<Channels> last;
    lastFailure_ = {};
    const ContinuousEnd end = RunDidoTest(
        *m_, [&] { return outputs; },
        [&](const Channels& inputs) {
            ++limits.seen;
            if (changes && last && *last == inputs) return;
            last = inputs;
            Result r;
            r.add("cycle", limits.seen);
            r.add("inputs", ChannelText(inputs));
            r.printLine(json_,
                        QStringLiteral("cycle %1: %2").arg(limits.seen).arg(ChannelText(inputs)));
        },
        [&] { return g_interrupted || limits.reached(); });
    if (end == ContinuousEnd::ModuleLost && !limits.reached()) diag(lang(17));
    if (end == ContinuousEnd::PortNotOpened) notFound();
    return ContinuousExit(end, limits);
}

int Cli::cardRead() {
    args(0);
    moduleOptions(true);
    if (!type_ || !IsWiegand(*type_)) needType({ModuleType::RQ3050S, ModuleType::RQ3050K});
    Limits limits;
    if (p_.isSet("count")) limits.count = ParseInt(p_.value("count"), 1, 100000000, "--count");
    if (p_.isSet("seconds"))
        limits.seconds = ParseInt(p_.value("seconds"), 1, 10000000, "--seconds");
    ReadBack rb;
    if (const int e = linkAndRead(rb)) return e;
    const int ch2 = rb.settings.wiegand.ch2Id.value_or(0);
    g_continuous = 1;
    if (g_interrupted) return ContinuousExit(ContinuousEnd::Stopped, limits);
    limits.clock.start();
    const ContinuousEnd end = RunCardTest(
        *m_, [ch2] { return ch2; },
        [&](int channel, const QString& text) {
            ++limits.seen;
            Result r;
            r.add("channel", channel);
            r.add("text", text);
            // The text says when, as the time of day.
            r.printLine(json_,
                        QStringLiteral("%1  CH #%2: %3")
                            .arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz")))
                            .arg(channel)
                            .arg(text));
        },
        [&] { return g_interrupted || limits.reached(); });
    if (end == ContinuousEnd::ModuleLost && !limits.reached()) diag(lang(17));
    if (end == ContinuousEnd::PortNotOpened) notFound();
    return ContinuousExit(end, limits);
}

}  // namespace cli
