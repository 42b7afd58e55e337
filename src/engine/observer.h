#pragma once
// What a front end hears while the engine works: the message line, the steps of a scan, the
// readout as soon as it is known, and a pump that lets a window paint and take input during
// the waits. Every call has a do-nothing default, so a front end implements what it shows.

#include <QString>

class EngineObserver {
  public:
    virtual ~EngineObserver() = default;

    // Message-table row `row` followed by `suffix` is what the operation says now.
    virtual void message(int row, const QString& suffix);
    // Runs during waits (the link's for a reply among them) and between steps; the default
    // processes the pending Qt events.
    virtual void pump();

    // The scan tries the remembered port and line setting first.
    virtual void scanRemembered(int portNo, int lineIndex);
    // The scan moves to entry `entry` of its port list; -1 before the first.
    virtual void scanEntry(int entry);
    // The scan tries line setting `lineIndex` on the current entry.
    virtual void scanLine(int lineIndex);
    // The scan found the module by searching: the place is worth remembering.
    virtual void scanFoundBySearch();

    // The read-back has the module's serial number, then its version.
    virtual void serialRead(const QString& serial);
    virtual void versionRead(const QString& version);
    // The module answered its version query: it counts as linked from now on.
    virtual void moduleLinked();

    // A continuous test has its port open and runs its cycles from now on.
    virtual void continuousStarted();
};
