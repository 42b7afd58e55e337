// What the command line costs: the start-up of `quillon-cli --version` against `true`, and the
// wall time of `info` and `scan` against the same engine calls made in this process on the same
// simulated module (the protocol's waits and the module's replies, without a program around
// them).
//   bench_cli [QUILLON_CLI [QUILLON_SIM]]   (default: the build tree's programs)
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "engine/findmodule.h"
#include "engine/modulecontext.h"
#include "link/linesettings.h"
#include "link/qtserialport.h"
#include "support/spawn.h"

namespace {

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

class DeviceOpener : public PortOpener {
  public:
    explicit DeviceOpener(QString device) : device_(std::move(device)) {}
    std::unique_ptr<SerialPort> open(int, const QString& line) override {
        return QtSerialPort::openDevice(device_, line);
    }

  private:
    QString device_;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString here = QFileInfo(QString::fromLocal8Bit(argv[0])).absolutePath();
    const QByteArray cli =
        (argc > 1 ? QString::fromLocal8Bit(argv[1]) : here + QStringLiteral("/../quillon-cli"))
            .toLocal8Bit();
    const QString sim =
        argc > 2 ? QString::fromLocal8Bit(argv[2]) : here + QStringLiteral("/../sim/quillon-sim");
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    // The site register of the runs, unless QUILLON_REGISTER names one.
    qputenv("XDG_DATA_HOME", config.path().toLocal8Bit());

    constexpr int kRuns = 30;
    std::vector<double> version, truth;
    for (int i = 0; i < kRuns; ++i) {
        version.push_back(Spawn({cli.constData(), "--version"}));
        truth.push_back(Spawn({"true"}));
    }
    const double v = Median(version), t = Median(truth);
    std::printf(
        "start-up: quillon-cli --version %.1f ms, true %.1f ms, difference %.1f ms "
        "(median of %d)\n",
        v, t, v - t, kRuns);

    QProcess module;
    module.start(sim, {"--type", "RQ-3016", "--id", "3", "--quiet"});
    module.waitForReadyRead(5000);
    const QByteArray pty = module.readLine().trimmed().mid(5);
    if (pty.isEmpty()) {
        std::fprintf(stderr, "bench_cli: quillon-sim gave no pty\n");
        return 1;
    }

    constexpr int kRounds = 5;
    const QString device = QString::fromLocal8Bit(pty);
    std::vector<double> engineInfo, cliInfo, engineScan, cliScan;
    for (int i = 0; i < kRounds; ++i) {
        DeviceOpener opener(device);
        {
            ModuleContext m(opener);
            m.selectType(ModuleType::RQ3016);
            QElapsedTimer e;
            e.start();
            ReadBack rb;
            if (!LinkAt(m, 1, LineSettings::kDefaultIndex, QStringLiteral("03")) ||
                !ReadModule(m, m.link.LastReply, rb).ok())
                std::fprintf(stderr, "bench_cli: the engine found no module\n");
            engineInfo.push_back(e.nsecsElapsed() / 1e6);
        }
        cliInfo.push_back(Spawn({cli.constData(), "info", "--type", "RQ-3016", "--port",
                                 pty.constData(), "--id", "3"}));
        {
            ModuleContext m(opener);
            m.selectType(ModuleType::RQ3016);
            m.PortNo = 0;
            QElapsedTimer e;
            e.start();
            ScanPlan plan;
            plan.ports << 1;
            ReadBack rb;
            if (!Scan(m, plan) || !ReadModule(m, m.Identification, rb).ok())
                std::fprintf(stderr, "bench_cli: the engine's scan found no module\n");
            engineScan.push_back(e.nsecsElapsed() / 1e6);
        }
        cliScan.push_back(
            Spawn({cli.constData(), "scan", "--type", "RQ-3016", "--port", pty.constData()}));
    }
    const double ei = Median(engineInfo), ci = Median(cliInfo);
    const double es = Median(engineScan), cs = Median(cliScan);
    std::printf("info: quillon-cli %.1f ms, engine in process %.1f ms, ratio %.3f (median of %d)\n",
                ci, ei, ci / ei, kRounds);
    std::printf("scan: quillon-cli %.1f ms, engine in process %.1f ms, ratio %.3f (median of %d)\n",
                cs, es, cs / es, kRounds);
    module.kill();
    module.waitForFinished(2000);
    return 0;
}
