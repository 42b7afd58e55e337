#include "engine/changering.h"

#include <algorithm>

ChangeRing::ChangeRing(int capacity) {
    int size = 1;
    while (size < capacity && size < (1 << 28)) size <<= 1;
    mask_ = size - 1;
}

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
    if (times_.empty()) times_.resize(static_cast<size_t>(capacity()));
    if (size_ == capacity()) {
        // Full: the oldest change makes room.
        times_[static_cast<size_t>(head_)] = ms;
        head_ = (head_ + 1) & mask_;
    } else {
        times_[static_cast<size_t>(slot(size_))] = ms;
        ++size_;
    }
    return true;
}

int ChangeRing::firstAfter(qint64 ms, int from) const {
    // Gallops from `from` to a bound past the answer, then halves the interval.
    int lo = std::clamp(from, 0, size_);
    int step = 1;
    int hi = lo;
    while (hi < size_ && timeAt(hi) <= ms) {
        lo = hi + 1;
        hi = std::min(size_, hi + step);
        step *= 2;
    }
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
