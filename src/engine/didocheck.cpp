#include "engine/didocheck.h"

#include <QElapsedTimer>
#include <optional>

#include "engine/modulecontext.h"
#include "engine/operation.h"

namespace {

// The readings of the steps as they come: a step ends when two readings in a row agree or
// when it has had its share of exchanges. A second round takes the steps between the two
// "all off" in another order (every seventh of the 17, round and round), so that each output
// pattern is seen again after a time of its own: an input that changes by itself, however
// regularly, cannot show the same state under every pattern twice.
class Steps {
  public:
    Steps(int settle, bool shuffled = false, std::optional<Channels> start = std::nullopt)
        : settle_(settle), shuffled_(shuffled), start_(start) {}

    int done() const { return static_cast<int>(settled_.size()); }
    bool finished() const { return done() >= kDidoCheckSteps; }
    // The step of the first round whose output pattern the current step has.
    int pattern(int i) const {
        if (!shuffled_ || i <= 0 || i >= kDidoCheckSteps - 1) return i;
        return 1 + (7 * (i - 1)) % (kDidoCheckSteps - 2);
    }
    Channels outputs() const { return DidoCheckOutputs(pattern(done())); }
    const std::vector<Channels>& settled() const { return settled_; }
    const Channels& chattered() const { return chattered_; }

    // A readable reply at the current step; true when it ended the step.
    bool reading(const Channels& inputs) {
        readings_.push_back(inputs);
        const size_t n = readings_.size();
        const bool agreed = n >= 2 && readings_[n - 1] == readings_[n - 2];
        if (!agreed && static_cast<int>(n) < settle_) return false;
        // From the state the step began in, an input may move once, to its new state; a
        // second move, or one between the last two readings, happened with the outputs
        // steady.
        const Channels from = !settled_.empty() ? settled_.back()
                              : start_          ? *start_
                                                : readings_.front();
        for (int k = 0; k < 16; ++k) {
            bool state = from[k];
            int moves = 0;
            for (const Channels& r : readings_) {
                if (r[k] != state) ++moves;
                state = r[k];
            }
            if (moves > 1) chattered_[k] = true;
        }
        if (!agreed) chattered_ |= readings_[n - 1] ^ readings_[n - 2];
        settled_.push_back(readings_.back());
        readings_.clear();
        return true;
    }

  private:
    int settle_;
    bool shuffled_;
    std::optional<Channels> start_;
    std::vector<Channels> readings_;
    std::vector<Channels> settled_;
    Channels chattered_;
};

// Whether a verdict names a fault of the harness, which a second round must confirm.
bool WiringFault(ChannelVerdict v) {
    return v == ChannelVerdict::StuckOn || v == ChannelVerdict::StuckOff ||
           v == ChannelVerdict::Crossed;
}

// The inputs whose settled state in the second round differs from the first under the same
// output pattern (the first "all off" and the last are one pattern): they changed on their own.
Channels Disagreeing(const Steps& first, const Steps& second) {
    Channels out = second.chattered();
    if (second.done() == kDidoCheckSteps) out |= second.settled().front() ^ second.settled().back();
    for (int i = 0; i < second.done(); ++i) {
        const int s = second.pattern(i);
        if (s < first.done())
            out |=
                first.settled()[static_cast<size_t>(s)] ^ second.settled()[static_cast<size_t>(i)];
    }
    return out;
}

}  // namespace

Channels DidoCheckOutputs(int step) {
    Channels c;
    if (step == 17)
        c.set();
    else if (step >= 1 && step <= 16)
        c[step - 1] = true;
    return c;
}

int DidoCheckResult::count(ChannelVerdict verdict) const {
    int n = 0;
    for (ChannelVerdict v : verdicts) n += v == verdict ? 1 : 0;
    return n;
}

int DidoCheckResult::failed() const {
    return 16 - count(ChannelVerdict::Ok) - count(ChannelVerdict::NotChecked);
}

void JudgeInputs(const std::vector<Channels>& settled, const Channels& chattered,
                 DidoCheckResult& out) {
    out.stepsDone = static_cast<int>(settled.size());
    // All off at the end as at the start: an input that differs changed on its own.
    const Channels changedAlone = out.complete() ? settled.back() ^ settled.front() : Channels();
    for (int k = 0; k < 16; ++k) {
        QString seen;
        bool followed = true;
        bool onWithoutOutputs = false;
        int other = 0;  // the first other output it came on with
        for (int s = 0; s < static_cast<int>(settled.size()); ++s) {
            const bool on = settled[static_cast<size_t>(s)][k];
            seen += on ? QLatin1Char('1') : QLatin1Char('0');
            if (on != DidoCheckOutputs(s)[k]) followed = false;
            if (s == 0 && on) onWithoutOutputs = true;
            if (s >= 1 && s <= 16 && s - 1 != k && on && other == 0) other = s;
        }
        out.seen[static_cast<size_t>(k)] = seen;
        out.follows[static_cast<size_t>(k)] = 0;
        ChannelVerdict& v = out.verdicts[static_cast<size_t>(k)];
        if (chattered[k] || changedAlone[k]) {
            v = ChannelVerdict::Chattering;
        } else if (onWithoutOutputs) {
            v = ChannelVerdict::StuckOn;
        } else if (other != 0) {
            v = ChannelVerdict::Crossed;
            out.follows[static_cast<size_t>(k)] = other;
        } else if (!out.complete()) {
            v = ChannelVerdict::NotChecked;
        } else if (followed) {
            v = ChannelVerdict::Ok;
        } else {
            // Off whenever another output alone was on, and not on with its own output (or
            // not with all of them): it does not come on as it should.
            v = ChannelVerdict::StuckOff;
        }
    }
}

ContinuousEnd RunDidoCheck(ModuleContext& m, const DidoCheckOptions& options, DidoCheckResult& out,
                           const std::function<bool()>& stopRequested,
                           const std::function<void(int stepsDone)>& progress) {
    out = DidoCheckResult();
    TestSummary summary = BeginSummary(LiveTest::DidoCheck);
    const int settle =
        qBound(DidoCheckOptions::kMinSettle, options.settle, DidoCheckOptions::kMaxSettle);
    Steps first(settle);
    // Made once the first round has named a fault of the harness.
    std::optional<Steps> second;
    const auto current = [&]() -> Steps& { return second ? *second : first; };
    std::optional<Channels> last;
    const auto exchange = [&](ContinuousRun& run, const Channels& outputs) {
        run.pause(std::max(0, options.pauseMs));
        ++summary.cycles;
        ++out.exchanges;
        if (!SendCommand(m, QStringLiteral("I") + ChannelText(outputs))) {
            ++summary.failures;
            return false;
        }
        return true;
    };
    // After the first round: a fault it names is given only if a second round sees the same.
    const auto needsSecond = [&] {
        DidoCheckResult judged;
        JudgeInputs(first.settled(), first.chattered(), judged);
        for (ChannelVerdict v : judged.verdicts)
            if (WiringFault(v)) return true;
        return false;
    };
    const auto cycle = [&](ContinuousRun& run) {
        if (!exchange(run, current().outputs())) {
            run.failed();
            return;
        }
        // A reply without 16 readable inputs tells nothing about them: it counts as failed.
        const std::optional<Channels> inputs = InputsOfReply(m.link.LastReply);
        if (!inputs) {
            ++summary.failures;
            ++summary.unreadable;
            run.failed();
            return;
        }
        run.answered();
        CountChanges(summary.inputChanges, last, *inputs);
        if (current().reading(*inputs) && progress) progress(current().done());
        if (!second && first.finished() && needsSecond())
            second.emplace(settle, true, first.settled().back());
    };
    const auto finish = [&](ContinuousRun& run) {
        // The last step has switched every output off; a check that ended early does it now,
        // where the module still answers.
        out.outputsOff = current().finished();
        for (int t = 0; t < 2 && !out.outputsOff; ++t) out.outputsOff = exchange(run, Channels());
    };
    const ContinuousEnd end = RunContinuous(
        m, cycle, [&] { return current().finished() || stopRequested(); }, finish);
    Channels chattered = first.chattered();
    if (second) chattered |= Disagreeing(first, *second);
    JudgeInputs(first.settled(), chattered, out);
    summary.verdicts = out.verdicts;
    summary.follows = out.follows;
    summary.outputsOff = out.outputsOff;
    EndSummary(m, summary, end);
    return end;
}
