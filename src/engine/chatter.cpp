#include "engine/chatter.h"

#include <algorithm>

ChatterDetector::ChatterDetector(int lanes, int limit)
    : lanes_(static_cast<size_t>(qMax(0, lanes))), limit_(qMax(1, limit)) {}

void ChatterDetector::setLimit(int limit) {
    limit_ = qMax(1, limit);
}

void ChatterDetector::clear() {
    for (Lane& l : lanes_) l = Lane();
}

void ChatterDetector::change(int lane, qint64 ms) {
    if (lane < 0 || lane >= lanes()) return;
    Lane& l = lanes_[static_cast<size_t>(lane)];
    // The second that ends with this change: (ms - 1000, ms].
    while (!l.recent.empty() && l.recent.front() <= ms - 1000) l.recent.pop_front();
    if (static_cast<int>(l.recent.size()) >= kMaxCounted) l.recent.pop_front();
    l.recent.push_back(ms);
    const int count = static_cast<int>(l.recent.size());
    l.peak = std::max(l.peak, count);
    if (count <= limit_) return;
    const qint64 from = l.recent.front();
    if (!l.episodes.empty() && l.episodes.back().to >= from) {
        Episode& e = l.episodes.back();
        e.to = ms;
        e.changes = std::max(e.changes, count);
        return;
    }
    l.episodes.push_back({from, ms, count});
    if (static_cast<int>(l.episodes.size()) > kMaxEpisodes) l.episodes.pop_front();
}
