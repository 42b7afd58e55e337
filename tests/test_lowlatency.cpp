// Low latency on local serial devices: where the device refuses the switch (a pseudo-terminal
// does), the port opens and works as before, the device's settings come back unchanged at
// close, and the traffic log says why low latency is off.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>

#include <QtTest>

#include "link/link.h"
#include "link/qtserialport.h"
#include "link/trafficlog.h"
#include "support/ptypeer.h"

namespace {

// The slave's settings, read through a descriptor of its own.
bool Settings(const std::string& path, termios& t) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return false;
    const bool ok = tcgetattr(fd, &t) == 0;
    ::close(fd);
    return ok;
}

bool Same(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && cfgetispeed(&a) == cfgetispeed(&b) &&
           cfgetospeed(&a) == cfgetospeed(&b) && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

}  // namespace

class TestLowLatency : public QObject {
    Q_OBJECT
  private slots:
    void refusalOnPtyIsHarmless();
};

void TestLowLatency::refusalOnPtyIsHarmless() {
    PtyPeer peer;
    QVERIFY(peer.ok());
    termios before{};
    QVERIFY(Settings(peer.slavePath(), before));

    const QString path = QString::fromStdString(peer.slavePath());
    QtPortOpener opener([path](int) { return path; });
    TrafficLog log;
    Link link(opener);
    link.setTrafficSink(&log);
    QVERIFY(link.OpenPort(1, QStringLiteral("19200,e,8,1")));
    QCOMPARE(link.hComm->openNote(), QStringLiteral("low latency: not supported by this device"));
    QVERIFY2(log.lines().first().endsWith(
                 QStringLiteral("| open      | 19200,e,8,1 | low latency: not supported by this "
                                "device")),
             qPrintable(log.lines().first()));

    peer.answerAlways("B01V01.20-36");
    QVERIFY(link.Transact(QByteArray("B01V")));
    QCOMPARE(link.LastReply, QByteArray::fromStdString(wire::BuildReplyFrame("B01V01.20-36")));
    link.ClosePort();

    termios after{};
    QVERIFY(Settings(peer.slavePath(), after));
    QVERIFY(Same(before, after));

    // Opened again, the same: nothing of the first open stayed behind.
    QVERIFY(link.OpenPort(1, QStringLiteral("9600,n,8,1")));
    QCOMPARE(link.hComm->openNote(), QStringLiteral("low latency: not supported by this device"));
    link.ClosePort();
    QVERIFY(Settings(peer.slavePath(), after));
    QVERIFY(Same(before, after));
}

QTEST_MAIN(TestLowLatency)
#include "test_lowlatency.moc"
