#include "link/systemports.h"

#include <QDir>
#include <QFile>
#include <cstring>

#ifdef Q_OS_UNIX
#include <dirent.h>
#endif

namespace {

// The names in folder `dir` in name order; none when it cannot be read. Read with readdir()
// where there is one: QDir's sorted listing makes a QFileInfo of every entry, and this runs
// every half second.
std::optional<QStringList> EntryNames(const QString& dir) {
    QStringList names;
#ifdef Q_OS_UNIX
    DIR* d = opendir(QFile::encodeName(dir).constData());
    if (!d) return std::nullopt;
    while (const dirent* e = readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        names << QFile::decodeName(e->d_name);
    }
    closedir(d);
    names.sort();
#else
    const QDir d(dir);
    if (!d.exists() || !d.isReadable()) return std::nullopt;
    names = d.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
#endif
    return names;
}

}  // namespace

std::optional<QStringList> KernelSerialDevices(const QString& sysClassTty, const QString& devDir) {
    const std::optional<QStringList> names = EntryNames(sysClassTty);
    if (!names) return std::nullopt;
    const QDir ttys(sysClassTty);
    QStringList paths;
    for (const QString& name : *names) {
        const QDir tty(ttys.filePath(name));
        // Consoles, virtual terminals and the pseudo-terminal master have no device behind.
        if (!QFileInfo::exists(tty.filePath(QStringLiteral("device")))) continue;
        // A port of the serial core says its UART type: 0, none found (the legacy ports the
        // kernel keeps ready on every PC).
        QFile type(tty.filePath(QStringLiteral("type")));
        if (type.open(QIODevice::ReadOnly) && type.readAll().trimmed() == "0") continue;
        // The node's name under /dev, as the kernel announces it.
        QString node = name;
        QFile uevent(tty.filePath(QStringLiteral("uevent")));
        if (uevent.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : uevent.readAll().split('\n'))
                if (line.startsWith("DEVNAME=") && line.size() > 8)
                    node = QString::fromLocal8Bit(line.mid(8));
        }
        paths << devDir + QLatin1Char('/') + node;
    }
    return paths;
}

QString SerialDeviceStamp() {
    const std::optional<QStringList> ttys = EntryNames(QStringLiteral("/sys/class/tty"));
    if (!ttys) return QString();
    QString stamp = ttys->join(QLatin1Char(' '));
    stamp += QLatin1Char('|');
    stamp += EntryNames(QStringLiteral("/dev/serial/by-id"))
                 .value_or(QStringList())
                 .join(QLatin1Char(' '));
    return stamp;
}

SystemPortList::SystemPortList(Lister list, Stamper stamp)
    : list_(list ? std::move(list) : Lister(ListSystemDevices)),
      stamp_(stamp ? std::move(stamp) : Stamper(SerialDeviceStamp)) {}

QList<SystemDevice> SystemPortList::devices() {
    const QString stamp = stamp_();
    if (listed_ && !stamp.isNull() && stamp == lastStamp_) return last_;
    last_ = list_();
    lastStamp_ = stamp;
    listed_ = true;
    return last_;
}
