#include "engine/surveyestimate.h"

#include <algorithm>

#include "link/link.h"

namespace {

// What a query to an ID nobody holds costs before anything is measured: the silence limit and
// a little for the frame.
constexpr double kAbsentGuessMs = Link::kSilenceLimitMs + 5;

}  // namespace

SurveyEstimate::SurveyEstimate(int pairs, int ids) : pairs_(pairs), ids_(ids) {
    clock_.start();
}

void SurveyEstimate::probed(bool answered, qint64 ms) {
    ++probesDone_;
    if (answered) {
        ++answered_;
        answeredMs_ += static_cast<double>(ms);
        ++answeredCount_;
    }
}

void SurveyEstimate::asked(bool module, qint64 ms) {
    ++idsDone_;
    // A module's own cost (its version or read-back) is paid once and says nothing about the
    // IDs still to ask, most of which nobody holds.
    if (module) return;
    absentMs_ += static_cast<double>(ms);
    ++absent_;
}

double SurveyEstimate::answeredProbeMs() const {
    return answeredCount_ > 0 ? answeredMs_ / answeredCount_ : kAbsentGuessMs / 4;
}

double SurveyEstimate::absentIdMs() const {
    return absent_ > 0 ? absentMs_ / absent_ : kAbsentGuessMs;
}

int SurveyEstimate::msLeft() const {
    // Until every pair has been probed, those still to probe are taken to answer: a bound that
    // keeps the progress from running ahead of the truth while the work left is unknown.
    const int probesLeft = pairs_ - probesDone_;
    const double probes = probesLeft * answeredProbeMs();
    const double idsLeft = double((answered_ + probesLeft) * ids_ - idsDone_);
    return static_cast<int>(probes + std::max(0.0, idsLeft) * absentIdMs() + 0.5);
}

int SurveyEstimate::percent() const {
    const double elapsed = static_cast<double>(clock_.elapsed());
    const double left = msLeft();
    if (elapsed + left <= 0) return 0;
    return std::clamp(static_cast<int>(100 * elapsed / (elapsed + left)), 0, 100);
}
