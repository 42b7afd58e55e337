#pragma once
// The time a bus survey has left, from what it still has to ask and what each kind of step has
// cost so far on this bus. The survey first asks ID 00 at every line setting and type, then
// every ID of each pair that answered: once the probes are done the work left is known, and
// before that it is bounded by taking every pair still to probe to answer.

#include <QElapsedTimer>

class SurveyEstimate {
  public:
    // `pairs` line setting and type pairs to probe, `ids` IDs to ask in each that answers.
    SurveyEstimate(int pairs, int ids);

    // A probe ended; `answered` when a byte came back. `ms` is what it took.
    void probed(bool answered, qint64 ms);
    // One ID of an answering pair was asked: `module` when a module answered there (its
    // version or read-back included in `ms`).
    void asked(bool module, qint64 ms);

    // Milliseconds the survey still needs (while probing, at most), and its progress by time,
    // 0..100.
    int msLeft() const;
    int percent() const;
    // Steps (probes and IDs) done and all that the survey is known to take so far.
    int stepsDone() const { return probesDone_ + idsDone_; }
    int stepsKnown() const { return pairs_ + answered_ * ids_; }

  private:
    double answeredProbeMs() const;
    double absentIdMs() const;

    int pairs_;
    int ids_;
    int probesDone_ = 0;
    int answered_ = 0;
    int idsDone_ = 0;
    // Measured costs: sums and counts of silent probes, answered probes and absent IDs.
    double answeredMs_ = 0, absentMs_ = 0;
    int answeredCount_ = 0, absent_ = 0;
    QElapsedTimer clock_;
};
