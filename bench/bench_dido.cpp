// The DI/DO test's cycle against a simulated module that answers at once: the cycle period
// over many cycles against its floor (the 50 ms pause plus one measured exchange), and the
// share of one core the test costs while it waits: with the main window alone and inputs that
// stay as they are, then with inputs that change at every cycle (one active input walks
// along), without and with the DI timeline open beside the window. Run it under Xvfb with
// QT_QPA_PLATFORM=xcb for the cost of a visible window; offscreen by default.
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/ditimelinewindow.h"
#include "app/frmmodule.h"
#include "support/exchange.h"
#include "support/measure.h"
#include "support/simplatform.h"

namespace {

// One run of the test over `cycles` cycles; prints its figures under `title`.
void Measure(TfrmModule& w, VirtualPorts& ports, double floor, int cycles, bool walking,
             const char* title) {
    std::vector<qint64> sent;
    QElapsedTimer clock;
    auto* button = w.findChild<QPushButton*>(QStringLiteral("btnDIDOTest"));
    ports.module(1).inputMode = walking ? InputMode::Walking : InputMode::FollowOutputs;
    ports.host(1).setReplyOverride(
        [&](const std::string&, const std::optional<std::string>& reply) {
            sent.push_back(clock.nsecsElapsed());
            if (static_cast<int>(sent.size()) == cycles + 1) button->click();
            return reply;
        });
    clock.start();
    const double cpu0 = bench::CpuMs();
    button->click();
    const double wallMs = static_cast<double>(clock.elapsed());
    const double cpuMs = bench::CpuMs() - cpu0;
    ports.host(1).setReplyOverride({});

    std::vector<double> cycle;
    for (size_t i = 1; i < sent.size(); ++i) cycle.push_back((sent[i] - sent[i - 1]) / 1e6);
    const double median = bench::Percentile(cycle, 0.5);
    std::printf("%s\n", title);
    std::printf(
        "  DI/DO test over %zu cycles: median %.3f ms (%.4f x floor), p99 %.3f ms, max %.3f ms\n",
        cycle.size(), median, median / floor, bench::Percentile(cycle, 0.99),
        *std::max_element(cycle.begin(), cycle.end()));
    std::printf("  CPU: %.1f ms over %.0f ms wall, %.2f%% of one core\n", cpuMs, wallMs,
                100.0 * cpuMs / wallMs);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    constexpr int kCycles = 300;

    SimPlatform sim({1});
    VirtualPorts& ports = sim.ports;
    ports.addModule(1, ModuleType::RQ3016);
    ports.host(1).setBaseDelayMs(0);
    TfrmModule w(sim.platform);
    w.show();
    w.btnScanClick();
    if (w.Linked != 1) {
        std::fprintf(stderr, "the simulated module was not found\n");
        return 1;
    }

    // One exchange of the test's command on its own.
    const double exchange =
        bench::MedianExchangeMs(w.link, w.PortNo, w.BaudText, QByteArray("B01I0000000000000000"));
    const double floor = 50.0 + exchange;
    std::printf("one exchange: median %.3f ms; floor (50 ms pause + exchange) %.3f ms\n", exchange,
                floor);

    Measure(w, ports, floor, kCycles, false, "main window alone:");
    Measure(w, ports, floor, kCycles, true,
            "main window alone, the inputs changing at every cycle:");

    w.btnDITimelineClick();
    auto* timeline = w.findChild<TfrmDITimeline*>();
    QElapsedTimer wait;
    wait.start();
    while (timeline && !(timeline->windowHandle() && timeline->windowHandle()->isExposed()) &&
           wait.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (!timeline || !timeline->windowHandle()->isExposed()) {
        std::fprintf(stderr, "the DI timeline did not show\n");
        return 1;
    }
    Measure(w, ports, floor, kCycles, false, "with the DI timeline open, the inputs steady:");
    Measure(w, ports, floor, kCycles, true,
            "with the DI timeline open, the inputs changing at every cycle:");
    return 0;
}
