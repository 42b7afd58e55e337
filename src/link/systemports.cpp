#include "link/systemports.h"

#include <QDir>

QString SerialDeviceStamp() {
    const QDir ttys(QStringLiteral("/sys/class/tty"));
    if (!ttys.exists()) return QString();
    const QDir::Filters all = QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot;
    QString stamp = ttys.entryList(all, QDir::Name).join(QLatin1Char(' '));
    stamp += QLatin1Char('|');
    stamp +=
        QDir(QStringLiteral("/dev/serial/by-id")).entryList(all, QDir::Name).join(QLatin1Char(' '));
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
