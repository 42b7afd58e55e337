#pragma once
// Finds chattering inputs: a signal that changes more than `limit` times within one second,
// as a bouncing contact or a loose wire does. It keeps, for each lane, the most changes seen
// in any second and the stretches of time in which the limit was passed.

#include <QtGlobal>
#include <deque>
#include <vector>

class ChatterDetector {
  public:
    struct Episode {
        qint64 from = 0;  // the first change of the second in which the limit was passed
        qint64 to = 0;    // the last change while it was
        int changes = 0;  // the most changes within one second meanwhile
    };

    static constexpr int kDefaultLimit = 5;
    // Stretches kept for each lane, the newest; and changes counted within one second at most.
    static constexpr int kMaxEpisodes = 256;
    static constexpr int kMaxCounted = 1000;

    explicit ChatterDetector(int lanes = 16, int limit = kDefaultLimit);

    // More than `limit` changes in a second is chattering; at least 1.
    void setLimit(int limit);
    int limit() const { return limit_; }
    // Forgets every change.
    void clear();
    // A change of `lane` at `ms`; times never go back within a lane.
    void change(int lane, qint64 ms);

    int lanes() const { return static_cast<int>(lanes_.size()); }
    // The most changes within one second so far.
    int peak(int lane) const { return lanes_[lane].peak; }
    bool flagged(int lane) const { return lanes_[lane].peak > limit_; }
    const std::deque<Episode>& episodes(int lane) const { return lanes_[lane].episodes; }

  private:
    struct Lane {
        std::deque<qint64> recent;  // changes of the last second
        int peak = 0;
        std::deque<Episode> episodes;
    };
    std::vector<Lane> lanes_;
    int limit_;
};
