// The Telnet side of network serial ports on byte tables: what the client says first, how it
// answers the server's negotiation, 0xFF in data both ways, COM-PORT answers, and the same
// results for every split of the server's bytes.

#include <QTest>
#include <string>
#include <vector>

#include "link/telnetcodec.h"

namespace {

using Bytes = std::vector<int>;

std::string S(const Bytes& b) {
    std::string s;
    for (int v : b) s += static_cast<char>(v);
    return s;
}

QByteArray Hex(const std::string& s) {
    return QByteArray(s.data(), static_cast<int>(s.size())).toHex(' ');
}

constexpr int IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250, SE = 240;
constexpr int CP = 44;

struct Fed {
    std::string data;
    std::string reply;
};

// Feeds `in` after start(), in pieces of `piece` bytes (0: all at once).
Fed Feed(TelnetCodec& c, const std::string& in, size_t piece = 0) {
    Fed f;
    if (piece == 0) piece = in.size() ? in.size() : 1;
    for (size_t at = 0; at < in.size(); at += piece) {
        const size_t n = std::min(piece, in.size() - at);
        c.feed(reinterpret_cast<const uint8_t*>(in.data()) + at, n, f.data, f.reply);
    }
    return f;
}

}  // namespace

class TestTelnetCodec : public QObject {
    Q_OBJECT

  private slots:
    void startAsksForComPortBinaryAndNoGoAhead();
    void serverBytes_data();
    void serverBytes();
    void everySplitGivesTheSameResult();
    void lineSettingAndAcknowledgements();
    void escapeDoublesOnlyIac();
    void purgeHoldsBackDataUntilAnswered();
    void serverThatStopsAnsweringPurgesIsNotWaitedFor();
    void overlongSubnegotiationIsDropped();
};

void TestTelnetCodec::startAsksForComPortBinaryAndNoGoAhead() {
    TelnetCodec c;
    QCOMPARE(Hex(c.start()),
             Hex(S({IAC, WILL, CP, IAC, WILL, 0, IAC, DO, 0, IAC, WILL, 3, IAC, DO, 3})));
    QCOMPARE(c.comPort(), TelnetCodec::ComPort::Pending);
}

void TestTelnetCodec::serverBytes_data() {
    QTest::addColumn<QByteArray>("in");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("comPort");  // 0 pending, 1 agreed, 2 refused
    auto row = [](const char* name, const Bytes& in, const Bytes& data, const Bytes& reply,
                  int comPort) {
        const std::string i = S(in), d = S(data), r = S(reply);
        QTest::newRow(name) << QByteArray(i.data(), int(i.size()))
                            << QByteArray(d.data(), int(d.size()))
                            << QByteArray(r.data(), int(r.size())) << comPort;
    };
    // What ser2net sends first: the answers to what start() asked need no reply; its echo is
    // refused, and its DONT ECHO needs none.
    row("ser2net greeting", {IAC, WILL, 3,  IAC, DO,  3,    IAC, WILL, 1,  IAC, DONT,
                             1,   IAC,  DO, 0,   IAC, WILL, 0,   IAC,  DO, CP},
        {}, {IAC, DONT, 1}, 1);
    row("plain data", {'A', 0x0D, 0x00, 'B'}, {'A', 0x0D, 0x00, 'B'}, {}, 0);
    row("doubled 0xFF is one data byte", {'1', IAC, IAC, '2'}, {'1', 0xFF, '2'}, {}, 0);
    row("commands inside data are not data",
        {'a', IAC, 241, 'b', IAC, 242, IAC, 243, 'c', IAC, 246, IAC, 249, IAC, SE, 'd'},
        {'a', 'b', 'c', 'd'}, {}, 0);
    row("COM-PORT refused", {IAC, DONT, CP}, {}, {}, 2);
    row("COM-PORT agreed then withdrawn", {IAC, DO, CP, IAC, DONT, CP}, {}, {IAC, WONT, CP}, 2);
    row("unknown options refused once each way", {IAC, DO, 24, IAC, WILL, 31, IAC, WONT, 31}, {},
        {IAC, WONT, 24, IAC, DONT, 31}, 0);
    row("repeated agreement is not answered again", {IAC, DO, 3, IAC, DO, 3, IAC, WILL, 0}, {}, {},
        0);
    row("server withdraws binary", {IAC, WILL, 0, IAC, WONT, 0}, {}, {IAC, DONT, 0}, 0);
    row("modem state notice inside data", {'x', IAC, SB, CP, 107, 0x30, IAC, SE, 'y'}, {'x', 'y'},
        {}, 0);
    row("signature asked", {IAC, SB, CP, 100, IAC, SE}, {},
        {IAC, SB, CP, 0, 'Q', 'u', 'i', 'l', 'l', 'o', 'n', IAC, SE}, 0);
    row("command cuts a subnegotiation short", {IAC, SB, CP, 101, 0, IAC, DO, CP, 'z'}, {'z'}, {},
        1);
    row("client commands from the server are ignored", {IAC, SB, CP, 0, IAC, SE, 'k'}, {'k'}, {},
        0);
    row("subnegotiation of another option", {IAC, SB, 24, 1, IAC, SE, 'm'}, {'m'}, {}, 0);
}

void TestTelnetCodec::serverBytes() {
    QFETCH(QByteArray, in);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, reply);
    QFETCH(int, comPort);
    TelnetCodec c;
    c.start();
    const Fed f = Feed(c, in.toStdString());
    QCOMPARE(Hex(f.data), data.toHex(' '));
    QCOMPARE(Hex(f.reply), reply.toHex(' '));
    QCOMPARE(static_cast<int>(c.comPort()), comPort);
}

void TestTelnetCodec::everySplitGivesTheSameResult() {
    const std::string in =
        S({'a',  IAC, IAC, IAC, SB, CP,  101, 0,   0,  0x4B, 0,   IAC, SE, 'b', IAC,
           WILL, 1,   IAC, SB,  CP, 112, 1,   IAC, SE, IAC,  IAC, IAC, DO, CP,  'c'});
    TelnetCodec whole;
    whole.start();
    const Fed expected = Feed(whole, in);
    QCOMPARE(Hex(expected.data), Hex(S({'a', 0xFF, 'b', 0xFF, 'c'})));
    QCOMPARE(whole.baudRate().value_or(0), 19200u);
    for (size_t piece = 1; piece < in.size(); ++piece) {
        TelnetCodec c;
        c.start();
        const Fed f = Feed(c, in, piece);
        QCOMPARE(Hex(f.data), Hex(expected.data));
        QCOMPARE(Hex(f.reply), Hex(expected.reply));
        QCOMPARE(c.baudRate(), whole.baudRate());
        QCOMPARE(c.comPort(), TelnetCodec::ComPort::Agreed);
    }
}

void TestTelnetCodec::lineSettingAndAcknowledgements() {
    TelnetCodec c;
    LineConfig lc;
    lc.baud = 115200;  // 0x0001C200
    lc.parity = Parity::Odd;
    lc.dataBits = 7;
    lc.stopBits = 2;
    QCOMPARE(Hex(c.setLine(lc)), Hex(S({IAC, SB,  CP, 1,   0,  1,  0xC2, 0, IAC, SE, IAC, SB, CP, 2,
                                        7,   IAC, SE, IAC, SB, CP, 3,    2, IAC, SE, IAC, SB, CP, 4,
                                        2,   IAC, SE, IAC, SB, CP, 5,    1, IAC, SE})));
    QVERIFY(!c.baudRate() && !c.dataSize() && !c.parity() && !c.stopSize());
    // A baud rate with 0xFF in it goes doubled, and comes back undoubled.
    lc.baud = 0x0000FF00;
    const std::string set = c.setLine(lc).substr(0, 11);
    QCOMPARE(Hex(set), Hex(S({IAC, SB, CP, 1, 0, 0, IAC, IAC, 0, IAC, SE})));
    Feed(c, S({IAC, SB, CP,  101, 0,  0,   IAC, IAC, 0,  IAC, SE, IAC, SB,  CP, 102, 7,
               IAC, SE, IAC, SB,  CP, 103, 2,   IAC, SE, IAC, SB, CP,  104, 2,  IAC, SE}));
    QCOMPARE(c.baudRate().value_or(0), 0xFF00u);
    QCOMPARE(c.dataSize().value_or(0), uint8_t(7));
    QCOMPARE(c.parity().value_or(0), TelnetCodec::parityCode(Parity::Odd));
    QCOMPARE(c.stopSize().value_or(0), uint8_t(2));
    // A short answer leaves the value unknown.
    TelnetCodec d;
    Feed(d, S({IAC, SB, CP, 101, 0, 0, IAC, SE, IAC, SB, CP, 102, IAC, SE}));
    QVERIFY(!d.baudRate() && !d.dataSize());
    QCOMPARE(TelnetCodec::parityCode(Parity::None), uint8_t(1));
    QCOMPARE(TelnetCodec::parityCode(Parity::Even), uint8_t(3));
}

void TestTelnetCodec::escapeDoublesOnlyIac() {
    std::string out;
    const uint8_t in[] = {0x09, 0xFF, 0xFE, 0xFF, 0xFF, 0x0D};
    TelnetCodec::escape(in, sizeof in, out);
    QCOMPARE(Hex(out), Hex(S({0x09, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0x0D})));
}

void TestTelnetCodec::purgeHoldsBackDataUntilAnswered() {
    TelnetCodec c;
    c.start();
    // Before the server is known to answer purges nothing is held back.
    QCOMPARE(Hex(c.purgeReceived()), Hex(S({IAC, SB, CP, 12, 1, IAC, SE})));
    QCOMPARE(Feed(c, "old").data, std::string("old"));
    Feed(c, S({IAC, SB, CP, 112, 1, IAC, SE}));
    QVERIFY(c.answersPurges());
    // Now bytes on their way before the answer are stale; those after it are the module's.
    c.purgeReceived();
    const Fed f = Feed(c, S({'s', IAC, IAC, 't', IAC, SB, CP, 112, 1, IAC, SE, 'n', IAC, IAC}));
    QCOMPARE(Hex(f.data), Hex(S({'n', 0xFF})));
}

void TestTelnetCodec::serverThatStopsAnsweringPurgesIsNotWaitedFor() {
    TelnetCodec c;
    c.purgeReceived();
    Feed(c, S({IAC, SB, CP, 112, 1, IAC, SE}));
    QVERIFY(c.answersPurges());
    for (int k = 0; k < TelnetCodec::kMaxUnansweredPurges; ++k) c.purgeReceived();
    QCOMPARE(Feed(c, "x").data, std::string());
    c.purgeReceived();
    QVERIFY(!c.answersPurges());
    QCOMPARE(Feed(c, "reply").data, std::string("reply"));
}

void TestTelnetCodec::overlongSubnegotiationIsDropped() {
    TelnetCodec c;
    std::string in = S({IAC, SB, CP, 101});
    in += std::string(TelnetCodec::kMaxSubnegotiation * 4, '\x01');
    in += S({IAC, SE, 'o', 'k'});
    const Fed f = Feed(c, in);
    QCOMPARE(f.data, std::string("ok"));
    QVERIFY(!c.baudRate());
}

QTEST_APPLESS_MAIN(TestTelnetCodec)
#include "test_telnetcodec.moc"
