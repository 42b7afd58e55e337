// The I/O check against an input that chatters, at every rate from 1 to 40 changes a second,
// sampled at the check's own cycle: whatever the rate, the check never blames the wiring.
#include <QtTest>

#include "engine/didocheck.h"
#include "engine/modulecontext.h"
#include "engine/testsummary.h"
#include "sim/virtualports.h"
#include "sim/wiring.h"

namespace {
// One exchange of the check on a real bus: the 50 ms pause, then the command and the reply of
// 24 bytes each at 19200 baud and the module's answer; a few ms more or less each time, as the
// system's timers give them.
constexpr int kCycleMs = 77;
int JitterMs(int exchange) {
    return (exchange * 37) % 11 - 5;
}
}  // namespace

class TestEngineDidoCheck : public QObject {
    Q_OBJECT
  private slots:
    void chatterIsNeverAWiringFault_data();
    void chatterIsNeverAWiringFault();
};

void TestEngineDidoCheck::chatterIsNeverAWiringFault_data() {
    QTest::addColumn<double>("hz");
    for (int hz = 1; hz <= 40; ++hz) QTest::newRow(qPrintable(QString::number(hz))) << double(hz);
}

void TestEngineDidoCheck::chatterIsNeverAWiringFault() {
    QFETCH(double, hz);
    VirtualPorts ports;
    ports.addModule(1, ModuleType::RQ3016);
    ports.host(1).setBaseDelayMs(0);
    ModuleContext m(ports);
    m.selectType(ModuleType::RQ3016);
    m.ModuleId = QStringLiteral("01");
    std::string error;
    const std::optional<Wiring> wiring = ParseWiring("chatter:15:" + std::to_string(hz), &error);
    QVERIFY2(wiring, error.c_str());
    // The input as the check sees it: the chatter at the time of each exchange of its cycle, on
    // a clock of its own, so that the rates meet the cycle as they would on a bus.
    int exchanges = 0;
    QString states;
    ports.host(1).setReplyOverride(
        [&](const std::string&,
            const std::optional<std::string>& reply) -> std::optional<std::string> {
            if (!reply || reply->size() != 20) return reply;
            const int n = exchanges++;
            const auto at = SimTime() + std::chrono::milliseconds(7 + kCycleMs * n + JitterMs(n));
            const std::string inputs = wiring->apply(reply->substr(4), at);
            states += QLatin1Char(inputs[14]);
            return reply->substr(0, 4) + inputs;
        });
    DidoCheckOptions quick;
    quick.pauseMs = 1;
    DidoCheckResult r;
    QCOMPARE(RunDidoCheck(m, quick, r, [] { return false; }), ContinuousEnd::Stopped);
    QVERIFY(r.complete());
    // Where the input changed while the check watched, it is chattering. A rate that meets the
    // cycle exactly shows the same state at every exchange: a steady input, as it looks.
    const bool changed = states.contains('0') && states.contains('1');
    const ChannelVerdict steady =
        states.contains('1') ? ChannelVerdict::StuckOn : ChannelVerdict::StuckOff;
    QVERIFY2(r.verdicts[14] == (changed ? ChannelVerdict::Chattering : steady),
             qPrintable(VerdictName(r.verdicts[14]) + " from " + states));
    for (int k = 0; k < 16; ++k)
        if (k != 14) QCOMPARE(r.verdicts[static_cast<size_t>(k)], ChannelVerdict::Ok);
}

QTEST_GUILESS_MAIN(TestEngineDidoCheck)
#include "test_engine_didocheck.moc"
