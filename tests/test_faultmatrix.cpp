// Every operation of the window against every fault the simulated module can inject: each
// ends in the time the protocol allows, reports the outcome it should, and leaves the window
// usable with nothing more written to the port. The matrix is printed at the end.
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>
#include <functional>
#include <map>
#include <optional>

#include "app/shape.h"
#include "support/simwindow.h"

namespace {

using Reply = std::optional<std::string>;

enum class Kind {
    Press,       // one button of the operation frame, on a linked window
    Continuous,  // a continuous test, stopped after a few exchanges when it still runs
    Find,        // scan or link on a window not yet linked: the fault hits the search
    Read,        // scan, with the fault on the settings read that follows
};

struct Op {
    const char* name;
    int tab;
    Kind kind;
    const char* button;
    const char* ok;                // the message after success; null: left as it was
    const char* fail;              // the message after the failure
    const char* readLetters = "";  // Read: the command the fault is limited to
    int boundMs = 0;               // longest the operation may take
};

// Bounds: tries x (pauses + exchanges x (200 ms silence + margin)), plus a margin.
constexpr int Bound(int tries, int pausesMs, int exchanges) {
    return tries * (pausesMs + exchanges * 260) + 400;
}

const Op kOps[] = {
    {"scan", 0, Kind::Find, "btnScan", "Module find ok. (COM : #1)", "Module not find", "",
     Bound(1, 0, 5) + 100 + 50 * 2},
    {"link", 3, Kind::Find, "btnLink", "Module find ok. (COM : #1)", "Module not find", "",
     Bound(1, 300, 6)},
    {"read RQ-3016", 0, Kind::Read, "btnScan", "Module find ok. (COM : #1)",
     "Module data error! (COM : #1)", "G", Bound(1, 300, 6)},
    {"read RQ-3020", 1, Kind::Read, "btnScan", "Module find ok. (COM : #1)",
     "Module data error! (COM : #1)", "V", Bound(1, 300, 5)},
    {"read RQ-3030", 2, Kind::Read, "btnScan", "Module find ok. (COM : #1)",
     "Module data error! (COM : #1)", "K", Bound(1, 300, 6)},
    {"read RQ-3040", 3, Kind::Read, "btnScan", "Module find ok. (COM : #1)",
     "Module data error! (COM : #1)", "A", Bound(1, 300, 6)},
    {"read RQ-3050S", 4, Kind::Read, "btnScan", "Module find ok. (COM : #1)",
     "Module data error! (COM : #1)", "N", Bound(1, 300, 6)},
    {"read RQ-3050K", 5, Kind::Read, "btnScan", "Module find ok. (COM : #1)",
     "Module data error! (COM : #1)", "L", Bound(1, 400, 7)},
    {"set ID", 0, Kind::Press, "btnID", "Set ID ok.", "Set ID error!", "", Bound(2, 200, 2)},
    {"set baud rate", 0, Kind::Press, "btnBaudRate", "Set baud rate ok.", "Set baud rate error!",
     "", Bound(2, 200, 2)},
    {"command test", 0, Kind::Press, "btnTest", "Command test ok.", "Command test error!", "",
     Bound(1, 100, 1)},
    {"factory RQ-3016", 0, Kind::Press, "btnFactory", "Set factory default ok.",
     "Set factory default error!", "", Bound(2, 700, 6)},
    {"factory RQ-3020", 1, Kind::Press, "btnFactory", "Set factory default ok.",
     "Set factory default error!", "", Bound(2, 400, 3)},
    {"factory RQ-3030", 2, Kind::Press, "btnFactory", "Set factory default ok.",
     "Set factory default error!", "", Bound(2, 200, 2)},
    {"factory RQ-3040", 3, Kind::Press, "btnFactory", "Set factory default ok.",
     "Set factory default error!", "", Bound(2, 200, 2)},
    {"factory RQ-3050K", 5, Kind::Press, "btnFactory", "Set factory default ok.",
     "Set factory default error!", "", Bound(2, 1900, 7)},
    {"DI mode", 0, Kind::Press, "btnDIDOMode", "Set DI mode ok.", "Set DI mode error!", "",
     Bound(2, 200, 2)},
    {"DI NO/NC", 0, Kind::Press, "btnDIDONoNc", "Set DI NO/NC ok.", "Set DI NO/NC error!", "",
     Bound(2, 200, 2)},
    {"CH #2 ID", 4, Kind::Press, "btnRQ3050S_ID", "Set ID ok.", "Set ID error!", "",
     Bound(2, 200, 2)},
    {"interface", 5, Kind::Press, "btnRQ3050K_Mode", "Set interface ok.", "Set interface error!",
     "", Bound(2, 200, 2)},
    {"key number", 5, Kind::Press, "btnKeyNumber", "Set key number ok.", "Set key number error!",
     "", Bound(2, 200, 2)},
    {"link status", 2, Kind::Press, "btnLinkStatus", "Get status ok.", "Get status error!", "",
     Bound(2, 200, 2)},
    {"link send data", 2, Kind::Press, "btnLinkSendData", "Send data ok.", "Send data error!", "",
     Bound(2, 200, 2)},
    {"link baud rate", 2, Kind::Press, "btnLinkPort", "Set baud rate ok.", "Set baud rate error!",
     "", Bound(2, 200, 2)},
    {"link run mode", 2, Kind::Press, "btnLinkMode", "Set run mode ok.", "Set run mode error!", "",
     Bound(2, 200, 2)},
    {"repeater status", 3, Kind::Press, "btnRepStatus", "Get status ok.", "Get status error!", "",
     Bound(2, 200, 2)},
    {"repeater baud rate", 3, Kind::Press, "btnRepPort", "Set baud rate ok.",
     "Set baud rate error!", "", Bound(2, 200, 2)},
    {"repeater TX delay", 3, Kind::Press, "btnRepTx", "Set TX delay ok.", "Set TX delay error!", "",
     Bound(2, 200, 2)},
    {"repeater data", 3, Kind::Press, "btnRepData", "Send data ok.", "Send data error!", "",
     Bound(2, 200, 1)},
    {"printer status", 1, Kind::Press, "btnPrintStatus", "Get status ok.", "Get status error!", "",
     Bound(2, 200, 2)},
    {"print data", 1, Kind::Press, "btnPrintData", "Print data ok.", "Print data error!", "",
     Bound(2, 200, 2)},
    {"print code", 1, Kind::Press, "btnPrintCode", "Print code ok.", "Print code error!", "",
     Bound(2, 200, 2)},
    {"DI/DO test", 0, Kind::Continuous, "btnDIDOTest", "", "Module not find", "",
     8 * (50 + 260) + 400},
    {"card test", 5, Kind::Continuous, "btnRQ3050K_Card", nullptr, "Module not find", "",
     8 * (30 + 260) + 400},
};

enum class Expected {
    Fails,     // the operation reports its failure
    Succeeds,  // the fault stays within what the protocol tolerates
    FirstOk,   // one exchange is answered, then the module is silent
    Either,    // lower-case letters of a checksum: a checksum of two digits still verifies,
               // so the outcome depends on the replies; it must be consistent all the same
};

struct Fault {
    const char* name;
    std::function<void(FaultConfig&)> set;
    Expected outcome = Expected::Fails;
    bool vanish = false;  // the port goes away at the first command the fault selects
};

const Fault kFaults[] = {
    {"drop", [](FaultConfig& f) { f.dropShare = 1.0; }},
    {"delay 150", [](FaultConfig& f) { f.delayMs = 150; }, Expected::Succeeds},
    {"delay 250", [](FaultConfig& f) { f.delayMs = 250; }},
    {"pause mid-frame",
     [](FaultConfig& f) {
         f.pauseAfterByte = 3;
         f.pauseMs = 250;
     }},
    {"wrong checksum", [](FaultConfig& f) { f.wrongChecksum = true; }},
    {"lower-case checksum", [](FaultConfig& f) { f.lowerCaseChecksum = true; }, Expected::Either},
    {"noise", [](FaultConfig& f) { f.noiseBytes = 3; }},
    {"truncated", [](FaultConfig& f) { f.truncateTo = 6; }},
    {"oversized", [](FaultConfig& f) { f.oversizeTo = 2000; }},
    {"silent after 1", [](FaultConfig& f) { f.silenceAfter = 1; }, Expected::FirstOk},
    {"port vanishes", [](FaultConfig&) {}, Expected::Fails, true},
};

// Rows of this process: all, or every n-th from k when QUILLON_MATRIX_SHARD is "k/n".
bool InShard(int index) {
    const QString shard = qEnvironmentVariable("QUILLON_MATRIX_SHARD");
    const int k = shard.section(QLatin1Char('/'), 0, 0).toInt();
    const int n = shard.section(QLatin1Char('/'), 1, 1).toInt();
    return n <= 1 || index % n == k;
}

}  // namespace

class TestFaultMatrix : public QObject {
    Q_OBJECT
  private slots:
    void cell_data();
    void cell();
    void cleanupTestCase();

  private:
    std::map<QString, std::map<QString, QString>> table_;
};

void TestFaultMatrix::cell_data() {
    QTest::addColumn<int>("op");
    QTest::addColumn<int>("fault");
    int index = 0;
    for (size_t o = 0; o < std::size(kOps); ++o)
        for (size_t f = 0; f < std::size(kFaults); ++f)
            if (InShard(index++))
                QTest::addRow("%s / %s", kOps[o].name, kFaults[f].name) << int(o) << int(f);
}

void TestFaultMatrix::cell() {
    QFETCH(int, op);
    QFETCH(int, fault);
    const Op& o = kOps[op];
    const Fault& fa = kFaults[fault];
    VirtualPorts ports;
    ports.addModule(1, kAllModuleTypes[o.tab]);
    WindowFixture f;
    f.writeIni(QStringLiteral("[General]\nType=%1\n").arg(o.tab).toLatin1());
    TfrmModule& w = f.build(&ports, VirtualPortList({1}));
    if (o.kind == Kind::Press || o.kind == Kind::Continuous) {
        // Linked as a scan leaves it, without the scan's exchanges.
        w.Linked = 1;
        w.ModuleId = QStringLiteral("01");
    }
    w.pnMsg->setText(QStringLiteral("before"));
    // The CH #2 serial number, as the settings read shows it.
    for (const char* panel : {"pnRQ3050S_SN", "pnRQ3050K_SN"})
        w.findChild<QLabel*>(QLatin1String(panel))
            ->setText(QString::fromStdString(ports.module(1).ch2Serial));

    ModuleHost& host = ports.host(1);
    FaultConfig faults;
    fa.set(faults);
    if (o.kind == Kind::Read) faults.onlyCommand = o.readLetters;
    host.faults() = faults;
    int heard = 0;
    bool vanished = false;
    host.setReplyOverride([&](const std::string& cmd, const Reply& reply) -> Reply {
        ++heard;
        const bool selected =
            o.kind != Kind::Read || cmd.compare(3, std::strlen(o.readLetters), o.readLetters) == 0;
        if (fa.vanish && selected && !vanished) {
            vanished = true;
            ports.unplug(1);
            return std::nullopt;
        }
        // A continuous test that still runs after a few exchanges is stopped by the user.
        if (o.kind == Kind::Continuous && heard == 8 && w.Polling == 1) Click(w, o.button);
        return reply;
    });

    QElapsedTimer clock;
    clock.start();
    Click(w, o.button);
    const qint64 took = clock.elapsed();
    const size_t writtenAtEnd = ports.written(1).size();
    QTest::qWait(100);

    const QString okText = o.ok ? QString::fromLatin1(o.ok) : QStringLiteral("before");
    const QString failText = QString::fromLatin1(o.fail);
    bool ok = fa.outcome == Expected::Succeeds;
    // One answered exchange is all the command test needs, and all the repeater's raw data
    // (it awaits no reply after its identification); a scan or link finds the module with it
    // and then fails to read it back.
    if (fa.outcome == Expected::FirstOk)
        ok = QLatin1String(o.button) == QLatin1String("btnTest") ||
             QLatin1String(o.button) == QLatin1String("btnRepData");
    if (fa.outcome == Expected::Either) ok = w.pnMsg->text() == okText;
    QString expected = ok ? okText : failText;
    if (!ok && fa.outcome == Expected::FirstOk && (o.kind == Kind::Find || o.kind == Kind::Read))
        expected = QStringLiteral("Module data error! (COM : #1)");
    if (!ok && fa.outcome == Expected::Either && o.kind == Kind::Find &&
        w.pnMsg->text().startsWith(QLatin1String("Module data error!")))
        expected = w.pnMsg->text();  // found with a digits-only checksum, then not read back
    const bool pass = w.pnMsg->text() == expected;
    table_[QString::fromLatin1(o.name)][QString::fromLatin1(fa.name)] =
        QStringLiteral("%1 %2ms").arg(pass ? (ok ? "ok" : "fail") : "WRONG").arg(took);

    QCOMPARE(w.pnMsg->text(), expected);
    QCOMPARE(w.shComm->brushColor(), ok ? QColor(255, 255, 0) : QColor(255, 0, 0));
    QCOMPARE(f.tone.tones.last(), qMakePair(ok ? 1000 : 300, 300));
    QVERIFY2(took <= o.boundMs,
             qPrintable(QStringLiteral("took %1 ms of %2").arg(took).arg(o.boundMs)));
    QVERIFY(w.centralWidget()->isEnabled());
    QVERIFY(w.menuBar()->isEnabled());
    QCOMPARE(w.Polling, uint8_t(0));
    QVERIFY(!w.tmrBusy->isActive());
    QVERIFY(QApplication::overrideCursor() == nullptr);
    QVERIFY(!w.link.isOpen());
    QCOMPARE(ports.written(1).size(), writtenAtEnd);
    if (o.kind == Kind::Continuous)
        QCOMPARE(w.findChild<QPushButton*>(QLatin1String(o.button))->text(),
                 w.Msg(o.tab == 0 ? 71 : 93));
}

void TestFaultMatrix::cleanupTestCase() {
    // The matrix as a table: one line per operation, one column per fault.
    QString head = QStringLiteral("%1").arg(QString(), -18);
    for (const Fault& fa : kFaults)
        head += QStringLiteral(" | %1").arg(QLatin1String(fa.name), -19);
    std::printf("%s\n", qPrintable(head));
    for (const Op& o : kOps) {
        const auto row = table_.find(QString::fromLatin1(o.name));
        if (row == table_.end()) continue;
        QString line = QStringLiteral("%1").arg(QLatin1String(o.name), -18);
        for (const Fault& fa : kFaults) {
            const auto cell = row->second.find(QString::fromLatin1(fa.name));
            line += QStringLiteral(" | %1").arg(
                cell == row->second.end() ? QString() : cell->second, -19);
        }
        std::printf("%s\n", qPrintable(line));
    }
}

QTEST_MAIN(TestFaultMatrix)
#include "test_faultmatrix.moc"
