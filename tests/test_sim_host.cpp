// The module on its line: the frame reader's resynchronisation, raw bytes, line matching,
// each injected fault and the timing of replies, all against explicit times.

#include <QTest>

#include "link/frame.h"
#include "sim/modulehost.h"
#include "support/simexchange.h"

using namespace std::chrono;
using simtest::Exchange;
using simtest::Verifies;

namespace {

struct TimedByte {
    nanoseconds at;  // after the command was written
    uint8_t byte;
};

// Writes one framed command at t0 and returns every reply byte with the time it falls due.
std::vector<TimedByte> Timed(ModuleHost& host, const std::string& text, SimTime t0) {
    host.receive(wire::BuildCommandFrame(text), t0, host.module().lineConfig(),
                 ModuleHost::LineMatch::Exact);
    std::vector<TimedByte> out;
    while (const std::optional<SimTime> due = host.nextDue()) {
        // Nothing is handed out before it is due.
        if (host.takeDue(*due - nanoseconds(1)) >= 0) return {};
        out.push_back({*due - t0, static_cast<uint8_t>(host.takeDue(*due))});
    }
    return out;
}

std::string Bytes(const std::vector<TimedByte>& timed) {
    std::string s;
    for (const TimedByte& t : timed) s.push_back(static_cast<char>(t.byte));
    return s;
}

const SimTime kT0 = SimTime() + hours(1);

}  // namespace

class TestSimHost : public QObject {
    Q_OBJECT

  private slots:
    void readerResynchronises_data();
    void readerResynchronises();
    void frameSplitOverWrites();
    void rawBytesAreKept();
    void lineSettingMustMatch();
    void baseDelayAndOrder();
    void faults_data();
    void faults();
    void faultsLeaveTheModuleActing();
    void lowerCaseChecksum();
    void randomChoicesRepeatUnderSeed();
    void silenceAfterCommands();
    void faultFilter();
    void pacingAtLineRate_data();
    void pacingAtLineRate();
    void replyOverride();
};

void TestSimHost::readerResynchronises_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::newRow("noise") << QByteArray("\x01\xFF\x7F garbage \x0A\x0D", 15);
    QTest::newRow("half frame") << QByteArray(
        "\x09"
        "B01V");
    QTest::newRow("half frame with end byte next") << QByteArray(
                                                          "\x09"
                                                          "B01") +
                                                          QByteArray(1, '\x0D');
    QTest::newRow("bad checksum")
        << QByteArray::fromStdString(wire::BuildCommandFrame("B01V")).replace("1C", "1D");
    QTest::newRow("lower-case checksum")
        << QByteArray::fromStdString(wire::BuildCommandFrame("B01V")).replace("1C", "1c");
    QTest::newRow("frame without checksum") << QByteArray("\x09\x0D");
    QTest::newRow("over-long junk after start byte") << QByteArray("\x09") + QByteArray(5000, 'x');
    QTest::newRow("over-long junk then end byte")
        << QByteArray("\x09") + QByteArray(3000, 'y') + "\x0D" + "tail";
    QTest::newRow("raw data") << QByteArray("1234");
}

// Whatever came before, the next whole frame is answered, and nothing else is.
void TestSimHost::readerResynchronises() {
    QFETCH(QByteArray, before);
    ModuleHost host{SimModule(ModuleType::RQ3016)};
    host.receive(before.toStdString(), kT0, host.module().lineConfig(),
                 ModuleHost::LineMatch::Exact);
    QVERIFY(!host.hasPending());
    const std::string reply = Exchange(host, "B01V", kT0);
    QCOMPARE(static_cast<int>(reply.size()), 16);
    QVERIFY(Verifies(reply));
    QCOMPARE(host.receivedCommands(), std::vector<std::string>{"B01V"});
}

// The tool writes the start byte, the text, and each checksum byte and the end byte apart.
void TestSimHost::frameSplitOverWrites() {
    ModuleHost host{SimModule(ModuleType::RQ3020)};
    const LineConfig line = host.module().lineConfig();
    const std::string frame = wire::BuildCommandFrame("E01B");
    for (size_t i = 0; i < frame.size(); ++i) {
        QVERIFY(!host.hasPending());
        host.receive(frame.substr(i, 1), kT0 + milliseconds(i), line, ModuleHost::LineMatch::Exact);
    }
    // Due from the last byte on.
    QCOMPARE(*host.nextDue(), kT0 + milliseconds(frame.size() - 1) + milliseconds(5));
}

void TestSimHost::rawBytesAreKept() {
    ModuleHost rep{SimModule(ModuleType::RQ3040)};
    QVERIFY(Verifies(Exchange(rep, "X01B", kT0)));
    rep.receive(std::string("1234"), kT0, rep.module().lineConfig(), ModuleHost::LineMatch::Exact);
    QVERIFY(!rep.hasPending());
    rep.receive(std::string("\x01Z", 2), kT0, rep.module().lineConfig(),
                ModuleHost::LineMatch::Exact);
    QVERIFY(Verifies(Exchange(rep, "X01F", kT0)));
    QCOMPARE(rep.module().rawReceived, std::string("1234\x01Z"));
    QCOMPARE(rep.rawBytes(), std::string("1234\x01Z"));
    QCOMPARE(rep.receivedCommands(), (std::vector<std::string>{"X01B", "X01F"}));

    // Other types ignore raw bytes; the host still records them.
    ModuleHost dido{SimModule(ModuleType::RQ3016)};
    dido.receive(std::string("1234"), kT0, dido.module().lineConfig(),
                 ModuleHost::LineMatch::Exact);
    QCOMPARE(dido.rawBytes(), std::string("1234"));
    QVERIFY(dido.module().rawReceived.empty());
}

void TestSimHost::lineSettingMustMatch() {
    ModuleHost host{SimModule(ModuleType::RQ3016)};  // 19200,e,8,1
    const LineConfig even = *ParseLineSetting("19200,e,8,1");
    const LineConfig none = *ParseLineSetting("19200,n,8,1");
    const LineConfig slow = *ParseLineSetting("9600,e,8,1");
    QVERIFY(simtest::ExchangeOn(host, "B01B", none, kT0).empty());
    QVERIFY(simtest::ExchangeOn(host, "B01B", slow, kT0).empty());
    QCOMPARE(simtest::ExchangeOn(host, "B01B", even, kT0).size(), size_t(16));

    // What pseudo-terminals carry: the baud rate alone.
    host.receive(wire::BuildCommandFrame("B01B"), kT0, none, ModuleHost::LineMatch::BaudOnly);
    QVERIFY(host.hasPending());
    host.dropPending();
    host.receive(wire::BuildCommandFrame("B01B"), kT0, slow, ModuleHost::LineMatch::BaudOnly);
    QVERIFY(!host.hasPending());

    // A frame begun at the right setting and ended at another is lost.
    const std::string frame = wire::BuildCommandFrame("B01B");
    host.receive(frame.substr(0, 3), kT0, even, ModuleHost::LineMatch::Exact);
    host.receive(frame.substr(3), kT0, none, ModuleHost::LineMatch::Exact);
    host.receive(frame.substr(3), kT0, even, ModuleHost::LineMatch::Exact);
    QVERIFY(!host.hasPending());
    QCOMPARE(host.receivedCommands(), (std::vector<std::string>{"B01B", "B01B"}));
}

void TestSimHost::baseDelayAndOrder() {
    ModuleHost host{SimModule(ModuleType::RQ3016)};
    std::vector<TimedByte> timed = Timed(host, "B01B", kT0);
    QCOMPARE(timed.size(), size_t(16));
    for (const TimedByte& t : timed) QCOMPARE(t.at, nanoseconds(milliseconds(5)));

    host.setBaseDelayMs(40);
    timed = Timed(host, "B01V", kT0);
    QCOMPARE(timed.front().at, nanoseconds(milliseconds(40)));
    QCOMPARE(Bytes(timed).substr(5, 8), std::string("01.20-36"));
}

// Each fault against the plain reply to "B01B" (16 bytes, due 5 ms after the command).
void TestSimHost::faults_data() {
    QTest::addColumn<QString>("fault");
    QTest::newRow("drop all") << "drop";
    QTest::newRow("fixed delay 150 ms") << "delay";
    QTest::newRow("pause between bytes 5 and 6") << "pause";
    QTest::newRow("wrong checksum") << "wrong";
    QTest::newRow("noise before the frame") << "noise";
    QTest::newRow("truncated to 10 bytes") << "truncate";
    QTest::newRow("oversized to 2000 bytes") << "oversize";
}

void TestSimHost::faults() {
    QFETCH(QString, fault);
    ModuleHost plainHost{SimModule(ModuleType::RQ3016)};
    const std::string plain = Bytes(Timed(plainHost, "B01B", kT0));
    ModuleHost host{SimModule(ModuleType::RQ3016)};
    FaultConfig& f = host.faults();
    const nanoseconds base = milliseconds(5);

    if (fault == "drop") {
        f.dropShare = 1.0;
        QVERIFY(Timed(host, "B01B", kT0).empty());
    } else if (fault == "delay") {
        f.delayMs = 150;
        const std::vector<TimedByte> t = Timed(host, "B01B", kT0);
        QCOMPARE(Bytes(t), plain);
        for (const TimedByte& b : t) QCOMPARE(b.at, base + milliseconds(150));
    } else if (fault == "pause") {
        f.pauseAfterByte = 5;
        f.pauseMs = 120;
        const std::vector<TimedByte> t = Timed(host, "B01B", kT0);
        QCOMPARE(Bytes(t), plain);
        for (size_t i = 0; i < t.size(); ++i) {
            QCOMPARE(t[i].at, i < 5 ? base : base + milliseconds(120));
        }
    } else if (fault == "wrong") {
        f.wrongChecksum = true;
        const std::string got = Bytes(Timed(host, "B01B", kT0));
        QCOMPARE(got.size(), plain.size());
        QVERIFY(!Verifies(got));
        QCOMPARE(got.substr(0, 13), plain.substr(0, 13));
        QCOMPARE(got.substr(15), plain.substr(15));
        // Still upper-case hex: only the value is wrong.
        QVERIFY(QByteArray::fromStdString(got.substr(13, 2)).toUpper() ==
                QByteArray::fromStdString(got.substr(13, 2)));
    } else if (fault == "noise") {
        f.noiseBytes = 7;
        const std::string got = Bytes(Timed(host, "B01B", kT0));
        QCOMPARE(got.size(), plain.size() + 7);
        QCOMPARE(got.substr(7), plain);
        for (size_t i = 0; i < 7; ++i) {
            QVERIFY(got[i] != '\x0A' && got[i] != '\x0D');
        }
    } else if (fault == "truncate") {
        f.truncateTo = 10;
        QCOMPARE(Bytes(Timed(host, "B01B", kT0)), plain.substr(0, 10));
    } else if (fault == "oversize") {
        f.oversizeTo = 2000;
        const std::string got = Bytes(Timed(host, "B01B", kT0));
        QCOMPARE(got.size(), size_t(2000));
        QCOMPARE(got.substr(0, 5), plain.substr(0, 5));
        QVERIFY(Verifies(got));
        QCOMPARE(got.find('\x0D'), size_t(1999));
    }
    // The next reply is as plain as ever where the fault was meant for every reply; the
    // fault-free host stays fault-free.
    QCOMPARE(Bytes(Timed(plainHost, "B01B", kT0)), plain);
}

// A lost reply does not undo what the command did.
void TestSimHost::faultsLeaveTheModuleActing() {
    ModuleHost host{SimModule(ModuleType::RQ3016)};
    host.faults().dropShare = 1.0;
    QVERIFY(Exchange(host, "B01GS", kT0).empty());
    QCOMPARE(host.module().diMode, 'S');
    host.faults() = FaultConfig{};
    host.faults().wrongChecksum = true;
    Exchange(host, "B01A1111000000000000", kT0);
    QCOMPARE(host.module().noNc, std::string("1111000000000000"));
}

void TestSimHost::lowerCaseChecksum() {
    // Find an ID whose identification reply has a letter in its checksum.
    SimModule m(ModuleType::RQ3030);
    std::string plain;
    for (m.id = 1; m.id <= 99; ++m.id) {
        ModuleHost h{m};
        plain = Exchange(h, "F00B", kT0);
        const std::string sum = plain.substr(13, 2);
        if (sum.find_first_of("ABCDEF") != std::string::npos) break;
    }
    QVERIFY(m.id <= 99);
    ModuleHost host{m};
    host.faults().lowerCaseChecksum = true;
    const std::string got = Exchange(host, "F00B", kT0);
    QCOMPARE(got.size(), plain.size());
    QVERIFY(!Verifies(got));
    QCOMPARE(QByteArray::fromStdString(got).toUpper(), QByteArray::fromStdString(plain));

    // A checksum of digits only stays as it is.
    ModuleHost digits{SimModule(ModuleType::RQ3016)};
    digits.faults().lowerCaseChecksum = true;
    for (int id = 1; id <= 99; ++id) {
        digits.module().id = id;
        const std::string r = Exchange(digits, "B00B", kT0);
        if (r.substr(13, 2).find_first_of("abcdef") == std::string::npos) {
            QVERIFY(Verifies(r));
            return;
        }
    }
    QFAIL("no digit-only checksum found");
}

void TestSimHost::randomChoicesRepeatUnderSeed() {
    auto run = [](uint32_t seed) {
        ModuleHost host{SimModule(ModuleType::RQ3016), seed};
        host.faults().dropShare = 0.5;
        host.faults().delayMs = 10;
        host.faults().delayMaxMs = 60;
        std::string pattern;
        for (int i = 0; i < 60; ++i) {
            const std::vector<TimedByte> t = Timed(host, "B01B", kT0);
            if (t.empty()) {
                pattern += '-';
                continue;
            }
            const auto ms = duration_cast<milliseconds>(t.front().at).count();
            if (ms < 15 || ms > 65) return std::string("delay out of range");
            pattern += static_cast<char>('A' + (ms - 15) % 26);
        }
        return pattern;
    };
    const std::string a = run(7);
    QCOMPARE(run(7), a);
    QVERIFY(run(8) != a);
    const auto dropped = std::count(a.begin(), a.end(), '-');
    QVERIFY2(dropped > 10 && dropped < 50, a.c_str());
}

void TestSimHost::silenceAfterCommands() {
    ModuleHost host{SimModule(ModuleType::RQ3016)};
    host.faults().silenceAfter = 2;
    host.faults().onlyCommand = "V";  // silence ignores the filter
    QVERIFY(Verifies(Exchange(host, "B01B", kT0)));
    QVERIFY(Exchange(host, "B02B", kT0).empty());  // not for it: does not count
    QVERIFY(Verifies(Exchange(host, "B01GS", kT0)));
    QVERIFY(Exchange(host, "B01B", kT0).empty());
    QVERIFY(Exchange(host, "B01GH", kT0).empty());
    QCOMPARE(host.module().diMode, 'S');  // a silent module no longer acts
}

void TestSimHost::faultFilter() {
    ModuleHost host{SimModule(ModuleType::RQ3016)};
    host.faults().dropShare = 1.0;
    host.faults().onlyCommand = "G";
    host.faults().times = 1;
    QVERIFY(Verifies(Exchange(host, "B01B", kT0)));
    QVERIFY(Exchange(host, "B01GH", kT0).empty());
    QVERIFY(Verifies(Exchange(host, "B01GH", kT0)));  // only once
    QVERIFY(Verifies(Exchange(host, "B01V", kT0)));
}

void TestSimHost::pacingAtLineRate_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("bits");
    QTest::newRow("9600,n,8,1: 10 bits") << "9600,n,8,1" << 10;
    QTest::newRow("19200,e,8,1: 11 bits") << "19200,e,8,1" << 11;
    QTest::newRow("115200,e,8,1: 11 bits") << "115200,e,8,1" << 11;
}

void TestSimHost::pacingAtLineRate() {
    QFETCH(QString, line);
    QFETCH(int, bits);
    SimModule m(ModuleType::RQ3016);
    m.lineIndex = -1;
    for (int i = 0; i < LineSettings::kCount; ++i) {
        if (LineSettings::text(i) == line) m.lineIndex = i;
    }
    ModuleHost host{m};
    host.setPacing(true);
    const LineConfig cfg = m.lineConfig();
    QCOMPARE(ByteTime(cfg), nanoseconds(1000000000LL * bits / cfg.baud));
    const nanoseconds byte = ByteTime(cfg);
    const std::vector<TimedByte> t = Timed(host, "B01B", kT0);
    QCOMPARE(t.size(), size_t(16));
    // The 8-byte command takes its time on the line, then the module waits, then each byte
    // takes one byte time.
    for (size_t i = 0; i < t.size(); ++i) {
        QCOMPARE(t[i].at, byte * 8 + milliseconds(5) + byte * static_cast<long long>(i + 1));
    }
}

void TestSimHost::replyOverride() {
    ModuleHost host{SimModule(ModuleType::RQ3016)};
    host.setReplyOverride(
        [](const std::string& cmd,
           const std::optional<std::string>& reply) -> std::optional<std::string> {
            if (cmd == "B01B") return std::string("B01B1234567");  // a 15-byte identification
            if (cmd == "B01V") return std::nullopt;
            return reply;
        });
    const std::string b = Exchange(host, "B01B", kT0);
    QCOMPARE(b.size(), size_t(15));
    QVERIFY(Verifies(b));
    QVERIFY(Exchange(host, "B01V", kT0).empty());
    QCOMPARE(Exchange(host, "B01G", kT0).size(), size_t(9));
}

QTEST_GUILESS_MAIN(TestSimHost)
#include "test_sim_host.moc"
