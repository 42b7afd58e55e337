#pragma once
// What the timeline of the DI/DO test shows: the 16 inputs and the 16 outputs as rings of
// changes since the test started, the chattering inputs, and the changes as CSV. The window
// draws it; the test's cycles fill it.

#include <QByteArray>
#include <QString>
#include <array>
#include <optional>

#include "engine/changering.h"
#include "engine/chatter.h"
#include "engine/dido.h"

class DidoTimeline {
  public:
    DidoTimeline();

    // A new test: everything is forgotten and times count from 0.
    void start();
    // One cycle at `ms` since the start: the outputs sent, and the inputs of a readable
    // reply (a cycle without one leaves the inputs as they were last read).
    void record(const DidoCycle& cycle);

    const ChangeRing& input(int k) const { return inputs_[static_cast<size_t>(k)]; }
    const ChangeRing& output(int k) const { return outputs_[static_cast<size_t>(k)]; }
    const ChatterDetector& chatter() const { return chatter_; }
    // The chatter limit; the changes held are looked at again with it.
    void setChatterLimit(int limit);

    // The time of the last cycle; 0 before the first.
    qint64 lastMs() const { return lastMs_; }
    // Grows with every cycle recorded, so that a view knows when to draw again.
    quint64 revision() const { return revision_; }

    // "ms,channel,signal,state": one line per change held, in the order they happened (an
    // output before the inputs it moved), after a header line.
    QByteArray csv() const;
    // Writes csv() to `path` in one step; false with the reason otherwise.
    bool saveCsv(const QString& path, QString* error) const;
    // Changes that csv() writes.
    int changesHeld() const;

  private:
    std::array<ChangeRing, 16> inputs_;
    std::array<ChangeRing, 16> outputs_;
    ChatterDetector chatter_;
    qint64 lastMs_ = 0;
    quint64 revision_ = 0;
};
