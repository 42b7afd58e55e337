// The site checkout against simulated modules on in-process buses: the rules by which a point
// passes or shows a fault, one table of modules worked between rounds through the simulator's
// console; the points list and its refusals; the buses placed from a survey. Runs under a
// QCoreApplication alone.
#include <QtTest>

#include "engine/checkout.h"
#include "engine/checkoutbuses.h"
#include "engine/modulecontext.h"
#include "sim/console.h"
#include "sim/virtualports.h"

Q_DECLARE_METATYPE(ModuleType)

namespace {

const char* SerialOf(ModuleType t) {
    return t == ModuleType::RQ3016 ? "16000301" : IsWiegand(t) ? "50000302" : "20000303";
}

}  // namespace

class TestEngineCheckout : public QObject {
    Q_OBJECT

  private slots:
    void rules_data();
    void rules();
    void portThatDoesNotOpen();
    void pointsList_data();
    void pointsList();
    void placedFromSurveys();
};

void TestEngineCheckout::rules_data() {
    QTest::addColumn<ModuleType>("type");
    QTest::addColumn<QString>("point");
    // "N COMMAND": a console command run after round N (0: before the first).
    QTest::addColumn<QStringList>("walk");
    QTest::addColumn<int>("rounds");
    QTest::addColumn<QString>("state");
    QTest::addColumn<bool>("ok");

    const ModuleType di = ModuleType::RQ3016;
    const ModuleType k = ModuleType::RQ3050K;
    const QString m = QStringLiteral("module 16000301 ");
    QTest::newRow("di on then off")
        << di << "DI3" << QStringList{"0 " + m + "input 3 1", "2 " + m + "input 3 0"} << 4
        << "passed" << true;
    QTest::newRow("di off then on")
        << di << "DI16" << QStringList{"2 " + m + "input 16 1"} << 4 << "passed" << true;
    QTest::newRow("di held on") << di << "DI3" << QStringList{"0 " + m + "input 3 1"} << 4
                                << "seen on" << false;
    QTest::newRow("di never worked")
        << di << "DI1" << QStringList{"0 " + m + "inputs 0000000000000000"} << 4 << "seen off"
        << false;
    QStringList chatter{"0 " + m + "inputs 0000000000000000"};
    for (int r = 1; r <= 8; ++r)
        chatter << QStringLiteral("%1 %2input 5 %3").arg(r).arg(m).arg(r % 2);
    QTest::newRow("di chattering") << di << "DI5" << chatter << 10 << "chattering" << false;
    QTest::newRow("di module answers") << di << "ANSWERS" << QStringList{} << 2 << "passed" << true;
    QTest::newRow("di silent") << di << "DI2" << QStringList{"0 fault drop 1"} << 4
                               << "module silent" << false;
    QTest::newRow("di rejoins") << di << "DI2" << QStringList{"0 fault drop 1", "4 fault clear"}
                                << 6 << "seen off" << false;
    QTest::newRow("di passes after rejoining")
        << di << "DI2" << QStringList{"1 fault drop 1", "4 " + m + "input 2 1", "5 fault clear"}
        << 7 << "passed" << true;
    // A reply whose inputs are not all 0 or 1 is an answer, never a change.
    QTest::newRow("unreadable inputs") << di << "DI1"
                                       << QStringList{"0 " + m + "input 1 1", "1 fault only I",
                                                      "1 fault oversize 24", "2 " + m + "input 1 0"}
                                       << 4 << "seen on" << false;
    QTest::newRow("card on ch1") << k << "CH1" << QStringList{"1 card 1 00027CBB"} << 3 << "passed"
                                 << true;
    QTest::newRow("card on ch2") << k << "CH2" << QStringList{"1 card 2 00027CBB 18"} << 3
                                 << "passed" << true;
    QTest::newRow("card on the other channel")
        << k << "CH1" << QStringList{"1 card 2 00027CBB"} << 3 << "waiting" << false;
    QTest::newRow("key on ch2") << k << "KEYS" << QStringList{"1 key 2 12"} << 3 << "passed"
                                << true;
    QTest::newRow("key is no card")
        << k << "CH2" << QStringList{"1 key 2 12"} << 3 << "waiting" << false;
    QTest::newRow("card with keys")
        << k << "KEYS" << QStringList{"1 cardkey 1 00027CBB 7"} << 3 << "passed" << true;
    QTest::newRow("wiegand silent")
        << k << "CH1" << QStringList{"0 fault drop 1"} << 4 << "module silent" << false;
    QTest::newRow("printer answers")
        << ModuleType::RQ3020 << "ANSWERS" << QStringList{} << 1 << "passed" << true;
    QTest::newRow("printer silent")
        << ModuleType::RQ3020 << "ANSWERS" << QStringList{"0 fault drop 1"} << 4 << "module silent"
        << false;
}

void TestEngineCheckout::rules() {
    QFETCH(ModuleType, type);
    QFETCH(QString, point);
    QFETCH(QStringList, walk);
    QFETCH(int, rounds);
    QFETCH(QString, state);
    QFETCH(bool, ok);

    VirtualPorts ports;
    SimModule sim(type);
    sim.serial = SerialOf(type);
    sim.id = 4;
    SimModule& placed = ports.addModule(1, sim);
    placed.inputMode = InputMode::Fixed;
    SimConsole console(ports.host(1));
    const auto walkTo = [&](int round) {
        for (const QString& w : walk) {
            const int space = w.indexOf(' ');
            if (w.left(space).toInt() != round) continue;
            const SimConsole::Result r = console.run(w.mid(space + 1).toStdString());
            QVERIFY2(r.ok, r.output.c_str());
        }
    };
    walkTo(0);

    ModuleContext m(ports);
    CheckoutBus bus;
    bus.modules << CheckoutModule{type, sim.serial.c_str(), 4, 5, IsWiegand(type) ? 5 : 0};
    for (const QString& p : PointsOfType(type))
        bus.points << CheckoutPoint{0, type, sim.serial.c_str(), p, "label of " + p};
    int seen = 0;
    QStringList changes;
    CheckoutHooks hooks;
    hooks.stop = [&] { return seen >= rounds; };
    hooks.roundDone = [&](int round, qint64) {
        seen = round;
        walkTo(round);
    };
    hooks.changed = [&](const PointStatus& s) {
        if (s.point.point == point) changes << PointStateName(s.state);
    };
    const CheckoutResult result = RunCheckout(m, bus, hooks);

    QCOMPARE(result.rounds, rounds);
    const PointStatus* got = nullptr;
    for (const PointStatus& s : result.points)
        if (s.point.point == point) got = &s;
    QVERIFY(got);
    QCOMPARE(PointStateName(got->state), state);
    QCOMPARE(got->ok(), ok);
    QCOMPARE(got->point.label, "label of " + point);
    QCOMPARE(changes.value(changes.size() - 1, QStringLiteral("waiting")), state);
    if (ok) QVERIFY(got->passedMs >= 0);
    // Nothing the checkout sends sets an output or a setting.
    for (const std::string& c : ports.commands(1)) {
        const QString text = QString::fromStdString(c);
        QVERIFY2(text.size() == 4, qPrintable(text));
    }
}

void TestEngineCheckout::portThatDoesNotOpen() {
    // The bus's points say why; nothing else is tried.
    VirtualPorts ports;
    ports.addBusyPort(1);
    ModuleContext m(ports);
    CheckoutBus bus;
    bus.modules << CheckoutModule{ModuleType::RQ3020, "20000303", 1, 5, 0};
    bus.points << CheckoutPoint{0, ModuleType::RQ3020, "20000303", "ANSWERS", {}};
    const CheckoutResult r = RunCheckout(m, bus);
    QVERIFY(r.portFailed);
    QCOMPARE(r.rounds, 0);
    QCOMPARE(r.points.value(0).state, PointState::PortFailed);

    // --until-done: the run ends by itself once every point has passed.
    VirtualPorts good;
    SimModule printer(ModuleType::RQ3020);
    printer.serial = "20000303";
    good.addModule(1, printer);
    ModuleContext g(good);
    CheckoutHooks hooks;
    hooks.untilDone = true;
    const CheckoutResult done = RunCheckout(g, bus, hooks);
    QCOMPARE(done.rounds, 1);
    QVERIFY(done.done());
}

void TestEngineCheckout::pointsList_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("refusal");  // empty: the list parses
    QTest::addColumn<QString>("label");    // the label of its last point

    QTest::newRow("header and point")
        << "type,serial,point,label\nRQ-3016,16000301,DI3,\"Door 12, contact\"\n"
        << ""
        << "Door 12, contact";
    QTest::newRow("no header, quotes and a line break")
        << "RQ-3050K,50000302,keys,\"Reader \"\"B\"\"\nfloor 2\"\n"
        << ""
        << "Reader \"B\"\nfloor 2";
    QTest::newRow("chinese label") << "RQ-3050S,50000302,CH2,二楼 门禁\n"
                                   << ""
                                   << "二楼 门禁";
    QTest::newRow("formula-like label is a text") << "RQ-3020,20000303,ANSWERS,=1+2\n"
                                                  << ""
                                                  << "=1+2";
    QTest::newRow("serial like a formula stays") << "RQ-3020,-2000030,ANSWERS,\"+1\"\n"
                                                 << ""
                                                 << "+1";
    QTest::newRow("unknown type") << "RQ-9999,16000301,DI3,x\n"
                                  << "row 1, column type: \"RQ-9999\" is not a module type"
                                  << "";
    QTest::newRow("point the type lacks")
        << "type,serial,point,label\nRQ-3050S,50000302,KEYS,x\n"
        << "row 2, column point: \"KEYS\" is not a point of RQ-3050S (CH1 CH2 ANSWERS)"
        << "";
    QTest::newRow("DI17") << "RQ-3016,16000301,DI17,x\n"
                          << "row 1, column point: \"DI17\" is not a point of RQ-3016"
                          << "";
    QTest::newRow("point given twice")
        << "RQ-3016,16000301,DI3,a\n\"RQ-3016\",16000301,di4,\"b\nc\"\nRQ-3016,16000301,DI3,d\n"
        << "row 4, column point: DI3 of 16000301 is given twice, first in row 1"
        << "";
    QTest::newRow("serial under two types")
        << "RQ-3016,16000301,DI3,\"a,\nb\"\nRQ-3020,16000301,ANSWERS,\n"
        << "row 3, column serial: 16000301 is given for RQ-3016 in row 1"
        << "";
    QTest::newRow("short serial") << "RQ-3016,1600,DI3,x\n"
                                  << "row 1, column serial: \"1600\" is not 8 printable"
                                  << "";
    QTest::newRow("empty") << "# nothing\n\n"
                           << "the list has no point"
                           << "";
}

void TestEngineCheckout::pointsList() {
    QFETCH(QString, text);
    QFETCH(QString, refusal);
    QFETCH(QString, label);
    QList<CheckoutPoint> points;
    QList<PlanProblem> problems;
    const bool ok = ParsePoints(text, points, problems);
    QCOMPARE(ok, refusal.isEmpty());
    if (!ok) {
        QVERIFY2(problems.value(0).describe().contains(refusal),
                 qPrintable(problems.value(0).describe()));
        return;
    }
    QCOMPARE(points.last().label, label);
    // Written and read again, the list is the same; a formula-like label is kept as text.
    QList<CheckoutPoint> again;
    const QString written = WritePoints(points);
    QVERIFY(ParsePoints(written, again, problems));
    QCOMPARE(again.size(), points.size());
    const QString expected = label.startsWith('=') || label.startsWith('+') ? "'" + label : label;
    QCOMPARE(again.last().serial, points.last().serial);
    QCOMPARE(again.last().label, expected);
    QCOMPARE(again.last().point, points.last().point);
}

void TestEngineCheckout::placedFromSurveys() {
    // Each point goes to the bus that found its module; CH #2 found at its own ID gives the
    // module's CH #2 ID; a module no bus found is silent from the start.
    SurveyModule di;
    di.type = ModuleType::RQ3016;
    di.serial = "16000301";
    di.id = 3;
    SurveyModule w;
    w.type = ModuleType::RQ3050S;
    w.serial = "50000302";
    w.id = 7;
    SurveyModule ch2 = w;
    ch2.serial = "50000902";
    ch2.id = 9;
    ch2.ch2Of = w.serial;
    SurveyResult one, two;
    one.modules << di;
    two.modules << w << ch2;
    QList<CheckoutPoint> expected{{2, ModuleType::RQ3050S, "50000302", "CH2", "Gate"},
                                  {3, ModuleType::RQ3016, "16000301", "DI1", "Door"},
                                  {4, ModuleType::RQ3016, "16009999", "DI1", "Lost"}};
    QList<PointStatus> missing;
    const QList<CheckoutBus> buses = PlaceCheckout({one, two}, {1, 2}, expected, &missing);
    QCOMPARE(buses.size(), 2);
    QCOMPARE(buses.at(0).points.size(), 1);
    QCOMPARE(buses.at(0).points.at(0).label, QStringLiteral("Door"));
    QCOMPARE(buses.at(1).modules.value(0).ch2Id, 9);
    QCOMPARE(buses.at(1).portNo, 2);
    QCOMPARE(missing.size(), 1);
    QCOMPARE(missing.at(0).state, PointState::ModuleSilent);
    // Without a list, every point of every module found: 16 inputs and ANSWERS, CH1, CH2 and
    // ANSWERS.
    const QList<CheckoutBus> all = PlaceCheckout({one, two}, {1, 2}, {}, nullptr);
    QCOMPARE(all.at(0).points.size() + all.at(1).points.size(), 17 + 3);
}

QTEST_GUILESS_MAIN(TestEngineCheckout)
#include "test_engine_checkout.moc"
