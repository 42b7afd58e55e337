#pragma once
// The window speaks of ports by number (COMn). On Linux a number names a device:
// entries of the settings group "Ports" win; /dev/ttySk is COM(k+1); every other listed device,
// ordered by its /dev/serial/by-id name where it has one and its device name otherwise, takes
// the lowest free number. On Windows COMn is the port itself.
//
// A device named by an entry (by its node, its by-id name, or a link resolving to its node)
// gets no number besides the entry's. A /dev/ttySk whose number an entry already holds is not
// dropped: it takes the lowest free number like any other device. Numbering among the other
// devices compares digit runs by value (ttyUSB2 before ttyUSB10); a device with a by-id name
// is ordered by that name, so one adapter keeps its number whichever node the kernel gave it.

#include <QList>
#include <QMap>
#include <QString>

struct SystemDevice {
    QString path;  // "/dev/ttyUSB0"
    QString byId;  // "/dev/serial/by-id/usb-...", empty when none
};

struct MappedPort {
    int number = 0;
    QString device;  // path that opens it
    QString byId;    // its /dev/serial/by-id name, if any
    QString name() const { return QStringLiteral("COM%1").arg(number); }
};

// Ascending by number. Touches the file system only to resolve entry paths that are links.
QList<MappedPort> MapPorts(const QMap<int, QString>& entries, const QList<SystemDevice>& devices);

// The serial devices the system lists, with their by-id names.
QList<SystemDevice> ListSystemDevices();
// The devices at `paths` (duplicates dropped), each with the first link of `byIdDir`, in name
// order, that resolves to it.
QList<SystemDevice> WithByIdNames(const QStringList& paths,
                                  const QString& byIdDir = QStringLiteral("/dev/serial/by-id"));

class PortMap {
  public:
    PortMap() = default;
    explicit PortMap(QList<MappedPort> ports) : ports_(std::move(ports)) {}
    const QList<MappedPort>& ports() const { return ports_; }
    // The device of port n; empty when the number has none.
    QString deviceFor(int number) const;

  private:
    QList<MappedPort> ports_;
};

// The port number in a port box text such as "COM12": the text from its fourth character on,
// read as a decimal number; 0 when that is not a positive number.
int PortNumberOf(const QString& text);
