// The live port list: the port box follows adapters plugged in and out while the window is
// idle, keeping the user's choice, and never during an operation or a continuous test; and
// why a port did not open, in its tooltip and in the traffic log, from the Qt backend's
// reasons.
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QtTest>
#include <cstdlib>

#include "app/portwatcher.h"
#include "app/trafficlogwindow.h"
#include "link/qtserialport.h"
#include "link/systemports.h"
#include "support/simwindow.h"

namespace {

QList<MappedPort> Ports(const QList<int>& numbers) {
    QList<MappedPort> list;
    for (int n : numbers) list.append({n, QStringLiteral("/dev/virtual%1").arg(n), QString()});
    return list;
}

QStringList Items(const QComboBox* box) {
    QStringList out;
    for (int i = 0; i < box->count(); ++i) out << box->itemText(i);
    return out;
}

// The virtual ports, where a port may refuse to open for a reason the test gives.
class RefusingPorts : public PortOpener {
  public:
    std::unique_ptr<SerialPort> open(int portNo, const QString& lineSetting) override {
        last_ = refusals.value(portNo);
        if (last_.reason != OpenFailure::Reason::None) return nullptr;
        return ports.open(portNo, lineSetting);
    }
    OpenFailure lastFailure() const override { return last_; }

    VirtualPorts ports;
    QMap<int, OpenFailure> refusals;

  private:
    OpenFailure last_;
};

// A pseudo-terminal whose slave the test opens as a serial device.
struct Pty {
    Pty() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0)
            slave = QString::fromLocal8Bit(ptsname(master));
    }
    ~Pty() {
        if (master >= 0) ::close(master);
    }
    int master = -1;
    QString slave;
};

// What ExplainOpenFailure says of `device` for a user without root's rights: as root, in a
// child process that has become the user "nobody".
OpenFailure ExplainAsUser(const QString& device) {
    if (geteuid() != 0) return ExplainOpenFailure(device, QSerialPort::PermissionError, {});
    int fds[2];
    if (pipe(fds) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        ::close(fds[0]);
        OpenFailure f;
        f.reason = OpenFailure::Reason::Other;
        if (setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0)
            f = ExplainOpenFailure(device, QSerialPort::PermissionError, {});
        const int reason = static_cast<int>(f.reason);
        const QByteArray group = f.group.toUtf8();
        if (write(fds[1], &reason, sizeof reason) < 0 ||
            write(fds[1], group.data(), group.size()) < 0)
            _exit(1);
        _exit(0);
    }
    ::close(fds[1]);
    OpenFailure f;
    int reason = -1;
    if (read(fds[0], &reason, sizeof reason) == sizeof reason) {
        f.reason = static_cast<OpenFailure::Reason>(reason);
        char buf[256];
        const ssize_t n = read(fds[0], buf, sizeof buf);
        if (n > 0) f.group = QString::fromUtf8(buf, static_cast<int>(n));
    }
    ::close(fds[0]);
    waitpid(child, nullptr, 0);
    return f;
}

}  // namespace

class TestPortList : public QObject {
    Q_OBJECT
  private slots:
    void followsPlugAndUnplug_data();
    void followsPlugAndUnplug();
    void followsWithinASecond();
    void firstListingOnceTheWindowIsUp();
    void staysDuringOperationsAndTests_data();
    void staysDuringOperationsAndTests();
    void tooltipSaysWhyPortDidNotOpen_data();
    void tooltipSaysWhyPortDidNotOpen();
    void qtBackendReasons_data();
    void qtBackendReasons();
    void systemListedAgainOnlyWhenItChanged();
};

void TestPortList::followsPlugAndUnplug_data() {
    QTest::addColumn<QList<int>>("before");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QList<int>>("after");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<int>("index");
    using L = QList<int>;
    QTest::newRow("plugged in") << L{1, 3} << "COM3" << L{1, 3, 4}
                                << QStringList{"COM1", "COM3", "COM4"} << 1;
    QTest::newRow("other unplugged")
        << L{1, 3, 4} << "COM4" << L{1, 4} << QStringList{"COM1", "COM4"} << 1;
    // The chosen port's adapter went: the box keeps the text and offers what is left.
    QTest::newRow("chosen unplugged") << L{1, 3} << "COM3" << L{1} << QStringList{"COM1"} << -1;
    QTest::newRow("typed port plugged in")
        << L{1} << "COM7" << L{1, 7} << QStringList{"COM1", "COM7"} << 1;
    QStringList fallback;
    for (int n = 1; n <= 16; ++n) fallback << QStringLiteral("COM%1").arg(n);
    QTest::newRow("last unplugged") << L{3} << "COM3" << L{} << fallback << 2;
}

void TestPortList::followsPlugAndUnplug() {
    QFETCH(QList<int>, before);
    QFETCH(QString, chosen);
    QFETCH(QList<int>, after);
    QFETCH(QStringList, items);
    QFETCH(int, index);
    WindowFixture f;
    TfrmModule& w = f.build(nullptr, Ports(before));
    const int listed = w.cmbPort->findText(chosen);
    if (listed >= 0)
        w.cmbPort->setCurrentIndex(listed);
    else
        w.cmbPort->setEditText(chosen);

    f.portList = Ports(after);
    w.portWatcher->poll();
    QCOMPARE(Items(w.cmbPort), items);
    QCOMPARE(w.cmbPort->currentText(), chosen);
    QCOMPARE(w.cmbPort->currentIndex(), index);
    for (int i = 0; i < after.size(); ++i)
        QCOMPARE(w.cmbPort->itemData(i, Qt::ToolTipRole).toString(),
                 QStringLiteral("/dev/virtual%1").arg(after[i]));
    QVERIFY(f.errors.isEmpty());
}

void TestPortList::followsWithinASecond() {
    WindowFixture f;
    TfrmModule& w = f.build(nullptr, Ports({1}));
    f.portList = Ports({1, 5});
    QTRY_COMPARE_WITH_TIMEOUT(Items(w.cmbPort), QStringList({"COM1", "COM5"}), 1200);
    // A port list that cannot be read leaves the box as it is.
    f.throwingPortList = true;
    QTest::qWait(2 * PortWatcher::kIntervalMs);
    QCOMPARE(Items(w.cmbPort), QStringList({"COM1", "COM5"}));
}

void TestPortList::firstListingOnceTheWindowIsUp() {
    WindowFixture f;
    f.writeIni("[General]\nScanCommNo=9\n");
    int asked = 0;
    QStringList itemsWhenAsked;
    std::function<void()> listed;
    f.listPortsLater = [&](QObject*, std::function<void()> done) {
        ++asked;
        itemsWhenAsked = Items(f.window().cmbPort);
        listed = std::move(done);
    };
    TfrmModule& w = f.build();
    // Until the listing is made the box offers the fallback names, showing the saved port.
    QTRY_COMPARE(asked, 1);
    QCOMPARE(itemsWhenAsked.size(), 16);
    QCOMPARE(w.cmbPort->currentText(), QStringLiteral("COM9"));
    f.portList = Ports({2, 9});
    listed();
    QCOMPARE(Items(w.cmbPort), QStringList({"COM2", "COM9"}));
    QCOMPARE(w.cmbPort->currentIndex(), 1);
    QCOMPARE(w.cmbPort->currentText(), QStringLiteral("COM9"));
    // Shown again (from the task bar, after a hide): no second first listing.
    w.hide();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.repaint();
    QCoreApplication::processEvents();
    QCOMPARE(asked, 1);
    QVERIFY(f.errors.isEmpty());
}

void TestPortList::staysDuringOperationsAndTests_data() {
    QTest::addColumn<QString>("state");
    QTest::newRow("operation") << "busy";
    QTest::newRow("continuous test") << "polling";
    QTest::newRow("port open") << "open";
}

void TestPortList::staysDuringOperationsAndTests() {
    QFETCH(QString, state);
    WindowFixture f;
    VirtualPorts ports;
    ports.addModule(1, ModuleType::RQ3016);
    TfrmModule& w = f.build(&ports, Ports({1}));
    auto enter = [&](bool on) {
        if (state == QLatin1String("busy")) w.SetBusy(on ? 1 : 0);
        if (state == QLatin1String("polling")) w.Polling = on ? 1 : 0;
        if (state == QLatin1String("open")) {
            if (on)
                QVERIFY(w.link.OpenPort(1, QStringLiteral("19200,e,8,1")));
            else
                w.link.ClosePort();
        }
    };
    enter(true);
    f.portList = Ports({1, 2});
    w.portWatcher->poll();
    QCOMPARE(w.cmbPort->count(), 1);
    enter(false);
    w.portWatcher->poll();
    QCOMPARE(w.cmbPort->count(), 2);
}

void TestPortList::tooltipSaysWhyPortDidNotOpen_data() {
    QTest::addColumn<int>("reason");
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("logged");
    const int denied = static_cast<int>(OpenFailure::Reason::PermissionDenied);
    const int inUse = static_cast<int>(OpenFailure::Reason::InUse);
    QTest::newRow("permission")
        << denied << "dialout"
        << "mnuEnglish"
        << "permission denied: add your user to the group dialout, then log in again"
        << "permission denied: add your user to the group dialout, then log in again";
    QTest::newRow("permission, no group") << denied << ""
                                          << "mnuEnglish"
                                          << "permission denied"
                                          << "permission denied";
    QTest::newRow("in use, Simplified") << inUse << ""
                                        << "mnuSimplified"
                                        << "正被其他程序使用"
                                        << "in use by another program";
    QTest::newRow("in use, Traditional") << inUse << ""
                                         << "mnuTraditional"
                                         << "正被其他程式使用"
                                         << "in use by another program";
}

void TestPortList::tooltipSaysWhyPortDidNotOpen() {
    QFETCH(int, reason);
    QFETCH(QString, group);
    QFETCH(QString, language);
    QFETCH(QString, shown);
    QFETCH(QString, logged);
    WindowFixture f;
    RefusingPorts opener;
    opener.ports.addModule(3, ModuleType::RQ3016);
    OpenFailure why;
    why.reason = static_cast<OpenFailure::Reason>(reason);
    why.device = QStringLiteral("/dev/virtual3");
    why.group = group;
    opener.refusals.insert(3, why);
    f.writeIni("[General]\nType=0\n");
    TfrmModule& w = f.build(&opener, Ports({1, 3}));
    w.findChild<QAction*>(language)->trigger();
    w.findChild<QAction*>(QStringLiteral("mnuTrafficLog"))->trigger();
    w.cmbPort->setCurrentIndex(1);
    Click(w, "btnLink");

    // The message line says what it always says; the tooltips say why.
    QCOMPARE(w.pnMsg->text(), w.Msg(17));
    const QString tip = QStringLiteral("/dev/virtual3\n") + shown;
    QCOMPARE(w.cmbPort->itemData(1, Qt::ToolTipRole).toString(), tip);
    QCOMPARE(w.cmbPort->toolTip(), tip);
    QCOMPARE(w.cmbPort->itemData(0, Qt::ToolTipRole).toString(), QStringLiteral("/dev/virtual1"));
    const QStringList lines = w.frmTrafficLog->log().lines();
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines[0].endsWith(QStringLiteral(" | COM3  | not open  | /dev/virtual3: ") + logged),
             qPrintable(lines[0]));

    // The port box follows the language, and the reason goes once the port opens.
    w.findChild<QAction*>(QStringLiteral("mnuEnglish"))->trigger();
    QCOMPARE(w.cmbPort->toolTip(), QStringLiteral("/dev/virtual3\n") + why.describe(0));
    opener.refusals.clear();
    Click(w, "btnLink");
    QCOMPARE(w.Linked, 1);
    QCOMPARE(w.cmbPort->itemData(1, Qt::ToolTipRole).toString(), QStringLiteral("/dev/virtual3"));
    QVERIFY(w.cmbPort->toolTip().isEmpty());

    // A typed port that is not listed keeps its text while reasons come and go, and the closed
    // box says why it failed.
    OpenFailure gone;
    gone.reason = OpenFailure::Reason::NotFound;
    opener.refusals.insert(1, gone);
    opener.refusals.insert(9, gone);
    w.cmbPort->setCurrentIndex(0);
    w.cmbPort->setEditText(QStringLiteral("COM9"));
    QVERIFY(!w.link.OpenPort(1, QStringLiteral("19200,e,8,1")));
    QCOMPARE(w.cmbPort->currentText(), QStringLiteral("COM9"));
    QCOMPARE(w.cmbPort->itemData(0, Qt::ToolTipRole).toString(),
             QStringLiteral("/dev/virtual1\ndevice not found"));
    QVERIFY(w.cmbPort->toolTip().isEmpty());
    Click(w, "btnLink");
    QCOMPARE(w.cmbPort->currentText(), QStringLiteral("COM9"));
    QCOMPARE(w.cmbPort->toolTip(), QStringLiteral("device not found"));
}

void TestPortList::qtBackendReasons_data() {
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("described");
    QTest::newRow("held by another program") << "held"
                                             << "in use by another program";
    QTest::newRow("no permission") << "permission"
                                   << "";
    QTest::newRow("unplugged") << "absent"
                               << "device not found";
    QTest::newRow("no device for the number") << "unmapped"
                                              << "no device for this port number";
}

void TestPortList::qtBackendReasons() {
    QFETCH(QString, situation);
    QFETCH(QString, described);
    Pty pty;
    QVERIFY(!pty.slave.isEmpty());
    QString device = pty.slave;
    if (situation == QLatin1String("absent")) device = QStringLiteral("/dev/quillon-no-such-tty");
    if (situation == QLatin1String("unmapped")) device.clear();
    QtPortOpener opener([&device](int) { return device; });
    QtPortOpener other([&device](int) { return device; });
    std::unique_ptr<SerialPort> held;
    if (situation == QLatin1String("held")) {
        held = other.open(1, QStringLiteral("9600,n,8,1"));
        QVERIFY(held);
        QCOMPARE(other.lastFailure().reason, OpenFailure::Reason::None);
    }
    if (situation == QLatin1String("permission")) {
        // Readable and writable by the group only: a user outside it is refused, and told
        // to join it, unless it is root's.
        const QByteArray path = QFile::encodeName(device);
        if (geteuid() == 0) {
            if (const group* dialout = getgrnam("dialout"))
                QCOMPARE(chown(path.constData(), 0, dialout->gr_gid), 0);
        }
        QCOMPARE(chmod(path.constData(), 0060), 0);
        struct stat st {};
        QCOMPARE(stat(path.constData(), &st), 0);
        const QString group =
            st.st_gid == 0 ? QString() : QString::fromLocal8Bit(getgrgid(st.st_gid)->gr_name);
        const OpenFailure f = ExplainAsUser(device);
        QCOMPARE(f.reason, OpenFailure::Reason::PermissionDenied);
        QCOMPARE(f.group, group);
        QCOMPARE(f.describe(0), group.isEmpty()
                                    ? QStringLiteral("permission denied")
                                    : QStringLiteral("permission denied: add your user to the "
                                                     "group %1, then log in again")
                                          .arg(group));
        return;
    }
    QVERIFY(!opener.open(1, QStringLiteral("9600,n,8,1")));
    QCOMPARE(opener.lastFailure().describe(0), described);
    QCOMPARE(opener.lastFailure().device, device);
}

void TestPortList::systemListedAgainOnlyWhenItChanged() {
    int listings = 0;
    QList<SystemDevice> system{{"/dev/ttyS0", {}}};
    QString stamp = QStringLiteral("ttyS0|");
    SystemPortList list(
        [&] {
            ++listings;
            return system;
        },
        [&stamp] { return stamp; });
    QCOMPARE(list.devices().size(), 1);
    QCOMPARE(list.devices().size(), 1);
    QCOMPARE(listings, 1);
    // An adapter plugged in shows in the kernel's list of ttys, and the devices are listed again.
    system.append(SystemDevice{"/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI"});
    stamp = QStringLiteral("ttyS0 ttyUSB0|usb-FTDI");
    QCOMPARE(list.devices().size(), 2);
    QCOMPARE(list.devices().size(), 2);
    QCOMPARE(listings, 2);
    // A system that cannot tell is listed at every look.
    stamp = QString();
    list.devices();
    list.devices();
    QCOMPARE(listings, 4);
}

QTEST_MAIN(TestPortList)
#include "test_portlist.moc"
