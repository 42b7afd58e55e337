#pragma once
// The system's serial devices for a port list that is looked at every half second: the full
// listing (QSerialPortInfo, which probes devices) takes tens of milliseconds, so it is made
// again only when the kernel's list of tty devices or the names under /dev/serial/by-id have
// changed, which a look at two directories tells in well under a millisecond.

#include <QList>
#include <QString>
#include <functional>

#include "link/portmap.h"

// The names in /sys/class/tty and /dev/serial/by-id, one string; null where the system has no
// /sys/class/tty (then every call lists afresh).
QString SerialDeviceStamp();

class SystemPortList {
  public:
    using Lister = std::function<QList<SystemDevice>()>;
    using Stamper = std::function<QString()>;
    // Defaults: ListSystemDevices and SerialDeviceStamp.
    explicit SystemPortList(Lister list = {}, Stamper stamp = {});

    QList<SystemDevice> devices();

  private:
    Lister list_;
    Stamper stamp_;
    QString lastStamp_;
    QList<SystemDevice> last_;
    bool listed_ = false;
};
