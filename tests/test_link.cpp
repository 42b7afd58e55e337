// The link on real pseudo-terminals: what goes on the wire, which replies count, the silence
// limit, and what the port looks like before, during and after an operation.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <QtTest>

#include "link/link.h"
#include "link/qtserialport.h"
#include "support/ptypeer.h"

namespace {

std::string Reply(const std::string& text) {
    return wire::BuildReplyFrame(text);
}

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

class TestLink : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();

    void sendsWorkedExamplesByteForByte_data();
    void sendsWorkedExamplesByteForByte();
    void trafficLines();
    void replyOutcomes_data();
    void replyOutcomes();
    void slowModuleWithinSilenceLimit();
    void pauseBeyondSilenceLimitFails();
    void foreseenReplyOfAnotherShape_data();
    void foreseenReplyOfAnotherShape();
    void lastReplySurvivesFailure();
    void purgeDropsStaleInput();
    void rawBytesWrittenJustBeforeCloseArrive();
    void refusesUnsafeOrOverlongText_data();
    void refusesUnsafeOrOverlongText();
    void refusesWindowTextThatIsNotAscii_data();
    void refusesWindowTextThatIsNotAscii();
    void overlongReplyFailsWithoutWrapping();
    void portHeldElsewhereIsRefused_data();
    void portHeldElsewhereIsRefused();
    void heldPortKeepsOtherProgramsOut();
    void absentPortFails();
    void lineSettingAppliedAndRestored();
    void unparsableLineSettingKeepsConfiguration();
    void hangUpEndsTransactionWithoutSpinning();
    void timersTickWhileWaiting();

  private:
    std::unique_ptr<PtyPeer> peer_;
    std::unique_ptr<QtPortOpener> opener_;
    std::unique_ptr<Link> link_;
};

void TestLink::init() {
    peer_ = std::make_unique<PtyPeer>();
    QVERIFY(peer_->ok());
    const QString path = QString::fromStdString(peer_->slavePath());
    opener_ = std::make_unique<QtPortOpener>([path](int n) { return n == 1 ? path : QString(); });
    link_ = std::make_unique<Link>(*opener_);
    QVERIFY(link_->OpenPort(1, QStringLiteral("19200,e,8,1")));
}

void TestLink::cleanup() {
    if (link_) link_->ClosePort();
    link_.reset();
    opener_.reset();
    peer_.reset();
}

void TestLink::sendsWorkedExamplesByteForByte_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("B01V") << QByteArray("B01V")
                          << QByteArray(
                                 "\x09"
                                 "B01V1C\x0D");
    QTest::newRow("B00B") << QByteArray("B00B")
                          << QByteArray(
                                 "\x09"
                                 "B00B09\x0D");
    QTest::newRow("H05B") << QByteArray("H05B")
                          << QByteArray(
                                 "\x09"
                                 "H05B06\x0D");
    QTest::newRow("empty") << QByteArray()
                           << QByteArray(
                                  "\x09"
                                  "09\x0D");
}

void TestLink::sendsWorkedExamplesByteForByte() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, wire);
    peer_->answerAlways("B01V01.20-36");
    QVERIFY(link_->Transact(text));
    QVERIFY(peer_->waitReceived(static_cast<size_t>(wire.size()), 1000));
    QCOMPARE(QByteArray::fromStdString(peer_->received()), wire);
}

void TestLink::trafficLines() {
    QStringList sent, received;
    connect(link_.get(), &Link::sentTraffic, this, [&](const QString& l) { sent << l; });
    connect(link_.get(), &Link::receivedTraffic, this, [&](const QString& l) { received << l; });
    peer_->answerAlways("B01V01.20-36");
    QVERIFY(link_->Transact(QByteArray("B01V")));
    QCOMPARE(sent, QStringList{QStringLiteral("[09]B01V1C[0D]")});
    const std::string r = Reply("B01V01.20-36");
    QCOMPARE(received, QStringList{QString::fromStdString(wire::RenderBytes(r))});
    QVERIFY(received.first().startsWith(QLatin1String("[0A]B01V01.20-36")));
    QVERIFY(received.first().endsWith(QLatin1String("[0D]")));
    QCOMPARE(link_->sentLine(), sent.first());
}

void TestLink::replyOutcomes_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("rxPos");
    QTest::addColumn<int>("minMs");
    const std::string good = Reply("B01B00000001");  // checksum "0A"
    std::string lower = good;
    lower[lower.size() - 2] = 'a';
    QTest::newRow("verifies") << QByteArray::fromStdString(good) << true << 16 << 0;
    QTest::newRow("shortest") << QByteArray(
                                     "\x0A"
                                     "0A\x0D")
                              << true << 4 << 0;
    QTest::newRow("lower-case checksum") << QByteArray::fromStdString(lower) << false << 16 << 0;
    QTest::newRow("three bytes") << QByteArray(
                                        "\x0A"
                                        "x\x0D")
                                 << false << 3 << 0;
    QTest::newRow("junk before a good frame")
        << QByteArray::fromStdString("\x55" + good) << false << 17 << 190;
    QTest::newRow("no end byte") << QByteArray(
                                        "\x0A"
                                        "B01B")
                                 << false << 5 << 190;
}

void TestLink::replyOutcomes() {
    QFETCH(QByteArray, reply);
    QFETCH(bool, ok);
    QFETCH(int, rxPos);
    QFETCH(int, minMs);
    peer_->queueReply({{0, reply.toStdString()}});
    QElapsedTimer t;
    t.start();
    QCOMPARE(link_->Transact(QByteArray("B01B")), ok);
    QVERIFY2(t.elapsed() >= minMs, qPrintable(QString::number(t.elapsed())));
    QCOMPARE(link_->RxPos, rxPos);
    if (ok) {
        QCOMPARE(link_->LastReply, reply);
        QCOMPARE(link_->RxBuf[link_->RxPos], uint8_t(0));
    }
}

void TestLink::slowModuleWithinSilenceLimit() {
    const std::string r = Reply("B01V01.20-36");
    peer_->queueReply({{150, r.substr(0, 5)}, {150, r.substr(5)}});
    QElapsedTimer t;
    t.start();
    QVERIFY(link_->Transact(QByteArray("B01V")));
    QVERIFY(t.elapsed() >= 290);
    QCOMPARE(link_->LastReply, QByteArray::fromStdString(r));
}

void TestLink::pauseBeyondSilenceLimitFails() {
    const std::string r = Reply("B01V01.20-36");
    peer_->queueReply({{0, r.substr(0, 5)}, {250, r.substr(5)}});
    QElapsedTimer t;
    t.start();
    QVERIFY(!link_->Transact(QByteArray("B01V")));
    const qint64 ms = t.elapsed();
    QVERIFY2(ms >= 195 && ms < 400, qPrintable(QString::number(ms)));
    QCOMPARE(link_->RxPos, 5);
    QCOMPARE(link_->receivedLine(), QStringLiteral("[0A]B01V"));
}

// A link that sleeps on its port between bytes (as a checkout's workers run it) foresees a reply
// it has had before: a later reply of another length, later than before, in pieces or cut
// short, is still read whole and in time, and silence still ends it.
void TestLink::foreseenReplyOfAnotherShape_data() {
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("rest");
    QTest::addColumn<int>("pauseMs");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("minMs");
    QTest::addColumn<int>("maxMs");
    const auto bytes = [](const std::string& s) { return QByteArray::fromStdString(s); };
    const std::string same = Reply("B01V01.20-36");
    const std::string longer = Reply("B01V01.20-36-0123456789");
    QTest::newRow("same length") << bytes(same.substr(0, 2)) << bytes(same.substr(2)) << 0 << true
                                 << 0 << 100;
    QTest::newRow("shorter") << bytes(Reply("B01V1")) << QByteArray() << 0 << true << 0 << 100;
    QTest::newRow("longer") << bytes(longer.substr(0, 3)) << bytes(longer.substr(3)) << 0 << true
                            << 0 << 100;
    QTest::newRow("pause within the silence limit")
        << bytes(same.substr(0, 5)) << bytes(same.substr(5)) << 150 << true << 145 << 300;
    QTest::newRow("later than before")
        << bytes(same.substr(0, 2)) << bytes(same.substr(2)) << 60 << true << 55 << 150;
    QTest::newRow("cut short") << bytes(same.substr(0, 5)) << QByteArray() << 0 << false << 195
                               << 400;
}

void TestLink::foreseenReplyOfAnotherShape() {
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, rest);
    QFETCH(int, pauseMs);
    QFETCH(bool, ok);
    QFETCH(int, minMs);
    QFETCH(int, maxMs);
    link_->setEventPump([] { QCoreApplication::processEvents(); });
    for (int heard = 0; heard < 2; ++heard) {
        peer_->queueReply({{0, Reply("B01V01.20-36")}});
        QVERIFY(link_->Transact(QByteArray("B01V")));
    }
    PtyPeer::Reply reply{{0, first.toStdString()}};
    if (!rest.isEmpty()) reply.push_back({pauseMs, rest.toStdString()});
    peer_->queueReply(reply);
    QElapsedTimer t;
    t.start();
    QCOMPARE(link_->Transact(QByteArray("B01V")), ok);
    const qint64 ms = t.elapsed();
    QVERIFY2(ms >= minMs && ms < maxMs, qPrintable(QString::number(ms)));
    QCOMPARE(link_->RxPos, int(first.size() + rest.size()));
    if (ok) QCOMPARE(link_->LastReply, first + rest);
}

void TestLink::lastReplySurvivesFailure() {
    peer_->queueReply({{0, Reply("B01V01.20-36")}});
    QVERIFY(link_->Transact(QByteArray("B01V")));
    const QByteArray before = link_->LastReply;
    QElapsedTimer t;
    t.start();
    QVERIFY(!link_->Transact(QByteArray("B01G")));  // nothing answers
    QVERIFY(t.elapsed() >= 195);
    QCOMPARE(link_->RxPos, 0);
    QCOMPARE(link_->LastReply, before);
    QCOMPARE(link_->receivedLine(), QString());
}

void TestLink::purgeDropsStaleInput() {
    // Bytes left over from an earlier exchange would otherwise be taken as the reply's start.
    peer_->inject(Reply("B01VSTALE000"));
    QTest::qWait(50);
    peer_->queueReply({{20, Reply("B01V01.20-36")}});
    QVERIFY(link_->Transact(QByteArray("B01V")));
    QCOMPARE(link_->LastReply, QByteArray::fromStdString(Reply("B01V01.20-36")));
}

void TestLink::rawBytesWrittenJustBeforeCloseArrive() {
    // The repeater's send data writes raw bytes and closes the port at once, awaiting nothing;
    // the purge of the close must not take them back.
    const std::string raw = "1234";
    for (int k = 1; k <= 20; ++k) {
        if (!link_->isOpen()) QVERIFY(link_->OpenPort(1, QStringLiteral("19200,e,8,1")));
        QVERIFY(link_->SendBlock(reinterpret_cast<const uint8_t*>(raw.data()), 4));
        link_->ClosePort();
        QVERIFY2(
            peer_->waitReceived(raw.size() * static_cast<size_t>(k), 1000),
            qPrintable(QStringLiteral("round %1: %2 bytes").arg(k).arg(peer_->received().size())));
    }
    std::string expected;
    for (int k = 0; k < 20; ++k) expected += raw;
    QCOMPARE(QByteArray::fromStdString(peer_->received()), QByteArray::fromStdString(expected));
}

void TestLink::refusesUnsafeOrOverlongText_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("tab") << QByteArray("E01GPrint\ttest");
    QTest::newRow("carriage return") << QByteArray("E01GA\rE01C1234567801");
    QTest::newRow("zero byte") << QByteArray("B01\0V", 5);
    QTest::newRow("non-ASCII") << QByteArray("E01G\xC3\xA9");
    QTest::newRow("1040 characters") << QByteArray(1040, 'A');
}

void TestLink::refusesUnsafeOrOverlongText() {
    QFETCH(QByteArray, text);
    peer_->answerAlways("B01V01.20-36");
    QElapsedTimer t;
    t.start();
    QVERIFY(!link_->Transact(text));
    QVERIFY(t.elapsed() < 100);
    QVERIFY(!peer_->waitReceived(1, 100));
    // The longest text that fits the traffic line goes out whole.
    QVERIFY(link_->Transact(QByteArray(1039, 'A')));
    QVERIFY(peer_->waitReceived(1043, 1000));
    QCOMPARE(link_->sentLine().size(), 1049);
}

void TestLink::refusesWindowTextThatIsNotAscii_data() {
    QTest::addColumn<QString>("text");
    // Each of these became "?" or a Latin-1 byte when the text was converted before the check.
    QTest::newRow("Chinese") << QStringLiteral(u"E01G列印測試");
    QTest::newRow("Latin-1 letter") << QStringLiteral(u"E01Gcaf\u00e9");
    QTest::newRow("emoji, a surrogate pair") << QStringLiteral(u"E01G\U0001F600");
    QTest::newRow("tab") << QStringLiteral(u"E01GPrint\ttest");
    QTest::newRow("1040 characters") << QString(1040, QLatin1Char('A'));
}

void TestLink::refusesWindowTextThatIsNotAscii() {
    QFETCH(QString, text);
    peer_->answerAlways("E01G");
    QVERIFY(!Link::IsSendable(text));
    QVERIFY(!link_->Transact(text));
    QVERIFY(!peer_->waitReceived(1, 100));
    // Printable ASCII goes out as it stands.
    QVERIFY(Link::IsSendable(QStringLiteral("E01GPrint test.")));
    QVERIFY(link_->Transact(QStringLiteral("E01GPrint test.")));
    const std::string cmd = "E01GPrint test.";
    QVERIFY(peer_->waitReceived(cmd.size() + 4, 1000));
    QCOMPARE(QByteArray::fromStdString(peer_->received()),
             QByteArray::fromStdString(wire::BuildCommandFrame(cmd)));
}

void TestLink::overlongReplyFailsWithoutWrapping() {
    peer_->queueReply({{0, "\x0A" + std::string(2000, 'Z') + "00\x0D"}});
    QVERIFY(!link_->Transact(QByteArray("B01V")));
    QCOMPARE(link_->RxPos, wire::kMaxReply);
    QCOMPARE(link_->RxBuf[0], uint8_t(0x0A));
    const QString line = link_->receivedLine();
    QCOMPARE(line.size(), wire::kBufferSize - 1);
    QVERIFY(line.endsWith(QLatin1String("...")));
    // The rest of the long reply is dropped before the next exchange.
    peer_->queueReply({{0, Reply("B01V01.20-36")}});
    QTest::qWait(50);
    QVERIFY(link_->Transact(QByteArray("B01V")));
}

void TestLink::portHeldElsewhereIsRefused_data() {
    QTest::addColumn<QString>("holder");
    QTest::newRow("another link on the same opener") << "same opener";
    QTest::newRow("a second opener (another instance)") << "second opener";
    QTest::newRow("another program with an flock") << "flock";
}

void TestLink::portHeldElsewhereIsRefused() {
    QFETCH(QString, holder);
    link_->ClosePort();
    const QString path = QString::fromStdString(peer_->slavePath());
    QtPortOpener second([path](int) { return path; });
    std::unique_ptr<SerialPort> held;
    int fd = -1;
    if (holder == QLatin1String("same opener")) {
        held = opener_->open(1, QStringLiteral("9600,n,8,1"));
    } else if (holder == QLatin1String("second opener")) {
        held = second.open(1, QStringLiteral("9600,n,8,1"));
    } else {
        fd = ::open(peer_->slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(fd >= 0);
        QCOMPARE(flock(fd, LOCK_EX | LOCK_NB), 0);
    }
    QVERIFY(held || fd >= 0);
    termios before{};
    QCOMPARE(tcgetattr(peer_->masterFd(), &before), 0);

    QVERIFY(!link_->OpenPort(1, QStringLiteral("115200,e,8,1")));
    QCOMPARE(opener_->lastFailure().reason, OpenFailure::Reason::InUse);
    // The holder's line is left as it was.
    termios during{};
    QCOMPARE(tcgetattr(peer_->masterFd(), &during), 0);
    QCOMPARE(cfgetospeed(&during), cfgetospeed(&before));
    QCOMPARE(during.c_cflag, before.c_cflag);

    held.reset();
    if (fd >= 0) ::close(fd);
    QVERIFY(link_->OpenPort(1, QStringLiteral("115200,e,8,1")));
    QCOMPARE(opener_->lastFailure().reason, OpenFailure::Reason::None);
}

void TestLink::heldPortKeepsOtherProgramsOut() {
    const char* path = peer_->slavePath().c_str();
    int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        QCOMPARE(errno, EBUSY);  // exclusive mode
    } else {
        // Exclusive mode lets root through; the mode is set, and the flock stops it.
        int exclusive = 0;
        QCOMPARE(ioctl(fd, TIOCGEXCL, &exclusive), 0);
        QCOMPARE(exclusive, 1);
        QCOMPARE(flock(fd, LOCK_EX | LOCK_NB), -1);
        QCOMPARE(errno, EWOULDBLOCK);
        ::close(fd);
    }

    // Closed, the port is free for everyone again.
    link_->ClosePort();
    fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    int exclusive = 1;
    QCOMPARE(ioctl(fd, TIOCGEXCL, &exclusive), 0);
    QCOMPARE(exclusive, 0);
    QCOMPARE(flock(fd, LOCK_EX | LOCK_NB), 0);
    ::close(fd);
}

void TestLink::absentPortFails() {
    Link other(*opener_);
    QVERIFY(!other.OpenPort(2, QStringLiteral("19200,e,8,1")));
    QCOMPARE(opener_->lastFailure().reason, OpenFailure::Reason::NoDevice);
    QVERIFY(!other.isOpen());
    QVERIFY(!other.Transact(QByteArray("B01V")));
}

void TestLink::lineSettingAppliedAndRestored() {
    link_->ClosePort();
    // Give the device a setting of its own before the tool opens it.
    const int fd = ::open(peer_->slavePath().c_str(), O_RDWR | O_NOCTTY);
    QVERIFY(fd >= 0);
    termios before{};
    QCOMPARE(tcgetattr(fd, &before), 0);
    cfsetispeed(&before, B4800);
    cfsetospeed(&before, B4800);
    before.c_cflag |= CRTSCTS;
    QCOMPARE(tcsetattr(fd, TCSANOW, &before), 0);
    QCOMPARE(tcgetattr(fd, &before), 0);

    QVERIFY(link_->OpenPort(1, QStringLiteral("115200,e,8,1")));
    termios during{};
    QCOMPARE(tcgetattr(peer_->masterFd(), &during), 0);
    QCOMPARE(cfgetospeed(&during), speed_t(B115200));
    QCOMPARE(during.c_cflag & CRTSCTS, tcflag_t(0));
    QCOMPARE(during.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(during.c_cflag & CSTOPB, tcflag_t(0));
    link_->ClosePort();

    termios after{};
    QCOMPARE(tcgetattr(fd, &after), 0);
    QCOMPARE(cfgetospeed(&after), cfgetospeed(&before));
    QCOMPARE(after.c_cflag, before.c_cflag);
    QCOMPARE(after.c_lflag, before.c_lflag);
    ::close(fd);
}

void TestLink::unparsableLineSettingKeepsConfiguration() {
    link_->ClosePort();
    const int fd = ::open(peer_->slavePath().c_str(), O_RDWR | O_NOCTTY);
    QVERIFY(fd >= 0);
    termios t{};
    QCOMPARE(tcgetattr(fd, &t), 0);
    cfsetispeed(&t, B4800);
    cfsetospeed(&t, B4800);
    QCOMPARE(tcsetattr(fd, TCSANOW, &t), 0);

    // A damaged setting still opens the port, at the speed the device already had.
    QVERIFY(link_->OpenPort(1, QStringLiteral("96x0,q")));
    termios during{};
    QCOMPARE(tcgetattr(peer_->masterFd(), &during), 0);
    QCOMPARE(cfgetospeed(&during), speed_t(B4800));
    peer_->answerAlways("B01V01.20-36");
    QVERIFY(link_->Transact(QByteArray("B01V")));
    link_->ClosePort();
    ::close(fd);
}

void TestLink::hangUpEndsTransactionWithoutSpinning() {
    peer_->hangUpOnNextFrame();
    const double cpu0 = CpuSeconds();
    QElapsedTimer t;
    t.start();
    QVERIFY(!link_->Transact(QByteArray("B01V")));
    const qint64 ms = t.elapsed();
    const double cpuMs = (CpuSeconds() - cpu0) * 1000.0;
    QVERIFY2(ms >= 195 && ms < 400, qPrintable(QString::number(ms)));
    QVERIFY2(cpuMs < ms * 0.5, qPrintable(QStringLiteral("cpu %1 ms of %2 ms").arg(cpuMs).arg(ms)));
    // A second transaction on the dead port fails the same way.
    t.restart();
    QVERIFY(!link_->Transact(QByteArray("B01V")));
    QVERIFY(t.elapsed() >= 195);
}

void TestLink::timersTickWhileWaiting() {
    // A 50-a-second timer keeps its pace while the link waits out a silent port.
    QTimer timer;
    timer.setInterval(20);
    int ticks = 0;
    connect(&timer, &QTimer::timeout, this, [&ticks] { ++ticks; });
    timer.start();
    QElapsedTimer t;
    t.start();
    QVERIFY(!link_->Transact(QByteArray("B01V")));
    const qint64 ms = t.elapsed();
    QVERIFY2(ticks >= ms / 20 - 2,
             qPrintable(QStringLiteral("%1 ticks in %2 ms").arg(ticks).arg(ms)));
}

QTEST_GUILESS_MAIN(TestLink)
#include "test_link.moc"
