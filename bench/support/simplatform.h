#pragma once
// The simulated machine that the benchmarks and the window fuzz target give the main window:
// the in-process virtual ports (add modules to `ports`), a tone that plays nothing, a settings
// file in a temporary folder, and a port list of COMn on /dev/virtualn for the numbers given.
// The tests have their own fixture (tests/support).
//
//   SimPlatform sim({1, 2});
//   sim.ports.addModule(1, ModuleType::RQ3016);
//   TfrmModule w(sim.platform);
//
// Header-only; the targets that use it add bench/ to their include directories.

#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <initializer_list>

#include "app/platform.h"
#include "app/tone.h"
#include "link/portmap.h"
#include "settings/settings.h"
#include "sim/virtualports.h"

class SilentTone : public TonePlayer {
  public:
    void play(int, int) override {}
};

struct SimPlatform {
    explicit SimPlatform(std::initializer_list<int> listed = {1}) {
        QList<MappedPort> list;
        for (int n : listed) list.append({n, QStringLiteral("/dev/virtual%1").arg(n), {}});
        platform.ports = &ports;
        platform.tone = &tone;
        platform.settings = &store;
        platform.listPorts = [list] { return list; };
    }
    SimPlatform(const SimPlatform&) = delete;
    SimPlatform& operator=(const SimPlatform&) = delete;

    VirtualPorts ports;
    SilentTone tone;
    QTemporaryDir dir;
    SettingsStore store{dir.filePath(QStringLiteral("Quillon.conf"))};
    // What the window is built with; errorBox is left to the caller (null: a message box).
    Platform platform;
};
