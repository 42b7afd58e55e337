// The settings reads of every module type, through the main window: a link whose replies are
// the fuzzer's, each read back into the controls of the type's page.
//
// Input: one byte selecting the type tab (modulo 6), then the reply texts, one per line, given
// in turn to the commands the window sends (identification, version, the type's queries); once
// they are used up every command gets the empty reply. The module host frames each text with
// its checksum. After each link the window must be usable again: enabled, not busy, the
// cursor back, the port closed.
#include <QApplication>
#include <QList>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "check.h"
#include "app/frmmodule.h"
#include "app/pagecontrol.h"
#include "support/simplatform.h"

// The pauses between commands are timing, not what is fuzzed: here they take no time, so that
// an input runs in a few milliseconds. (Calls from this program reach this definition before
// the one in Qt's library.)
void QThread::msleep(unsigned long) {}

namespace {

struct World {
    std::unique_ptr<QApplication> app;
    std::unique_ptr<SimPlatform> sim;
    std::unique_ptr<TfrmModule> window;
    QList<QByteArray> replies;
    int next = 0;
};

World* world = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    world = new World;
    world->app = std::make_unique<QApplication>(*argc, *argv);
    world->sim = std::make_unique<SimPlatform>(std::initializer_list<int>{1});
    VirtualPorts& ports = world->sim->ports;
    ports.addModule(1, ModuleType::RQ3016);
    ports.host(1).setBaseDelayMs(0);
    ports.host(1).setReplyOverride(
        [](const std::string&, const std::optional<std::string>&) -> std::optional<std::string> {
            if (world->next >= world->replies.size()) return std::string();
            return world->replies.at(world->next++).toStdString();
        });
    world->sim->platform.errorBox = [](const QString& text) {
        std::fprintf(stderr, "error box: %s\n", qPrintable(text));
        std::abort();
    };
    world->window = std::make_unique<TfrmModule>(world->sim->platform);
    world->window->show();
    // Taken down at exit, the window before the application, so that what Qt and fontconfig
    // hold is given back as at the end of any run of the program.
    std::atexit([] {
        delete world;
        world = nullptr;
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    TfrmModule& w = *world->window;
    const QByteArray rest(reinterpret_cast<const char*>(data + 1), static_cast<int>(size - 1));
    world->replies = rest.split('\n');
    world->next = 0;
    w.pcMain->setCurrentIndex(data[0] % 6);
    w.pcMainChange();
    w.btnLinkClick();
    Check(w.control<QPushButton>("btnLink")->isEnabled(), "window enabled again");
    Check(w.Polling == 0, "not polling");
    Check(QApplication::overrideCursor() == nullptr, "cursor restored");
    Check(!world->sim->ports.isOpen(1), "port closed");
    Check(!w.tmrBusy->isActive(), "busy lamp stopped");
    world->sim->ports.clearRecords();
    return 0;
}
