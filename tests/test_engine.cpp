// The engine without a window: each operation against a simulated module on the in-process
// port, from the frames on the wire to the outcome and the values read. Runs under a
// QCoreApplication alone.
#include <QtTest>
#include <functional>

#include "engine/common.h"
#include "engine/factory.h"
#include "engine/findmodule.h"
#include "engine/modulecontext.h"
#include "engine/observer.h"
#include "engine/portmodule.h"
#include "engine/printer.h"
#include "link/linesettings.h"
#include "sim/virtualports.h"

namespace {

QStringList Commands(VirtualPorts& ports, int port) {
    QStringList out;
    for (const std::string& c : ports.commands(port)) out << QString::fromStdString(c);
    return out;
}

// Records what a front end would show.
class Recorder : public EngineObserver {
  public:
    void message(int row, const QString& suffix) override { said << QString::number(row) + suffix; }
    void scanEntry(int entry) override { said << QStringLiteral("entry %1").arg(entry); }
    void scanFoundBySearch() override { said << QStringLiteral("found by search"); }
    void moduleLinked() override { said << QStringLiteral("linked"); }
    QStringList said;
};

// A module of `type` on COM1, linked through the engine as a front end would: scan, read back.
struct Bench {
    explicit Bench(ModuleType type) : module(ports.addModule(1, type)), m(ports) {
        module.ch2Serial = "CH2SER01";
        m.setObserver(&seen);
        m.selectType(type);
    }
    bool link() {
        ScanPlan plan;
        plan.ports = {1};
        if (!Scan(m, plan)) return false;
        ReadBack r;
        const bool ok = ReadModule(m, m.Identification, r).ok();
        ports.clearRecords();
        return ok;
    }
    VirtualPorts ports;
    SimModule& module;
    ModuleContext m;
    Recorder seen;
};

QString Text(const std::optional<int>& v) {
    return v ? QString::number(*v) : QStringLiteral("-");
}

// The type settings a read-back or factory default left, one line.
QString Describe(const ModuleSettings& s) {
    const DidoSettings& d = s.dido;
    return QStringLiteral(
               "mode %1 nonc %2 | port %3 hasPort %4 run %5 | rep %6 on %7 off %8 | "
               "ch2 %9 sn %10 if %11 keys %12")
        .arg(d.mode ? (*d.mode == DiMode::Hold ? QStringLiteral("H") : QStringLiteral("S"))
                    : QStringLiteral("-"),
             d.normallyClosed ? ChannelText(*d.normallyClosed) : QStringLiteral("-"),
             Text(s.linkModule.portLineIndex),
             s.linkModule.hasPort ? QString::number(*s.linkModule.hasPort) : QStringLiteral("-"),
             Text(s.linkModule.runMode), Text(s.repeater.portLineIndex), Text(s.repeater.txOn),
             Text(s.repeater.txOff), Text(s.wiegand.ch2Id))
        .arg(s.wiegand.ch2Serial.value_or(QStringLiteral("-")), Text(s.wiegand.interface),
             Text(s.wiegand.keyNumber));
}

struct OperationCase {
    const char* name;
    ModuleType type;
    // Runs the operation on a linked context; returns its outcome and what it read, as text.
    std::function<Outcome(ModuleContext&, QString& read)> run;
    QStringList commands;
    int row;
    QString read;
};

const QString kNone;

const OperationCase kOperations[] = {
    {"set ID",
     ModuleType::RQ3016,
     [](ModuleContext& m, QString& read) {
         const Outcome o = SetModuleId(m, 7);
         read = m.ModuleId;
         return o;
     },
     {"B01B", "B01C1600000107"},
     26,
     "07"},
    {"set line",
     ModuleType::RQ3016,
     [](ModuleContext& m, QString& read) {
         const Outcome o = SetModuleLine(m, 11);
         read = m.BaudText;
         return o;
     },
     {"B01B", "B01EB"},
     29,
     "115200,e,8,1"},
    {"set line without a choice",
     ModuleType::RQ3016,
     [](ModuleContext& m, QString& read) {
         const Outcome o = SetModuleLine(m, -1);
         read = m.BaudText;
         return o;
     },
     {},
     30,
     "19200,e,8,1"},
    {"command test",
     ModuleType::RQ3016,
     [](ModuleContext& m, QString& read) { return CommandTest(m, QStringLiteral("V"), read); },
     {"B01V"},
     36,
     "[0A]B01V01.20-361A[0D]"},
    {"command test unanswered",
     ModuleType::RQ3016,
     [](ModuleContext& m, QString& read) { return CommandTest(m, QStringLiteral("Q"), read); },
     {"B01Q"},
     37,
     kNone},
    {"DI mode",
     ModuleType::RQ3016,
     [](ModuleContext& m, QString&) { return SetDiMode(m, DiMode::Normal); },
     {"B01B", "B01GS"},
     65,
     kNone},
    {"NO/NC",
     ModuleType::RQ3016,
     [](ModuleContext& m, QString&) { return SetNoNc(m, Channels(0x8001)); },
     {"B01B", "B01A1000000000000001"},
     69,
     kNone},
    {"printer status",
     ModuleType::RQ3020,
     [](ModuleContext& m, QString& read) {
         QChar status;
         const Outcome o = GetStatus(m, status);
         read = PrinterStatusText(status);
         return o;
     },
     {"E01B", "E01F"},
     58,
     "Print ok."},
    {"print data",
     ModuleType::RQ3020,
     [](ModuleContext& m, QString&) { return PrintData(m, QStringLiteral("AB C")); },
     {"E01B", "E01GAB C"},
     74,
     kNone},
    {"print code",
     ModuleType::RQ3020,
     [](ModuleContext& m, QString&) { return PrintCode(m, QStringLiteral("1B40")); },
     {"E01B", "E01H1B40"},
     77,
     kNone},
    {"print data beyond ASCII",
     ModuleType::RQ3020,
     [](ModuleContext& m, QString&) { return PrintData(m, QStringLiteral("\u00e9")); },
     {},
     75,
     kNone},
    {"data record",
     ModuleType::RQ3030,
     [](ModuleContext& m, QString&) {
         return SendDataRecord(m, {"01", "02", "20261209", "123", "ID", "T"});
     },
     {"F01B", "F01G010220261209123IDT"},
     61,
     kNone},
    {"link port line",
     ModuleType::RQ3030,
     [](ModuleContext& m, QString&) { return SetPortLine(m, 7); },
     {"F01B", "F01K7"},
     29,
     kNone},
    {"run mode",
     ModuleType::RQ3030,
     [](ModuleContext& m, QString&) { return SetRunMode(m, 2); },
     {"F01B", "F01A2"},
     81,
     kNone},
    {"run mode without a choice",
     ModuleType::RQ3030,
     [](ModuleContext& m, QString&) { return SetRunMode(m, -1); },
     {},
     82,
     kNone},
    {"TX delays",
     ModuleType::RQ3040,
     [](ModuleContext& m, QString&) { return SetTxDelays(m, 255, 1); },
     {"X01B", "X01AFF01"},
     87,
     kNone},
    {"CH #2 ID",
     ModuleType::RQ3050S,
     [](ModuleContext& m, QString&) { return SetCh2Id(m, 42); },
     {"A01N", "A01CCH2SER0142"},
     26,
     kNone},
    {"interface",
     ModuleType::RQ3050S,
     [](ModuleContext& m, QString&) { return SetInterface(m, 3); },
     {"A01B", "A01A003"},
     91,
     kNone},
    {"interface out of range",
     ModuleType::RQ3050K,
     [](ModuleContext& m, QString&) { return SetInterface(m, 4); },
     {},
     92,
     kNone},
    {"key number",
     ModuleType::RQ3050K,
     [](ModuleContext& m, QString&) { return SetKeyNumber(m, 16); },
     {"H01B", "H01L16"},
     96,
     kNone},
    {"factory default DI/DO",
     ModuleType::RQ3016,
     [](ModuleContext& m, QString& read) {
         FactoryResult r;
         const Outcome o = FactoryDefault(m, {}, r);
         read = Describe(r.settings) + QStringLiteral(" id01 %1").arg(r.id01);
         return o;
     },
     {"B01B", "B01C1600000101", "B01GH", "B01A0000000000000000", "B01E5"},
     42,
     "mode H nonc 0000000000000000 | port - hasPort - run - | rep - on - off - | "
     "ch2 - sn - if - keys - id01 1"},
    {"factory default RQ-3050K",
     ModuleType::RQ3050K,
     [](ModuleContext& m, QString& read) {
         FactoryResult r;
         const Outcome o = FactoryDefault(m, {QStringLiteral("CH2SER01")}, r);
         read = Describe(r.settings);
         return o;
     },
     {"H01B", "H01C5100000101", "H01CCH2SER0105", "H01A001", "H01L04", "H01E5"},
     42,
     "mode - nonc - | port - hasPort - run - | rep - on - off - | ch2 5 sn - if 1 keys 4"},
};

}  // namespace

class TestEngine : public QObject {
    Q_OBJECT
  private slots:
    void operations_data();
    void operations();
    void readBack_data();
    void readBack();
    void notLinkedSendsNothing();
    void scanSearchesInPlanOrder();
    void rawDataGoesOutUnframed();
    void didoTestFollowsOutputsUntilStopped();
    void cardTestShowsBothChannelsUntilLost();
    void continuousTestWithoutPort();
};

void TestEngine::operations_data() {
    QTest::addColumn<int>("index");
    for (size_t i = 0; i < std::size(kOperations); ++i)
        QTest::newRow(kOperations[i].name) << static_cast<int>(i);
}

void TestEngine::operations() {
    QFETCH(int, index);
    const OperationCase& c = kOperations[index];
    Bench b(c.type);
    QVERIFY(b.link());
    QString read;
    const Outcome o = c.run(b.m, read);
    QCOMPARE(Commands(b.ports, 1), c.commands);
    QCOMPARE(o.row, c.row);
    QCOMPARE(read, c.read);
    // The name row is said first; the port is closed again.
    QCOMPARE(b.seen.said.last(), QString::number(c.row - (o.ok() ? 1 : 2)));
    QVERIFY(!b.m.link.isOpen());
}

void TestEngine::readBack_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("settings");
    QTest::newRow("RQ-3016") << 0
                             << "mode S nonc 1010000000000001 | port - hasPort - run - | rep - on "
                                "- off - | ch2 - sn - if - keys -";
    QTest::newRow("RQ-3020") << 1
                             << "mode - nonc - | port - hasPort - run - | rep - on - off - | ch2 "
                                "- sn - if - keys -";
    QTest::newRow("RQ-3030") << 2
                             << "mode - nonc - | port 11 hasPort 1 run 2 | rep - on - off - | "
                                "ch2 - sn - if - keys -";
    QTest::newRow("RQ-3040") << 3
                             << "mode - nonc - | port - hasPort - run - | rep 11 on 255 off 1 | "
                                "ch2 - sn - if - keys -";
    QTest::newRow("RQ-3050S") << 4
                              << "mode - nonc - | port - hasPort - run - | rep - on - off - | ch2 "
                                 "42 sn CH2SER01 if 3 keys -";
    QTest::newRow("RQ-3050K") << 5
                              << "mode - nonc - | port - hasPort - run - | rep - on - off - | ch2 "
                                 "42 sn CH2SER01 if 3 keys 16";
}

void TestEngine::readBack() {
    QFETCH(int, type);
    QFETCH(QString, settings);
    Bench b(kAllModuleTypes[type]);
    SimModule& s = b.module;
    s.serial = "12345678";
    s.id = 9;
    s.diMode = 'S';
    s.noNc = "1010000000000001";
    s.portLineIndex = 11;
    s.runMode = 2;
    s.txOnDelay = 255;
    s.txOffDelay = 1;
    s.ch2Id = 42;
    s.interfaceDigit = 3;
    s.keyNumber = 16;
    ScanPlan plan;
    plan.ports = {1};
    QVERIFY(Scan(b.m, plan));
    ReadBack r;
    const Outcome o = ReadModule(b.m, b.m.Identification, r);
    QCOMPARE(o.row, 15);
    QCOMPARE(r.serial, QStringLiteral("12345678"));
    QCOMPARE(r.id, 9);
    QCOMPARE(r.version, QStringLiteral("01.20-36"));
    QCOMPARE(Describe(r.settings), settings);
    QCOMPARE(b.m.ModuleId, QStringLiteral("09"));
    QCOMPARE(b.m.Linked, uint8_t(1));
    QVERIFY(b.seen.said.contains(QStringLiteral("linked")));
}

void TestEngine::notLinkedSendsNothing() {
    Bench b(ModuleType::RQ3016);
    const Outcome o = SetModuleId(b.m, 7);
    QCOMPARE(o.status, Outcome::Status::NotLinked);
    QVERIFY(b.ports.opens().empty());
    QVERIFY(b.seen.said.isEmpty());
}

void TestEngine::scanSearchesInPlanOrder() {
    VirtualPorts ports;
    ports.addSilentPort(2);
    SimModule& s = ports.addModule(5, ModuleType::RQ3040);
    s.lineIndex = 1;
    ModuleContext m(ports);
    Recorder seen;
    m.setObserver(&seen);
    m.selectType(ModuleType::RQ3040);
    m.PortNo = 0;  // nothing remembered
    ScanPlan plan;
    plan.ports = {5, 2};  // the platform's order, not sorted
    QVERIFY(Scan(m, plan));
    QStringList opened;
    for (const auto& a : ports.opens())
        opened << QStringLiteral("%1:%2").arg(a.port).arg(a.lineSetting);
    QCOMPARE(opened, (QStringList{"5:4800,n,8,1", "5:4800,e,8,1"}));
    QCOMPARE(m.PortNo, 5);
    QCOMPARE(m.BaudIndex, 1);
    QCOMPARE(m.BaudText, QStringLiteral("4800,e,8,1"));
    QCOMPARE(m.Linked, uint8_t(0));
    QCOMPARE(seen.said,
             (QStringList{"entry -1", "entry 0", "12 : #5", "12 : #5", "found by search"}));
}

void TestEngine::rawDataGoesOutUnframed() {
    Bench b(ModuleType::RQ3040);
    QVERIFY(b.link());
    QCOMPARE(SendRawData(b.m, QStringLiteral("x\u00ffz")).row, 61);
    QCOMPARE(b.module.rawReceived, std::string("x\xffz"));
    QCOMPARE(SendRawData(b.m, QStringLiteral("\u4e2d")).row, 62);  // no byte for it: nothing sent
    QCOMPARE(Commands(b.ports, 1), (QStringList{"X01B"}));
}

void TestEngine::didoTestFollowsOutputsUntilStopped() {
    Bench b(ModuleType::RQ3016);
    QVERIFY(b.link());
    int cycles = 0;
    QList<Channels> seen;
    const ContinuousEnd end = RunDidoTest(
        b.m, [&] { return Channels(1u << cycles); },
        [&](const Channels& inputs) {
            seen << inputs;
            ++cycles;
        },
        [&] { return cycles == 3; });
    QCOMPARE(end, ContinuousEnd::Stopped);
    QCOMPARE(seen, (QList<Channels>{Channels(1), Channels(2), Channels(4)}));
    QCOMPARE(Commands(b.ports, 1),
             (QStringList{"B01I1000000000000000", "B01I0100000000000000", "B01I0010000000000000"}));
    QVERIFY(!b.m.link.isOpen());
}

void TestEngine::cardTestShowsBothChannelsUntilLost() {
    Bench b(ModuleType::RQ3050S);
    QVERIFY(b.link());
    b.module.queueEvent(1, CardEvent::Card("00027CBB"));
    b.module.queueEvent(2, CardEvent::KeyInput("1234"));
    int asked = 0;
    QStringList shown;
    const ContinuousEnd end = RunCardTest(
        b.m,
        [&] {
            // The adapter goes away before the second CH #2 query.
            if (++asked == 2) b.ports.unplug(1);
            return 5;
        },
        [&](int channel, const QString& text) {
            shown << QStringLiteral("%1 %2").arg(channel).arg(text);
        },
        [] { return false; });
    QCOMPARE(end, ContinuousEnd::ModuleLost);
    QCOMPARE(shown, (QStringList{"1 CARD : 0000163003(D)  00027CBB(H)", "2 KEY : 1234"}));
    // One cycle with answers, then three CH #2 queries without.
    QCOMPARE(asked, 4);
    QCOMPARE(Commands(b.ports, 1), (QStringList{"A01F", "A05F", "A01F"}));
}

void TestEngine::continuousTestWithoutPort() {
    Bench b(ModuleType::RQ3016);
    QVERIFY(b.link());
    b.ports.addBusyPort(1);
    bool cycled = false;
    const ContinuousEnd end = RunDidoTest(
        b.m,
        [&] {
            cycled = true;
            return Channels();
        },
        [](const Channels&) {}, [] { return false; });
    QCOMPARE(end, ContinuousEnd::PortNotOpened);
    QVERIFY(!cycled);
}

QTEST_GUILESS_MAIN(TestEngine)
#include "test_engine.moc"
