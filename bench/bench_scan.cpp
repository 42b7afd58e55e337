// What a scan costs: a full search over silent ports with and without the line-setting lock,
// against the protocol's own cost (2 attempts of 200 ms per port and line setting), and the time
// from pressing Scan to "Module find ok." for a module on the remembered port.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/frmmodule.h"
#include "app/tone.h"
#include "register/registerwriter.h"
#include "settings/settings.h"
#include "sim/virtualports.h"

namespace {

// Waits the tone's length, as a machine without sound does.
class WaitingTone : public TonePlayer {
  public:
    void play(int, int ms) override { QThread::msleep(static_cast<unsigned long>(ms)); }
};

struct Bench {
    QTemporaryDir dir;
    SettingsStore store{dir.filePath(QStringLiteral("Quillon.conf"))};
    WaitingTone tone;
    Platform platform;

    std::unique_ptr<TfrmModule> window(VirtualPorts& ports, int listed) {
        platform.ports = &ports;
        platform.tone = &tone;
        platform.settings = &store;
        platform.listPorts = [listed] {
            QList<MappedPort> l;
            for (int n = 1; n <= listed; ++n) l.append({n, QStringLiteral("/dev/v%1").arg(n), {}});
            return l;
        };
        platform.errorBox = [](const QString& t) { std::fprintf(stderr, "%s\n", qPrintable(t)); };
        auto w = std::make_unique<TfrmModule>(platform);
        w->show();  // showing applies the language and selects the type
        return w;
    }
};

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int ports = argc > 1 ? std::atoi(argv[1]) : 2;

    for (bool lock : {true, false}) {
        Bench b;
        VirtualPorts vp;
        for (int n = 1; n <= ports; ++n) vp.addSilentPort(n);
        auto w = b.window(vp, ports);
        w->PortNo = -1;  // straight to the full search
        w->chkLock->setChecked(lock);
        QElapsedTimer t;
        t.start();
        w->btnScanClick();
        const double ms = static_cast<double>(t.elapsed());
        const double protocol = ports * (lock ? 1 : 12) * 2 * 200.0 + 300.0;  // + failure tone
        std::printf("full search, %d silent ports, lock %s: %.0f ms (protocol %.0f ms, %+.1f%%)\n",
                    ports, lock ? "on " : "off", ms, protocol, 100.0 * (ms - protocol) / protocol);
    }

    Bench b;
    VirtualPorts vp;
    vp.addModule(1, ModuleType::RQ3016);
    auto w = b.window(vp, 1);
    QElapsedTimer t;
    t.start();
    w->btnScanClick();
    const double ms = static_cast<double>(t.elapsed());
    // Prescribed waits: 100 ms before "V", 50 ms after it, 50 ms between "G" and "A", 300 ms tone.
    const double prescribed = 100 + 50 + 50 + 300;
    std::printf(
        "scan to \"%s\" on the remembered port: %.0f ms (prescribed waits %.0f ms, "
        "%.0f ms for 4 exchanges and the window)\n",
        qPrintable(w->pnMsg->text()), ms, prescribed, ms - prescribed);

    // The same with the site register recording the scan and the read-back, in turns with a
    // window without it.
    QTemporaryDir registerDir;
    RegisterWriter writer(registerDir.filePath(QStringLiteral("register.sqlite")));
    writer.open();
    std::vector<double> on, off;
    for (int round = 0; round < 12; ++round) {
        const bool recording = round % 2 == 1;
        Bench rb;
        VirtualPorts rvp;
        rvp.addModule(1, ModuleType::RQ3016);
        if (recording) rb.platform.siteRegister = &writer;
        auto rw = rb.window(rvp, 1);
        QElapsedTimer rt;
        rt.start();
        rw->btnScanClick();
        (recording ? on : off).push_back(static_cast<double>(rt.nsecsElapsed()) / 1e6);
    }
    writer.flush();
    std::sort(on.begin(), on.end());
    std::sort(off.begin(), off.end());
    const double withRegister = on[on.size() / 2], without = off[off.size() / 2];
    std::printf(
        "scan on the remembered port, site register on %.1f ms, off %.1f ms, %+.2f%% "
        "(median of %zu each, %d events written)\n",
        withRegister, without, 100.0 * (withRegister - without) / without, on.size(),
        writer.written());
    return 0;
}
