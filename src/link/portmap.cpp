#include "link/portmap.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSerialPortInfo>
#include <QSet>
#include <algorithm>
#include <limits>

#include "link/systemports.h"

namespace {

const QString kById = QStringLiteral("/dev/serial/by-id");

// Compares names with their digit runs taken as numbers, so that /dev/ttyUSB2 comes before
// /dev/ttyUSB10.
bool naturalLess(const QString& a, const QString& b) {
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            qsizetype ei = i;
            qsizetype ej = j;
            while (ei < a.size() && a[ei].isDigit()) ++ei;
            while (ej < b.size() && b[ej].isDigit()) ++ej;
            // Leading zeros do not change the value; compare the significant digits.
            qsizetype si = i;
            qsizetype sj = j;
            while (si + 1 < ei && a[si] == u'0') ++si;
            while (sj + 1 < ej && b[sj] == u'0') ++sj;
            const qsizetype li = ei - si;
            const qsizetype lj = ej - sj;
            if (li != lj) return li < lj;
            const int c = QStringView(a).mid(si, li).compare(QStringView(b).mid(sj, lj));
            if (c != 0) return c < 0;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j]) return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    if ((a.size() - i) != (b.size() - j)) return (a.size() - i) < (b.size() - j);
    return a < b;
}

// The 1 to 9 decimal digits after `prefix`, as a number; -1 for any other text. Plain code
// rather than a regular expression: this runs while the window starts, and compiling one
// costs more than the whole listing.
int DigitsAfter(const QString& text, QLatin1String prefix, bool leadingZero) {
    if (!text.startsWith(prefix)) return -1;
    const QStringView digits = QStringView(text).mid(prefix.size());
    if (digits.isEmpty() || digits.size() > 9 || (!leadingZero && digits.front() == u'0'))
        return -1;
    int n = 0;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9') return -1;
        n = n * 10 + (c.unicode() - u'0');
    }
    return n;
}

// The number a device's own name fixes: COM(k+1) for /dev/ttySk, n for a Windows COMn; 0 for
// any other device.
int fixedNumber(const QString& path) {
    if (const int k = DigitsAfter(path, QLatin1String("/dev/ttyS"), true); k >= 0) return k + 1;
    return std::max(0, DigitsAfter(path, QLatin1String("COM"), false));
}

}  // namespace

QList<MappedPort> MapPorts(const QMap<int, QString>& entries, const QList<SystemDevice>& devices) {
    QMap<int, MappedPort> byNumber;

    // One device per path, keeping the first by-id name given for it.
    QList<SystemDevice> unique;
    QSet<QString> seenPaths;
    for (const SystemDevice& d : devices) {
        if (d.path.isEmpty() || seenPaths.contains(d.path)) continue;
        seenPaths.insert(d.path);
        unique.append(d);
    }

    // Entries win. A device named by an entry, through its node, its by-id name or a link that
    // resolves to its node, gets no number of its own.
    QSet<QString> claimed;
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        const QString entryPath = it.value().trimmed();
        if (it.key() < 1 || entryPath.isEmpty()) continue;
        MappedPort port;
        port.number = it.key();
        port.device = entryPath;
        if (entryPath.startsWith(kById + QLatin1Char('/'))) port.byId = entryPath;
        const QString resolved = QFileInfo(entryPath).canonicalFilePath();
        for (const SystemDevice& d : unique) {
            const bool named = d.path == entryPath || (!d.byId.isEmpty() && d.byId == entryPath) ||
                               (!resolved.isEmpty() && d.path == resolved);
            if (!named) continue;
            claimed.insert(d.path);
            if (port.byId.isEmpty()) port.byId = d.byId;
        }
        byNumber.insert(port.number, port);
    }

    // Devices whose own name fixes their number take it when no entry holds it; all others,
    // and those whose number an entry holds, share the remaining numbers.
    QList<SystemDevice> pool;
    for (const SystemDevice& d : unique) {
        if (claimed.contains(d.path)) continue;
        const int n = fixedNumber(d.path);
        if (n > 0 && !byNumber.contains(n)) {
            byNumber.insert(n, MappedPort{n, d.path, d.byId});
        } else {
            pool.append(d);
        }
    }

    auto sortKey = [](const SystemDevice& d) { return d.byId.isEmpty() ? d.path : d.byId; };
    std::stable_sort(pool.begin(), pool.end(), [&](const SystemDevice& a, const SystemDevice& b) {
        const QString ka = sortKey(a);
        const QString kb = sortKey(b);
        if (ka != kb) return naturalLess(ka, kb);
        return naturalLess(a.path, b.path);
    });

    int next = 1;
    for (const SystemDevice& d : pool) {
        while (byNumber.contains(next) && next < std::numeric_limits<int>::max()) ++next;
        if (byNumber.contains(next)) break;
        byNumber.insert(next, MappedPort{next, d.path, d.byId});
    }

    return byNumber.values();
}

QList<SystemDevice> WithByIdNames(const QStringList& paths, const QString& byIdDir) {
    QHash<QString, QString> byIdOf;
    const QDir dir(byIdDir);
    const QStringList links =
        dir.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& link : links) {
        const QString linkPath = dir.filePath(link);
        const QString target = QFileInfo(linkPath).canonicalFilePath();
        if (!target.isEmpty() && !byIdOf.contains(target)) byIdOf.insert(target, linkPath);
    }
    QList<SystemDevice> devices;
    QSet<QString> seen;
    for (const QString& path : paths) {
        if (path.isEmpty() || seen.contains(path)) continue;
        seen.insert(path);
        QString byId = byIdOf.value(path);
        if (byId.isEmpty()) {
            const QString canonical = QFileInfo(path).canonicalFilePath();
            if (!canonical.isEmpty()) byId = byIdOf.value(canonical);
        }
        devices.append(SystemDevice{path, byId});
    }
    return devices;
}

QList<SystemDevice> ListSystemDevices() {
#ifdef Q_OS_WIN
    QList<SystemDevice> devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        devices.append(SystemDevice{info.portName(), {}});
    return devices;
#else
    // Where the kernel lists its ttys (Linux), a look at them costs well under a millisecond;
    // elsewhere QSerialPortInfo probes the devices.
    std::optional<QStringList> paths = KernelSerialDevices();
    if (!paths) {
        paths.emplace();
        for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
            paths->append(info.systemLocation());
    }
    return WithByIdNames(*paths, kById);
#endif
}

QString PortMap::deviceFor(int number) const {
    for (const MappedPort& p : ports_) {
        if (p.number == number) return p.device;
    }
#ifdef Q_OS_WIN
    // Windows opens any COMn by its name, listed or not.
    if (number > 0) return QStringLiteral("COM%1").arg(number);
#endif
    return QString();
}

int PortNumberOf(const QString& text) {
    bool ok = false;
    const int n = text.mid(3).toInt(&ok);
    return ok && n > 0 ? n : 0;
}
