// Round trip of one exchange through a serial device server: ser2net on 127.0.0.1 with an
// rfc2217 port in front of quillon-sim's pseudo-terminal; Quillon's Transact against pyserial's
// rfc2217 client on the same server and module, in interleaved blocks (each client opens the
// port for its block: the server takes one client at a time). Then the CPU share of waiting
// on a network port that stays silent.
//
//   bench_netport [EXCHANGES [BLOCK]]      defaults 1000 and 100
// Needs ser2net and python3-serial (scripts/setup) and quillon-sim: the one next to this
// build's sim folder, or $QUILLON_SIM.
#include <sys/resource.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "link/frame.h"
#include "link/link.h"
#include "link/qtserialport.h"

namespace {

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * (v.size() - 1) + 0.5));
    return v[i];
}

// Reads "go N" lines; for each, opens the port, makes N exchanges, closes, and prints the
// time of the open and then the round trips in microseconds on one line. "go N purge" first empties
// the input before each command, as Transact does (pyserial sends PURGE-DATA for it).
const char* kPyClient = R"(
import sys, time, serial
url, frame = sys.argv[1], bytes.fromhex(sys.argv[2])
for line in sys.stdin:
    words = line.split()
    n, purge = int(words[1]), len(words) > 2
    t = time.perf_counter()
    s = serial.serial_for_url(url, baudrate=19200, parity='E', timeout=1)
    out = [(time.perf_counter() - t) * 1e6]
    for _ in range(n):
        t = time.perf_counter()
        if purge:
            s.reset_input_buffer()
        s.write(frame)
        r = s.read_until(b'\r')
        out.append((time.perf_counter() - t) * 1e6 if r.endswith(b'\r') else -1)
    s.close()
    print(' '.join('%.1f' % x for x in out), flush=True)
)";

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int total = argc > 1 ? std::max(1, atoi(argv[1])) : 1000;
    const int block = argc > 2 ? std::max(1, atoi(argv[2])) : 100;

    QString simPath = qEnvironmentVariable("QUILLON_SIM");
    if (simPath.isEmpty())
        simPath = QCoreApplication::applicationDirPath() + QStringLiteral("/../sim/quillon-sim");
    QProcess sim;
    sim.start(simPath, {"--pty", "--quiet", "--reply-delay", "0"});
    while (!sim.canReadLine() && sim.waitForReadyRead(2000)) {
    }
    const QByteArray first = sim.readLine().trimmed();
    if (!first.startsWith("pty: ")) {
        std::fprintf(stderr, "quillon-sim did not start (%s)\n", qPrintable(simPath));
        return 1;
    }
    const QString pty = QString::fromLatin1(first.mid(5));

    quint16 port = 0;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port = probe.serverPort();
    }
    QTemporaryDir dir;
    QFile conf(dir.filePath(QStringLiteral("ser2net.yaml")));
    if (!conf.open(QIODevice::WriteOnly)) return 1;
    conf.write(QStringLiteral("%YAML 1.1\n---\nconnection: &rfc\n"
                              "  accepter: telnet(rfc2217),tcp,127.0.0.1,%1\n"
                              "  connector: serialdev,%2,9600n81,local\n")
                   .arg(port)
                   .arg(pty)
                   .toUtf8());
    conf.close();
    QProcess server;
    server.start(QStringLiteral("/usr/sbin/ser2net"), {"-n", "-u", "-c", conf.fileName()});
    if (!server.waitForStarted(2000)) {
        std::fprintf(stderr, "ser2net did not start\n");
        return 1;
    }
    QThread::msleep(300);

    const QString name = QStringLiteral("rfc2217://127.0.0.1:%1").arg(port);
    const std::string frame = wire::BuildCommandFrame("B01B");
    QProcess py;
    py.start(QStringLiteral("/usr/bin/python3"),
             {"-c", kPyClient, name + QStringLiteral("?ign_set_control"),
              QByteArray::fromStdString(frame).toHex()});
    if (!py.waitForStarted(2000)) {
        std::fprintf(stderr, "python3 did not start\n");
        return 1;
    }

    QtPortOpener opener([&name](int) { return name; });
    Link link(opener);
    std::vector<double> ours, theirs;
    int ourFails = 0, theirFails = 0, purgedFails = 0;
    std::vector<double> purged;
    // One block of pyserial's exchanges into `into`.
    // Where the time goes: each client's opens, and the first exchange of each block apart.
    std::vector<double> ourOpens, theirOpens, ourFirst, theirFirst;
    const auto pyBlock = [&py](int n, const QByteArray& how, std::vector<double>& into, int& fails,
                               std::vector<double>* opens, std::vector<double>* firsts) {
        py.write(QByteArray("go ") + QByteArray::number(n) + how + '\n');
        while (!py.canReadLine() && py.waitForReadyRead(20000)) {
        }
        const QList<QByteArray> values = py.readLine().trimmed().split(' ');
        for (int i = 0; i < values.size(); ++i) {
            const double us = values[i].toDouble();
            if (i == 0) {
                if (opens) opens->push_back(us);
            } else if (us > 0) {
                into.push_back(us);
                if (i == 1 && firsts) firsts->push_back(us);
            } else {
                ++fails;
            }
        }
    };
    for (int done = 0; done < total; done += block) {
        const int n = std::min(block, total - done);
        QElapsedTimer opening;
        opening.start();
        if (!link.OpenPort(1, QStringLiteral("19200,e,8,1"))) {
            std::fprintf(stderr, "open failed\n");
            return 1;
        }
        ourOpens.push_back(opening.nsecsElapsed() / 1000.0);
        for (int i = 0; i < n; ++i) {
            QElapsedTimer t;
            t.start();
            const bool ok = link.Transact(QByteArray("B01B"));
            if (ok) {
                ours.push_back(t.nsecsElapsed() / 1000.0);
                if (i == 0) ourFirst.push_back(ours.back());
            } else {
                ++ourFails;
            }
        }
        link.ClosePort();
        pyBlock(n, QByteArray(), theirs, theirFails, &theirOpens, &theirFirst);
        pyBlock(n, QByteArray(" purge"), purged, purgedFails, nullptr, nullptr);
    }
    py.closeWriteChannel();
    py.waitForFinished(5000);

    const double m1 = Percentile(ours, 0.5), m2 = Percentile(theirs, 0.5);
    std::printf("round trip through ser2net, rfc2217, %d exchanges each, blocks of %d:\n", total,
                block);
    std::printf("  Quillon Transact   median %7.1f us  p99 %7.1f us  (%zu ok, %d failed)\n", m1,
                Percentile(ours, 0.99), ours.size(), ourFails);
    std::printf("  pyserial rfc2217   median %7.1f us  p99 %7.1f us  (%zu ok, %d failed)\n", m2,
                Percentile(theirs, 0.99), theirs.size(), theirFails);
    std::printf(
        "  ratio Quillon/pyserial: median %.2f, p99 %.2f\n", m2 > 0 ? m1 / m2 : 0,
        Percentile(theirs, 0.99) > 0 ? Percentile(ours, 0.99) / Percentile(theirs, 0.99) : 0);
    // The same work as Transact: the input emptied before every command.
    const double m3 = Percentile(purged, 0.5);
    std::printf("  pyserial, purging  median %7.1f us  p99 %7.1f us  (%zu ok, %d failed)\n", m3,
                Percentile(purged, 0.99), purged.size(), purgedFails);
    std::printf(
        "  ratio Quillon/pyserial purging: median %.2f, p99 %.2f\n", m3 > 0 ? m1 / m3 : 0,
        Percentile(purged, 0.99) > 0 ? Percentile(ours, 0.99) / Percentile(purged, 0.99) : 0);

    std::printf(
        "  open of the port   Quillon median %7.1f us  max %7.1f us;  pyserial median "
        "%7.1f us  max %7.1f us\n",
        Percentile(ourOpens, 0.5), Percentile(ourOpens, 1), Percentile(theirOpens, 0.5),
        Percentile(theirOpens, 1));
    std::printf("  first exchange of a block: Quillon median %7.1f us;  pyserial median %7.1f us\n",
                Percentile(ourFirst, 0.5), Percentile(theirFirst, 0.5));

    // A command to another ID: the module stays silent, and each Transact waits out the
    // silence limit in the event loop.
    if (!link.OpenPort(1, QStringLiteral("19200,e,8,1"))) return 1;
    QElapsedTimer wall;
    const double cpu0 = CpuSeconds();
    wall.start();
    for (int i = 0; i < 10; ++i) link.Transact(QByteArray("B77B"));
    const double cpu = CpuSeconds() - cpu0;
    const double secs = wall.nsecsElapsed() / 1e9;
    link.ClosePort();
    std::printf("silent network port: %.2f s waited, %.1f ms CPU, %.3f%% of a core\n", secs,
                cpu * 1000, 100 * cpu / secs);

    server.kill();
    server.waitForFinished(2000);
    sim.kill();
    sim.waitForFinished(2000);
    return 0;
}
