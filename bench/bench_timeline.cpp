// The DI timeline's paint at its worst: 16 inputs and 16 outputs that each changed at every
// cycle of a DI/DO test at 20 cycles a second for ten minutes, drawn over the ten-minute span
// (and the shorter ones) into an image of the widget's size. Prints the median and the 99th
// percentile of a paint, and what the rings hold.
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <memory>
#include <vector>

#include "app/ditimelinewidget.h"
#include "engine/didotimeline.h"
#include "support/measure.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    constexpr int kRate = 20;
    constexpr int kSeconds = 600;
    constexpr int kPaints = 200;

    auto timeline = std::make_shared<DidoTimeline>();
    timeline->start();
    QElapsedTimer fill;
    fill.start();
    for (int i = 0; i < kRate * kSeconds; ++i) {
        DidoCycle c;
        c.ms = static_cast<qint64>(i) * 1000 / kRate;
        c.outputs = i % 2 ? Channels().set() : Channels();
        c.answered = true;
        c.inputs = c.outputs;
        timeline->record(c);
    }
    const double fillMs = fill.nsecsElapsed() / 1e6;
    std::printf("%d cycles recorded in %.1f ms (%.2f us a cycle); %d changes held of %lld\n",
                kRate * kSeconds, fillMs, 1000.0 * fillMs / (kRate * kSeconds),
                timeline->changesHeld(), static_cast<long long>(timeline->input(0).total()) * 32);

    DITimelineWidget widget(timeline);
    widget.resize(widget.sizeHint());
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    const struct {
        const char* name;
        qint64 spanMs;
        bool outputs;
    } views[] = {{"10 min, DO lanes shown", 600000, true},
                 {"10 min, inputs only", 600000, false},
                 {"60 s, DO lanes shown", 60000, true},
                 {"10 s, DO lanes shown", 10000, true}};
    for (const auto& v : views) {
        widget.setSpanMs(v.spanMs);
        widget.setShowOutputs(v.outputs);
        std::vector<double> ms;
        for (int i = 0; i < kPaints; ++i) {
            QElapsedTimer t;
            t.start();
            QPainter p(&image);
            widget.draw(p, image.rect());
            p.end();
            ms.push_back(t.nsecsElapsed() / 1e6);
        }
        std::printf("paint %dx%d, %s: median %.3f ms, p99 %.3f ms\n", image.width(), image.height(),
                    v.name, bench::Percentile(ms, 0.5), bench::Percentile(ms, 0.99));
    }

    // What a visible timeline draws at every cycle of a DI/DO test: the last 10 s, one input
    // and its output changing at every cycle.
    auto quiet = std::make_shared<DidoTimeline>();
    quiet->start();
    for (int i = 0; i < kRate * 60; ++i) {
        DidoCycle c;
        c.ms = static_cast<qint64>(i) * 1000 / kRate;
        c.outputs[0] = i % 2;
        c.answered = true;
        c.inputs = c.outputs;
        quiet->record(c);
    }
    DITimelineWidget testView(quiet);
    testView.resize(testView.sizeHint());
    std::vector<double> ms;
    for (int i = 0; i < kPaints; ++i) {
        QElapsedTimer t;
        t.start();
        QPainter p(&image);
        testView.draw(p, image.rect());
        p.end();
        ms.push_back(t.nsecsElapsed() / 1e6);
    }
    std::printf(
        "paint %dx%d, 10 s of a DI/DO test, one input changing: median %.3f ms, p99 %.3f ms\n",
        image.width(), image.height(), bench::Percentile(ms, 0.5), bench::Percentile(ms, 0.99));
    return 0;
}
