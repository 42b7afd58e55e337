// What the engine tells the site register becomes rows: operations on a linked module with
// their values before, wanted and after and their outcome, the read-back that confirms them,
// live test summaries as test runs, survey sightings and the rows of a plan. Simulated modules
// on the in-process port; no GUI.
#include <QTemporaryDir>
#include <QtTest>
#include <thread>

#include "engine/commission.h"
#include "engine/common.h"
#include "engine/dido.h"
#include "engine/factory.h"
#include "engine/findmodule.h"
#include "engine/modulecontext.h"
#include "engine/replace.h"
#include "engine/survey.h"
#include "link/linesettings.h"
#include "register/registerreader.h"
#include "register/registerrecorder.h"
#include "register/registerreplace.h"
#include "register/registerwriter.h"
#include "sim/virtualports.h"

namespace {

SimModule Module(ModuleType type, int id, const char* serial) {
    SimModule s(type);
    s.id = id;
    s.serial = serial;
    s.lineIndex = LineSettings::kDefaultIndex;
    return s;
}

// A register on a fresh file, and a context that records into it as the window does.
struct Recorded {
    Recorded() : writer(dir.filePath(QStringLiteral("register.sqlite"))), m(ports) {
        writer.setSite(QStringLiteral("Plant 4"));
    }
    // The register as a reader sees it once everything posted is written.
    RegisterReader& read() {
        if (!writer.flush()) qWarning("the register did not catch up");
        if (!opened) opened = reader.open(writer.path());
        return reader;
    }
    RegisterModule only() {
        const QList<RegisterModule> all = read().modules();
        return all.size() == 1 ? all.first() : RegisterModule();
    }

    QTemporaryDir dir;
    VirtualPorts ports;
    RegisterWriter writer;
    ModuleContext m;
    RegisterReader reader;
    bool opened = false;
};

QStringList Kinds(const QList<RegisterEntry>& history) {
    QStringList out;
    for (const RegisterEntry& e : history) out << e.kind + QLatin1Char(' ') + e.operation;
    return out;
}

// Opens nothing: for contexts whose records come by hand.
class NoPorts : public PortOpener {
  public:
    std::unique_ptr<SerialPort> open(int, const QString&) override { return nullptr; }
};

}  // namespace

class TestRegisterEngine : public QObject {
    Q_OBJECT
  private slots:
    void operationsBecomeHistory();
    void testSummariesBecomeRuns_data();
    void testSummariesBecomeRuns();
    void surveyAndPlanRows();
    void recordersOnThreadsLoseNothing();
    void replaceTakesTheOldPlace();
    void replaceCutOffFinishesOnTheNextRun();
    void replaceRefuses_data();
    void replaceRefuses();
};

namespace {

// The register knows a neighbour (16000004, ID 5) and the module to be replaced (16000003, ID 3,
// DI mode normal, two inputs NC) at the site; the bus has neither: the old module is off it,
// and the tests put on it what they need.
struct ReplaceBus {
    ReplaceBus() {
        r.ports.addModule(1, Module(ModuleType::RQ3016, 99, "16999999"));
        r.ports.host(1).unplugModule(0);
        RecorderAttachment attached(r.m, r.writer, RecordSource::Window);
        Sighting neighbour;
        neighbour.place = {ModuleType::RQ3016, QStringLiteral("16000004"), 5,
                           LineSettings::kDefaultIndex, QStringLiteral("COM1")};
        r.m.observer().moduleSighted(neighbour);
        ReadRecord old;
        old.place = neighbour.place;
        old.place.serial = QStringLiteral("16000003");
        old.place.id = 3;
        old.settings = {{"di-mode", "normal"}, {"di-nonc", "1100000000000000"}};
        r.m.observer().moduleRead(old);
    }
    SimModule& fresh(const char* serial) {
        return r.ports.host(1).addModule(Module(ModuleType::RQ3016, 1, serial));
    }
    std::optional<ReplacementSource> source(const QString& serial, QString* why = nullptr) {
        std::optional<ReplacementSource> s =
            ReplacementFromRegister(r.read(), serial, std::nullopt, why);
        if (s) s->request.survey.portNo = 1;
        return s;
    }
    ReplaceResult replace(const ReplaceHooks& hooks = {}) {
        RecorderAttachment attached(r.m, r.writer, RecordSource::Window);
        return ReplaceModule(r.m, source(QStringLiteral("16000003"))->request, hooks);
    }
    Recorded r;
};

}  // namespace

void TestRegisterEngine::replaceTakesTheOldPlace() {
    ReplaceBus bus;
    SimModule& fresh = bus.fresh("16000009");
    const std::optional<ReplacementSource> s = bus.source(QStringLiteral("16000003"));
    QVERIFY(s);
    QCOMPARE(s->request.id, 3);
    QCOMPARE(s->request.inService, QSet<QString>{QStringLiteral("16000004")});
    QCOMPARE(s->request.settings.value(QStringLiteral("di-mode")), QStringLiteral("normal"));

    const ReplaceResult res = bus.replace();
    QCOMPARE(int(res.end), int(ReplaceEnd::Done));
    QCOMPARE(res.newSerial, QStringLiteral("16000009"));
    QCOMPARE(fresh.id, 3);
    QCOMPARE(fresh.lineIndex, LineSettings::kDefaultIndex);
    QCOMPARE(fresh.diMode, 'S');
    QCOMPARE(fresh.noNc, std::string("1100000000000000"));

    RegisterReader& reader = bus.r.read();
    ModuleQuery q;
    q.serial = QStringLiteral("16000009");
    const QList<RegisterModule> added = reader.modules(q);
    QCOMPARE(added.size(), 1);
    QCOMPARE(added.first().facts.id, 3);
    QCOMPARE(added.first().site, QStringLiteral("Plant 4"));
    const QList<RegisterEntry> links = reader.replacements(added.first().key);
    QCOMPARE(links.size(), 1);
    QCOMPARE(links.first().kind, QStringLiteral("replaces"));
    QCOMPARE(links.first().relatedSerial, QStringLiteral("16000003"));
    QCOMPARE(reader.lastCommissioning(added.first().key)->verified, std::optional<bool>(true));
    // The old one is known as replaced, and a second replacement of it is refused.
    QString why;
    QVERIFY(!bus.source(QStringLiteral("16000003"), &why));
    QVERIFY2(why.contains(QStringLiteral("replaced by 16000009")), qPrintable(why));
}

void TestRegisterEngine::replaceCutOffFinishesOnTheNextRun() {
    // The third command gives the new module the old ID (after DI mode and NO/NC): the one
    // whose loss leaves the module at a place the first run did not find it at.
    const int cutAt = 3;
    ReplaceBus bus;
    SimModule& fresh = bus.fresh("16000009");
    int sent = 0;
    ReplaceHooks hooks;
    // The command goes out and acts, but no reply comes back: a cable pulled at that moment.
    hooks.command = [&](const QString&) {
        if (++sent == cutAt) bus.r.ports.host(1).faults().dropShare = 1.0;
    };
    QCOMPARE(int(bus.replace(hooks).end), int(ReplaceEnd::Failed));
    bus.r.ports.host(1).faults().dropShare = 0.0;
    const ReplaceResult again = bus.replace();
    QVERIFY2(again.end == ReplaceEnd::Done, qPrintable(again.text));
    QCOMPARE(fresh.id, 3);
    QCOMPARE(fresh.diMode, 'S');
    QCOMPARE(fresh.noNc, std::string("1100000000000000"));
}

void TestRegisterEngine::replaceRefuses_data() {
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QStringList>("bus");  // what is on the bus: "old", "new", "new2", "id3"
    QTest::addColumn<QString>("why");
    QTest::newRow("unknown serial") << "99999999" << QStringList{"new"} << "no module with serial";
    QTest::newRow("old still answers")
        << "16000003" << QStringList{"old", "new"} << "still answers";
    QTest::newRow("no new module") << "16000003" << QStringList{} << "no new RQ-3016 answers";
    QTest::newRow("two new modules") << "16000003" << QStringList{"new", "new2"} << "more than one";
    QTest::newRow("old ID held") << "16000003" << QStringList{"new", "id3"}
                                 << "already holds ID 03";
}

void TestRegisterEngine::replaceRefuses() {
    QFETCH(QString, serial);
    QFETCH(QStringList, bus);
    QFETCH(QString, why);
    ReplaceBus b;
    ModuleHost& host = b.r.ports.host(1);
    if (bus.contains("old")) host.addModule(Module(ModuleType::RQ3016, 3, "16000003"));
    QList<SimModule*> fresh;
    if (bus.contains("new")) fresh << &b.fresh("16000009");
    if (bus.contains("new2")) fresh << &b.fresh("16000010");
    // The neighbour put at the old ID by mistake.
    if (bus.contains("id3")) host.addModule(Module(ModuleType::RQ3016, 3, "16000004"));
    QString text;
    std::optional<ReplacementSource> s = b.source(serial, &text);
    if (s) {
        RecorderAttachment attached(b.r.m, b.r.writer, RecordSource::Window);
        const ReplaceResult res = ReplaceModule(b.r.m, s->request);
        QCOMPARE(int(res.end), int(ReplaceEnd::Refused));
        text = res.text;
    }
    QVERIFY2(text.contains(why), qPrintable(text));
    // Nothing was set: the new modules stay as they came, and no operation was recorded.
    for (SimModule* f : fresh) {
        QCOMPARE(f->id, 1);
        QCOMPARE(f->diMode, 'H');
    }
    RegisterReader& reader = b.r.read();
    for (const RegisterModule& m : reader.modules()) {
        QVERIFY(!reader.lastCommissioning(m.key));
        QVERIFY(reader.replacements(m.key).isEmpty());
    }
}

void TestRegisterEngine::operationsBecomeHistory() {
    Recorded r;
    SimModule& module = r.ports.addModule(1, Module(ModuleType::RQ3016, 3, "16000003"));
    module.lineIndex = 3;  // 9600,e,8,1
    RecorderAttachment attached(r.m, r.writer, RecordSource::Window);
    r.m.selectType(ModuleType::RQ3016);
    ReadBack rb;
    QVERIFY(LinkAt(r.m, 1, 3, QStringLiteral("03")));
    QVERIFY(ReadModule(r.m, r.m.link.LastReply, rb).ok());
    QVERIFY(SetDiMode(r.m, DiMode::Normal).ok());
    QVERIFY(SetModuleId(r.m, 7).ok());
    // A module that stops answering: the operation fails and nothing is taken as set.
    r.ports.host(1).faults().dropShare = 1.0;
    QVERIFY(!SetNoNc(r.m, Channels(0x0003)).ok());
    r.ports.host(1).faults().dropShare = 0.0;
    QVERIFY(LinkAt(r.m, 1, 3, QStringLiteral("07")));
    QVERIFY(ReadModule(r.m, r.m.link.LastReply, rb).ok());
    QCOMPARE(module.id, 7);
    RegisterModule m = r.only();
    QCOMPARE(m.facts.id, 7);
    QCOMPARE(m.facts.line, QStringLiteral("9600,e,8,1"));
    QCOMPARE(m.facts.settings.value(QStringLiteral("di-mode")), QStringLiteral("normal"));
    // Factory default: the register follows the module to ID 01, the default line setting and
    // the type's defaults, though the context still talks at the old line setting.
    FactoryResult fr;
    QVERIFY(FactoryDefault(r.m, {}, fr).ok());

    m = r.only();
    QCOMPARE(m.facts.type, QStringLiteral("RQ-3016"));
    QCOMPARE(m.facts.serial, QStringLiteral("16000003"));
    QCOMPARE(m.facts.id, 1);
    QCOMPARE(m.facts.port, QStringLiteral("COM1"));
    QCOMPARE(m.facts.line, QStringLiteral("19200,e,8,1"));
    QVERIFY(!m.facts.version.isEmpty());
    QCOMPARE(m.facts.settings.value(QStringLiteral("di-mode")), QStringLiteral("hold"));
    QCOMPARE(m.facts.settings.value(QStringLiteral("di-nonc")), QString(16, QLatin1Char('0')));
    QCOMPARE(m.site, QStringLiteral("Plant 4"));

    const QList<RegisterEntry> h = r.read().history(m.key);
    QCOMPARE(Kinds(h),
             (QStringList{"operation Set factory default", "read Get setting data",
                          "link Link module", "operation Set DI NO/NC", "operation Set ID",
                          "operation Set DI mode", "read Get setting data", "link Link module"}));
    for (const RegisterEntry& e : h) {
        QCOMPARE(e.source, QStringLiteral("window"));
        QCOMPARE(e.site, QStringLiteral("Plant 4"));
    }
    QCOMPARE(h.at(0).before->value(QStringLiteral("di-mode")), QStringLiteral("normal"));
    QCOMPARE(h.at(0).wanted->value(QStringLiteral("id")), QStringLiteral("01"));
    const RegisterEntry& mode = h.at(5);
    QCOMPARE(mode.before, SettingValues({{"di-mode", "hold"}}));
    QCOMPARE(mode.wanted, SettingValues({{"di-mode", "normal"}}));
    QCOMPARE(mode.after, SettingValues({{"di-mode", "normal"}}));
    QCOMPARE(mode.outcome, QStringLiteral("Set DI mode ok."));
    QCOMPARE(mode.outcomeRow, 65);
    QCOMPARE(mode.ok, std::optional<bool>(true));
    QCOMPARE(mode.verified, std::optional<bool>(false));
    QCOMPARE(h.at(4).before, SettingValues({{"id", "03"}}));
    QCOMPARE(h.at(4).module.id, 7);
    const RegisterEntry& failed = h.at(3);
    QCOMPARE(failed.outcome, QStringLiteral("Set DI NO/NC error!"));
    QCOMPARE(failed.ok, std::optional<bool>(false));
    QCOMPARE(failed.after, SettingValues());
    // The read-back confirms what was set since the last one, and only that.
    const RegisterEntry& confirmed = h.at(1);
    QCOMPARE(confirmed.wanted, SettingValues({{"di-mode", "normal"}, {"id", "07"}}));
    QCOMPARE(confirmed.verified, std::optional<bool>(true));
    QCOMPARE(h.last().verified, std::optional<bool>());

    // Another type's tab, with no read-back of its own: what it sets is filed under the module
    // that answered there, never under the serial number read before.
    SimModule& repeater = r.ports.host(1).addModule(Module(ModuleType::RQ3040, 9, "40000009"));
    repeater.lineIndex = r.m.BaudIndex;
    r.m.selectType(ModuleType::RQ3040);
    r.m.ModuleId = QStringLiteral("09");
    QVERIFY(SetModuleId(r.m, 10).ok());
    QStringList modules;
    for (const RegisterModule& each : r.read().modules())
        modules << each.facts.type + ' ' + each.facts.serial;
    QCOMPARE(modules, (QStringList{"RQ-3016 16000003", "RQ-3040 40000009"}));
}

void TestRegisterEngine::testSummariesBecomeRuns_data() {
    QTest::addColumn<int>("test");
    QTest::addColumn<int>("end");
    QTest::addColumn<int>("cards");
    QTest::addColumn<bool>("stuck");
    QTest::addColumn<QString>("verdict");
    const int dido = int(LiveTest::DidoTest), card = int(LiveTest::CardTest),
              check = int(LiveTest::DidoCheck);
    const int stopped = int(ContinuousEnd::Stopped), lost = int(ContinuousEnd::ModuleLost),
              noPort = int(ContinuousEnd::PortNotOpened);
    QTest::newRow("DI/DO test stopped") << dido << stopped << 0 << false << "passed";
    QTest::newRow("DI/DO test, module lost") << dido << lost << 0 << false << "failed";
    QTest::newRow("card test with cards") << card << stopped << 3 << false << "passed";
    QTest::newRow("card test without a card") << card << stopped << 0 << false << "no card read";
    QTest::newRow("check, every input ok") << check << stopped << 0 << false << "passed";
    QTest::newRow("check, an input stuck") << check << stopped << 0 << true << "failed";
    QTest::newRow("port did not open") << dido << noPort << 0 << false << "not run";
}

void TestRegisterEngine::testSummariesBecomeRuns() {
    QFETCH(int, test);
    QFETCH(int, end);
    QFETCH(int, cards);
    QFETCH(bool, stuck);
    QFETCH(QString, verdict);
    Recorded r;
    RecorderAttachment attached(r.m, r.writer, RecordSource::Cli);
    // The module the context last read back.
    r.m.selectType(test == int(LiveTest::CardTest) ? ModuleType::RQ3050K : ModuleType::RQ3016);
    r.m.known.serial = QStringLiteral("51000009");
    r.m.known.type = r.m.type;
    r.m.ModuleId = QStringLiteral("04");
    r.m.PortName = QStringLiteral("/dev/ttyUSB0");

    TestSummary s;
    s.test = LiveTest(test);
    s.end = ContinuousEnd(end);
    s.started = QDateTime::currentDateTimeUtc().addSecs(-30);
    s.ended = s.started.addSecs(30);
    s.cycles = 600;
    s.failures = 2;
    for (int k = 0; k < 16; ++k) s.inputChanges[k] = k;
    for (int i = 0; i < cards; ++i)
        s.cards << CardRead{1000 * i,
                            1 + i % 2,
                            i == 2,
                            QStringLiteral("000016300%1").arg(i),
                            i == 2 ? QString() : QStringLiteral("00027CB%1").arg(i),
                            i == 1 ? QStringLiteral("1234") : QString()};
    if (stuck) {
        s.verdicts[4] = ChannelVerdict::StuckOn;
        s.verdicts[9] = ChannelVerdict::Crossed;
        s.follows[9] = 11;
    }
    r.m.observer().testEnded(s);

    const RegisterModule m = r.only();
    QCOMPARE(m.facts.port, QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(m.facts.id, 4);
    QCOMPARE(m.lastTest, verdict);
    const std::optional<RegisterEntry> e = r.read().lastTest(m.key);
    QVERIFY(e && e->test);
    QCOMPARE(e->outcome, verdict);
    QCOMPARE(e->time, s.ended);
    const RegisterTestRun& t = *e->test;
    QCOMPARE(t.started, s.started);
    QCOMPARE(t.cycles, 600);
    QCOMPARE(t.failures, 2);
    QCOMPARE(t.verdict, verdict);
    QCOMPARE(t.inputChanges.has_value(), test != int(LiveTest::CardTest));
    if (t.inputChanges) QCOMPARE(t.inputChanges->at(15), 15);
    QCOMPARE(t.cards.size(), cards);
    for (int i = 0; i < cards; ++i) {
        QCOMPARE(t.cards.at(i).channel, s.cards.at(i).channel);
        QCOMPARE(t.cards.at(i).key, s.cards.at(i).key);
        QCOMPARE(t.cards.at(i).decimal, s.cards.at(i).decimal);
        QCOMPARE(t.cards.at(i).hex, s.cards.at(i).hex);
        QCOMPARE(t.cards.at(i).keys, s.cards.at(i).keys);
        QCOMPARE(t.cards.at(i).ms, s.cards.at(i).ms);
    }
    QCOMPARE(t.verdicts.has_value(), test == int(LiveTest::DidoCheck));
    if (t.verdicts) {
        QCOMPARE(t.verdicts->at(4), stuck ? QStringLiteral("stuck-on") : QStringLiteral("ok"));
        QCOMPARE(t.follows->at(9), stuck ? 11 : 0);
    }
}

void TestRegisterEngine::surveyAndPlanRows() {
    Recorded r;
    r.ports.addModule(1, Module(ModuleType::RQ3016, 3, "16000003"));
    r.ports.addModule(1, Module(ModuleType::RQ3016, 4, "16000004"));
    r.m.PortName = QStringLiteral("rfc2217://10.0.0.20:4001");
    SurveyPlan plan;
    plan.lines = {LineSettings::kDefaultIndex};
    plan.types = {ModuleType::RQ3016};
    plan.ids = {3, 4};
    {
        RecorderAttachment attached(r.m, r.writer, RecordSource::Survey);
        QCOMPARE(RunSurvey(r.m, plan).modules.size(), 2);
    }
    const QByteArray text = "type,serial,id,line\nRQ-3016,16000004,9,\n";
    QList<PlanRow> rows;
    QList<PlanProblem> problems;
    QVERIFY(ParsePlan(QString::fromLatin1(text), rows, problems));
    RecorderAttachment attached(r.m, r.writer, RecordSource::Apply);
    const SurveyResult bus = RunSurvey(r.m, PlanSurvey(rows, plan));
    QList<PlanItem> items;
    QVERIFY(CheckPlan(rows, bus, items, problems));
    r.m.Plan = PlanSourceOf(QStringLiteral("/plans/site-plan.csv"), text);
    const QList<PlanOutcome> outcomes = RunPlan(r.m, 1, items, false);
    QCOMPARE(outcomes.size(), 1);
    QCOMPARE(outcomes.first().outcome, QStringLiteral("done"));

    RegisterReader& reader = r.read();
    const QList<RegisterModule> modules = reader.modules();
    QCOMPARE(modules.size(), 2);
    for (const RegisterModule& m : modules) {
        QCOMPARE(m.facts.port, QStringLiteral("rfc2217://10.0.0.20:4001"));
        const QList<RegisterEntry> h = reader.history(m.key);
        QCOMPARE(h.last().kind, QStringLiteral("survey"));
        QCOMPARE(h.last().source, QStringLiteral("survey"));
        QCOMPARE(h.last().module.id, m.facts.serial.endsWith('3') ? 3 : 4);
    }
    const RegisterModule& moved = modules.at(1);
    QCOMPARE(moved.facts.serial, QStringLiteral("16000004"));
    QCOMPARE(moved.facts.id, 9);
    const QString hash =
        QString::fromLatin1(QCryptographicHash::hash(text, QCryptographicHash::Sha256).toHex());
    const QList<RegisterEntry> run = reader.planRun(hash);
    QCOMPARE(run.size(), 1);
    const std::optional<RegisterEntry> last = reader.lastCommissioning(moved.key);
    QVERIFY(last);
    QCOMPARE(last->uuid, run.first().uuid);
    QCOMPARE(last->source, QStringLiteral("apply"));
    QCOMPARE(last->planName, QStringLiteral("site-plan.csv"));
    QCOMPARE(last->outcome, QStringLiteral("done"));
    QCOMPARE(last->verified, std::optional<bool>(true));
    QCOMPARE(last->after->value(QStringLiteral("id")), QStringLiteral("09"));
    QVERIFY(!reader.lastCommissioning(modules.at(0).key));
}

void TestRegisterEngine::recordersOnThreadsLoseNothing() {
    Recorded r;
    constexpr int kThreads = 4, kEach = 250;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&r, t] {
            NoPorts none;
            ModuleContext m(none);
            RecorderAttachment attached(m, r.writer, RecordSource::Survey);
            Sighting s;
            s.how = SightingKind::Survey;
            s.place = {ModuleType::RQ3040, QStringLiteral("4000000%1").arg(t), t + 1, 5,
                       QStringLiteral("COM%1").arg(t + 1)};
            for (int i = 0; i < kEach; ++i) m.observer().moduleSighted(s);
        });
    }
    for (std::thread& t : threads) t.join();
    RegisterReader& reader = r.read();
    QCOMPARE(reader.count("event"), qint64(kThreads * kEach));
    QCOMPARE(reader.modules().size(), kThreads);
    QCOMPARE(r.writer.dropped(), 0);
}

QTEST_GUILESS_MAIN(TestRegisterEngine)
#include "test_register_engine.moc"
