// quillon-cli's I/O check: dido-check, one verdict per input, the outputs switched off at the
// end however it ends (Ctrl-C included).

#include "cli/cli.h"

namespace cli {

int Cli::didoCheck() {
    args(0);
    moduleOptions(true);
    needType({ModuleType::RQ3016});
    DidoCheckOptions options;
    if (p_.isSet("settle"))
        options.settle = ParseInt(p_.value("settle"), DidoCheckOptions::kMinSettle,
                                  DidoCheckOptions::kMaxSettle, "--settle");
    ReadBack rb;
    if (const int e = linkAndRead(rb)) return e;
    // Scripts are not asked; a person at the terminal is told what is about to happen.
    diag(QStringLiteral("switching every output of %1 on and off in turn (the I/O check)")
             .arg(rb.serial));
    // Ctrl-C from here on stops the check, which then switches the outputs off.
    g_continuous = 1;
    DidoCheckResult r;
    const ContinuousEnd end = RunDidoCheck(*m_, options, r, [] { return g_interrupted != 0; });
    g_continuous = 0;
    if (end == ContinuousEnd::PortNotOpened) {
        notFound();
        return kPortFailed;
    }
    for (int k = 0; k < 16; ++k) {
        const ChannelVerdict v = r.verdicts[static_cast<size_t>(k)];
        Result line;
        line.add("channel", k + 1);
        line.add("verdict", VerdictName(v));
        QString text = QStringLiteral("DI%1: %2").arg(k + 1).arg(VerdictName(v));
        if (v == ChannelVerdict::Crossed) {
            line.add("follows", r.follows[static_cast<size_t>(k)]);
            text += QStringLiteral(" (follows DO%1)").arg(r.follows[static_cast<size_t>(k)]);
        }
        line.printLine(json_, text);
    }
    if (end == ContinuousEnd::ModuleLost) diag(lang(17));
    if (!r.outputsOff)
        diag(QStringLiteral("the outputs may still be on: the module did not confirm them off"));
    if (g_interrupted) return kInterrupted;
    return r.count(ChannelVerdict::Ok) == 16 ? kOk : kFailed;
}

}  // namespace cli
