#include <QtTest>

#include "link/portmap.h"
#include "link/systemports.h"

// The numbering rules against device lists made up for each case, and the listing of the
// kernel's ttys.
class TestPortMap : public QObject {
    Q_OBJECT

  private:
    static QString byId(const char* name) {
        return QStringLiteral("/dev/serial/by-id/") + QString::fromLatin1(name);
    }

    // "COM1=/dev/ttyS0 COM2=/dev/ttyUSB0": what the port box would show, with devices.
    static QString layout(const QList<MappedPort>& ports) {
        QStringList parts;
        for (const MappedPort& p : ports) parts << p.name() + QLatin1Char('=') + p.device;
        return parts.join(QLatin1Char(' '));
    }

  private slots:
    void ttySNumbering() {
        const QList<MappedPort> ports = MapPorts(
            {}, {{"/dev/ttyS1", {}}, {"/dev/ttyS0", {}}, {"/dev/ttyS3", {}}, {"/dev/ttyS11", {}}});
        QCOMPARE(
            layout(ports),
            QStringLiteral("COM1=/dev/ttyS0 COM2=/dev/ttyS1 COM4=/dev/ttyS3 COM12=/dev/ttyS11"));
    }

    void singleAdapterTakesTheLowestFreeNumber_data() {
        QTest::addColumn<QString>("node");
        QTest::newRow("ttyUSB0") << QStringLiteral("/dev/ttyUSB0");
        QTest::newRow("ttyUSB3") << QStringLiteral("/dev/ttyUSB3");
        QTest::newRow("ttyACM1") << QStringLiteral("/dev/ttyACM1");
    }
    void singleAdapterTakesTheLowestFreeNumber() {
        QFETCH(QString, node);
        const QString id = byId("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");

        QList<MappedPort> ports = MapPorts({}, {{node, id}});
        QCOMPARE(layout(ports), QStringLiteral("COM1=") + node);
        QCOMPARE(ports[0].byId, id);

        ports = MapPorts({}, {{"/dev/ttyS0", {}}, {node, id}, {"/dev/ttyS1", {}}});
        QCOMPARE(layout(ports), QStringLiteral("COM1=/dev/ttyS0 COM2=/dev/ttyS1 COM3=") + node);
    }

    void otherDevicesOrderedByStableName() {
        // By-id names decide, not node names: the adapter on ttyUSB1 sorts first.
        const QList<MappedPort> ports =
            MapPorts({}, {{"/dev/ttyUSB0", byId("usb-Prolific_PL2303-if00-port0")},
                          {"/dev/ttyUSB1", byId("usb-FTDI_FT232R_A1-if00-port0")},
                          {"/dev/ttyS0", {}}});
        QCOMPARE(layout(ports),
                 QStringLiteral("COM1=/dev/ttyS0 COM2=/dev/ttyUSB1 COM3=/dev/ttyUSB0"));
        QCOMPARE(ports[1].byId, byId("usb-FTDI_FT232R_A1-if00-port0"));
    }

    void devicesWithoutStableNameOrderedByNode() {
        // Numbers within a name count by value.
        const QList<MappedPort> ports =
            MapPorts({}, {{"/dev/ttyUSB10", {}}, {"/dev/ttyUSB2", {}}, {"/dev/ttyACM0", {}}});
        QCOMPARE(layout(ports),
                 QStringLiteral("COM1=/dev/ttyACM0 COM2=/dev/ttyUSB2 COM3=/dev/ttyUSB10"));
    }

    void entriesWinAndRemoveDuplicates() {
        const QMap<int, QString> entries{{1, "/dev/ttyUSB0"}, {5, "/dev/pts/4"}};
        const QList<MappedPort> ports =
            MapPorts(entries, {{"/dev/ttyS0", {}},
                               {"/dev/ttyUSB0", byId("usb-FTDI_X-if00-port0")},
                               {"/dev/ttyACM0", {}}});
        // ttyS0 lost COM1 to the entry and takes the lowest free number like the others.
        QCOMPARE(layout(ports),
                 QStringLiteral("COM1=/dev/ttyUSB0 COM2=/dev/ttyACM0 COM3=/dev/ttyS0 "
                                "COM5=/dev/pts/4"));
        QCOMPARE(ports[0].byId, byId("usb-FTDI_X-if00-port0"));
        QVERIFY(ports[3].byId.isEmpty());
    }

    void entryNamingAByIdPath() {
        const QString id = byId("usb-Silicon_Labs_CP2102-if00-port0");
        const QList<MappedPort> ports =
            MapPorts({{7, id}}, {{"/dev/ttyUSB0", id}, {"/dev/ttyUSB1", {}}});
        // The adapter is reached only through its entry, by its stable name.
        QCOMPARE(layout(ports), QStringLiteral("COM1=/dev/ttyUSB1 COM7=") + id);
        QCOMPARE(ports[1].byId, id);
    }

    void entryForAnAbsentDeviceStillHoldsItsNumber() {
        const QList<MappedPort> ports =
            MapPorts({{2, byId("usb-unplugged-if00-port0")}}, {{"/dev/ttyUSB0", {}}});
        QCOMPARE(layout(ports),
                 QStringLiteral("COM1=/dev/ttyUSB0 COM2=") + byId("usb-unplugged-if00-port0"));
    }

    void nothingGivesNothing() {
        QVERIFY(MapPorts({}, {}).isEmpty());
        QVERIFY(PortMap().ports().isEmpty());
    }

    void freeNumbersFillTheGaps() {
        const QList<MappedPort> ports = MapPorts(
            {{2, "/dev/pts/1"}, {4, "/dev/pts/2"}},
            {{"/dev/ttyS2", {}}, {"/dev/ttyACM0", {}}, {"/dev/ttyACM1", {}}, {"/dev/ttyACM2", {}}});
        QCOMPARE(layout(ports),
                 QStringLiteral("COM1=/dev/ttyACM0 COM2=/dev/pts/1 COM3=/dev/ttyS2 "
                                "COM4=/dev/pts/2 COM5=/dev/ttyACM1 COM6=/dev/ttyACM2"));
    }

    void listedTwiceCountsOnce() {
        const QList<MappedPort> ports = MapPorts(
            {},
            {{"/dev/ttyUSB0", {}}, {"/dev/ttyUSB0", {}}, {"/dev/ttyS0", {}}, {"/dev/ttyS0", {}}});
        QCOMPARE(layout(ports), QStringLiteral("COM1=/dev/ttyS0 COM2=/dev/ttyUSB0"));
    }

    void deviceForANumber() {
        const PortMap map(MapPorts({{3, "/dev/pts/9"}}, {{"/dev/ttyS0", {}}}));
        QCOMPARE(map.deviceFor(1), QStringLiteral("/dev/ttyS0"));
        QCOMPARE(map.deviceFor(3), QStringLiteral("/dev/pts/9"));
#ifndef Q_OS_WIN
        QVERIFY(map.deviceFor(2).isEmpty());
        QVERIFY(map.deviceFor(0).isEmpty());
        QVERIFY(map.deviceFor(-1).isEmpty());
#endif
    }

#ifndef Q_OS_WIN
    void stableNamesFoundThroughTheirLinks() {
        // A fake /dev: device nodes as plain files, by-id links pointing at them.
        QTemporaryDir dev;
        QVERIFY(dev.isValid());
        const QString usb0 = dev.filePath("ttyUSB0");
        const QString usb1 = dev.filePath("ttyUSB1");
        const QString acm0 = dev.filePath("ttyACM0");
        for (const QString& node : {usb0, usb1, acm0}) {
            QFile f(node);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QVERIFY(QDir().mkpath(dev.filePath("by-id")));
        const QString byIdDir = dev.filePath("by-id");
        QVERIFY(QFile::link("../ttyUSB1", byIdDir + "/usb-FTDI_A-if00-port0"));
        QVERIFY(QFile::link(usb0, byIdDir + "/usb-Prolific_B-if00-port0"));
        // A second link to the same node: the first in name order is kept.
        QVERIFY(QFile::link(usb0, byIdDir + "/usb-Prolific_B-if01-port0"));
        QVERIFY(QFile::link(dev.filePath("gone"), byIdDir + "/usb-dangling-if00-port0"));

        const QList<SystemDevice> devices =
            WithByIdNames({usb0, usb1, acm0, usb0, QString()}, byIdDir);
        QCOMPARE(devices.size(), 3);
        QCOMPARE(devices[0].path, usb0);
        QCOMPARE(devices[0].byId, byIdDir + "/usb-Prolific_B-if00-port0");
        QCOMPARE(devices[1].path, usb1);
        QCOMPARE(devices[1].byId, byIdDir + "/usb-FTDI_A-if00-port0");
        QCOMPARE(devices[2].path, acm0);
        QVERIFY(devices[2].byId.isEmpty());

        // No by-id directory at all (no USB adapter plugged in): paths only.
        const QList<SystemDevice> bare = WithByIdNames({usb0}, dev.filePath("missing"));
        QCOMPARE(bare.size(), 1);
        QVERIFY(bare[0].byId.isEmpty());
    }

    void kernelListsTheTtysWithADevice() {
        // A made-up /sys/class/tty: each tty as a folder with the files the kernel gives it.
        QTemporaryDir sys;
        QVERIFY(sys.isValid());
        const struct {
            const char* name;
            bool device;
            const char* type;    // null: no such file (not a port of the serial core)
            const char* uevent;  // null: no such file
        } ttys[] = {
            {"tty0", false, nullptr, "DEVNAME=tty0\n"},          // a virtual terminal
            {"ttyS0", true, "4\n", "MAJOR=4\nDEVNAME=ttyS0\n"},  // a 16550A
            {"ttyS1", true, "0\n", "DEVNAME=ttyS1\n"},           // no UART behind
            {"ttyUSB0", true, nullptr, "DEVNAME=ttyUSB0\n"},
            {"ttyACM0", true, nullptr, nullptr},                // named by its folder
            {"usb!ttyX", true, nullptr, "DEVNAME=usb/ttyX\n"},  // a node in a subfolder
        };
        for (const auto& t : ttys) {
            const QString dir = sys.filePath(QLatin1String(t.name));
            QVERIFY(QDir().mkpath(t.device ? dir + "/device" : dir));
            for (const auto& [file, text] : {std::pair{"type", t.type}, {"uevent", t.uevent}}) {
                if (!text) continue;
                QFile f(dir + QLatin1Char('/') + QLatin1String(file));
                QVERIFY(f.open(QIODevice::WriteOnly));
                f.write(text);
            }
        }
        const std::optional<QStringList> nodes = KernelSerialDevices(sys.path(), "/dev");
        QVERIFY(nodes);
        QCOMPARE(*nodes,
                 (QStringList{"/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyUSB0", "/dev/usb/ttyX"}));
        QVERIFY(!KernelSerialDevices(sys.filePath("missing")));  // then QSerialPortInfo lists
    }

    void entryLinkResolvingToANodeRemovesTheDuplicate() {
        QTemporaryDir dev;
        QVERIFY(dev.isValid());
        const QString node = dev.filePath("ttyUSB0");
        {
            QFile f(node);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        const QString link = dev.filePath("quillon-port");
        QVERIFY(QFile::link(node, link));
        const QList<MappedPort> ports = MapPorts({{4, link}}, {{node, {}}});
        QCOMPARE(layout(ports), QStringLiteral("COM4=") + link);
    }
#endif
};

QTEST_GUILESS_MAIN(TestPortMap)
#include "test_portmap.moc"
