#pragma once
// The automatic I/O check of the DI/DO module on a loopback harness (output k wired to input
// k): all outputs off, then each output alone, then all on, then all off again; at each step
// the inputs are read until two readings in a row agree (at most `settle` exchanges), and each
// input gets its verdict from what it did. A fault of the harness (stuck on, stuck off,
// crossed) is named only when a second round, the steps in reverse order, sees every input
// as the first did; an input whose readings under one output pattern disagree is chattering.
// The outputs are off at the end, however it ends.

#include <QString>
#include <array>
#include <functional>
#include <vector>

#include "engine/continuous.h"
#include "engine/dido.h"
#include "engine/testsummary.h"

// The steps: none of the outputs, DO1 ... DO16 alone, all of them, none again (an input that
// then differs from the first step changed while the outputs were the same).
constexpr int kDidoCheckSteps = 19;
Channels DidoCheckOutputs(int step);

struct DidoCheckOptions {
    // The most exchanges of one step; two equal readings in a row end it sooner.
    int settle = 3;
    // The pause before each exchange, as in a cycle of the DI/DO test.
    int pauseMs = 50;
    static constexpr int kMinSettle = 2;
    static constexpr int kMaxSettle = 10;
};

struct DidoCheckResult {
    DidoCheckResult() { verdicts.fill(ChannelVerdict::NotChecked); }

    std::array<ChannelVerdict, 16> verdicts;
    // For a crossed input, the output (1..16) it followed; 0 otherwise.
    std::array<int, 16> follows{};
    // Each input's settled state at each step done, "0" or "1", step 0 first.
    std::array<QString, 16> seen;
    int stepsDone = 0;
    int exchanges = 0;
    // The last command switched every output off and the module confirmed it.
    bool outputsOff = false;

    bool complete() const { return stepsDone == kDidoCheckSteps; }
    int count(ChannelVerdict verdict) const;
    // Inputs whose verdict is neither ok nor not-checked.
    int failed() const;
};

// The verdicts of every input from the settled readings of the steps done (in order) and the
// inputs seen to change while the outputs were steady. Definite faults stand however many
// steps were done; an input that looks right, or never came on, is not checked until the
// last step is done.
void JudgeInputs(const std::vector<Channels>& settled, const Channels& chattered,
                 DidoCheckResult& out);

// Runs the check on the module's port; `progress` hears the steps done after each step. The
// summary (with the verdicts) goes to the observers at the end.
ContinuousEnd RunDidoCheck(ModuleContext& m, const DidoCheckOptions& options, DidoCheckResult& out,
                           const std::function<bool()>& stopRequested,
                           const std::function<void(int stepsDone)>& progress = {});
