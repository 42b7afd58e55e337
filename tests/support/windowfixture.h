#pragma once
// Builds the main window with a fake platform: a temporary settings file, a tone recorder, an
// error recorder and a port opener that the test chooses.

#include <QList>
#include <QPair>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

#include "app/frmmodule.h"
#include "app/tone.h"
#include "link/serialport.h"
#include "settings/settings.h"

class ToneRecorder : public TonePlayer {
  public:
    void play(int frequencyHz, int durationMs) override {
        tones << qMakePair(frequencyHz, durationMs);
    }
    QList<QPair<int, int>> tones;
};

// Every open fails, as on a machine without serial ports.
class NoPorts : public PortOpener {
  public:
    std::unique_ptr<SerialPort> open(int, const QString&) override { return nullptr; }
};

class WindowFixture {
  public:
    WindowFixture();
    // The INI file the window reads and writes.
    QString iniPath() const { return dir_.filePath(QStringLiteral("VARNO/Quillon.conf")); }
    // Writes the settings file by hand before the window is built.
    void writeIni(const QByteArray& text);
    // Builds and shows the window; `ports` defaults to one where nothing opens.
    TfrmModule& build(PortOpener* ports = nullptr, QList<MappedPort> listed = {});
    TfrmModule& window() { return *window_; }

    ToneRecorder tone;
    QStringList errors;
    // The questions before Check I/O switches the outputs, and how they are answered.
    QStringList outputQuestions;
    bool switchOutputs = true;
    bool dontAskAgain = false;
    NoPorts noPorts;
    // The platform's port list fails with an exception instead of listing.
    bool throwingPortList = false;
    // What the platform's port list gives; build() sets it, and a test may change it later, as
    // when an adapter is plugged in or out.
    QList<MappedPort> portList;
    // The platform's hook for a first listing after the window is up; none by default.
    std::function<void(QObject*, std::function<void()>)> listPortsLater;
    // The pages of special functions are made as they are shown, as when the program runs;
    // by default build() makes them all once the window is up, for tests that reach into them.
    bool pagesAsShown = false;
    std::unique_ptr<SettingsStore> store;
    // The site register the window records into, and the site of its command line; none by
    // default.
    RegisterWriter* siteRegister = nullptr;
    std::optional<QString> site;

  private:
    QTemporaryDir dir_;
    Platform platform_;
    std::unique_ptr<TfrmModule> window_;
};
