// The simulator on real pseudo-terminals: the endpoint that matches the baud rate the tool
// sets on the slave and survives the tool closing it, and quillon-sim run as a user runs it,
// talked to through the tool's own serial backend and link.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "link/frame.h"
#include "link/link.h"
#include "link/qtserialport.h"
#include "sim/lineendpoint.h"
#include "support/simexchange.h"

namespace {

// The tool's side of a pty, opened raw at a baud rate.
int OpenSlave(const std::string& path, speed_t speed) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return -1;
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    t.c_cflag |= PARENB;  // asked for, though a pty drops it
    tcsetattr(fd, TCSANOW, &t);
    return fd;
}

// Writes a command frame and runs the endpoint until `count` bytes came back or `ms` passed.
std::string Exchange(LineEndpoint& line, int slave, const std::string& text, size_t count,
                     int ms = 300) {
    const std::string frame = wire::BuildCommandFrame(text);
    if (write(slave, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size())) return {};
    std::string got;
    QElapsedTimer t;
    t.start();
    while (got.size() < count && t.elapsed() < ms) {
        line.step(2);
        char buf[256];
        const ssize_t n = read(slave, buf, sizeof buf);
        if (n > 0) got.append(buf, static_cast<size_t>(n));
    }
    return got;
}

class SimProcess {
  public:
    explicit SimProcess(const QStringList& args) {
        proc.setProgram(qEnvironmentVariable("QUILLON_SIM"));
        proc.setArguments(args);
        proc.start();
    }
    ~SimProcess() {
        if (proc.state() != QProcess::NotRunning) {
            proc.kill();
            proc.waitForFinished(2000);
        }
    }
    // The slave path from the first line, "pty: PATH".
    QString slavePath() {
        QElapsedTimer t;
        t.start();
        while (!proc.canReadLine() && t.elapsed() < 5000) proc.waitForReadyRead(100);
        const QByteArray first = proc.readLine().trimmed();
        if (!first.startsWith("pty: ")) return {};
        return QString::fromLatin1(first.mid(5));
    }
    void terminate() { ::kill(static_cast<pid_t>(proc.processId()), SIGTERM); }
    QProcess proc;
};

}  // namespace

class TestSimPty : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void endpointMatchesBaudRate_data();
    void endpointMatchesBaudRate();
    void endpointSurvivesReopen();
    void endpointTakesLastBytesAtTheSettingOfTheirOpen();
    void linkPlacedAndRemoved();
    void deviceFollowsSetBaudRate();
    void programAnswersTheTool();
    void programFollowsLineSettingChange();
    void programHelpAndBadOptions();
    void parityOpensAfterAToolDied();
    void everyLineOpensAfterTheCliIsKilled();
};

void TestSimPty::initTestCase() {
    QVERIFY2(QFileInfo(qEnvironmentVariable("QUILLON_SIM")).isExecutable(),
             "QUILLON_SIM must name the built quillon-sim");
}

void TestSimPty::endpointMatchesBaudRate_data() {
    QTest::addColumn<int>("moduleLine");
    QTest::addColumn<int>("speed");
    QTest::addColumn<int>("baud");
    QTest::addColumn<bool>("answers");
    QTest::newRow("19200,e module, tool at 19200") << 5 << int(B19200) << 19200 << true;
    QTest::newRow("19200,n module, tool at 19200") << 4 << int(B19200) << 19200 << true;
    QTest::newRow("19200,e module, tool at 9600") << 5 << int(B9600) << 9600 << false;
    QTest::newRow("115200,e module, tool at 115200") << 11 << int(B115200) << 115200 << true;
    QTest::newRow("230400,n module, tool at 38400") << 12 << int(B38400) << 38400 << false;
    QTest::newRow("4800,n module, tool at 4800") << 0 << int(B4800) << 4800 << true;
}

void TestSimPty::endpointMatchesBaudRate() {
    QFETCH(int, moduleLine);
    QFETCH(int, speed);
    QFETCH(int, baud);
    QFETCH(bool, answers);
    SimModule m(ModuleType::RQ3016);
    m.lineIndex = moduleLine;
    ModuleHost host(m);
    LineEndpoint line(host);
    std::string error;
    QVERIFY2(line.openPty(&error), error.c_str());
    const int slave = OpenSlave(line.slavePath(), static_cast<speed_t>(speed));
    QVERIFY(slave >= 0);
    QCOMPARE(line.hostBaud(), baud);
    const std::string reply = Exchange(line, slave, "B00B", 16, answers ? 500 : 80);
    QCOMPARE(reply.size(), answers ? size_t(16) : size_t(0));
    if (answers) QVERIFY(simtest::Verifies(reply));
    close(slave);
}

void TestSimPty::endpointSurvivesReopen() {
    ModuleHost host{SimModule(ModuleType::RQ3030)};
    LineEndpoint line(host);
    int hangUps = 0;
    line.onHangUp = [&hangUps] { ++hangUps; };
    QVERIFY(line.openPty(nullptr));
    int slave = OpenSlave(line.slavePath(), B19200);
    QCOMPARE(Exchange(line, slave, "F01K", 9).size(), size_t(9));
    // A reply still to come when the tool closes the port is dropped, not sent to the next.
    host.faults().delayMs = 100;
    const std::string frame = wire::BuildCommandFrame("F01A");
    QCOMPARE(write(slave, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
    line.step(5);
    QVERIFY(host.hasPending());
    close(slave);
    host.faults().delayMs = 0;

    // While closed, the endpoint waits instead of spinning on the hang-up.
    QElapsedTimer t;
    t.start();
    int steps = 0;
    while (t.elapsed() < 200) {
        line.step(100);
        ++steps;
    }
    QCOMPARE(hangUps, 1);
    QVERIFY(!host.hasPending());
    QVERIFY2(steps <= 15, QByteArray::number(steps));

    slave = OpenSlave(line.slavePath(), B19200);
    QVERIFY(slave >= 0);
    const std::string reply = Exchange(line, slave, "F01B", 16);
    QCOMPARE(reply.size(), size_t(16));
    QVERIFY(simtest::Verifies(reply));
    close(slave);
}

void TestSimPty::endpointTakesLastBytesAtTheSettingOfTheirOpen() {
    // The repeater's send data: raw bytes after the "B" exchange, then at once the close,
    // which puts back the slave's previous settings before the endpoint reads the bytes.
    ModuleHost host{SimModule(ModuleType::RQ3040)};
    LineEndpoint line(host);
    QVERIFY(line.openPty(nullptr));
    int slave = OpenSlave(line.slavePath(), B19200);
    QCOMPARE(Exchange(line, slave, "X01B", 16).size(), size_t(16));
    QCOMPARE(write(slave, "1234", 4), ssize_t(4));
    termios t{};
    tcgetattr(slave, &t);
    cfsetispeed(&t, B38400);
    cfsetospeed(&t, B38400);
    tcsetattr(slave, TCSANOW, &t);
    close(slave);
    for (int k = 0; k < 5; ++k) line.step(5);
    QCOMPARE(host.module().rawReceived, std::string("1234"));

    // A new open at another baud rate is still not heard, even unnoticed between two reads.
    slave = OpenSlave(line.slavePath(), B9600);
    QCOMPARE(Exchange(line, slave, "X01B", 16, 100).size(), size_t(0));
    close(slave);
    for (int k = 0; k < 5; ++k) line.step(5);
    slave = OpenSlave(line.slavePath(), B19200);
    QCOMPARE(Exchange(line, slave, "X01B", 16).size(), size_t(16));
    close(slave);
}

void TestSimPty::linkPlacedAndRemoved() {
    QTemporaryDir dir;
    const std::string path = (dir.path() + "/ttySIM").toStdString();
    {
        ModuleHost host{SimModule(ModuleType::RQ3016)};
        LineEndpoint line(host);
        QVERIFY(line.openPty(nullptr));
        std::string error;
        QVERIFY2(line.placeLink(path, &error), error.c_str());
        char target[256] = {};
        QVERIFY(readlink(path.c_str(), target, sizeof target - 1) > 0);
        QCOMPARE(std::string(target), line.slavePath());
        // A stale link from an earlier run is replaced.
        QVERIFY(line.placeLink(path, &error));
    }
    struct stat st {};
    QVERIFY(lstat(path.c_str(), &st) != 0);

    // A regular file is never replaced.
    QFile f(QString::fromStdString(path));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    ModuleHost host{SimModule(ModuleType::RQ3016)};
    LineEndpoint line(host);
    QVERIFY(line.openPty(nullptr));
    std::string error;
    QVERIFY(!line.placeLink(path, &error));
    QVERIFY(!error.empty());
    QVERIFY(QFileInfo(QString::fromStdString(path)).isFile());
}

// On a serial device the endpoint sets the line itself; a pty pair stands in for the device,
// the test holding the master as the far end.
void TestSimPty::deviceFollowsSetBaudRate() {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(master >= 0);
    QVERIFY(grantpt(master) == 0 && unlockpt(master) == 0);
    const std::string device = ptsname(master);
    ModuleHost host{SimModule(ModuleType::RQ3040)};
    LineEndpoint line(host);
    std::string error;
    QVERIFY2(line.openDevice(device, &error), error.c_str());
    QCOMPARE(line.hostBaud(), 19200);
    termios t{};
    QVERIFY(tcgetattr(master, &t) == 0);
    QCOMPARE(cfgetospeed(&t), speed_t(B19200));

    auto exchange = [&](const std::string& text) {
        const std::string frame = wire::BuildCommandFrame(text);
        if (write(master, frame.data(), frame.size()) < 0) return std::string();
        std::string got;
        QElapsedTimer timer;
        timer.start();
        while ((got.empty() || got.back() != '\x0D') && timer.elapsed() < 300) {
            line.step(2);
            char buf[64];
            const ssize_t n = read(master, buf, sizeof buf);
            if (n > 0) got.append(buf, static_cast<size_t>(n));
        }
        return got;
    };
    QCOMPARE(exchange("X01B").size(), size_t(16));
    QCOMPARE(exchange("X01E2").size(), size_t(8));
    QCOMPARE(line.hostBaud(), 9600);
    QVERIFY(tcgetattr(master, &t) == 0);
    QCOMPARE(cfgetospeed(&t), speed_t(B9600));
    close(master);

    QVERIFY(!line.openDevice("/nonexistent/ttyX", &error));
    QVERIFY(error.find("/nonexistent/ttyX") != std::string::npos);
}

// The run the issue asks for: "--type RQ-3050K --pty" answers H00B with a verified 16-byte
// reply carrying its ID and serial number, through the tool's own backend and link.
void TestSimPty::programAnswersTheTool() {
    QTemporaryDir dir;
    const QString linkPath = dir.path() + "/ttySIM";
    SimProcess sim(
        {"--type", "RQ-3050K", "--pty", "--id", "7", "--serial", "K1234567", "--link", linkPath});
    const QString slave = sim.slavePath();
    QVERIFY2(!slave.isEmpty(), sim.proc.readAllStandardError().constData());

    std::unique_ptr<SerialPort> port = QtSerialPort::openDevice(linkPath, "19200,e,8,1");
    QVERIFY(port);
    class OnePort : public PortOpener {
      public:
        explicit OnePort(std::unique_ptr<SerialPort> p) : p_(std::move(p)) {}
        std::unique_ptr<SerialPort> open(int, const QString&) override { return std::move(p_); }
        std::unique_ptr<SerialPort> p_;
    } opener(std::move(port));
    Link link(opener);
    QVERIFY(link.OpenPort(1, "19200,e,8,1"));

    QVERIFY(link.Transact(QByteArray("H00B")));
    QCOMPARE(link.RxPos, 16);
    QCOMPARE(link.LastReply.mid(2, 2), QByteArray("07"));
    QCOMPARE(link.LastReply.mid(5, 8), QByteArray("K1234567"));
    QVERIFY(link.Transact(QByteArray("H07V")));
    QCOMPARE(link.LastReply.mid(5, 8), QByteArray("01.20-36"));

    // A card typed on standard input is reported by the next read.
    sim.proc.write("card 1 00027CBB\n");
    bool card = false;
    QElapsedTimer t;
    t.start();
    while (!card && t.elapsed() < 3000) {
        QVERIFY(link.Transact(QByteArray("H07F")));
        card = link.RxPos == 17;
    }
    QVERIFY(card);
    QCOMPARE(link.LastReply.mid(6, 8), QByteArray("00027CBB"));
    link.ClosePort();

    sim.terminate();
    QVERIFY(sim.proc.waitForFinished(3000));
    QCOMPARE(sim.proc.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.proc.exitCode(), 0);
    const QByteArray log = sim.proc.readAllStandardOutput();
    QVERIFY(log.contains(" RX [09]H00B03[0D]"));
    QVERIFY(log.contains(" TX [0A]H07BK1234567"));
    QVERIFY(log.contains("queued on CH #1: card 00027CBB"));
    QVERIFY(log.contains("quillon-sim: stopped"));
    QVERIFY(!QFileInfo::exists(linkPath) && !QFileInfo(linkPath).isSymLink());
}

void TestSimPty::programFollowsLineSettingChange() {
    SimProcess sim({"--type", "3016", "--line", "9600,n,8,1"});
    const QString slave = sim.slavePath();
    QVERIFY(!slave.isEmpty());
    auto transact = [&](const QString& lineSetting, const char* text) {
        std::unique_ptr<SerialPort> port = QtSerialPort::openDevice(slave, lineSetting);
        if (!port) return -1;
        struct One : PortOpener {
            std::unique_ptr<SerialPort> p;
            std::unique_ptr<SerialPort> open(int, const QString&) override { return std::move(p); }
        } opener;
        opener.p = std::move(port);
        Link link(opener);
        link.OpenPort(1, lineSetting);
        const int n = link.Transact(QByteArray(text)) ? link.RxPos : 0;
        link.ClosePort();
        return n;
    };
    QCOMPARE(transact("19200,e,8,1", "B00B"), 0);
    QCOMPARE(transact("9600,n,8,1", "B00B"), 16);
    QCOMPARE(transact("9600,n,8,1", "B01E7"), 8);  // to 38400,e
    QCOMPARE(transact("9600,n,8,1", "B01B"), 0);
    QCOMPARE(transact("38400,e,8,1", "B01B"), 16);
    sim.proc.closeWriteChannel();  // the end of a redirected input does not stop it
    QCOMPARE(transact("38400,e,8,1", "B01V"), 16);
    sim.terminate();
    QVERIFY(sim.proc.waitForFinished(3000));
    QCOMPARE(sim.proc.exitCode(), 0);
}

void TestSimPty::programHelpAndBadOptions() {
    QProcess help;
    help.start(qEnvironmentVariable("QUILLON_SIM"), {"--help"});
    QVERIFY(help.waitForFinished(3000));
    QCOMPARE(help.exitCode(), 0);
    const QByteArray text = help.readAllStandardOutput();
    for (const char* option :
         {"--type",         "--id",       "--serial",         "--line",
          "--version-text", "--ch2-id",   "--ch2-serial",     "--status",
          "--pty",          "--link",     "--device",         "--reply-delay",
          "--pace",         "--drop",     "--delay",          "--delay-max",
          "--pause-after",  "--pause",    "--wrong-checksum", "--lower-checksum",
          "--noise",        "--truncate", "--oversize",       "--silent-after",
          "--only",         "--times",    "--seed",           "--card-every",
          "--events",       "--quiet",    "--help",           "card CH",
          "key CH",         "input K",    "status C",         "state",
          "quit",           "SIGTERM"}) {
        QVERIFY2(text.contains(option), option);
    }

    for (const QStringList& args :
         {QStringList{"--type", "RQ-9999"}, QStringList{"--id", "100"},
          QStringList{"--serial", "123"}, QStringList{"--line", "E"}, QStringList{"--drop", "1.5"},
          QStringList{"--bogus"}, QStringList{"--id"},
          QStringList{"--device", "/dev/null", "--pty"},
          QStringList{"--type", "RQ-3016", "--card-every", "100"}}) {
        QProcess bad;
        bad.start(qEnvironmentVariable("QUILLON_SIM"), args);
        QVERIFY(bad.waitForFinished(3000));
        QCOMPARE(bad.exitCode(), 2);
        QVERIFY2(bad.readAllStandardError().startsWith("quillon-sim: "), args.join(' ').toLatin1());
    }
}

void TestSimPty::parityOpensAfterAToolDied() {
    // A tool that opened the slave at 19200,e,8,1 and died left that state behind (without the
    // parity bit, which a pty does not keep); the next open at the same setting must work.
    int master = -1, slave = -1;
    char name[128] = {};
    QVERIFY(openpty(&master, &slave, name, nullptr, nullptr) == 0);
    ::close(slave);
    termios left{};
    {
        std::unique_ptr<QtSerialPort> port = QtSerialPort::openDevice(name, "19200,e,8,1");
        QVERIFY(port);
        QVERIFY(tcgetattr(master, &left) == 0);
    }
    QVERIFY(tcsetattr(master, TCSANOW, &left) == 0);
    for (const char* line : {"19200,e,8,1", "19200,o,8,1", "19200,n,8,1"}) {
        OpenFailure why;
        std::unique_ptr<QtSerialPort> port = QtSerialPort::openDevice(name, line, &why);
        QVERIFY2(port, qPrintable(QString::fromLatin1(line) + ": " + why.detail));
    }
    ::close(master);
}

void TestSimPty::everyLineOpensAfterTheCliIsKilled() {
    const QString cli = qEnvironmentVariable("QUILLON_CLI");
    QVERIFY2(QFileInfo(cli).isExecutable(), "QUILLON_CLI must name the built quillon-cli");
    QProcess sim;
    sim.start(qEnvironmentVariable("QUILLON_SIM"), {"--quiet"});
    QVERIFY(sim.waitForReadyRead(5000));
    const QString pty = QString::fromLatin1(sim.readLine().trimmed().mid(5));
    QVERIFY(pty.startsWith("/dev/"));
    // The DI/DO test holds the port open at an even-parity setting until it is killed.
    QTemporaryDir config;
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", config.path());
    tool.setProcessEnvironment(env);
    tool.start(cli, {"dido-test", "--port", pty, "--type", "RQ-3016", "--line", "19200,e,8,1",
                     "--seconds", "20"});
    QVERIFY(tool.waitForReadyRead(5000));
    ::kill(static_cast<pid_t>(tool.processId()), SIGKILL);
    QVERIFY(tool.waitForFinished(5000));
    // The simulator gives the slave the settings of a new pty back once the tool is gone.
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            const int fd = ::open(pty.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            termios t{};
            const bool got = fd >= 0 && tcgetattr(fd, &t) == 0;
            if (fd >= 0) ::close(fd);
            return got && cfgetospeed(&t) != B19200 && !(t.c_cflag & CLOCAL);
        }(),
        2000);
    for (int i = 0; i < 12; ++i) {
        const QString line = LineSettings::text(i);
        OpenFailure why;
        QElapsedTimer t;
        t.start();
        std::unique_ptr<QtSerialPort> port;
        // The simulator notices the hang-up within a few tens of milliseconds.
        while (!(port = QtSerialPort::openDevice(pty, line, &why)) && t.elapsed() < 2000)
            QTest::qWait(20);
        QVERIFY2(port, qPrintable(line + ": " + why.detail));
    }
    sim.kill();
    sim.waitForFinished(2000);
}

QTEST_GUILESS_MAIN(TestSimPty)
#include "test_sim_pty.moc"
