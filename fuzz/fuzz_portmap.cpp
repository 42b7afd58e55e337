// The port map: settings entries and the system's devices become numbered ports.
// Input lines: "N=path" is an entry for COMN (N taken modulo 100); "path|by-id" or "path" is a
// system device.
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "check.h"
#include "link/portmap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString input =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QMap<int, QString> entries;
    QList<SystemDevice> devices;
    for (const QString& line : input.split(QLatin1Char('\n'))) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        bool ok = false;
        const int n = eq > 0 ? line.left(eq).toInt(&ok) : 0;
        if (ok) {
            entries.insert(n % 100, line.mid(eq + 1));
        } else {
            const qsizetype bar = line.indexOf(QLatin1Char('|'));
            devices.append(bar < 0 ? SystemDevice{line, {}}
                                   : SystemDevice{line.left(bar), line.mid(bar + 1)});
        }
    }
    const QList<MappedPort> ports = MapPorts(entries, devices);
    PortMap map(ports);
    int last = 0;
    QSet<QString> shown;
    for (const MappedPort& p : ports) {
        Check(p.number > last, "numbers ascending and unique");
        last = p.number;
        Check(!p.device.isEmpty(), "every port has a device");
        Check(map.deviceFor(p.number) == p.device, "deviceFor");
        shown.insert(p.device);
    }
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        if (it.key() < 1 || it.value().trimmed().isEmpty()) continue;
        Check(map.deviceFor(it.key()) == it.value().trimmed(), "entries win");
    }
    return 0;
}
