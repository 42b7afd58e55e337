#pragma once
// Finding a module and reading it back: the scan over ports and line settings, the link on one
// port, and the read of serial number, version, ID and the type's own settings.

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>

#include "engine/modulesettings.h"
#include "engine/operation.h"

struct ScanPlan {
    // The port numbers of the port list, in its order (0 for an entry that is not a port).
    QList<int> ports;
    // Only the remembered line setting, instead of all twelve.
    bool lock = false;
    // Asked before each open: true ends the scan there (the user cancelled).
    std::function<bool()> stop;
};

// One identification query to `id` ("00" reaches every module) on the open port: true for a
// verified reply of 16 bytes, which then is the link's LastReply.
bool AskIdentification(ModuleContext& m, const QString& id);

// Tries the remembered port (PortNo > 0) at BaudText with three identification queries to ID
// 00, then each port of the plan at each line setting with two. On success the context's
// Identification holds the reply, and a place found by searching becomes PortNo, BaudText and
// BaudIndex. Linked is 0 afterwards either way.
bool Scan(ModuleContext& m, const ScanPlan& plan);
// Three identification queries to `id` on one port and line setting; on success the place
// becomes the context's. Linked is 0 afterwards either way.
bool LinkAt(ModuleContext& m, int portNo, int lineIndex, const QString& id);

// What a read-back found beyond the type's settings.
struct ReadBack {
    QString serial;
    int id = -1;  // -1: the identification reply's ID is not two digits
    QString version;
    ModuleSettings settings;
};

// Reads the module that `identification` came from: its serial number and ID from that reply,
// then "V" and the type's own queries. Linked becomes 1 once the version is answered. The
// outcome rows are 15 (found) and 16 (data error).
Outcome ReadModule(ModuleContext& m, QByteArray identification, ReadBack& out);
