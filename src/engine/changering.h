#pragma once
// The changes of one on/off signal (an input or an output of the DI/DO module), newest kept:
// a ring of fixed size, so that neither memory nor a look-up grows with the length of a test.
// Each change flips the state, so a change is its time alone.

#include <QtGlobal>
#include <vector>

class ChangeRing {
  public:
    // Enough for ten minutes of a signal that changes at every cycle of the DI/DO test
    // (at most 20 a second), with room to spare.
    static constexpr int kDefaultCapacity = 16384;

    // The capacity is a power of two, at least `capacity`; its memory is taken at the first
    // change.
    explicit ChangeRing(int capacity = kDefaultCapacity);

    // Forgets everything: the signal is unknown until its first reading.
    void clear();
    // The state read at `ms` (times never go back); a change when it differs from the last
    // state read. True on a change.
    bool record(qint64 ms, bool state);

    bool known() const { return known_; }
    // The time of the first reading, and the state then.
    qint64 knownSince() const { return since_; }
    bool state() const { return state_; }
    // Changes since the first reading, those the ring no longer holds included.
    qint64 total() const { return total_; }
    // Changes held, oldest first.
    int size() const { return size_; }
    int capacity() const { return mask_ + 1; }
    qint64 timeAt(int i) const { return times_[static_cast<size_t>(slot(i))]; }
    // The state after change i; before the oldest held change the state is its opposite.
    bool stateAfter(int i) const { return state_ ^ (((size_ - 1 - i) & 1) != 0); }
    // The first held change later than `ms` (size() when there is none).
    int firstAfter(qint64 ms) const { return firstAfter(ms, 0); }
    // The same, looked for from change `from` on (which must not be later than `ms`): quick
    // when the answer is near, as when a view walks through the changes.
    int firstAfter(qint64 ms, int from) const;
    // The state at `ms`: after every held change at or before it.
    bool stateAt(qint64 ms) const;

  private:
    int slot(int i) const { return (head_ + i) & mask_; }

    std::vector<qint64> times_;
    int mask_ = 0;
    int head_ = 0;  // the oldest held change
    int size_ = 0;
    qint64 total_ = 0;
    bool known_ = false;
    qint64 since_ = 0;
    bool state_ = false;
};
