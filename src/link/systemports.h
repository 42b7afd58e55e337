#pragma once
// The system's serial devices for a port list that is looked at every half second. The full
// listing reads a few files per device (on Linux; elsewhere QSerialPortInfo probes the devices,
// which takes tens of milliseconds), so it is made again only when the kernel's list of tty
// devices or the names under /dev/serial/by-id have changed, which a look at two directories
// tells in well under a millisecond.

#include <QList>
#include <QString>
#include <functional>
#include <optional>

#include "link/portmap.h"

// The nodes of the serial devices the kernel lists in `sysClassTty` (Linux): every tty with a
// device behind it, less the ports of the serial core where no UART was found, each under
// `devDir` by the name the kernel gives its node. None where the folder cannot be read.
std::optional<QStringList> KernelSerialDevices(
    const QString& sysClassTty = QStringLiteral("/sys/class/tty"),
    const QString& devDir = QStringLiteral("/dev"));
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
