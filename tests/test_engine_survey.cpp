// The bus survey against several simulated modules on one in-process port: what it finds,
// what it skips, how collisions and a stop come out. Runs under a QCoreApplication alone.
#include <QtTest>

#include "engine/modulecontext.h"
#include "engine/survey.h"
#include "link/frame.h"
#include "sim/virtualports.h"

namespace {

struct Placed {
    ModuleType type;
    int id;
    const char* serial;
    int lineIndex;
};

}  // namespace

Q_DECLARE_METATYPE(Placed)
Q_DECLARE_METATYPE(ModuleType)

namespace {

void Place(VirtualPorts& ports, const QList<Placed>& bus) {
    for (const Placed& p : bus) {
        SimModule s(p.type);
        s.id = p.id;
        s.serial = p.serial;
        s.lineIndex = p.lineIndex;
        ports.addModule(1, s);
    }
}

// "RQ-3016 03 16000003 @5" per module, in the order found.
QStringList Found(const SurveyResult& r) {
    QStringList out;
    for (const SurveyModule& m : r.modules) {
        out << QStringLiteral("%1 %2 %3 @%4")
                   .arg(QString::fromStdString(ModuleTypeName(m.type)))
                   .arg(m.id, 2, 10, QLatin1Char('0'))
                   .arg(m.serial)
                   .arg(m.lineIndex);
        if (m.isCh2()) out.last() += QStringLiteral(" CH #2 of ") + m.ch2Of;
    }
    return out;
}

QStringList Collisions(const SurveyResult& r) {
    QStringList out;
    for (const SurveyCollision& c : r.collisions) {
        out << QStringLiteral("%1 %2 @%3")
                   .arg(QString::fromStdString(ModuleTypeName(c.type)))
                   .arg(c.id, 2, 10, QLatin1Char('0'))
                   .arg(c.lineIndex);
    }
    return out;
}

// The command texts of every frame written, whatever listened.
QStringList WrittenFrames(const std::string& bytes) {
    QStringList out;
    size_t at = 0;
    while ((at = bytes.find('\x09', at)) != std::string::npos) {
        const size_t end = bytes.find('\x0D', at);
        if (end == std::string::npos || end < at + 3) break;
        out << QString::fromStdString(bytes.substr(at + 1, end - at - 3));
        at = end;
    }
    return out;
}

QList<int> Range(int from, int to) {
    QList<int> out;
    for (int i = from; i <= to; ++i) out << i;
    return out;
}

}  // namespace

class TestEngineSurvey : public QObject {
    Q_OBJECT

  private slots:
    void collidedRepliesNeverVerify_data();
    void collidedRepliesNeverVerify();
    void findsBus_data();
    void findsBus();
    void emptyLineSendsOnlyProbes();
    void stopKeepsWhatWasFound();
    void readBackAndProgress();
    void estimateMeetsOutcome();
};

void TestEngineSurvey::collidedRepliesNeverVerify_data() {
    QTest::addColumn<QStringList>("replies");
    QTest::newRow("identical acknowledgements") << QStringList{"B01C", "B01C"};
    QTest::newRow("two identifications") << QStringList{"B01B16000001", "B01B16000002"};
    QTest::newRow("lengths differ") << QStringList{"B03B16000003", "B07C"};
    QTest::newRow("three at once") << QStringList{"E02B20000002", "E02B20000002", "E02B2000000Z"};
}

void TestEngineSurvey::collidedRepliesNeverVerify() {
    QFETCH(QStringList, replies);
    std::vector<std::string> frames;
    size_t longest = 0;
    for (const QString& r : replies) {
        frames.push_back(wire::BuildReplyFrame(r.toStdString()));
        longest = std::max(longest, frames.back().size());
    }
    const std::string mix = CollideFrames(frames);
    QCOMPARE(mix.size(), longest);
    QVERIFY(!wire::VerifyReplyBytes(reinterpret_cast<const uint8_t*>(mix.data()),
                                    static_cast<int>(mix.size())));
    QCOMPARE(CollideFrames(frames), mix);  // the same collision every time
}

void TestEngineSurvey::findsBus_data() {
    QTest::addColumn<QList<Placed>>("bus");
    QTest::addColumn<QList<int>>("lines");
    QTest::addColumn<QList<ModuleType>>("types");
    QTest::addColumn<QStringList>("found");
    QTest::addColumn<QStringList>("collisions");

    // Five modules at two line settings; a sixth at a line setting not asked stays unseen.
    QTest::newRow("five at two line settings")
        << QList<Placed>{{ModuleType::RQ3016, 3, "16000003", 5},
                         {ModuleType::RQ3050K, 6, "51000009", 5},
                         {ModuleType::RQ3016, 1, "16000044", 3},
                         {ModuleType::RQ3040, 2, "40000002", 3},
                         {ModuleType::RQ3016, 5, "16000005", 5},
                         {ModuleType::RQ3020, 4, "20000004", 8}}
        << QList<int>{5, 3}
        << QList<ModuleType>{ModuleType::RQ3016, ModuleType::RQ3040, ModuleType::RQ3050K}
        << QStringList{"RQ-3016 03 16000003 @5",  "RQ-3016 05 16000005 @5",
                       "RQ-3050K 06 51000009 @5", "RQ-3050K 05 51000002 @5 CH #2 of 51000009",
                       "RQ-3016 01 16000044 @3",  "RQ-3040 02 40000002 @3"}
        << QStringList{};
    // CH #2 of a Wiegand module answers at its own ID, here after the module's.
    QTest::newRow("CH #2 after its module")
        << QList<Placed>{{ModuleType::RQ3050S, 1, "50000001", 5}} << QList<int>{5}
        << QList<ModuleType>{ModuleType::RQ3050S}
        << QStringList{"RQ-3050S 01 50000001 @5", "RQ-3050S 05 50000002 @5 CH #2 of 50000001"}
        << QStringList{};
    QTest::newRow("two share an ID")
        << QList<Placed>{{ModuleType::RQ3016, 4, "16000004", 5},
                         {ModuleType::RQ3016, 2, "16000002", 5},
                         {ModuleType::RQ3016, 4, "16000040", 5}}
        << QList<int>{5} << QList<ModuleType>{ModuleType::RQ3016}
        << QStringList{"RQ-3016 02 16000002 @5"} << QStringList{"RQ-3016 04 @5"};
    QTest::newRow("fresh modules all at ID 01")
        << QList<Placed>{{ModuleType::RQ3030, 1, "30000011", 5},
                         {ModuleType::RQ3030, 1, "30000012", 5},
                         {ModuleType::RQ3030, 1, "30000013", 5}}
        << QList<int>{5} << QList<ModuleType>{ModuleType::RQ3030} << QStringList{}
        << QStringList{"RQ-3030 01 @5"};
}

void TestEngineSurvey::findsBus() {
    QFETCH(QList<Placed>, bus);
    QFETCH(QList<int>, lines);
    QFETCH(QList<ModuleType>, types);
    VirtualPorts ports;
    Place(ports, bus);
    ModuleContext m(ports);
    SurveyPlan plan;
    plan.lines = lines;
    plan.types = types;
    plan.ids = Range(1, 6);
    const SurveyResult r = RunSurvey(m, plan);
    QTEST(Found(r), "found");
    QTEST(Collisions(r), "collisions");
    QVERIFY(!r.stopped);
    QVERIFY(!r.portFailed);
    QVERIFY(!ports.isOpen(1));
    QCOMPARE(m.Linked, uint8_t(0));
}

void TestEngineSurvey::emptyLineSendsOnlyProbes() {
    VirtualPorts ports;
    Place(ports, {{ModuleType::RQ3016, 3, "16000003", 5}});
    ModuleContext m(ports);
    SurveyPlan plan;
    plan.lines = {0, 5};
    plan.types = {ModuleType::RQ3016, ModuleType::RQ3040};
    plan.ids = Range(1, 4);
    const SurveyResult r = RunSurvey(m, plan);
    QCOMPARE(Found(r), QStringList{"RQ-3016 03 16000003 @5"});
    QCOMPARE(r.skipped, 3);
    // Every pair's probe first (two for each empty pair), then the IDs of the pair that
    // answered and the version query of the module found.
    QCOMPARE(WrittenFrames(ports.written(1)),
             (QStringList{"B00B", "B00B", "X00B", "X00B", "B00B", "X00B", "X00B", "B01B", "B02B",
                          "B03B", "B03V", "B04B"}));
}

void TestEngineSurvey::stopKeepsWhatWasFound() {
    VirtualPorts ports;
    Place(ports, {{ModuleType::RQ3016, 1, "16000001", 5},
                  {ModuleType::RQ3016, 2, "16000002", 5},
                  {ModuleType::RQ3016, 5, "16000005", 5}});
    ModuleContext m(ports);
    SurveyPlan plan;
    plan.lines = {5, 6};
    plan.types = {ModuleType::RQ3016};
    plan.ids = Range(1, 6);
    int lastId = -1;
    SurveyHooks hooks;
    hooks.progress = [&](const SurveyProgress& p) { lastId = p.id; };
    hooks.stop = [&] { return lastId == 3; };
    const SurveyResult r = RunSurvey(m, plan, hooks);
    QVERIFY(r.stopped);
    QCOMPARE(Found(r), (QStringList{"RQ-3016 01 16000001 @5", "RQ-3016 02 16000002 @5"}));
    QVERIFY(!WrittenFrames(ports.written(1)).contains(QStringLiteral("B04B")));
    QVERIFY(!ports.isOpen(1));
}

void TestEngineSurvey::readBackAndProgress() {
    VirtualPorts ports;
    Place(ports, {{ModuleType::RQ3016, 2, "16000002", 4}});
    ports.module(1).diMode = 'S';
    ports.module(1).version = "02.00-01";
    ModuleContext m(ports);
    SurveyPlan plan;
    plan.lines = {4, 0};
    plan.types = {ModuleType::RQ3016};
    plan.ids = Range(1, 3);
    plan.readSettings = true;
    QList<int> done;
    int total = 0;
    SurveyHooks hooks;
    hooks.progress = [&](const SurveyProgress& p) {
        done << p.done;
        total = p.total;
    };
    const SurveyResult r = RunSurvey(m, plan, hooks);
    QCOMPARE(r.modules.size(), 1);
    const SurveyModule& s = r.modules.first();
    QCOMPARE(s.version, QStringLiteral("02.00-01"));
    QVERIFY(s.settingsRead);
    QVERIFY(s.settings.dido.mode && *s.settings.dido.mode == DiMode::Normal);
    // Both probes, then each ID of the line setting that answered.
    QCOMPARE(total, 5);
    QCOMPARE(done, (QList<int>{1, 2, 3, 4, 5}));
}

void TestEngineSurvey::estimateMeetsOutcome() {
    // Two of four line setting and type pairs answer: the probes cost little, the IDs of the
    // pairs that answered most of the time.
    VirtualPorts ports;
    Place(ports, {{ModuleType::RQ3016, 2, "16000002", 5},
                  {ModuleType::RQ3016, 6, "16000006", 5},
                  {ModuleType::RQ3040, 4, "40000004", 5}});
    ModuleContext m(ports);
    SurveyPlan plan;
    plan.lines = {3, 5};
    plan.types = {ModuleType::RQ3016, ModuleType::RQ3040};
    plan.ids = Range(1, 6);
    struct Seen {
        qint64 at;
        int msLeft;
        int percent;
    };
    QList<Seen> seen;
    QElapsedTimer clock;
    SurveyHooks hooks;
    hooks.progress = [&](const SurveyProgress& p) {
        seen.append({clock.elapsed(), p.msLeft, p.percent});
    };
    clock.start();
    const SurveyResult r = RunSurvey(m, plan, hooks);
    const qint64 total = clock.elapsed();
    QCOMPARE(r.modules.size(), 3);
    int checked = 0;
    int lastPercent = 0;
    for (const Seen& s : seen) {
        QVERIFY(s.percent >= lastPercent - 2);  // progress does not run backwards
        lastPercent = s.percent;
        if (s.percent < 10) continue;
        // From 10% on, within a quarter of the time that was in fact left (and never off by
        // more than a few hundred milliseconds near the end).
        const qint64 truth = total - s.at;
        QVERIFY2(std::abs(s.msLeft - truth) <= std::max<qint64>(truth / 4, 300),
                 qPrintable(QStringLiteral("at %1 ms (%2%): %3 ms left said, %4 ms in fact")
                                .arg(s.at)
                                .arg(s.percent)
                                .arg(s.msLeft)
                                .arg(truth)));
        // The progress by time says the same.
        QVERIFY(std::abs(s.percent - int(100 * s.at / total)) <= 15);
        ++checked;
    }
    QVERIFY(checked >= 10);
}

QTEST_GUILESS_MAIN(TestEngineSurvey)
#include "test_engine_survey.moc"
