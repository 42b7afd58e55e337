// The simulated modules as the tool sees them: for every command of every type, the reply's
// length, the characters at the positions the tool reads, and a checksum the tool accepts;
// silence where a module stays silent; and the state changes of the write commands.

#include <QTest>

#include "link/frame.h"
#include "sim/modulehost.h"
#include "support/simexchange.h"

using simtest::Exchange;
using simtest::Positions;
using simtest::Verifies;

Q_DECLARE_METATYPE(ModuleType)

namespace {

// "%" stands for the type prefix, so one row text serves every type.
std::string Cmd(ModuleType type, const char* text) {
    std::string s(text);
    for (char& c : s) {
        if (c == '%') c = ModuleTypePrefix(type);
    }
    return s;
}

QByteArray Tag(ModuleType type, const char* what) {
    return QByteArray::fromStdString(ModuleTypeName(type)) + " " + what;
}

}  // namespace

class TestSimModule : public QObject {
    Q_OBJECT

  private slots:
    void replies_data();
    void replies();
    void writesChangeState_data();
    void writesChangeState();
    void setIdOnlyWithOwnSerial();
    void wiegandSecondChannelId();
    void lineSettingSwitchesAfterReply();
    void factoryDefaultsCommand_data();
    void factoryDefaultsCommand();
    void cardReadForms_data();
    void cardReadForms();
    void cardQueuesPerChannel();
    void invalidEventsAreRefused();
    void inputModes();
    void printerAndControllerKeepWhatTheyGot();
};

// Columns: the command text, the expected frame length (0 for silence) and the characters
// expected at positions: "pos=text" pairs separated by "|".
void TestSimModule::replies_data() {
    QTest::addColumn<ModuleType>("type");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<int>("length");
    QTest::addColumn<QByteArray>("expect");

    for (const ModuleType t : kAllModuleTypes) {
        const SimModule m(t);
        const QByteArray serial = QByteArray::fromStdString(m.serial);
        auto row = [&](const char* what, const char* cmd, int length, QByteArray expect) {
            QTest::newRow(Tag(t, what).constData())
                << t << QByteArray::fromStdString(Cmd(t, cmd)) << length << expect;
        };
        row("identification", "%01B", 16, "3=01|5=B|6=" + serial);
        row("scan at ID 00 names own ID", "%00B", 16, "3=01|6=" + serial);
        row("version", "%01V", 16, "3=01|6=01.20-36");
        row("set ID ack", ("%01C" + serial + "07").constData(), 8, "3=01|5=C");
        row("set line ack", "%01E3", 8, "3=01|5=E");
        row("another ID", "%02B", 0, "");
        row("other command at ID 00", "%00V", 0, "");
        row("B with argument", "%01B1", 0, "");
        row("unknown command", "%01Q", 0, "");
        row("line code out of table", "%01EE", 0, "");
        row("line code missing", "%01E", 0, "");
        row("set ID foreign serial", "%01C9999999907", 0, "");
        row("set ID to 00", ("%01C" + serial + "00").constData(), 0, "");
        row("set ID short", ("%01C" + serial + "7").constData(), 0, "");
        row("ID not digits", "%0AB", 0, "");
        const char other = t == ModuleType::RQ3016 ? 'E' : 'B';
        const std::string foreign = std::string(1, other) + "01B";
        QTest::newRow(Tag(t, "another type prefix").constData())
            << t << QByteArray::fromStdString(foreign) << 0 << QByteArray();
    }

    using T = ModuleType;
    auto row = [](T t, const char* what, const char* cmd, int length, const char* expect) {
        QTest::newRow(Tag(t, what).constData())
            << t << QByteArray::fromStdString(Cmd(t, cmd)) << length << QByteArray(expect);
    };
    row(T::RQ3016, "DI mode", "%01G", 9, "6=H");
    row(T::RQ3016, "set DI mode hold", "%01GH", 8, "5=G");
    row(T::RQ3016, "set DI mode normal", "%01GS", 8, "5=G");
    row(T::RQ3016, "DI mode unknown letter", "%01GX", 0, "");
    row(T::RQ3016, "NO/NC", "%01A", 24, "6=0000000000000000");
    row(T::RQ3016, "set NO/NC", "%01A1000000000000001", 8, "5=A");
    row(T::RQ3016, "NO/NC 15 characters", "%01A100000000000000", 0, "");
    row(T::RQ3016, "NO/NC bad character", "%01A2000000000000000", 0, "");
    row(T::RQ3016, "outputs, inputs follow", "%01I0100000000000001", 24, "5=I|6=0100000000000001");
    row(T::RQ3016, "inputs without outputs", "%01I", 24, "6=0000000000000000");
    row(T::RQ3016, "outputs bad character", "%01I01000000000000x1", 0, "");
    row(T::RQ3016, "no status command", "%01F", 0, "");

    row(T::RQ3020, "printer status", "%01F", 9, "5=F|6=O");
    row(T::RQ3020, "print data", "%01GPrint test.", 8, "5=G");
    row(T::RQ3020, "print empty text", "%01G", 8, "5=G");
    row(T::RQ3020, "print code", "%01H0D0A", 8, "5=H");
    row(T::RQ3020, "status with argument", "%01F1", 0, "");
    row(T::RQ3020, "no port query", "%01K", 0, "");

    row(T::RQ3030, "port line setting", "%01K", 9, "5=K|6=2");
    row(T::RQ3030, "set port line setting", "%01KB", 8, "5=K");
    row(T::RQ3030, "port code out of table", "%01KZ", 0, "");
    row(T::RQ3030, "run mode", "%01A", 9, "6=0");
    row(T::RQ3030, "set run mode", "%01A2", 8, "5=A");
    row(T::RQ3030, "run mode out of list", "%01A3", 0, "");
    row(T::RQ3030, "status", "%01F", 9, "6=O");
    row(T::RQ3030, "data record", "%01G000103200605301520450000010000000000027CBB01", 8, "5=G");
    row(T::RQ3030, "factory default", "%01Zi", 8, "5=Z");
    row(T::RQ3030, "Z with other letter", "%01Zj", 0, "");
    row(T::RQ3030, "no delays", "%01A0F0A", 0, "");

    row(T::RQ3040, "port line setting", "%01K", 9, "6=5");
    row(T::RQ3040, "set port line setting", "%01KA", 8, "5=K");
    row(T::RQ3040, "TX delays", "%01A", 12, "6=0F0A");
    row(T::RQ3040, "set TX delays", "%01AFF01", 8, "5=A");
    row(T::RQ3040, "TX delay zero", "%01A000A", 0, "");
    row(T::RQ3040, "TX delay not hex", "%01A0FZZ", 0, "");
    row(T::RQ3040, "TX delay 3 characters", "%01A0F0", 0, "");
    row(T::RQ3040, "status", "%01F", 9, "6=O");
    row(T::RQ3040, "factory default", "%01Zi", 8, "5=Z");

    for (const T t : {T::RQ3050S, T::RQ3050K}) {
        const QByteArray ch2 = QByteArray::fromStdString(SimModule(t).ch2Serial);
        QTest::newRow(Tag(t, "CH #2 ID and serial").constData())
            << t << QByteArray::fromStdString(Cmd(t, "%01N")) << 16 << "3=05|5=N|6=" + ch2;
        row(t, "interface", "%01A", 11, "6=00|8=1");
        row(t, "set interface", "%01A003", 8, "5=A");
        row(t, "interface out of list", "%01A004", 0, "");
        row(t, "interface without zeros", "%01A3", 0, "");
        row(t, "card read, nothing queued", "%01F", 8, "3=01|5=F");
        row(t, "CH #2 card read, nothing queued", "%05F", 8, "3=05|5=F");
        row(t, "CH #2 identifies itself", "%05B", 16, "3=05|5=B");
        row(t, "CH #2 answers no version", "%05V", 0, "");
        row(t, "card read with argument", "%01F1", 0, "");
    }
    row(T::RQ3050K, "key number", "%01L", 10, "6=04");
    row(T::RQ3050K, "set key number 16", "%01L16", 8, "5=L");
    row(T::RQ3050K, "set key number 0", "%01L00", 8, "5=L");
    row(T::RQ3050K, "key number 17", "%01L17", 0, "");
    row(T::RQ3050K, "key number one digit", "%01L4", 0, "");
    row(T::RQ3050S, "no key number", "%01L", 0, "");
}

void TestSimModule::replies() {
    QFETCH(ModuleType, type);
    QFETCH(QByteArray, command);
    QFETCH(int, length);
    QFETCH(QByteArray, expect);

    ModuleHost host{SimModule(type)};
    const std::string reply = Exchange(host, command.toStdString());
    QCOMPARE(static_cast<int>(reply.size()), length);
    if (length == 0) return;
    QVERIFY(Verifies(reply));
    QCOMPARE(reply.front(), '\x0A');
    QCOMPARE(reply.back(), '\x0D');
    QCOMPARE(reply[1], ModuleTypePrefix(type));
    for (const QByteArray& pair : expect.split('|')) {
        const int eq = pair.indexOf('=');
        const int pos = pair.left(eq).toInt();
        const std::string want = pair.mid(eq + 1).toStdString();
        QCOMPARE(QByteArray::fromStdString(
                     Positions(reply, pos, pos + static_cast<int>(want.size()) - 1)),
                 QByteArray::fromStdString(want));
    }
}

// A write, then the query that reads it back: the query reports the new value.
void TestSimModule::writesChangeState_data() {
    QTest::addColumn<ModuleType>("type");
    QTest::addColumn<QByteArray>("write");
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<int>("pos");
    QTest::addColumn<QByteArray>("expect");
    using T = ModuleType;
    auto row = [](T t, const char* what, const char* write, const char* query, int pos,
                  const char* expect) {
        QTest::newRow(Tag(t, what).constData())
            << t << QByteArray::fromStdString(Cmd(t, write))
            << QByteArray::fromStdString(Cmd(t, query)) << pos << QByteArray(expect);
    };
    row(T::RQ3016, "DI mode normal", "%01GS", "%01G", 6, "S");
    row(T::RQ3016, "NO/NC", "%01A1010000000000001", "%01A", 6, "1010000000000001");
    row(T::RQ3030, "port 115200,e", "%01KB", "%01K", 6, "B");
    row(T::RQ3030, "run mode MP3", "%01A2", "%01A", 6, "2");
    row(T::RQ3040, "port 115200,n", "%01KA", "%01K", 6, "A");
    row(T::RQ3040, "delays 255 and 1", "%01AFF01", "%01A", 6, "FF01");
    row(T::RQ3040, "lower-case hex delays", "%01Aff01", "%01A", 6, "FF01");
    row(T::RQ3050S, "interface RS485 64", "%01A003", "%01A", 8, "3");
    row(T::RQ3050K, "interface RS485 24", "%01A000", "%01A", 8, "0");
    row(T::RQ3050K, "key number 16", "%01L16", "%01L", 6, "16");
    row(T::RQ3050K, "key number 0", "%01L00", "%01L", 6, "00");
}

void TestSimModule::writesChangeState() {
    QFETCH(ModuleType, type);
    QFETCH(QByteArray, write);
    QFETCH(QByteArray, query);
    QFETCH(int, pos);
    QFETCH(QByteArray, expect);
    ModuleHost host{SimModule(type)};
    QVERIFY(Verifies(Exchange(host, write.toStdString())));
    const std::string reply = Exchange(host, query.toStdString());
    QVERIFY(Verifies(reply));
    QCOMPARE(
        QByteArray::fromStdString(Positions(reply, pos, pos + static_cast<int>(expect.size()) - 1)),
        expect);
}

void TestSimModule::setIdOnlyWithOwnSerial() {
    ModuleHost host{SimModule(ModuleType::RQ3016)};
    SimModule& m = host.module();
    m.id = 5;
    m.serial = "12345678";

    QVERIFY(Exchange(host, "B05C9999999907").empty());
    QCOMPARE(m.id, 5);
    QCOMPARE(static_cast<int>(Exchange(host, "B05B").size()), 16);

    const std::string ack = Exchange(host, "B05C1234567807");
    QVERIFY(Verifies(ack));
    QCOMPARE(QByteArray::fromStdString(Positions(ack, 3, 4)), QByteArray("05"));
    QCOMPARE(m.id, 7);
    QVERIFY(Exchange(host, "B05B").empty());
    const std::string ident = Exchange(host, "B07B");
    QCOMPARE(static_cast<int>(ident.size()), 16);
    QCOMPARE(QByteArray::fromStdString(Positions(ident, 3, 4)), QByteArray("07"));
    // The scan finds it under the new ID.
    QCOMPARE(QByteArray::fromStdString(Positions(Exchange(host, "B00B"), 3, 4)), QByteArray("07"));
}

void TestSimModule::wiegandSecondChannelId() {
    ModuleHost host{SimModule(ModuleType::RQ3050K)};
    SimModule& m = host.module();
    const std::string ch2 = m.ch2Serial;

    QVERIFY(Verifies(Exchange(host, "H01C" + ch2 + "09")));
    QCOMPARE(m.ch2Id, 9);
    QCOMPARE(m.id, 1);  // the module's own ID stays
    QCOMPARE(QByteArray::fromStdString(Positions(Exchange(host, "H01N"), 3, 4)), QByteArray("09"));
    QVERIFY(Exchange(host, "H05F").empty());
    QCOMPARE(static_cast<int>(Exchange(host, "H09F").size()), 8);
    // Addressed to the CH #2 ID, the other commands get no answer.
    QVERIFY(Exchange(host, "H09C" + m.serial + "03").empty());
    QCOMPARE(m.id, 1);

    // The module's own serial moves the module's own ID.
    QVERIFY(Verifies(Exchange(host, "H01C" + m.serial + "03")));
    QCOMPARE(m.id, 3);
    QCOMPARE(m.ch2Id, 9);
}

void TestSimModule::lineSettingSwitchesAfterReply() {
    ModuleHost host{SimModule(ModuleType::RQ3020)};
    const LineConfig old = *ParseLineSetting("19200,e,8,1");
    const LineConfig fresh = *ParseLineSetting("115200,e,8,1");
    QCOMPARE(host.module().lineConfig(), old);

    // The reply comes at the old setting; the module then listens at the new one.
    const std::string ack = simtest::ExchangeOn(host, "E01EB", old);
    QVERIFY(Verifies(ack));
    QCOMPARE(host.module().lineIndex, 11);
    QVERIFY(simtest::ExchangeOn(host, "E01B", old).empty());
    QCOMPARE(static_cast<int>(simtest::ExchangeOn(host, "E01B", fresh).size()), 16);
}

void TestSimModule::factoryDefaultsCommand_data() {
    QTest::addColumn<ModuleType>("type");
    QTest::newRow("RQ-3030") << ModuleType::RQ3030;
    QTest::newRow("RQ-3040") << ModuleType::RQ3040;
}

void TestSimModule::factoryDefaultsCommand() {
    QFETCH(ModuleType, type);
    ModuleHost host{SimModule(type)};
    SimModule& m = host.module();
    const char p = m.prefix();
    auto cmd = [p](const char* rest) { return std::string(1, p) + rest; };
    QVERIFY(Verifies(Exchange(host, cmd("01K0"))));
    QVERIFY(Verifies(Exchange(host, type == ModuleType::RQ3030 ? cmd("01A1") : cmd("01A2030"))));
    m.id = 4;
    m.lineIndex = 3;

    QVERIFY(Verifies(Exchange(host, cmd("04Zi"))));
    if (type == ModuleType::RQ3030) {
        QCOMPARE(m.portLineIndex, 2);
        QCOMPARE(m.runMode, 0);
        QCOMPARE(Positions(Exchange(host, cmd("01A")), 6, 6), std::string("0"));
    } else {
        QCOMPARE(m.portLineIndex, 5);
        QCOMPARE(m.txOnDelay, 15);
        QCOMPARE(m.txOffDelay, 10);
        QCOMPARE(Positions(Exchange(host, cmd("01A")), 6, 9), std::string("0F0A"));
    }
    QCOMPARE(Positions(Exchange(host, cmd("01K")), 6, 6),
             std::string(1, type == ModuleType::RQ3030 ? '2' : '5'));
    // The bus address and the line setting are factory settings too.
    QCOMPARE(m.id, 1);
    QCOMPARE(m.lineIndex, 5);
}

// Every reply form of the card read, checked the way the tool tells them apart: by length,
// then "K" at 7, and the characters at the positions it shows.
void TestSimModule::cardReadForms_data() {
    QTest::addColumn<int>("form");
    QTest::addColumn<QByteArray>("card");
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<int>("length");
    QTest::addColumn<QByteArray>("expect");
    using F = CardEvent::Form;
    QTest::newRow("17-byte card") << int(F::Card17) << QByteArray("00027CBB") << QByteArray() << 17
                                  << QByteArray("7=00027CBB");
    QTest::newRow("17-byte card with K inside") << int(F::Card17) << QByteArray("K0027CBB")
                                                << QByteArray() << 17 << QByteArray("7=K0027CBB");
    QTest::newRow("18-byte card") << int(F::Card18) << QByteArray("FFFFFFFF") << QByteArray() << 18
                                  << QByteArray("8=FFFFFFFF");
    QTest::newRow("one key") << int(F::Key) << QByteArray() << QByteArray("5") << 11
                             << QByteArray("7=K5");
    QTest::newRow("four keys") << int(F::Key) << QByteArray() << QByteArray("1234") << 14
                               << QByteArray("7=K1234");
    QTest::newRow("eight keys, 18 bytes")
        << int(F::Key) << QByteArray() << QByteArray("12345678") << 18 << QByteArray("7=K12345678");
    QTest::newRow("card and one key") << int(F::CardWithKey) << QByteArray("00027CBB")
                                      << QByteArray("1") << 20 << QByteArray("8=00027CBB|17=1");
    QTest::newRow("card and two keys") << int(F::CardWithKey) << QByteArray("00027CBB")
                                       << QByteArray("12") << 21 << QByteArray("8=00027CBB|17=12");
    QTest::newRow("card and twelve keys")
        << int(F::CardWithKey) << QByteArray("00027cbb") << QByteArray("123456789012") << 31
        << QByteArray("8=00027cbb|17=123456789012");
    QTest::newRow("26-byte wide") << int(F::Wide26) << QByteArray("0000000000027CBB")
                                  << QByteArray() << 26 << QByteArray("8=0000000000027CBB");
}

void TestSimModule::cardReadForms() {
    QFETCH(int, form);
    QFETCH(QByteArray, card);
    QFETCH(QByteArray, keys);
    QFETCH(int, length);
    QFETCH(QByteArray, expect);
    for (const ModuleType type : {ModuleType::RQ3050S, ModuleType::RQ3050K}) {
        ModuleHost host{SimModule(type)};
        CardEvent e;
        e.form = static_cast<CardEvent::Form>(form);
        e.card = card.toStdString();
        e.keys = keys.toStdString();
        QVERIFY(host.module().queueEvent(1, e));
        const std::string cmd = std::string(1, ModuleTypePrefix(type)) + "01F";
        const std::string reply = Exchange(host, cmd);
        QCOMPARE(static_cast<int>(reply.size()), length);
        QVERIFY(Verifies(reply));
        QCOMPARE(Positions(reply, 3, 5), std::string("01F"));
        // The forms the tool tells apart by "K" at 7 must carry it only where meant.
        const bool keyForm = e.form == CardEvent::Form::Key;
        if (length != 17) QCOMPARE(reply[6] == 'K', keyForm);
        for (const QByteArray& pair : expect.split('|')) {
            const int eq = pair.indexOf('=');
            const int pos = pair.left(eq).toInt();
            const std::string want = pair.mid(eq + 1).toStdString();
            QCOMPARE(Positions(reply, pos, pos + static_cast<int>(want.size()) - 1), want);
        }
        // Reported once: the next read finds the queue empty.
        QVERIFY(Exchange(host, cmd).size() <= 9);
    }
}

void TestSimModule::cardQueuesPerChannel() {
    ModuleHost host{SimModule(ModuleType::RQ3050S)};
    SimModule& m = host.module();
    QVERIFY(m.queueEvent(1, CardEvent::Card("00000001")));
    QVERIFY(m.queueEvent(1, CardEvent::Card("00000002")));
    QVERIFY(m.queueEvent(2, CardEvent::KeyInput("99")));

    const std::string ch2 = Exchange(host, "A05F");
    QCOMPARE(Positions(ch2, 3, 4), std::string("05"));
    QCOMPARE(Positions(ch2, 7, 9), std::string("K99"));
    QVERIFY(Exchange(host, "A05F").size() <= 9);
    // CH #1 reports in the order the inputs came.
    QCOMPARE(Positions(Exchange(host, "A01F"), 7, 14), std::string("00000001"));
    QCOMPARE(Positions(Exchange(host, "A01F"), 7, 14), std::string("00000002"));
    QVERIFY(Exchange(host, "A01F").size() <= 9);
}

void TestSimModule::invalidEventsAreRefused() {
    SimModule w(ModuleType::RQ3050K);
    QVERIFY(!w.queueEvent(3, CardEvent::Card("00027CBB")));
    QVERIFY(!w.queueEvent(0, CardEvent::Card("00027CBB")));
    QVERIFY(!w.queueEvent(1, CardEvent::Card("27CBB")));
    QVERIFY(!w.queueEvent(1, CardEvent::Card("00027CB\x0D")));
    QVERIFY(!w.queueEvent(1, CardEvent::KeyInput("")));
    QVERIFY(!w.queueEvent(1, CardEvent::CardAndKey("00027CBB", "")));
    QVERIFY(!w.queueEvent(1, CardEvent::Wide("00027CBB")));
    QVERIFY(w.queue(1).empty());
    SimModule d(ModuleType::RQ3016);
    QVERIFY(!d.queueEvent(1, CardEvent::Card("00027CBB")));
}

void TestSimModule::inputModes() {
    ModuleHost host{SimModule(ModuleType::RQ3016)};
    SimModule& m = host.module();
    const std::string out = "1100000000000011";
    QCOMPARE(Positions(Exchange(host, "B01I" + out), 6, 21), out);

    m.inputMode = InputMode::Fixed;
    m.inputs = "0000000011111111";
    QCOMPARE(Positions(Exchange(host, "B01I" + out), 6, 21), std::string("0000000011111111"));
    QCOMPARE(m.outputs, out);

    m.inputMode = InputMode::Walking;
    QCOMPARE(Positions(Exchange(host, "B01I" + out), 6, 21), std::string("1000000000000000"));
    QCOMPARE(Positions(Exchange(host, "B01I" + out), 6, 21), std::string("0100000000000000"));
}

void TestSimModule::printerAndControllerKeepWhatTheyGot() {
    ModuleHost printer{SimModule(ModuleType::RQ3020)};
    QVERIFY(Verifies(Exchange(printer, "E01GPrint test.")));
    QVERIFY(Verifies(Exchange(printer, "E01H0D0A")));
    QVERIFY(Verifies(Exchange(printer, "E01G")));
    const std::vector<PrintJob> want = {{'G', "Print test."}, {'H', "0D0A"}, {'G', ""}};
    QVERIFY(printer.module().printed == want);
    printer.module().status = 'P';
    QCOMPARE(Positions(Exchange(printer, "E01F"), 6, 6), std::string("P"));

    ModuleHost link{SimModule(ModuleType::RQ3030)};
    QVERIFY(Verifies(Exchange(link, "F01G0001")));
    QVERIFY(Verifies(Exchange(link, "F01G000103")));
    QCOMPARE(link.module().records, (std::vector<std::string>{"0001", "000103"}));
    link.module().status = 'E';
    QCOMPARE(Positions(Exchange(link, "F01F"), 6, 6), std::string("E"));
}

QTEST_GUILESS_MAIN(TestSimModule)
#include "test_sim_module.moc"
