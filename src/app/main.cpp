// Starts Quillon: the real serial ports, tone and settings, and the one main window.

#include <QApplication>
#include <QMessageBox>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QtGlobal>
#ifndef Q_OS_WIN
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#endif
#include <cstdio>
#include <exception>
#include <functional>
#include <memory>

#include "app/commandline.h"
#include "app/frmmodule.h"
#include "app/platform.h"
#include "app/tone.h"
#include "link/portmap.h"
#include "link/qtserialport.h"
#include "link/systemports.h"
#include "register/registerfile.h"
#include "register/registerwriter.h"
#include "settings/settings.h"

namespace {

void ShowError(const QString& text) {
    QMessageBox::critical(nullptr, QStringLiteral("Quillon"), text);
}

#ifndef Q_OS_WIN
// SIGTERM and SIGHUP (the desktop logging out, a terminal closed) reach the event loop through
// a pipe, so that the window ends as it does at Exit and the register writes what is queued.
int g_endPipe[2] = {-1, -1};

void OnEndSignal(int) {
    const char byte = 1;
    if (write(g_endPipe[1], &byte, 1) != 1) _exit(1);
}

// From the start: a signal that comes before the window exists waits in the pipe.
void CatchEndSignals() {
    if (pipe2(g_endPipe, O_CLOEXEC) != 0) return;
    struct sigaction sa = {};
    sa.sa_handler = OnEndSignal;
    sigemptyset(&sa.sa_mask);
    for (int s : {SIGTERM, SIGHUP}) sigaction(s, &sa, nullptr);
}

void WatchEndSignals(QObject* parent, const std::function<void()>& end) {
    if (g_endPipe[0] < 0) return;
    auto* notifier = new QSocketNotifier(g_endPipe[0], QSocketNotifier::Read, parent);
    QObject::connect(notifier, &QSocketNotifier::activated, parent, [end] {
        char byte = 0;
        if (read(g_endPipe[0], &byte, 1) == 1) end();
    });
}
#else
// Windows ends a program at logout through the session manager's request alone.
void CatchEndSignals() {}
void WatchEndSignals(QObject*, const std::function<void()>&) {}
#endif

// Lets the register write what is queued when the window has closed (at most 2 s), and says
// on standard error how many events were not written.
void FinishRegister(std::unique_ptr<RegisterWriter>& writer) {
    if (!writer) return;
    const int left = writer->finish(2000);
    if (left > 0)
        std::fprintf(stderr, "quillon: %d event(s) not written to the site register\n", left);
    writer.reset();
}

int Run(int argc, char** argv, const WindowCommandLine& line) {
    CatchEndSignals();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    try {
        SettingsStore settings;
        // The map is made again at every listing, so that adapters plugged in later get their
        // numbers. The window lists only while it is idle, so an operation always opens the
        // devices of the map it started with.
        PortMap map;
        SystemPortList devices;
        // The window lists no ports until its first picture is made: the port box is not
        // needed before, and the window shows sooner without the listing's work.
        bool listing = false;
        QtPortOpener ports([&map](int n) { return map.deviceFor(n); });
        Tone tone;
        // The register's writer outlives the window, which flushes it at close; the file opens
        // on the writer's thread once the window runs.
        const QString registerPath = ChooseRegisterPath(line.registerPath, line.noRegister);
        std::unique_ptr<RegisterWriter> siteRegister;
        if (!registerPath.isEmpty()) siteRegister = std::make_unique<RegisterWriter>(registerPath);

        Platform platform;
        platform.ports = &ports;
        platform.tone = &tone;
        platform.settings = &settings;
        platform.listPorts = [&map, &settings, &devices, &listing] {
            if (!listing) return QList<MappedPort>();
            map = PortMap(MapPorts(settings.portEntries(), devices.devices()));
            return map.ports();
        };
        platform.listPortsLater = [&listing](QObject*, const std::function<void()>& listed) {
            listing = true;
            listed();
        };
        platform.busPorts = [&map](int n) -> std::unique_ptr<PortOpener> {
            const QString device = map.deviceFor(n);
            return std::make_unique<QtPortOpener>([device](int) { return device; });
        };
        platform.errorBox = &ShowError;
        platform.siteRegister = siteRegister.get();
        platform.site = line.site;
        // A save that had to keep the old settings file as a backup says so in the error box.
        settings.setNotice(platform.errorBox);

        TfrmModule window(platform);
        WatchEndSignals(&window, [&window] { window.endForSystem(); });
        // A logout through the session manager ends the same way.
        QObject::connect(&app, &QGuiApplication::commitDataRequest, &window,
                         [&window](QSessionManager&) { window.endForSystem(); });
        window.show();
        app.exec();
        FinishRegister(siteRegister);
    } catch (const std::exception& e) {
        ShowError(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        ShowError(QStringLiteral("Unknown error"));
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Answered before any display is needed, so that they work over SSH too.
    QStringList args;
    for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    const WindowCommandLine line = ParseWindowCommandLine(args);
    switch (line.action) {
        case WindowCommandLine::Action::Help:
            std::fputs(WindowUsage().toLocal8Bit().constData(), stdout);
            return 0;
        case WindowCommandLine::Action::Version:
            std::printf("quillon %s\n", QUILLON_VERSION);
            return 0;
        case WindowCommandLine::Action::Refuse:
            std::fprintf(stderr,
                         "quillon: unknown option %s\nUsage: quillon [Qt options]; "
                         "quillon --help tells more\n",
                         line.refused.toLocal8Bit().constData());
            return 2;
        case WindowCommandLine::Action::Run:
            break;
    }
    return Run(argc, argv, line);
}
