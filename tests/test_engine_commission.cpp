// Commissioning from a plan against several simulated modules on one in-process port: the
// plan read and checked whole, the order of the changes, the shared-ID path, a second run of
// the same plan, a module lost half-way. Runs under a QCoreApplication alone.
#include <QtTest>

#include "engine/commission.h"
#include "engine/modulecontext.h"
#include "sim/virtualports.h"

namespace {

const QString kHeader = QStringLiteral("type,serial,id,line,di-mode,di-nonc\n");

QStringList Describe(const QList<PlanProblem>& problems) {
    QStringList out;
    for (const PlanProblem& p : problems) out << p.describe();
    return out;
}

struct Bus {
    VirtualPorts ports;
    ModuleContext m{ports};
    QList<PlanOutcome> outcomes;
    QStringList problems;

    SimModule& add(ModuleType type, int id, const char* serial, int line = 5) {
        SimModule s(type);
        s.id = id;
        s.serial = serial;
        s.lineIndex = line;
        return ports.addModule(1, s);
    }
    // Parses, surveys IDs 1..lastId at the given line settings, checks and runs the plan.
    int lastId = 6;
    bool apply(const QString& plan, QList<int> lines = {5}, const CommissionHooks& hooks = {}) {
        QList<PlanRow> rows;
        QList<PlanProblem> found;
        outcomes.clear();
        problems.clear();
        if (!ParsePlan(plan, rows, found)) {
            problems = Describe(found);
            return false;
        }
        SurveyPlan base;
        base.lines = lines;
        for (int id = 1; id <= lastId; ++id) base.ids << id;
        const SurveyResult bus = RunSurvey(m, PlanSurvey(rows, base));
        QList<PlanItem> items;
        if (!CheckPlan(rows, bus, items, found)) {
            problems = Describe(found);
            return false;
        }
        outcomes = RunPlan(m, 1, items, false, hooks);
        return true;
    }
    QStringList results() const {
        QStringList out;
        for (const PlanOutcome& o : outcomes)
            out << QStringLiteral("%1 %2%3").arg(o.row).arg(o.outcome,
                                                            o.verified ? "" : " (unverified)");
        return out;
    }
    // Command texts heard with this letter after prefix and ID.
    QStringList heard(char letter) const {
        QStringList out;
        for (const std::string& c : ports.commands(1))
            if (c.size() > 3 && c[3] == letter) out << QString::fromStdString(c);
        return out;
    }
};

}  // namespace

class TestEngineCommission : public QObject {
    Q_OBJECT

  private slots:
    void refusals_data();
    void refusals();
    void tenFreshModulesBySerial();
    void swapAndUnchanged();
    void moduleLostMidPlan();
    void ch2IdOnTheBus();
};

void TestEngineCommission::refusals_data() {
    QTest::addColumn<QString>("plan");
    QTest::addColumn<QStringList>("problems");
    const QString ok = QStringLiteral("RQ-3016,16000003,7,,,\n");
    QTest::newRow("header") << "type,serial,line,id\n" + ok
                            << QStringList{"row 1: the header begins with type,serial,id,line"};
    QTest::newRow("unknown column")
        << "type,serial,id,line,colour\n" + ok
        << QStringList{
               "row 1, column colour: not a setting (di-mode, di-nonc, ch2-id, "
               "interface, key-number, link-line, run-mode, rep-line, tx-on, tx-off)"};
    QTest::newRow("values out of range")
        << kHeader +
               "RQ-9999,16000003,7,,,\nRQ-3016,1600,0,9600,x,8,1,sometimes,\n"
               "RQ-3016,16000004,100,\"9600,e,8,1\",,101\n"
        << QStringList{"row 2, column type: \"RQ-9999\" is not a module type",
                       "row 3: 9 cells, the header has 6",
                       "row 4, column id: \"100\" is not an ID from 1 to 99",
                       "row 4, column di-nonc: \"101\": 16 flags of 0 or 1, channel 1 first"};
    QTest::newRow("setting of another type")
        << "type,serial,id,line,key-number\nRQ-3016,16000003,7,,4\n"
        << QStringList{"row 2, column key-number: not a setting of RQ-3016"};
    QTest::newRow("serial twice") << kHeader + ok + "RQ-3016,16000003,8,,,\n"
                                  << QStringList{
                                         "row 3, column serial: 16000003 is in the plan twice"};
    QTest::newRow("serial not on the bus")
        << kHeader + "RQ-3016,16009999,7,,,\n"
        << QStringList{"row 2, column serial: no RQ-3016 with serial number 16009999 on the bus"};
    QTest::newRow("new ID of a module not planned")
        << kHeader + "RQ-3016,16000003,4,,,\n"
        << QStringList{
               "row 2, column id: row 2 (16000003) would share RQ-3016 ID 04 with the "
               "module 16000004 (not in the plan)"};
    QTest::newRow("two rows to one ID")
        << kHeader + "RQ-3016,16000003,9,,,\nRQ-3016,16000004,9,,,\n"
        << QStringList{
               "row 3, column id: row 3 (16000004) would share RQ-3016 ID 09 with row 2 "
               "(16000003)"};
}

// Every refusal comes before any change: the module heard nothing but the survey's queries.
void TestEngineCommission::refusals() {
    QFETCH(QString, plan);
    Bus bus;
    bus.add(ModuleType::RQ3016, 3, "16000003");
    bus.add(ModuleType::RQ3016, 4, "16000004");
    bus.lastId = 4;
    QVERIFY(!bus.apply(plan));
    QTEST(bus.problems, "problems");
    for (const std::string& c : bus.ports.commands(1)) {
        const char letter = c.size() > 3 ? c[3] : 0;
        QVERIFY2(letter == 'B' || letter == 'V' || letter == 'G' || letter == 'A', c.c_str());
        QVERIFY2(c.size() == 4, c.c_str());  // queries only, no argument
    }
    QCOMPARE(bus.ports.module(1).id, 3);
}

void TestEngineCommission::tenFreshModulesBySerial() {
    Bus bus;
    bus.lastId = 10;
    QString plan = QStringLiteral("type,serial,id,line\n");
    for (int k = 0; k < 10; ++k) {
        const std::string serial = "200000" + std::to_string(10 + k);
        bus.add(ModuleType::RQ3020, 1, serial.c_str());
        plan += QStringLiteral("RQ-3020,%1,%2,\n").arg(QString::fromStdString(serial)).arg(k + 1);
    }
    QVERIFY2(bus.apply(plan), qPrintable(bus.problems.join('\n')));
    QStringList want;
    for (int k = 0; k < 10; ++k) want << QStringLiteral("%1 done").arg(k + 2);
    QCOMPARE(bus.results(), want);
    for (int k = 0; k < 10; ++k) QCOMPARE(bus.ports.host(1).module(k).id, k + 1);

    // Run again, the same plan finds every module alone, where the plan wants it.
    bus.ports.clearRecords();
    QVERIFY(bus.apply(plan));
    want.clear();
    for (int k = 0; k < 10; ++k) want << QStringLiteral("%1 unchanged").arg(k + 2);
    QCOMPARE(bus.results(), want);
    QVERIFY(bus.heard('C').isEmpty());
}

void TestEngineCommission::swapAndUnchanged() {
    Bus bus;
    bus.add(ModuleType::RQ3016, 3, "16000003");
    bus.add(ModuleType::RQ3016, 4, "16000004").diMode = 'S';
    bus.add(ModuleType::RQ3016, 6, "16000006", 3);
    const QString plan = kHeader +
                         "RQ-3016,16000003,4,,normal,\n"
                         "RQ-3016,16000004,3,,,\n"
                         "RQ-3016,16000006,6,\"9600,e,8,1\",hold,\n";
    QVERIFY2(bus.apply(plan, {5, 3}), qPrintable(bus.problems.join('\n')));
    QCOMPARE(bus.results(), (QStringList{"2 done", "3 done", "4 unchanged"}));
    QCOMPARE(bus.ports.host(1).module(0).id, 4);
    QCOMPARE(bus.ports.host(1).module(0).diMode, 'S');
    QCOMPARE(bus.ports.host(1).module(1).id, 3);
    // The swap goes through a free ID; the matching row gets no set command at all.
    const QStringList ids = bus.heard('C');
    QCOMPARE(ids.size(), 3);
    QVERIFY(ids.first().endsWith(QLatin1String("99")));
    for (const std::string& c : bus.ports.commands(1))
        QVERIFY2(c.rfind("B06", 0) != 0 || c.size() == 4, c.c_str());
    // Reported before and after, read back.
    QCOMPARE(bus.outcomes.at(0).before, QStringLiteral("id=03 line=19200,e,8,1 di-mode=hold"));
    QCOMPARE(bus.outcomes.at(0).after, QStringLiteral("id=04 line=19200,e,8,1 di-mode=normal"));
}

void TestEngineCommission::moduleLostMidPlan() {
    Bus bus;
    bus.add(ModuleType::RQ3040, 2, "40000002");
    bus.add(ModuleType::RQ3040, 3, "40000003");
    bus.add(ModuleType::RQ3040, 4, "40000004");
    const QString plan = QStringLiteral(
        "type,serial,id,line,tx-on\n"
        "RQ-3040,40000002,7,,\nRQ-3040,40000003,8,,30\nRQ-3040,40000004,9,3,\n");
    CommissionHooks hooks;
    hooks.command = [&](const PlanItem& item, const QString&) {
        if (item.row.serial == "40000003") bus.ports.host(1).unplugModule(1);
    };
    QVERIFY(bus.apply(plan, {5}, hooks));
    const QStringList results = bus.results();
    QCOMPARE(results.size(), 3);
    QCOMPARE(results.at(0), QStringLiteral("2 done"));
    QVERIFY2(results.at(1).startsWith(QLatin1String("3 failed: tx-on not acknowledged")),
             qPrintable(results.at(1)));
    QCOMPARE(results.at(2), QStringLiteral("4 done"));
    QCOMPARE(bus.ports.host(1).module(2).id, 9);
    QCOMPARE(bus.ports.host(1).module(2).lineIndex, 3);
}

void TestEngineCommission::ch2IdOnTheBus() {
    // CH #2 of a Wiegand module holds an ID of its own: a plan may not move it onto a module of
    // the type, nor a module onto it; an ID that is free takes it.
    Bus bus;
    bus.add(ModuleType::RQ3050S, 1, "50000001").ch2Id = 3;
    bus.add(ModuleType::RQ3050S, 4, "50000004").ch2Id = 2;
    bus.lastId = 5;
    const QString header = QStringLiteral("type,serial,id,line,ch2-id\n");
    QVERIFY(!bus.apply(header + "RQ-3050S,50000001,,,4\n"));
    QVERIFY2(bus.problems.join('\n').contains(
                 "row 2, column ch2-id: CH #2 of row 2 (50000001) would share RQ-3050S ID 04 with "
                 "the module 50000004 (not in the plan)"),
             qPrintable(bus.problems.join('\n')));
    QVERIFY(!bus.apply(header + "RQ-3050S,50000004,3,,\n"));
    QVERIFY2(bus.problems.join('\n').contains("would share RQ-3050S ID 03 with CH #2 of 50000001"),
             qPrintable(bus.problems.join('\n')));
    QVERIFY2(bus.apply(header + "RQ-3050S,50000001,,,5\n"), qPrintable(bus.problems.join('\n')));
    QCOMPARE(bus.results(), QStringList{"2 done"});
    QCOMPARE(bus.ports.host(1).module(0).ch2Id, 5);
    // Its old ID is free now for a module to take.
    QVERIFY2(bus.apply(header + "RQ-3050S,50000004,3,,\n"), qPrintable(bus.problems.join('\n')));
    QCOMPARE(bus.results(), QStringList{"2 done"});
    QCOMPARE(bus.ports.host(1).module(1).id, 3);
}

QTEST_GUILESS_MAIN(TestEngineCommission)
#include "test_engine_commission.moc"
