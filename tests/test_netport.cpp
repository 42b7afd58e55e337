// Network serial ports: names, the reasons an open fails, one connection per port, and the
// window and the link through a real serial device server (ser2net on 127.0.0.1) in front of
// quillon-sim's pseudo-terminal.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <thread>

#include "link/frame.h"
#include "link/link.h"
#include "link/netserialport.h"
#include "link/portmap.h"
#include "link/qtserialport.h"
#include "link/trafficlog.h"
#include "support/simwindow.h"

namespace {

// A loopback port that nothing listens on (just now).
quint16 FreePort() {
    QTcpServer s;
    if (!s.listen(QHostAddress::LocalHost, 0)) return 0;
    return s.serverPort();
}

// quillon-sim on a pty, its log kept.
class Sim {
  public:
    explicit Sim(const QStringList& args) {
        proc_.setProgram(qEnvironmentVariable("QUILLON_SIM"));
        proc_.setArguments(QStringList{QStringLiteral("--pty")} + args);
        proc_.start();
        QElapsedTimer t;
        t.start();
        while (!proc_.canReadLine() && t.elapsed() < 5000) proc_.waitForReadyRead(100);
        const QByteArray first = proc_.readLine().trimmed();
        if (first.startsWith("pty: ")) pty_ = QString::fromLatin1(first.mid(5));
    }
    ~Sim() {
        proc_.kill();
        proc_.waitForFinished(2000);
    }
    const QString& pty() const { return pty_; }
    // The log lines so far.
    QStringList log() {
        proc_.waitForReadyRead(0);
        log_ += QString::fromLatin1(proc_.readAllStandardOutput());
        return log_.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    // The log lines containing `text`, waiting up to `ms` for at least one.
    QStringList linesWith(const QString& text, int ms = 0) {
        QElapsedTimer t;
        t.start();
        for (;;) {
            const QStringList found = log().filter(text);
            if (!found.isEmpty() || t.elapsed() >= ms) return found;
            proc_.waitForReadyRead(20);
        }
    }

  private:
    QProcess proc_;
    QString pty_;
    QString log_;
};

// ser2net with one Telnet/COM-PORT port and one raw port in front of `device`, whose line is
// preset to `line` (as "9600n81").
class Server {
  public:
    Server(const QString& device, const QString& line) {
        rfcPort = FreePort();
        rawPort = FreePort();
        const QString yaml = QStringLiteral(
                                 "%YAML 1.1\n---\n"
                                 "connection: &rfc\n"
                                 "  accepter: telnet(rfc2217),tcp,127.0.0.1,%1\n"
                                 "  connector: serialdev,%3,%4,local\n"
                                 "connection: &raw\n"
                                 "  accepter: tcp,127.0.0.1,%2\n"
                                 "  connector: serialdev,%3,%4,local\n")
                                 .arg(rfcPort)
                                 .arg(rawPort)
                                 .arg(device, line);
        QFile f(dir_.filePath(QStringLiteral("ser2net.yaml")));
        if (!f.open(QIODevice::WriteOnly) || f.write(yaml.toUtf8()) < 0) return;
        f.close();
        proc_.setProgram(QStandardPaths::findExecutable(QStringLiteral("ser2net"),
                                                        {"/usr/sbin", "/usr/bin", "/sbin"}));
        // Foreground, no UUCP lock files.
        proc_.setArguments({"-n", "-u", "-c", f.fileName()});
        proc_.setProcessChannelMode(QProcess::MergedChannels);
        proc_.start();
        // Up once both ports take connections.
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 5000 && !(accepts(rfcPort) && accepts(rawPort))) QTest::qWait(20);
        up_ = accepts(rfcPort) && accepts(rawPort);
    }
    ~Server() { kill(); }
    bool up() const { return up_; }
    void kill() {
        if (proc_.state() == QProcess::NotRunning) return;
        proc_.kill();
        proc_.waitForFinished(2000);
    }
    QString rfc2217() const { return QStringLiteral("rfc2217://127.0.0.1:%1").arg(rfcPort); }
    QString raw() const { return QStringLiteral("tcp://127.0.0.1:%1").arg(rawPort); }
    quint16 rfcPort = 0;
    quint16 rawPort = 0;

  private:
    // Whether the server listens on `port`, seen in the kernel's table rather than by a
    // connection, which would make the server open the device and hold it for a moment.
    static bool accepts(quint16 port) {
        QFile f(QStringLiteral("/proc/net/tcp"));
        if (!f.open(QIODevice::ReadOnly)) return false;
        const QByteArray local =
            QByteArray("0100007F:") + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
        for (const QByteArray& line : f.readAll().split('\n')) {
            const QList<QByteArray> cols = line.simplified().split(' ');
            if (cols.size() > 3 && cols[1] == local && cols[3] == "0A") return true;
        }
        return false;
    }
    QTemporaryDir dir_;
    QProcess proc_;
    bool up_ = false;
};

// A server of our own on a thread: accepts one client, sends `greeting`, then reads until
// the client goes or `stop` is set; closes at once when `hangUp`.
class FakeServer {
  public:
    FakeServer(std::string greeting, bool hangUp) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd_, 1) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            return;
        port = ntohs(a.sin_port);
        thread_ = std::thread([this, greeting, hangUp]() mutable {
            timeval tv{0, 100000};
            setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
            int c = -1;
            while (c < 0 && !stop_) c = ::accept(fd_, nullptr, nullptr);
            if (c < 0) return;
            if (!greeting.empty() && ::write(c, greeting.data(), greeting.size()) < 0)
                hangUp = true;
            setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
            char buf[256];
            while (!hangUp && !stop_) {
                const ssize_t n = ::read(c, buf, sizeof buf);
                if (n == 0) break;
            }
            ::close(c);
        });
    }
    ~FakeServer() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        ::close(fd_);
    }
    QString name(const char* options = "") const {
        return QStringLiteral("rfc2217://127.0.0.1:%1%2").arg(port).arg(QLatin1String(options));
    }
    quint16 port = 0;

  private:
    int fd_ = -1;
    std::thread thread_;
    std::atomic<bool> stop_{false};
};

QString Why(const OpenFailure& f) {
    return f.describe(0);
}

// Every label and edit line of the window, one text.
QString WindowTexts(QWidget& w) {
    QStringList out;
    for (auto* l : w.findChildren<QLabel*>()) out << l->text();
    for (auto* e : w.findChildren<QLineEdit*>()) out << e->text();
    return out.join(QLatin1Char('|'));
}

}  // namespace

class TestNetPort : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void names_data();
    void names();
    void openFailsWithReasons();
    void oneConnectionPerPort();
    void rawPortRefusesOtherLineWithoutConnecting();
    void windowScansReadsAndTestsThroughServer();
    void serverKilledDuringTestEndsIt();
    void rawDataKeepsFfAsOneByte();
    void purgeWithoutWriteStillReads();
    void rawPortTalksAtItsPresetLine();
    void commandLineTakesNetworkPorts();
    void waitKeepsWindowAliveAndEndsOnCancel();
};

void TestNetPort::initTestCase() {
    QVERIFY2(QFileInfo(qEnvironmentVariable("QUILLON_SIM")).isExecutable(),
             "QUILLON_SIM must name the built quillon-sim");
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("ser2net"),
                                             {"/usr/sbin", "/usr/bin", "/sbin"})
                  .isEmpty(),
             "ser2net is needed (scripts/setup installs it)");
}

void TestNetPort::names_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("kind");  // 0 rfc2217, 1 raw
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("timeoutMs");
    QTest::newRow("rfc2217") << "rfc2217://10.0.0.20:4001" << true << 0 << "10.0.0.20" << 4001 << ""
                             << 3000;
    QTest::newRow("upper case, host name, blanks")
        << "  RFC2217://server.local:23 " << true << 0 << "server.local" << 23 << "" << 3000;
    QTest::newRow("IPv6") << "rfc2217://[::1]:7000" << true << 0 << "::1" << 7000 << "" << 3000;
    QTest::newRow("pyserial options taken")
        << "rfc2217://h:1?ign_set_control&poll_modem&timeout=0.5" << true << 0 << "h" << 1 << ""
        << 500;
    QTest::newRow("raw with line")
        << "tcp://h:4002?line=9600,n,8,1" << true << 1 << "h" << 4002 << "9600,n,8,1" << 3000;
    QTest::newRow("raw without line") << "tcp://h:4002/" << true << 1 << "h" << 4002 << "" << 3000;
    QTest::newRow("no port") << "rfc2217://h" << false << 0 << "" << 0 << "" << 0;
    QTest::newRow("port 0") << "rfc2217://h:0" << false << 0 << "" << 0 << "" << 0;
    QTest::newRow("port too big") << "tcp://h:65536" << false << 0 << "" << 0 << "" << 0;
    QTest::newRow("no host") << "tcp://:4000" << false << 0 << "" << 0 << "" << 0;
    QTest::newRow("path") << "rfc2217://h:1/dev/ttyS0" << false << 0 << "" << 0 << "" << 0;
    QTest::newRow("bad line") << "tcp://h:1?line=fast" << false << 0 << "" << 0 << "" << 0;
    QTest::newRow("line on rfc2217")
        << "rfc2217://h:1?line=9600,n,8,1" << false << 0 << "" << 0 << "" << 0;
    QTest::newRow("unknown option") << "tcp://h:1?baud=9600" << false << 0 << "" << 0 << "" << 0;
    QTest::newRow("timeout 0") << "tcp://h:1?timeout=0" << false << 0 << "" << 0 << "" << 0;
    QTest::newRow("timeout text") << "tcp://h:1?timeout=soon" << false << 0 << "" << 0 << "" << 0;
    QTest::newRow("other scheme") << "telnet://h:1" << false << 0 << "" << 0 << "" << 0;
}

void TestNetPort::names() {
    QFETCH(QString, name);
    QFETCH(bool, ok);
    QString error;
    const auto n = ParseNetPortName(name, &error);
    QCOMPARE(n.has_value(), ok);
    if (!ok) {
        QVERIFY(!error.isEmpty());
        return;
    }
    QFETCH(int, kind);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(QString, line);
    QFETCH(int, timeoutMs);
    QCOMPARE(static_cast<int>(n->kind), kind);
    QCOMPARE(n->host, host);
    QCOMPARE(int(n->port), port);
    QCOMPARE(n->line.has_value(), !line.isEmpty());
    if (n->line) QVERIFY(*n->line == *ParseLineSetting(line));
    QCOMPARE(n->timeoutMs, timeoutMs);
    QVERIFY(IsNetworkPortName(name));
}

void TestNetPort::openFailsWithReasons() {
    OpenFailure f;
    QElapsedTimer t;

    t.start();
    const QString refused = QStringLiteral("rfc2217://127.0.0.1:%1").arg(FreePort());
    QVERIFY(!NetSerialPort::open(refused, QStringLiteral("19200,e,8,1"), &f));
    QCOMPARE(f.reason, OpenFailure::Reason::ConnectionRefused);
    QCOMPARE(f.device, refused);
    QVERIFY(t.elapsed() < 1000);
    // A host name is looked up first (localhost: from the hosts file).
    const QString byName = QStringLiteral("tcp://localhost:%1").arg(FreePort());
    QVERIFY(!NetSerialPort::open(byName, QString(), &f));
    QCOMPARE(f.reason, OpenFailure::Reason::ConnectionRefused);

    {
        // Accepts and never says a word.
        FakeServer silent("", false);
        t.restart();
        QVERIFY(!NetSerialPort::open(silent.name("?timeout=0.3"), "19200,e,8,1", &f));
        QCOMPARE(f.reason, OpenFailure::Reason::NoAnswer);
        QCOMPARE(Why(f), QStringLiteral("no answer within 0.3 s"));
        QVERIFY2(t.elapsed() >= 280 && t.elapsed() < 1500, QByteArray::number(t.elapsed()));
    }
    {
        FakeServer declines(std::string("\xFF\xFE\x2C", 3), false);
        t.restart();
        QVERIFY(!NetSerialPort::open(declines.name(), "19200,e,8,1", &f));
        QCOMPARE(f.reason, OpenFailure::Reason::ComPortRefused);
        QVERIFY(t.elapsed() < 1000);
    }
    {
        // Agrees to everything but sets another baud rate than asked.
        const char agree[] =
            "\xFF\xFD\x2C"
            "\xFF\xFA\x2C\x65\x00\x00\x25\x80\xFF\xF0"  // 9600
            "\xFF\xFA\x2C\x66\x08\xFF\xF0"
            "\xFF\xFA\x2C\x67\x03\xFF\xF0"
            "\xFF\xFA\x2C\x68\x01\xFF\xF0";
        FakeServer other(std::string(agree, sizeof agree - 1), false);
        QVERIFY(!NetSerialPort::open(other.name(), "19200,e,8,1", &f));
        QCOMPARE(f.reason, OpenFailure::Reason::LineSettingRefused);
        QVERIFY(Why(f).contains(QLatin1String("9600")));
    }
    {
        // As ser2net answers while another client holds the device.
        FakeServer hangsUp("Port's device already in use\r\n", true);
        QVERIFY(!NetSerialPort::open(hangsUp.name("?timeout=2"), "19200,e,8,1", &f));
        QCOMPARE(f.reason, OpenFailure::Reason::ConnectionClosed);
        QCOMPARE(Why(f),
                 QStringLiteral("the server closed the connection: Port's device already in use"));
    }
    QVERIFY(!NetSerialPort::open(QStringLiteral("rfc2217://127.0.0.1"), "19200,e,8,1", &f));
    QCOMPARE(f.reason, OpenFailure::Reason::BadName);
    QVERIFY(Why(f).startsWith(QLatin1String("not a network port name: ")));

    // Through a port number, as the window opens: the traffic log names the port and reason.
    TrafficLog log;
    QtPortOpener opener([&refused](int) { return refused; });
    Link link(opener);
    link.setTrafficSink(&log);
    QVERIFY(!link.OpenPort(9, QStringLiteral("19200,e,8,1")));
    QCOMPARE(log.lines().size(), 1);
    QVERIFY2(log.lines().first().endsWith(refused + QStringLiteral(": connection refused")),
             qPrintable(log.lines().first()));
}

void TestNetPort::oneConnectionPerPort() {
    const char agree[] = "\xFF\xFD\x2C";
    FakeServer server(std::string(agree, sizeof agree - 1), false);
    OpenFailure f;
    // Without a line setting to set, an agreed COM-PORT option opens the port.
    auto first = NetSerialPort::open(server.name(), QStringLiteral("fast"), &f);
    QVERIFY(first);
    QCOMPARE(f.reason, OpenFailure::Reason::None);
    // The same server address by another spelling is the same port.
    QVERIFY(!NetSerialPort::open(server.name("?timeout=1").toUpper().replace("RFC", "rfc"),
                                 QStringLiteral("fast"), &f));
    QCOMPARE(f.reason, OpenFailure::Reason::InUse);
    first->close();
    QVERIFY(!first->eventDevice());
    QCOMPARE(first->readByteWithin(0), -1);
    QVERIFY(!first->write(reinterpret_cast<const uint8_t*>("x"), 1));
    // Given back at close: the next open reaches the server (which takes one client only).
    QVERIFY(!NetSerialPort::open(server.name("?timeout=0.2"), QStringLiteral("fast"), &f));
    QCOMPARE(f.reason, OpenFailure::Reason::NoAnswer);
}

void TestNetPort::rawPortRefusesOtherLineWithoutConnecting() {
    QTcpServer listener;
    QVERIFY(listener.listen(QHostAddress::LocalHost, 0));
    const QString name =
        QStringLiteral("tcp://127.0.0.1:%1?line=9600,n,8,1").arg(listener.serverPort());
    OpenFailure f;
    QVERIFY(!NetSerialPort::open(name, QStringLiteral("19200,e,8,1"), &f));
    QCOMPARE(f.reason, OpenFailure::Reason::LineSettingRefused);
    QCOMPARE(Why(f), QStringLiteral("the line setting cannot be set: the raw port is fixed at "
                                    "9600,n,8,1"));
    QTest::qWait(50);
    QVERIFY(!listener.hasPendingConnections());
    // The port's own line, or a setting that is none, is taken.
    QVERIFY(NetSerialPort::open(name, QStringLiteral("9600,n,8,1"), &f));
    QVERIFY(NetSerialPort::open(name, QString(), &f));
}

void TestNetPort::windowScansReadsAndTestsThroughServer() {
    Sim sim({"--type", "RQ-3016", "--line", "9600,n,8,1", "--serial", "NET00017"});
    QVERIFY(!sim.pty().isEmpty());
    // ser2net starts the device at another rate than the module's: the scan must set it.
    Server server(sim.pty(), QStringLiteral("19200e81"));
    QVERIFY(server.up());

    WindowFixture f;
    f.writeIni(QStringLiteral("[General]\nType=0\nScanCommNo=9\n[Ports]\nCOM9=%1\n")
                   .arg(server.rfc2217())
                   .toLatin1());
    const QList<MappedPort> listed = MapPorts(f.store->portEntries(), {});
    QCOMPARE(listed.size(), 1);
    QCOMPARE(listed.first().device, server.rfc2217());
    QtPortOpener opener([&listed](int n) { return PortMap(listed).deviceFor(n); });
    TfrmModule& w = f.build(&opener, listed);
    // The box lists the port with its name as tooltip.
    QCOMPARE(w.cmbPort->itemText(0), QStringLiteral("COM9"));
    QCOMPARE(w.cmbPort->itemData(0, Qt::ToolTipRole).toString(), server.rfc2217());
    w.chkLock->setChecked(false);

    Click(w, "btnScan");
    QCOMPARE(w.pnMsg->text(), QStringLiteral("Module find ok. (COM : #9)"));
    QCOMPARE(w.Linked, uint8_t(1));
    QCOMPARE(w.BaudText, QStringLiteral("9600,n,8,1"));
    // The read-back: the module's serial number is on the page.
    QVERIFY2(WindowTexts(w).contains(QLatin1String("NET00017")), qPrintable(WindowTexts(w)));
    QVERIFY(!w.link.isOpen());

    // The DI/DO test for two seconds: it keeps cycling, and stops when asked.
    const int before = sim.linesWith(QStringLiteral("B01I")).size();
    QTimer::singleShot(2000, &w, [&w] { Click(w, "btnDIDOTest"); });
    QElapsedTimer t;
    t.start();
    Click(w, "btnDIDOTest");
    QVERIFY(t.elapsed() >= 1900 && t.elapsed() < 4000);
    const int cycles = sim.linesWith(QStringLiteral("TX [0A]B01I"), 500).size();
    QVERIFY2(cycles - before >= 10, QByteArray::number(cycles));
    QCOMPARE(w.Polling, uint8_t(0));
    QVERIFY(!w.link.isOpen());
    QVERIFY(!w.tmrBusy->isActive());
    QVERIFY(f.errors.isEmpty());
}

void TestNetPort::serverKilledDuringTestEndsIt() {
    Sim sim({"--type", "RQ-3016"});
    QVERIFY(!sim.pty().isEmpty());
    Server server(sim.pty(), QStringLiteral("19200e81"));
    QVERIFY(server.up());
    WindowFixture f;
    f.writeIni("[General]\nType=0\n");
    const QString name = server.rfc2217();
    QtPortOpener opener([&name](int n) { return n == 3 ? name : QString(); });
    TfrmModule& w = f.build(&opener, {MappedPort{3, name, QString()}});
    TrafficLog log;
    w.link.setTrafficSink(&log);
    w.cmbPort->setEditText(QStringLiteral("COM3"));
    Click(w, "btnLink");
    QVERIFY2(w.Linked == 1, qPrintable(log.lines().join('\n') + sim.log().join('\n')));

    QTimer::singleShot(700, &w, [&server] { server.kill(); });
    // Should the test not end by itself, it is stopped, and the check below fails.
    bool stopped = false;
    QTimer::singleShot(8000, &w, [&] {
        if (w.Polling == 1) {
            stopped = true;
            Click(w, "btnDIDOTest");
        }
    });
    QElapsedTimer t;
    t.start();
    Click(w, "btnDIDOTest");
    QVERIFY(!stopped);
    QVERIFY2(t.elapsed() < 5000, QByteArray::number(t.elapsed()));
    QCOMPARE(w.Polling, uint8_t(0));
    QVERIFY(!w.link.isOpen());
    QVERIFY(!w.tmrBusy->isActive());
    QVERIFY(w.centralWidget()->isEnabled());

    // The next open is refused, and the box says why.
    Click(w, "btnLink");
    QVERIFY2(w.cmbPort->toolTip().contains(QLatin1String("connection refused")),
             qPrintable(w.cmbPort->toolTip()));
}

void TestNetPort::rawDataKeepsFfAsOneByte() {
    Sim sim({"--type", "RQ-3040"});
    QVERIFY(!sim.pty().isEmpty());
    Server server(sim.pty(), QStringLiteral("9600n81"));
    QVERIFY(server.up());
    const QString name = server.rfc2217();
    QtPortOpener opener([&name](int) { return name; });
    Link link(opener);
    QVERIFY(link.OpenPort(1, QStringLiteral("19200,e,8,1")));
    QVERIFY(link.Transact(QByteArray("X01B")));
    // A reply with 0xFF in it would come undoubled too; here the bytes go the other way.
    const uint8_t raw[] = {'1', 0xFF, 0xFF, '2', 0xFF};
    QVERIFY(link.SendBlock(raw, sizeof raw));
    link.ClosePort();
    const QStringList lines = sim.linesWith(QStringLiteral("outside frames"), 2000);
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().contains(QLatin1String("RX 1[FF][FF]2[FF] ")),
             qPrintable(lines.first()));
}

void TestNetPort::purgeWithoutWriteStillReads() {
    // The server answers purges, then a purge is asked for and only reads follow: the reply
    // the module sends after it (50 ms after the command) still arrives.
    Sim sim({"--type", "RQ-3016", "--reply-delay", "50"});
    QVERIFY(!sim.pty().isEmpty());
    Server server(sim.pty(), QStringLiteral("19200e81"));
    QVERIFY(server.up());
    OpenFailure f;
    auto port = NetSerialPort::open(server.rfc2217(), QStringLiteral("19200,e,8,1"), &f);
    QVERIFY(port);
    const std::string frame = wire::BuildCommandFrame("B01B");
    QVERIFY(port->write(reinterpret_cast<const uint8_t*>(frame.data()), int(frame.size())));
    port->purge();
    std::string got;
    QElapsedTimer t;
    t.start();
    while (got.size() < 16 && t.elapsed() < 1000) {
        const int b = port->readByteWithin(50);
        if (b >= 0) got += static_cast<char>(b);
    }
    QCOMPARE(QByteArray::fromStdString(got),
             QByteArray::fromStdString(wire::BuildReplyFrame("B01B16000001")));
}

void TestNetPort::rawPortTalksAtItsPresetLine() {
    Sim sim({"--type", "RQ-3020", "--line", "9600,n,8,1"});
    QVERIFY(!sim.pty().isEmpty());
    Server server(sim.pty(), QStringLiteral("9600n81"));
    QVERIFY(server.up());
    const QString name = server.raw() + QStringLiteral("?line=9600,n,8,1");
    QtPortOpener opener([&name](int) { return name; });
    Link link(opener);
    QVERIFY(link.OpenPort(1, QStringLiteral("9600,n,8,1")));
    QVERIFY2(link.Transact(QByteArray("E01B")), qPrintable(link.receivedLine()));
    QCOMPARE(link.LastReply.left(4), QByteArray("\x0A"
                                                "E01",
                                                4));
    link.ClosePort();
    QVERIFY(!link.OpenPort(1, QStringLiteral("19200,e,8,1")));
    QCOMPARE(opener.lastFailure().reason, OpenFailure::Reason::LineSettingRefused);
}

void TestNetPort::commandLineTakesNetworkPorts() {
    Sim sim({"--type", "RQ-3050K", "--line", "9600,e,8,1"});
    QVERIFY(!sim.pty().isEmpty());
    Server server(sim.pty(), QStringLiteral("19200e81"));
    QVERIFY(server.up());
    QTemporaryDir config;
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    cli.setProcessEnvironment(env);
    cli.start(qEnvironmentVariable("QUILLON_CLI"),
              {"info", "--type", "RQ-3050K", "--port", server.rfc2217(), "--line", "9600,e,8,1",
               "--json"});
    QVERIFY(cli.waitForFinished(15000));
    QCOMPARE(cli.exitCode(), 0);
    const QJsonObject info = QJsonDocument::fromJson(cli.readAllStandardOutput()).object();
    QCOMPARE(info.value(QStringLiteral("serial")).toString(), QStringLiteral("51000001"));
    QCOMPARE(info.value(QStringLiteral("port")).toString(), server.rfc2217());
    // A name that does not parse is bad usage: nothing is sent, no connection made.
    cli.start(qEnvironmentVariable("QUILLON_CLI"),
              {"info", "--type", "RQ-3050K", "--port", "rfc2217://127.0.0.1:notaport"});
    QVERIFY(cli.waitForFinished(15000));
    QCOMPARE(cli.exitCode(), 2);
}

void TestNetPort::waitKeepsWindowAliveAndEndsOnCancel() {
    // A server that accepts and never negotiates: the open would wait out its 3 s.
    FakeServer silent("", false);
    {
        // The backend alone: the wait runs the event loop, tells whom it waits for, and a
        // cancel ends it at once.
        int ticks = 0;
        QTimer tick;
        connect(&tick, &QTimer::timeout, this, [&ticks] { ++ticks; });
        tick.start(10);
        QString told;
        QElapsedTimer t;
        t.start();
        OpenWait wait;
        wait.connecting = [&told](const QString& what) { told = what; };
        wait.cancel = [&t] { return t.elapsed() > 200; };
        OpenFailure f;
        QVERIFY(!NetSerialPort::open(silent.name(), "19200,e,8,1", &f, &wait));
        QCOMPARE(f.reason, OpenFailure::Reason::Cancelled);
        QVERIFY2(t.elapsed() < 800, QByteArray::number(t.elapsed()));
        QVERIFY2(ticks >= 5, QByteArray::number(ticks));
        QCOMPARE(told, QStringLiteral("127.0.0.1:%1").arg(silent.port));
    }
    WindowFixture f;
    f.writeIni(
        QStringLiteral("[General]\nType=0\n[Ports]\nCOM9=%1\n").arg(silent.name()).toLatin1());
    QList<MappedPort> listed = MapPorts(f.store->portEntries(), {});
    QtPortOpener opener([&listed](int n) { return PortMap(listed).deviceFor(n); });
    TfrmModule& w = f.build(&opener, listed);
    w.cmbPort->setEditText(QStringLiteral("COM9"));
    // While it connects the window paints its message; Escape ends the attempt at once.
    QString shown;
    QTimer::singleShot(300, &w, [&] {
        shown = w.pnMsg->text();
        QTest::keyClick(&w, Qt::Key_Escape);
    });
    QElapsedTimer t;
    t.start();
    Click(w, "btnLink");
    QVERIFY2(t.elapsed() < 1500, QByteArray::number(t.elapsed()));
    QCOMPARE(shown, QStringLiteral("connecting to 127.0.0.1:%1...").arg(silent.port));
    QCOMPARE(w.pnMsg->text(), QStringLiteral("Module not find"));
    QVERIFY(w.centralWidget()->isEnabled());
    // A scan over two ports on servers that never answer: Escape ends it, the second port
    // untried.
    FakeServer other("", false);
    w.cmbPort->clear();
    w.cmbPort->addItems({QStringLiteral("COM9"), QStringLiteral("COM8")});
    listed.append(MappedPort{8, other.name(), {}});
    w.chkLock->setChecked(true);
    QTimer::singleShot(300, &w, [&w] { QTest::keyClick(&w, Qt::Key_Escape); });
    t.restart();
    Click(w, "btnScan");
    QVERIFY2(t.elapsed() < 1500, QByteArray::number(t.elapsed()));
    QCOMPARE(w.pnMsg->text(), QStringLiteral("Module not find"));
    // Closing the window while it connects ends the attempt and then closes it.
    QTimer::singleShot(300, &w, [&w] { w.close(); });
    t.restart();
    Click(w, "btnLink");
    QVERIFY2(t.elapsed() < 1500, QByteArray::number(t.elapsed()));
    QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), 1000);
}

QTEST_MAIN(TestNetPort)
#include "test_netport.moc"
