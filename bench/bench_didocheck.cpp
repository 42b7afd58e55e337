// The I/O check of 16 channels against a simulated module with a sound loopback harness that
// answers at once: its duration against its floor, the exchanges it needs times the DI/DO
// test's cycle floor (the 50 ms pause plus one measured exchange).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <vector>

#include "engine/didocheck.h"
#include "engine/modulecontext.h"
#include "sim/virtualports.h"
#include "support/exchange.h"
#include "support/measure.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    constexpr int kRuns = 5;
    VirtualPorts ports;
    ports.addModule(1, ModuleType::RQ3016);
    ports.host(1).setBaseDelayMs(0);
    ModuleContext m(ports);
    m.selectType(ModuleType::RQ3016);
    m.ModuleId = QStringLiteral("01");

    const double exchange =
        bench::MedianExchangeMs(m.link, m.PortNo, m.BaudText, QByteArray("B01I0000000000000000"));
    const double cycleFloor = 50.0 + exchange;
    std::printf("one exchange: median %.3f ms; cycle floor (50 ms pause + exchange) %.3f ms\n",
                exchange, cycleFloor);

    std::vector<double> ratio;
    for (int run = 0; run < kRuns; ++run) {
        DidoCheckResult r;
        QElapsedTimer t;
        t.start();
        RunDidoCheck(m, DidoCheckOptions(), r, [] { return false; });
        const double ms = t.nsecsElapsed() / 1e6;
        const double floor = r.exchanges * cycleFloor;
        ratio.push_back(ms / floor);
        std::printf("check %d: %d exchanges, %.1f ms, floor %.1f ms, %.4f x floor, %d ok\n",
                    run + 1, r.exchanges, ms, floor, ms / floor, r.count(ChannelVerdict::Ok));
    }
    std::printf("median %.4f x floor\n", bench::Percentile(ratio, 0.5));
    return 0;
}
