#include "engine/didotimeline.h"

#include <QSaveFile>
#include <vector>

#include "text/csvfield.h"

DidoTimeline::DidoTimeline() : chatter_(16) {}

void DidoTimeline::start() {
    for (ChangeRing& r : inputs_) r.clear();
    for (ChangeRing& r : outputs_) r.clear();
    chatter_.clear();
    lastMs_ = 0;
    ++revision_;
}

void DidoTimeline::record(const DidoCycle& c) {
    lastMs_ = c.ms;
    for (int k = 0; k < 16; ++k) outputs_[static_cast<size_t>(k)].record(c.ms, c.outputs[k]);
    if (c.inputs) {
        for (int k = 0; k < 16; ++k)
            if (inputs_[static_cast<size_t>(k)].record(c.ms, (*c.inputs)[k]))
                chatter_.change(k, c.ms);
    }
    ++revision_;
}

void DidoTimeline::setChatterLimit(int limit) {
    chatter_.setLimit(limit);
    chatter_.clear();
    for (int k = 0; k < 16; ++k) {
        const ChangeRing& r = inputs_[static_cast<size_t>(k)];
        for (int i = 0; i < r.size(); ++i) chatter_.change(k, r.timeAt(i));
    }
    ++revision_;
}

int DidoTimeline::changesHeld() const {
    int n = 0;
    for (const ChangeRing& r : inputs_) n += r.size();
    for (const ChangeRing& r : outputs_) n += r.size();
    return n;
}

QByteArray DidoTimeline::csv() const {
    // A merge of the 32 rings by time; outputs come first among changes of one cycle.
    struct Cursor {
        const ChangeRing* ring;
        int channel;
        bool output;
        int next;
    };
    std::vector<Cursor> cursors;
    for (int k = 0; k < 16; ++k)
        cursors.push_back({&outputs_[static_cast<size_t>(k)], k + 1, true, 0});
    for (int k = 0; k < 16; ++k)
        cursors.push_back({&inputs_[static_cast<size_t>(k)], k + 1, false, 0});
    QByteArray out = CsvLine({QStringLiteral("ms"), QStringLiteral("channel"),
                              QStringLiteral("signal"), QStringLiteral("state")})
                         .toLatin1();
    out.reserve(out.size() + changesHeld() * 16);
    for (;;) {
        Cursor* best = nullptr;
        for (Cursor& c : cursors) {
            if (c.next >= c.ring->size()) continue;
            if (!best || c.ring->timeAt(c.next) < best->ring->timeAt(best->next)) best = &c;
        }
        if (!best) break;
        out += CsvLine(
                   {QString::number(best->ring->timeAt(best->next)), QString::number(best->channel),
                    best->output ? QStringLiteral("DO") : QStringLiteral("DI"),
                    best->ring->stateAfter(best->next) ? QStringLiteral("1") : QStringLiteral("0")})
                   .toLatin1();
        ++best->next;
    }
    return out;
}

bool DidoTimeline::saveCsv(const QString& path, QString* error) const {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) {
        if (error) *error = f.errorString();
        return false;
    }
    const QByteArray text = csv();
    if (f.write(text) != text.size() || !f.commit()) {
        if (error) *error = f.errorString();
        return false;
    }
    return true;
}
