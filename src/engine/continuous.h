#pragma once
// The loop of the continuous tests (the DI/DO test and the card read test): the port stays
// open while cycles run, and the test ends on a stop request, when the module stops answering,
// or at once when the port does not open.

#include <functional>

class ModuleContext;

// What one cycle tells the loop, and how it waits between its exchanges.
class ContinuousRun {
  public:
    // Waits at least `ms` milliseconds, measured against a clock, while the event loop runs
    // (a window paints and takes the click that stops the test); sleeps instead of spinning.
    void pause(int ms);
    // A verified reply: the failure count starts again.
    void answered() { failures_ = 0; }
    // An exchange without a verified reply that counts towards the limit.
    void failed() { ++failures_; }
    int failures() const { return failures_; }

    // Consecutive failures that end the test as a module lost.
    static constexpr int kFailureLimit = 3;

  private:
    int failures_ = 0;
};

enum class ContinuousEnd {
    PortNotOpened,  // nothing ran
    Stopped,        // the stop request ended it
    ModuleLost,     // the failure limit ended it
};

// Opens the port, tells the observer the test runs, and calls `cycle` until `stopRequested`
// says so (asked before every cycle and once at the end) or the failure limit is reached;
// then `finish`, if given, however the loop ended (to leave the module as it was found);
// closes the port.
ContinuousEnd RunContinuous(ModuleContext& m, const std::function<void(ContinuousRun&)>& cycle,
                            const std::function<bool()>& stopRequested,
                            const std::function<void(ContinuousRun&)>& finish = {});
