#pragma once
// What the main window needs from the machine. main() passes the real ones; tests pass an
// in-process virtual port, a tone recorder and a temporary settings file.

#include <QList>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "link/portmap.h"

class PortOpener;
class QObject;
class TonePlayer;
class SettingsStore;
class RegisterWriter;

struct Platform {
    PortOpener* ports = nullptr;
    TonePlayer* tone = nullptr;
    const SettingsStore* settings = nullptr;
    // The ports the port box lists; an empty list gives the fallback COM1..COM16.
    std::function<QList<MappedPort>()> listPorts;
    // Null, or lets the ports be listed from now on. The window calls it once, when its first
    // picture is made (until then listPorts() may give no ports), and `listed` runs in
    // `receiver`'s thread once the ports can be listed; a receiver deleted before then hears
    // nothing.
    std::function<void(QObject* receiver, std::function<void()> listed)> listPortsLater;
    // An opener of port n alone, for the worker thread that surveys that bus: made in the
    // window's thread, used in the worker's. Null: the window's own opener serves the workers.
    std::function<std::unique_ptr<PortOpener>(int portNo)> busPorts;
    // The one error box: shows the text of an exception that escaped a handler.
    // Null means a QMessageBox.
    std::function<void(const QString& text)> errorBox;
    // The question before Check I/O switches every output: true goes on; `dontAskAgain` (a box
    // of the question, off at first) says whether to ask again for this site. Null means a
    // QMessageBox.
    std::function<bool(const QString& question, const QString& dontAsk, bool* dontAskAgain)>
        askSwitchOutputs;
    // The site register's writer; null: no register (--no-register, or a test without one).
    RegisterWriter* siteRegister = nullptr;
    // The site given on the command line (--site); none: the remembered one.
    std::optional<QString> site;
};
