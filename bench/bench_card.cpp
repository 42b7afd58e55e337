// The card read test's cycle against a simulated RQ-3050S that answers at once, with a card on
// both channels at every read: the cycle period over many cycles against its floor (two 30 ms
// pauses plus one measured exchange with each channel), the share of one core the test costs
// while it waits, and how many replies a second the card decoder turns into panel texts.
//
// The test is driven as a user would: the type tab, Scan, and the card test's button, which
// also stops it.
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/frmmodule.h"
#include "app/pagecontrol.h"
#include "engine/carddecoder.h"
#include "link/frame.h"
#include "support/measure.h"
#include "support/simplatform.h"

namespace {

constexpr int kTypeTab = 4;  // RQ-3050S

double MedianExchangeMs(TfrmModule& w, const QString& command) {
    std::vector<double> ms;
    for (int i = 0; i < 100; ++i) {
        QElapsedTimer t;
        t.start();
        w.link.Transact(command);
        ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    return bench::Percentile(ms, 0.5);
}

// Replies a second that DecodeCardReply turns into panel texts, over every form of reply the
// module gives (a card in both lengths, keys, a card with keys, the 16-character form).
double DecoderRepliesPerSecond() {
    std::vector<std::string> replies;
    for (const CardEvent& e :
         {CardEvent::Card("00027CBB"), CardEvent::Card("00027CBB", 18), CardEvent::KeyInput("1234"),
          CardEvent::CardAndKey("00027CBB", "12"), CardEvent::Wide("0123456789abcdeF")}) {
        replies.push_back(wire::BuildReplyFrame("A01F" + e.replyData(1)));
    }
    size_t shown = 0;
    long decoded = 0;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 500) {
        for (int k = 0; k < 1000; ++k) {
            const auto text =
                DecodeCardReply(replies[static_cast<size_t>(decoded++) % replies.size()]);
            shown += text ? text->size() : 0;
        }
    }
    const double s = static_cast<double>(t.nsecsElapsed()) / 1e9;
    if (shown == 0) std::fprintf(stderr, "the decoder showed nothing\n");
    return static_cast<double>(decoded) / s;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    constexpr int kCycles = 300;

    SimPlatform sim({1});
    VirtualPorts& ports = sim.ports;
    SimModule& module = ports.addModule(1, ModuleType::RQ3050S);
    ports.host(1).setBaseDelayMs(0);
    TfrmModule w(sim.platform);
    w.show();
    w.pcMain->clickTab(kTypeTab);
    w.btnScanClick();
    if (w.Linked != 1) {
        std::fprintf(stderr, "the simulated module was not found\n");
        return 1;
    }
    const QString ch1 = w.TypePrefix + w.ModuleId + QStringLiteral("F");
    const QString ch2 = w.TypePrefix +
                        w.findChild<QLabel*>(QStringLiteral("pnRQ3050S_ID"))->text() +
                        QStringLiteral("F");

    // Every read finds a card, so that both panels are decoded and painted at every cycle.
    std::vector<qint64> sentCh1;
    int ch2Replies = 0;
    bool recording = false;
    QElapsedTimer clock;
    auto* button = w.findChild<QPushButton*>(QStringLiteral("btnRQ3050S_Card"));
    ports.host(1).setReplyOverride(
        [&](const std::string& command,
            const std::optional<std::string>& reply) -> std::optional<std::string> {
            if (!reply || command.size() != 4 || command[3] != 'F') return reply;
            const int channel = command == ch2.toStdString() ? 2 : 1;
            if (recording) {
                if (channel == 1) {
                    sentCh1.push_back(clock.nsecsElapsed());
                    if (static_cast<int>(sentCh1.size()) == kCycles + 1) button->click();
                } else {
                    ++ch2Replies;
                }
            }
            return *reply +
                   CardEvent::Card(channel == 1 ? "00027CBB" : "FFFFFFFF").replyData(channel);
        });

    // One exchange with each channel on its own.
    w.link.OpenPort(w.PortNo, w.BaudText);
    const double exchange1 = MedianExchangeMs(w, ch1);
    const double exchange2 = MedianExchangeMs(w, ch2);
    w.link.ClosePort();
    const double floor = 60.0 + exchange1 + exchange2;

    recording = true;
    clock.start();
    const double cpu0 = bench::CpuMs();
    button->click();
    const double wallMs = static_cast<double>(clock.elapsed());
    const double cpuMs = bench::CpuMs() - cpu0;
    recording = false;

    std::vector<double> cycle;
    for (size_t i = 1; i < sentCh1.size(); ++i)
        cycle.push_back(static_cast<double>(sentCh1[i] - sentCh1[i - 1]) / 1e6);
    if (cycle.empty() || ch2Replies < kCycles) {
        std::fprintf(stderr, "the card test did not run its cycles (%zu CH #1, %d CH #2 reads)\n",
                     sentCh1.size(), ch2Replies);
        return 1;
    }
    const QString panel1 = w.findChild<QLabel*>(QStringLiteral("pnRQ3050S_Card1"))->text();
    const QString panel2 = w.findChild<QLabel*>(QStringLiteral("pnRQ3050S_Card2"))->text();
    const double median = bench::Percentile(cycle, 0.5);
    std::printf(
        "one exchange: CH #1 median %.3f ms, CH #2 median %.3f ms; floor (2 x 30 ms "
        "pause + both exchanges) %.3f ms\n",
        exchange1, exchange2, floor);
    std::printf(
        "card read test over %zu cycles: median %.3f ms (%.4f x floor), p99 %.3f ms (%.4f x "
        "floor), max %.3f ms\n",
        cycle.size(), median, median / floor, bench::Percentile(cycle, 0.99),
        bench::Percentile(cycle, 0.99) / floor, *std::max_element(cycle.begin(), cycle.end()));
    std::printf("CPU: %.1f ms over %.0f ms wall, %.2f%% of one core\n", cpuMs, wallMs,
                100.0 * cpuMs / wallMs);
    std::printf("panels: \"%s\" / \"%s\"\n", qPrintable(panel1), qPrintable(panel2));
    std::printf("card decoder: %.0f replies/s\n", DecoderRepliesPerSecond());
    (void)module;
    return 0;
}
