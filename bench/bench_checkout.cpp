// The site checkout's rounds on simulated buses of 30 modules at 19200,e,8,1, with the bytes
// paced at the line's rate: a round against the floor of its exchanges (the bytes of every
// command and reply on the wire, and each module's turnaround before it answers), and eight
// buses at once against each bus alone (its slowest round) with the CPU they take. In process
// the simulated line's byte-by-byte pacing runs in this process too; with --sim QUILLON_SIM the
// eight buses are quillon-sim programs on pseudo-terminals opened through the serial port
// backend, so that the CPU is the checkout's alone (and how much of it the kernel's); --sim-only
// runs just those.
#include <sys/resource.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <vector>

#include "engine/checkoutbuses.h"
#include "engine/modulecontext.h"
#include "link/linesettings.h"
#include "link/qtserialport.h"
#include "sim/virtualports.h"

namespace {

constexpr int kModules = 30;
constexpr int kTurnaroundMs = 2;
constexpr int kRounds = 8;

struct Bus {
    std::unique_ptr<VirtualPorts> ports;
    CheckoutBus checkout;
    size_t replyBytes = 0;
};

// 18 DI/DO modules, 6 Wiegand interfaces (CH #2 at an ID of its own) and 6 printers.
std::unique_ptr<Bus> MakeBus(int bus) {
    auto b = std::make_unique<Bus>();
    b->ports = std::make_unique<VirtualPorts>();
    for (int k = 1; k <= kModules; ++k) {
        const ModuleType type = k <= 18   ? ModuleType::RQ3016
                                : k <= 24 ? ModuleType::RQ3050K
                                          : ModuleType::RQ3020;
        SimModule s(type);
        s.id = k;
        s.ch2Id = 40 + k;
        s.serial = QStringLiteral("%1%2%3")
                       .arg(k <= 18   ? 16
                            : k <= 24 ? 50
                                      : 20)
                       .arg(bus, 2, 10, QChar('0'))
                       .arg(k, 4, 10, QChar('0'))
                       .toStdString();
        b->ports->addModule(1, s);
        CheckoutModule mod{type, QString::fromStdString(s.serial), k, 5,
                           IsWiegand(type) ? s.ch2Id : 0};
        b->checkout.modules << mod;
        for (const QString& p : PointsOfType(type))
            b->checkout.points << CheckoutPoint{0, type, mod.serial, p, {}};
    }
    ModuleHost& host = b->ports->host(1);
    host.setPacing(true);
    host.setBaseDelayMs(kTurnaroundMs);
    Bus* raw = b.get();
    host.onEvent = [raw](const ModuleHost::Event& e) {
        if (e.kind == ModuleHost::Event::Kind::Scheduled) raw->replyBytes += e.bytes.size();
    };
    return b;
}

double Seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

// The CPU this process has used so far, all of it and the kernel's part, from one reading.
struct CpuUse {
    double all = 0;
    double kernel = 0;
};

CpuUse Cpu() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return {Seconds(u.ru_utime) + Seconds(u.ru_stime), Seconds(u.ru_stime)};
}

qint64 Slowest(const std::vector<qint64>& rounds) {
    qint64 worst = 0;
    // The first round opens the port and reads every input for the first time.
    for (size_t i = 1; i < rounds.size(); ++i) worst = std::max(worst, rounds[i]);
    return worst;
}

// Runs kRounds rounds on every bus at once; the length of each bus's rounds, in ms.
std::vector<std::vector<qint64>> Rounds(const QList<CheckoutBus>& checkout,
                                        const BusRunner::MakeOpener& opener) {
    BusRunner runner(static_cast<int>(checkout.size()), opener);
    const size_t buses = static_cast<size_t>(checkout.size());
    std::vector<std::vector<qint64>> rounds(buses);
    std::atomic<bool> stop{false};
    BusCheckoutHooks hooks;
    hooks.roundDone = [&](int bus, int, qint64 ms) {
        rounds[size_t(bus)].push_back(ms);
        bool all = true;
        for (const auto& r : rounds) all = all && r.size() >= size_t(kRounds);
        if (all) stop.store(true);
    };
    hooks.stop = &stop;
    RunBusCheckout(runner, checkout, hooks);
    return rounds;
}

std::vector<std::vector<qint64>> Rounds(std::vector<std::unique_ptr<Bus>>& buses) {
    QList<CheckoutBus> checkout;
    for (auto& b : buses) checkout << b->checkout;
    return Rounds(checkout, [&buses](int b) {
        return std::make_unique<ForwardingOpener>(*buses.at(size_t(b))->ports);
    });
}

// quillon-sim with the modules of bus `bus` on a pseudo-terminal, paced; its device path.
QString StartSim(QProcess& p, const QString& sim, const CheckoutBus& bus) {
    QStringList args{"--quiet", "--pace", "--reply-delay", QString::number(kTurnaroundMs)};
    for (const CheckoutModule& m : bus.modules)
        args << "--module"
             << QStringLiteral("%1:%2:%3")
                    .arg(QString::fromStdString(ModuleTypeName(m.type)))
                    .arg(m.id)
                    .arg(m.serial);
    p.start(sim, args);
    p.waitForReadyRead(5000);
    const QString pty = QString::fromLatin1(p.readLine().trimmed().mid(5));
    for (const CheckoutModule& m : bus.modules)
        if (m.ch2Id > 0)
            p.write(QStringLiteral("module %1 ch2id %2\n").arg(m.serial).arg(m.ch2Id).toLatin1());
    p.waitForBytesWritten(2000);
    return pty;
}

// The eight buses on pseudo-terminals: each alone, then all at once.
void OnPtys(const QString& sim) {
    std::vector<std::unique_ptr<QProcess>> sims;
    QList<CheckoutBus> buses;
    QStringList ptys;
    for (int n = 0; n < 8; ++n) {
        buses << MakeBus(n)->checkout;
        sims.push_back(std::make_unique<QProcess>());
        ptys << StartSim(*sims.back(), sim, buses.last());
    }
    QThread::msleep(300);
    const auto opener = [&ptys](int b) {
        const QString device = ptys.value(b);
        return std::make_unique<QtPortOpener>([device](int) { return device; });
    };
    std::vector<qint64> alone;
    for (int n = 0; n < 8; ++n)
        alone.push_back(Slowest(Rounds({buses.at(n)}, [&](int) { return opener(n); }).at(0)));
    const CpuUse cpu = Cpu();
    QElapsedTimer wall;
    wall.start();
    const std::vector<std::vector<qint64>> together = Rounds(buses, opener);
    const CpuUse after = Cpu();
    const double used = after.all - cpu.all;
    const double usedSystem = after.kernel - cpu.kernel;
    const double seconds = wall.elapsed() / 1000.0;
    double worst = 0;
    for (int n = 0; n < 8; ++n)
        worst = std::max(worst, static_cast<double>(Slowest(together[size_t(n)])) /
                                    static_cast<double>(alone[size_t(n)]));
    std::printf(
        "8 buses of %d modules at once on pseudo-terminals: CPU of this process %.2f s "
        "(%.2f s of it in the kernel) in %.2f s, %.1f%% of a core (target <= 5%%); slowest "
        "round against the same bus alone (%lld ms): ratio %.3f (target <= 1.05)\n",
        kModules, used, usedSystem, seconds, 100 * used / seconds,
        static_cast<long long>(*std::max_element(alone.begin(), alone.end())), worst);
    for (auto& p : sims) p->kill(), p->waitForFinished(2000);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int simAt = static_cast<int>(app.arguments().indexOf(QStringLiteral("--sim")));
    // --sim-only: the pseudo-terminal figures alone, for profiling the checkout's own CPU.
    if (simAt > 0 && app.arguments().contains(QStringLiteral("--sim-only"))) {
        OnPtys(app.arguments().value(simAt + 1));
        return 0;
    }
    const double byteMs = std::chrono::duration<double, std::milli>(
                              ByteTime(*ParseLineSetting(LineSettings::text(5))))
                              .count();

    // One bus alone: its rounds against the floor of their exchanges.
    std::vector<std::unique_ptr<Bus>> one;
    one.push_back(MakeBus(0));
    const std::vector<qint64> alone = Rounds(one).at(0);
    Bus& b = *one.front();
    const size_t exchanges = b.ports->commands(1).size();
    const double commandBytes = static_cast<double>(b.ports->written(1).size());
    const double perRound = static_cast<double>(alone.size());
    const double floorMs = ((commandBytes + static_cast<double>(b.replyBytes)) * byteMs +
                            static_cast<double>(exchanges) * kTurnaroundMs) /
                           perRound;
    qint64 sum = 0;
    for (size_t i = 1; i < alone.size(); ++i) sum += alone[i];
    const double mean = static_cast<double>(sum) / static_cast<double>(alone.size() - 1);
    std::printf(
        "round of %d modules at 19200,e,8,1 (%zu exchanges a round): mean %.1f ms, slowest "
        "%lld ms; floor %.1f ms (%.0f bytes on the wire at %.3f ms and %d ms turnaround each "
        "exchange); ratio %.3f (target <= 1.05)\n",
        kModules, static_cast<size_t>(exchanges / perRound), mean,
        static_cast<long long>(Slowest(alone)), floorMs,
        (commandBytes + static_cast<double>(b.replyBytes)) / perRound, byteMs, kTurnaroundMs,
        mean / floorMs);
    std::printf("shortest input pulse sure to be seen (two rounds): %.0f ms for %d modules\n",
                2 * static_cast<double>(Slowest(alone)), kModules);

    // Eight buses at once against each alone.
    std::vector<qint64> slowestAlone;
    for (int n = 0; n < 8; ++n) {
        std::vector<std::unique_ptr<Bus>> single;
        single.push_back(MakeBus(n));
        slowestAlone.push_back(Slowest(Rounds(single).at(0)));
    }
    std::vector<std::unique_ptr<Bus>> eight;
    for (int n = 0; n < 8; ++n) eight.push_back(MakeBus(n));
    const double cpu = Cpu().all;
    QElapsedTimer wall;
    wall.start();
    const std::vector<std::vector<qint64>> together = Rounds(eight);
    const double used = Cpu().all - cpu;
    const double seconds = wall.elapsed() / 1000.0;
    double worstRatio = 0;
    for (int n = 0; n < 8; ++n)
        worstRatio = std::max(worstRatio, static_cast<double>(Slowest(together[size_t(n)])) /
                                              static_cast<double>(slowestAlone[size_t(n)]));
    std::printf(
        "8 buses of %d modules at once in process: CPU %.2f s in %.2f s, %.1f%% of a core (target "
        "<= 5%%); "
        "slowest round against the same bus alone: ratio %.3f (target <= 1.05)\n",
        kModules, used, seconds, 100 * used / seconds, worstRatio);
    if (simAt > 0) OnPtys(app.arguments().value(simAt + 1));
    return 0;
}
