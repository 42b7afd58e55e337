// quillon-cli's continuous tests: dido-test and card-read, ending on a count, a time, Ctrl-C
// or the module lost.

#include "cli/cli.h"

namespace cli {

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
            r.printLine(json_, QStringLiteral("CH #%1: %2").arg(channel).arg(text));
        },
        [&] { return g_interrupted || limits.reached(); });
    if (end == ContinuousEnd::ModuleLost && !limits.reached()) diag(lang(17));
    if (end == ContinuousEnd::PortNotOpened) notFound();
    return ContinuousExit(end, limits);
}

}  // namespace cli
