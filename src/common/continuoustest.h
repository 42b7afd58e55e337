#pragma once
// The frame of the continuous tests (the DI/DO test and the card read test): one button starts
// and stops the test, the port stays open while it runs, the window stays enabled while the
// controls that start other operations are disabled, and the test ends when the user stops it,
// when the module stops answering, or at once when the port does not open.

#include <QList>
#include <functional>

class QPushButton;
class QWidget;
class TfrmModule;

// What one cycle tells the frame, and how it waits between its exchanges.
class ContinuousRun {
  public:
    // Waits at least `ms` milliseconds, measured against a clock, while the window processes
    // its events; sleeps in between instead of spinning.
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

struct ContinuousTest {
    QPushButton* button = nullptr;  // starts the test; reads "Cancel process" while it runs
    QList<QWidget*> disabled;       // disabled while the test runs
    // Runs after the controls are disabled, before the port opens (empties the result panels).
    std::function<void()> start;
    // One cycle of exchanges; the frame checks the run flag and the failure count after it.
    std::function<void(ContinuousRun&)> cycle;
    // Whether the message line is emptied when the test starts.
    bool clearMessage = true;
};

// The handler of a continuous test's button: refuses without a link, stops a running test,
// or runs a new one until it ends.
void RunContinuousTest(TfrmModule& w, const ContinuousTest& test);
