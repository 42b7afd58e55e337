#include "engine/changering.h"

ChangeRing::ChangeRing(int capacity) : times_(static_cast<size_t>(qMax(1, capacity))) {}

void ChangeRing::clear() {
    head_ = 0;
    size_ = 0;
    total_ = 0;
    known_ = false;
    since_ = 0;
    state_ = false;
}

bool ChangeRing::record(qint64 ms, bool state) {
    if (!known_) {
        known_ = true;
        since_ = ms;
        state_ = state;
        return false;
    }
    if (state == state_) return false;
    state_ = state;
    ++total_;
    if (size_ == capacity()) {
        // Full: the oldest change makes room.
        times_[head_] = ms;
        head_ = (head_ + 1) % capacity();
    } else {
        times_[slot(size_)] = ms;
        ++size_;
    }
    return true;
}

int ChangeRing::firstAfter(qint64 ms) const {
    int lo = 0, hi = size_;
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (timeAt(mid) <= ms)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

bool ChangeRing::stateAt(qint64 ms) const {
    const int next = firstAfter(ms);
    if (next == 0) return size_ == 0 ? state_ : !stateAfter(0);
    return stateAfter(next - 1);
}
