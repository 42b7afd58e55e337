// The live tests in the engine, without a window: the I/O check against each wiring fault of
// the simulated harness and against every way it can be interrupted, the summaries the tests
// hand to their observers, and the timeline's parts (the ring of changes, the chatter
// detector, the CSV of changes).
#include <QElapsedTimer>
#include <QtTest>

#include "engine/changering.h"
#include "engine/chatter.h"
#include "engine/didocheck.h"
#include "engine/didotimeline.h"
#include "engine/modulecontext.h"
#include "engine/testsummary.h"
#include "engine/wiegand.h"
#include "sim/virtualports.h"

namespace {

using Reply = std::optional<std::string>;

class Summaries : public EngineObserver {
  public:
    void testEnded(const TestSummary& s) override { heard << s; }
    QList<TestSummary> heard;
};

// A DI/DO module on COM1 that answers at once, and its context.
struct Bench {
    explicit Bench(ModuleType type = ModuleType::RQ3016)
        : module(ports.addModule(1, type)), m(ports) {
        ports.host(1).setBaseDelayMs(0);
        m.setObserver(&seen);
        m.selectType(type);
        m.ModuleId = QStringLiteral("01");
    }
    QStringList commands() const {
        QStringList out;
        for (const std::string& c : ports.commands(1)) out << QString::fromStdString(c);
        return out;
    }
    VirtualPorts ports;
    SimModule& module;
    ModuleContext m;
    Summaries seen;
};

// "ok" for each input but those named: {3, "crossed:5"}, ...
QString Verdicts(std::initializer_list<std::pair<int, const char*>> faults = {}) {
    QStringList v(16, QStringLiteral("ok"));
    for (const auto& [k, text] : faults) v[k - 1] = QString::fromLatin1(text);
    return v.join(QLatin1Char(' '));
}

QString Verdicts(const DidoCheckResult& r) {
    QStringList v;
    for (int k = 0; k < 16; ++k) {
        QString name = VerdictName(r.verdicts[static_cast<size_t>(k)]);
        if (r.follows[static_cast<size_t>(k)] != 0)
            name += QStringLiteral(":%1").arg(r.follows[static_cast<size_t>(k)]);
        v << name;
    }
    return v.join(QLatin1Char(' '));
}

DidoCheckOptions Quick(int settle = 3) {
    DidoCheckOptions o;
    o.settle = settle;
    o.pauseMs = 1;
    return o;
}

Wiring WiringOf(const QString& list) {
    std::string error;
    const std::optional<Wiring> w = ParseWiring(list.toStdString(), &error);
    if (!w) qFatal("bad wiring %s: %s", qPrintable(list), error.c_str());
    return *w;
}

// Changes of one lane at `ms`, `count` times `every` ms apart.
struct Burst {
    qint64 from;
    qint64 every;
    int count;
};

}  // namespace

Q_DECLARE_METATYPE(std::vector<Burst>)

class TestEngineLive : public QObject {
    Q_OBJECT
  private slots:
    void checkAgainstWiring_data();
    void checkAgainstWiring();
    void checkInterrupted_data();
    void checkInterrupted();
    void checkWaitsForSlowInputs_data();
    void checkWaitsForSlowInputs();
    void checkPausesBetweenExchanges();
    void didoTestSummary();
    void cardTestSummary();
    void summaryWhenThePortDoesNotOpen();
    void chatterDetector_data();
    void chatterDetector();
    void ringKeepsTheNewestChanges();
    void timelineCsvAndChatterLimit();
};

void TestEngineLive::checkAgainstWiring_data() {
    QTest::addColumn<QString>("wiring");
    QTest::addColumn<int>("pauseMs");
    QTest::addColumn<QString>("verdicts");
    QTest::newRow("sound harness") << "none" << 1 << Verdicts();
    QTest::newRow("stuck on") << "stuck-on:4" << 1 << Verdicts({{4, "stuck-on"}});
    QTest::newRow("stuck off") << "stuck-off:7" << 1 << Verdicts({{7, "stuck-off"}});
    QTest::newRow("crossed") << "cross:3=5" << 1 << Verdicts({{3, "crossed:5"}});
    // Readings about 20 ms apart against an input that changes every 25 ms.
    QTest::newRow("chattering") << "chatter:12:20" << 20 << Verdicts({{12, "chattering"}});
    QTest::newRow("harness open") << "open" << 1 << QStringList(16, "stuck-off").join(' ');
    QTest::newRow("two swapped, one stuck")
        << "cross:1=16,cross:16=1,stuck-on:8" << 1
        << Verdicts({{1, "crossed:16"}, {8, "stuck-on"}, {16, "crossed:1"}});
    QTest::newRow("another output") << "stuck-off:9,cross:9=2" << 1 << Verdicts({{9, "crossed:2"}});
}

void TestEngineLive::checkAgainstWiring() {
    QFETCH(QString, wiring);
    QFETCH(int, pauseMs);
    QFETCH(QString, verdicts);
    Bench b;
    b.module.wiring = WiringOf(wiring);
    b.module.outputs = std::string(16, '1');  // as a DI/DO test may have left them
    DidoCheckResult r;
    QList<int> steps;
    DidoCheckOptions options;
    options.pauseMs = pauseMs;
    const ContinuousEnd end = RunDidoCheck(
        b.m, options, r, [] { return false; }, [&](int done) { steps << done; });
    QCOMPARE(end, ContinuousEnd::Stopped);
    QCOMPARE(Verdicts(r), verdicts);
    QVERIFY(r.complete());
    // A fault of the harness is seen in a second round before it is named.
    const bool confirmed = verdicts.contains("stuck") || verdicts.contains("crossed");
    QCOMPARE(steps.size(), kDidoCheckSteps * (confirmed ? 2 : 1));
    QCOMPARE(steps.last(), kDidoCheckSteps);
    // All off first, then each output alone, then all on; and all off again at the end.
    const QStringList sent = b.commands();
    QCOMPARE(sent.first(), QStringLiteral("B01I0000000000000000"));
    QVERIFY(sent.contains(QStringLiteral("B01I1000000000000000")));
    QVERIFY(sent.contains(QStringLiteral("B01I0000000000000001")));
    QVERIFY(sent.contains(QStringLiteral("B01I1111111111111111")));
    QCOMPARE(sent.last(), QStringLiteral("B01I0000000000000000"));
    QVERIFY(r.outputsOff);
    QCOMPARE(b.module.outputs, std::string(16, '0'));
    QVERIFY(!b.m.link.isOpen());
    // The summary carries the same verdicts.
    QCOMPARE(b.seen.heard.size(), 1);
    const TestSummary& s = b.seen.heard.first();
    QCOMPARE(s.test, LiveTest::DidoCheck);
    QCOMPARE(s.verdicts, r.verdicts);
    QCOMPARE(s.follows, r.follows);
    QVERIFY(s.outputsOff);
    QCOMPARE(s.cycles, r.exchanges);
    QVERIFY(s.started <= s.ended);
}

// Each way a check ends early, with input 2 stuck on (a fault the first step already shows).
void TestEngineLive::checkInterrupted_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("end");
    QTest::addColumn<bool>("outputsOff");
    QTest::newRow("cancelled") << "cancel" << int(ContinuousEnd::Stopped) << true;
    QTest::newRow("module falls silent") << "silent" << int(ContinuousEnd::ModuleLost) << false;
    QTest::newRow("adapter unplugged") << "unplug" << int(ContinuousEnd::ModuleLost) << false;
    QTest::newRow("replies without readable inputs")
        << "garbled" << int(ContinuousEnd::ModuleLost) << true;
}

void TestEngineLive::checkInterrupted() {
    QFETCH(QString, how);
    QFETCH(int, end);
    QFETCH(bool, outputsOff);
    Bench b;
    b.module.wiring = WiringOf(QStringLiteral("stuck-on:2"));
    int heard = 0;
    bool stop = false;
    b.ports.host(1).setReplyOverride([&](const std::string&, const Reply& reply) -> Reply {
        // Ten exchanges: the check is on its fifth step or so.
        if (++heard == 10) {
            if (how == "cancel") stop = true;
            if (how == "silent") b.ports.host(1).faults().silenceAfter = 0;
            if (how == "unplug") b.ports.unplug(1);
        }
        if (how == "garbled" && heard > 10) return std::string("B01I00000000X0000000");
        return reply;
    });
    DidoCheckResult r;
    const ContinuousEnd got = RunDidoCheck(b.m, Quick(), r, [&] { return stop; });
    QCOMPARE(int(got), end);
    QVERIFY(r.stepsDone > 0 && r.stepsDone < kDidoCheckSteps);
    QCOMPARE(r.outputsOff, outputsOff);
    if (outputsOff) QCOMPARE(b.module.outputs, std::string(16, '0'));
    // The fault found stands; nothing else is judged from an unfinished check.
    QStringList v(16, QStringLiteral("not-checked"));
    v[1] = QStringLiteral("stuck-on");
    QCOMPARE(Verdicts(r), v.join(' '));
    QCOMPARE(r.failed(), 1);
    QVERIFY(!b.m.link.isOpen());
    QCOMPARE(b.seen.heard.size(), 1);
    QCOMPARE(int(b.seen.heard.first().end), end);
    if (how == "garbled") QVERIFY(b.seen.heard.first().unreadable >= 3);
}

// Inputs that show the outputs one exchange late: the first reading of a step still has the
// old state. Three exchanges a step wait for them; two cannot tell them from chattering.
void TestEngineLive::checkWaitsForSlowInputs_data() {
    QTest::addColumn<int>("settle");
    QTest::addColumn<QString>("verdicts");
    QTest::addColumn<int>("exchanges");
    // Step 0 needs two readings; every later step moves an output: three.
    QTest::newRow("three a step") << 3 << Verdicts() << 2 + 18 * 3;
    QStringList two(16, QStringLiteral("chattering"));
    QTest::newRow("two a step") << 2 << two.join(' ') << 2 + 18 * 2;
}

void TestEngineLive::checkWaitsForSlowInputs() {
    QFETCH(int, settle);
    QFETCH(QString, verdicts);
    QFETCH(int, exchanges);
    Bench b;
    std::string previous(16, '0');
    b.ports.host(1).setReplyOverride([&](const std::string& cmd, const Reply& reply) -> Reply {
        const std::string outputs = cmd.substr(4);
        const std::string shown = previous;
        previous = outputs;
        return reply ? std::optional<std::string>(reply->substr(0, 4) + shown) : reply;
    });
    DidoCheckResult r;
    QCOMPARE(RunDidoCheck(b.m, Quick(settle), r, [] { return false; }), ContinuousEnd::Stopped);
    QCOMPARE(Verdicts(r), verdicts);
    QCOMPARE(r.exchanges, exchanges);
}

void TestEngineLive::checkPausesBetweenExchanges() {
    Bench b;
    QList<qint64> at;
    QElapsedTimer clock;
    clock.start();
    b.ports.host(1).setReplyOverride([&](const std::string&, const Reply& reply) {
        at << clock.elapsed();
        return reply;
    });
    DidoCheckResult r;
    // A few exchanges at the check's own pace, then a cancel and the outputs switched off.
    RunDidoCheck(b.m, DidoCheckOptions(), r, [&] { return at.size() >= 4; });
    QCOMPARE(at.size(), 5);
    for (int i = 1; i < at.size(); ++i)
        QVERIFY2(at[i] - at[i - 1] >= 50, qPrintable(QString::number(at[i] - at[i - 1])));
    QVERIFY(r.outputsOff);
}

void TestEngineLive::didoTestSummary() {
    Bench b;
    Summaries recorder;
    b.m.addRecorder(&recorder);
    int sent = 0;
    // Input 3 follows output 3, which goes on and off; the fourth reply is garbled, the fifth
    // missing.
    b.ports.host(1).setReplyOverride([&](const std::string&, const Reply& reply) -> Reply {
        ++sent;
        if (sent == 4) return std::string("B01I00?0000000000000");
        if (sent == 5) return std::nullopt;
        return reply;
    });
    QList<DidoCycle> cycles;
    int shown = 0;
    const ContinuousEnd end = RunDidoTest(
        b.m, [&] { return Channels(sent % 2 ? 4 : 0); }, [&](const Channels&) { ++shown; },
        [&] { return sent >= 8; }, [&](const DidoCycle& c) { cycles << c; });
    QCOMPARE(end, ContinuousEnd::Stopped);
    QCOMPARE(cycles.size(), 8);
    QCOMPARE(shown, 7);  // the garbled reply still colours the circles, as a reply of 24 bytes
    QVERIFY(!cycles[3].inputs && cycles[3].answered);
    QVERIFY(!cycles[4].answered);
    for (int i = 1; i < cycles.size(); ++i) QVERIFY(cycles[i].ms >= cycles[i - 1].ms + 50);
    QCOMPARE(b.seen.heard.size(), 1);
    QCOMPARE(recorder.heard.size(), 1);
    const TestSummary& s = recorder.heard.first();
    QCOMPARE(s.test, LiveTest::DidoTest);
    QCOMPARE(s.end, ContinuousEnd::Stopped);
    QCOMPARE(s.cycles, 8);
    QCOMPARE(s.failures, 1);
    QCOMPARE(s.unreadable, 1);
    // Readable inputs 0, 4, 0, (garbled), (none), 4, 0, 4: five changes of input 3.
    std::array<int, 16> changes{};
    changes[2] = 5;
    QCOMPARE(s.inputChanges, changes);
    QVERIFY(s.durationMs() >= 8 * 50);
}

void TestEngineLive::cardTestSummary() {
    Bench b(ModuleType::RQ3050K);
    b.module.queueEvent(1, CardEvent::Card("00027CBB"));
    b.module.queueEvent(2, CardEvent::KeyInput("1234"));
    b.module.queueEvent(1, CardEvent::CardAndKey("FFFFFFFF", "56"));
    b.module.queueEvent(2, CardEvent::Wide("0123456789ABCDEF"));
    QList<CardRead> read;
    int cycles = 0;
    const ContinuousEnd end = RunCardTest(
        b.m, [&] { return ++cycles, 5; }, [](int, const QString&) {}, [&] { return cycles >= 3; },
        [&](const CardRead& c) { read << c; });
    QCOMPARE(end, ContinuousEnd::Stopped);
    QCOMPARE(read.size(), 4);
    const auto text = [](const CardRead& c) {
        return QStringLiteral("%1 %2 %3 %4 %5")
            .arg(c.channel)
            .arg(c.key ? "key" : "card", c.decimal, c.hex, c.keys);
    };
    QCOMPARE(text(read[0]), QStringLiteral("1 card 0000163003 00027CBB "));
    QCOMPARE(text(read[1]), QStringLiteral("2 key 1234  1234"));
    QCOMPARE(text(read[2]), QStringLiteral("1 card 4294967295 FFFFFFFF 56"));
    QCOMPARE(text(read[3]), QStringLiteral("2 card  0123456789ABCDEF "));
    QVERIFY(read[0].ms <= read[1].ms && read[1].ms < read[2].ms);
    QCOMPARE(b.seen.heard.size(), 1);
    const TestSummary& s = b.seen.heard.first();
    QCOMPARE(s.test, LiveTest::CardTest);
    QCOMPARE(s.cycles, 6);  // both channels, three times
    QCOMPARE(s.failures, 0);
    QCOMPARE(s.cards.size(), 4);
    QCOMPARE(text(s.cards[2]), text(read[2]));
    QCOMPARE(s.cardCounts, (std::array<int, 2>{2, 2}));
}

void TestEngineLive::summaryWhenThePortDoesNotOpen() {
    Bench b;
    b.ports.addBusyPort(1);
    DidoCheckResult r;
    QCOMPARE(RunDidoCheck(b.m, Quick(), r, [] { return false; }), ContinuousEnd::PortNotOpened);
    QCOMPARE(r.count(ChannelVerdict::NotChecked), 16);
    QCOMPARE(RunDidoTest(
                 b.m, [] { return Channels(); }, [](const Channels&) {}, [] { return false; }),
             ContinuousEnd::PortNotOpened);
    // Both tell their observers that they did not run.
    QCOMPARE(b.seen.heard.size(), 2);
    for (const TestSummary& s : b.seen.heard) {
        QCOMPARE(s.end, ContinuousEnd::PortNotOpened);
        QCOMPARE(s.cycles, 0);
    }
}

void TestEngineLive::chatterDetector_data() {
    QTest::addColumn<int>("limit");
    QTest::addColumn<std::vector<Burst>>("bursts");
    QTest::addColumn<int>("peak");
    QTest::addColumn<int>("episodes");
    QTest::newRow("five a second is steady") << 5 << std::vector<Burst>{{0, 200, 30}} << 5 << 0;
    QTest::newRow("six a second chatters") << 5 << std::vector<Burst>{{0, 166, 30}} << 7 << 1;
    QTest::newRow("a burst of 14") << 5 << std::vector<Burst>{{1000, 50, 14}} << 14 << 1;
    QTest::newRow("two bursts, apart")
        << 5 << std::vector<Burst>{{1000, 50, 10}, {5000, 50, 10}} << 10 << 2;
    QTest::newRow("two bursts, within a second of each other")
        << 5 << std::vector<Burst>{{1000, 50, 10}, {1900, 50, 10}} << 12 << 1;
    QTest::newRow("a higher limit") << 20 << std::vector<Burst>{{1000, 50, 14}} << 14 << 0;
}

void TestEngineLive::chatterDetector() {
    QFETCH(int, limit);
    QFETCH(std::vector<Burst>, bursts);
    QFETCH(int, peak);
    QFETCH(int, episodes);
    ChatterDetector d(16, limit);
    for (const Burst& b : bursts)
        for (int i = 0; i < b.count; ++i) d.change(6, b.from + i * b.every);
    QCOMPARE(d.peak(6), peak);
    QCOMPARE(d.flagged(6), peak > limit);
    QCOMPARE(int(d.episodes(6).size()), episodes);
    if (episodes > 0) {
        const ChatterDetector::Episode& e = d.episodes(6).front();
        QCOMPARE(e.from, bursts.front().from);
        QVERIFY(e.to > e.from && e.changes > limit);
    }
    // Other lanes are their own.
    QCOMPARE(d.peak(5), 0);
    QVERIFY(!d.flagged(7));
    d.clear();
    QCOMPARE(d.peak(6), 0);
}

void TestEngineLive::ringKeepsTheNewestChanges() {
    ChangeRing r(8);
    QVERIFY(!r.known());
    QVERIFY(!r.record(100, true));  // the first reading is no change
    QVERIFY(!r.record(150, true));
    QVERIFY(r.known() && r.state() && r.knownSince() == 100);
    // 100 changes at 200, 210, ...: off, on, off, ...
    for (int i = 0; i < 100; ++i) QVERIFY(r.record(200 + 10 * i, i % 2 == 1));
    QCOMPARE(r.total(), 100);
    QCOMPARE(r.size(), 8);
    QCOMPARE(r.capacity(), 8);
    QCOMPARE(r.timeAt(0), qint64(200 + 10 * 92));
    QCOMPARE(r.timeAt(7), qint64(200 + 10 * 99));
    for (int i = 0; i < 8; ++i) QCOMPARE(r.stateAfter(i), (92 + i) % 2 == 1);
    QCOMPARE(r.state(), true);
    QCOMPARE(r.firstAfter(0), 0);
    QCOMPARE(r.firstAfter(200 + 10 * 95), 4);
    QCOMPARE(r.firstAfter(200 + 10 * 95 + 5), 4);
    QCOMPARE(r.firstAfter(200 + 10 * 95, 2), 4);  // looked for from a change before it
    QCOMPARE(r.firstAfter(100000), 8);
    QCOMPARE(r.stateAt(200 + 10 * 95), true);
    QCOMPARE(r.stateAt(200 + 10 * 96 - 1), true);
    QCOMPARE(r.stateAt(200 + 10 * 96), false);
    // Before the oldest change held, the state is the one that change left.
    QCOMPARE(r.stateAt(0), true);
    r.clear();
    QVERIFY(!r.known());
    QCOMPARE(r.total(), 0);
}

void TestEngineLive::timelineCsvAndChatterLimit() {
    DidoTimeline t;
    t.start();
    const auto cycle = [&](qint64 ms, unsigned outputs, std::optional<unsigned> inputs) {
        DidoCycle c;
        c.ms = ms;
        c.outputs = Channels(outputs);
        c.answered = true;
        if (inputs) c.inputs = Channels(*inputs);
        t.record(c);
    };
    cycle(0, 0, 0);
    cycle(60, 1, 1);              // DO1 and DI1 on in one cycle
    cycle(120, 1, std::nullopt);  // a reply without readable inputs: nothing changes
    cycle(180, 0, 0);
    QCOMPARE(t.input(0).total(), 2);
    QCOMPARE(t.output(0).total(), 2);
    QCOMPARE(t.lastMs(), qint64(180));
    QCOMPARE(t.csv(), QByteArray("ms,channel,signal,state\r\n"
                                 "60,1,DO,1\r\n60,1,DI,1\r\n180,1,DO,0\r\n180,1,DI,0\r\n"));
    // Input 16 chatters: 12 changes within a second.
    for (int i = 0; i < 12; ++i) cycle(1000 + 60 * i, 0, i % 2 ? 0 : 0x8000);
    QVERIFY(t.chatter().flagged(15));
    t.setChatterLimit(20);
    QVERIFY(!t.chatter().flagged(15));
    QVERIFY(t.chatter().episodes(15).empty());
    t.setChatterLimit(5);
    QCOMPARE(t.chatter().episodes(15).size(), size_t(1));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("changes.csv"));
    QString error;
    QVERIFY(t.saveCsv(path, &error));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), t.csv());
    QVERIFY(!t.saveCsv(dir.filePath(QStringLiteral("missing/changes.csv")), &error));
    QVERIFY(!error.isEmpty());
}

QTEST_GUILESS_MAIN(TestEngineLive)
#include "test_engine_live.moc"
