// Soak: the command test, the DI/DO test and the card read test in turns against simulated
// modules, with 5% of the replies faulty (dropped, delayed past the silence limit, paused
// mid-frame, wrong or lower-case checksum, noise before the frame, truncated), for a given
// time. Samples the resident memory and the open descriptors every 10 s and prints them, then
// their slope after the warm-up.
//
//   bench_soak [SECONDS]   (default 3600)
#include <dirent.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <vector>

#include "app/frmmodule.h"
#include "app/pagecontrol.h"
#include "support/simplatform.h"

namespace {

long RssKiB() {
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

int OpenDescriptors() {
    DIR* d = opendir("/proc/self/fd");
    if (!d) return -1;
    int n = 0;
    while (const dirent* e = readdir(d)) {
        if (e->d_name[0] != '.') ++n;
    }
    closedir(d);
    return n - 1;  // the directory's own descriptor
}

struct Sample {
    double s;
    long rssKiB;
    int fds;
};

// Least-squares slope of y over x.
double Slope(const std::vector<double>& x, const std::vector<double>& y) {
    const double n = static_cast<double>(x.size());
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        sx += x[i];
        sy += y[i];
        sxx += x[i] * x[i];
        sxy += x[i] * y[i];
    }
    const double d = n * sxx - sx * sx;
    return d == 0 ? 0 : (n * sxy - sx * sy) / d;
}

// With probability 5%, one fault of a random kind for this reply only.
void MaybeFault(ModuleHost& host, std::mt19937& rng, int& faults) {
    if (std::uniform_real_distribution<double>(0, 1)(rng) >= 0.05) return;
    ++faults;
    FaultConfig f;
    f.times = 1;
    switch (std::uniform_int_distribution<int>(0, 6)(rng)) {
        case 0:
            f.dropShare = 1.0;
            break;
        case 1:
            f.delayMs = 250;
            break;
        case 2:
            f.pauseAfterByte = 3;
            f.pauseMs = 250;
            break;
        case 3:
            f.wrongChecksum = true;
            break;
        case 4:
            f.lowerCaseChecksum = true;
            break;
        case 5:
            f.noiseBytes = 3;
            break;
        default:
            f.truncateTo = 6;
            break;
    }
    host.faults() = f;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const double duration = argc > 1 ? std::atof(argv[1]) : 3600.0;
    constexpr double kSampleEvery = 10.0;
    constexpr int kCyclesPerRun = 40;

    SimPlatform sim({1, 2});
    VirtualPorts& ports = sim.ports;
    ports.addModule(1, ModuleType::RQ3016);
    ports.addModule(2, ModuleType::RQ3050K);
    TfrmModule w(sim.platform);
    w.show();

    std::mt19937 rng(11);
    int faults = 0;
    long replies = 0;
    // Counts the exchanges of the running continuous test and stops it after kCyclesPerRun.
    QPushButton* running = nullptr;
    int cycles = 0;
    for (int port : {1, 2}) {
        ports.host(port).setReplyOverride(
            [&, port](const std::string&, const std::optional<std::string>& reply) {
                ++replies;
                MaybeFault(ports.host(port), rng, faults);
                if (running && ++cycles == kCyclesPerRun) running->click();
                return reply;
            });
    }

    // Links the window to the module on `port` with type tab `tab`.
    auto linkTo = [&](int tab, int port) {
        w.pcMain->clickTab(tab);
        w.cmbPort->setEditText(QStringLiteral("COM%1").arg(port));
        w.cmbBaudRate->setCurrentIndex(5);
        w.btnLinkClick();
        return w.Linked == 1;
    };
    auto runContinuous = [&](const char* button) {
        running = w.findChild<QPushButton*>(QLatin1String(button));
        cycles = 0;
        running->click();
        running = nullptr;
    };

    std::vector<Sample> samples;
    QElapsedTimer clock;
    clock.start();
    auto sample = [&] {
        samples.push_back({clock.elapsed() / 1000.0, RssKiB(), OpenDescriptors()});
        const Sample& s = samples.back();
        std::printf("t=%6.0f s  rss=%7ld KiB  fds=%3d  replies=%ld  faults=%d\n", s.s, s.rssKiB,
                    s.fds, replies, faults);
        std::fflush(stdout);
    };
    sample();
    int turns = 0;
    int links = 0;
    int linked = 0;
    while (clock.elapsed() / 1000.0 < duration) {
        ++links;
        if (linkTo(0, 1)) {
            ++linked;
            w.control<QLineEdit>("edTestSend")->setText(QStringLiteral("V"));
            w.btnTestClick();
            runContinuous("btnDIDOTest");
        }
        ++links;
        if (linkTo(5, 2)) {
            ++linked;
            runContinuous("btnRQ3050K_Card");
        }
        ++turns;
        // The simulator keeps records of every open, byte and command (bounded, but large);
        // dropped each turn so that the samples show the window and the link alone.
        ports.clearRecords();
        if (clock.elapsed() / 1000.0 >= samples.back().s + kSampleEvery) sample();
    }
    sample();

    // Warm-up: the first fifth of the run, at least one minute when the run allows it.
    const double warmUp = std::min(std::max(60.0, duration / 5), duration / 2);
    std::vector<double> t, rss, fds;
    for (const Sample& s : samples) {
        if (s.s < warmUp) continue;
        t.push_back(s.s / 3600.0);
        rss.push_back(static_cast<double>(s.rssKiB));
        fds.push_back(s.fds);
    }
    std::printf("%d turns, %d links (%d linked), %ld replies, %d faulty\n", turns, links, linked,
                replies, faults);
    if (t.size() >= 2) {
        std::printf(
            "after %.0f s of warm-up (%zu samples): rss %ld..%ld KiB, slope %.1f KiB/hour; "
            "fds %d..%d, slope %.2f /hour\n",
            warmUp, t.size(), static_cast<long>(*std::min_element(rss.begin(), rss.end())),
            static_cast<long>(*std::max_element(rss.begin(), rss.end())), Slope(t, rss),
            static_cast<int>(*std::min_element(fds.begin(), fds.end())),
            static_cast<int>(*std::max_element(fds.begin(), fds.end())), Slope(t, fds));
    } else {
        std::printf("too short for a slope after warm-up\n");
    }
    return 0;
}
