// The pages of the printer, the controller link module and the repeater, driven through the
// window against a simulated module of each type on the in-process port: the frames the module
// hears, every byte written, the message line, the lamp, the tones and the page's panels.
//
// Each family has one table. A row sets controls ("name=value": a list's index, a bar's
// position, an edit box's or panel's text), presses one button, and may script the module's
// replies to "F" and drop its replies to "B". It then expects the verified command texts the
// module heard, the raw bytes written after them, the message line, texts of panels and lines
// of the simulated module's state (as quillon-sim logs it).
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>
#include <memory>
#include <tuple>

#include "app/pagecontrol.h"
#include "app/shape.h"
#include "link/frame.h"
#include "sim/virtualports.h"
#include "support/windowfixture.h"
#include "text/messagetable.h"

namespace {

constexpr int kPort = 1;
// Tabs of the type selector.
constexpr int kPrinterTab = 1;
constexpr int kLinkTab = 2;
constexpr int kRepeaterTab = 3;

QStringList Commands(const VirtualPorts& ports) {
    QStringList out;
    for (const std::string& c : ports.commands(kPort)) out << QString::fromStdString(c);
    return out;
}

void Click(TfrmModule& w, const char* button) {
    QTest::mouseClick(w.findChild<QPushButton*>(QLatin1String(button)), Qt::LeftButton);
}

// A module of one type on COM1, scanned and linked; records and tones cleared afterwards.
class Bench {
  public:
    Bench(int tab, ModuleType type) : tab_(tab), module_(ports.addModule(kPort, type)) {}

    bool link() {
        f.writeIni(QStringLiteral("[General]\nType=%1\n").arg(tab_).toLatin1());
        w_ = &f.build(&ports, {{kPort, QStringLiteral("/dev/virtual1"), QString()}});
        Click(*w_, "btnScan");
        if (w_->pnMsg->text() != QStringLiteral("Module find ok. (COM : #1)")) return false;
        ports.clearRecords();
        f.tone.tones.clear();
        return true;
    }

    // Replies to successive "F" commands: "-" for silence; past the list, the module's own.
    void scriptStatusReplies(const QStringList& replies) {
        auto count = std::make_shared<int>(0);
        ports.host(kPort).setReplyOverride(
            [replies, count](
                const std::string& command,
                const std::optional<std::string>& reply) -> std::optional<std::string> {
                if (command.size() < 4 || command[3] != 'F' || *count >= replies.size())
                    return reply;
                const QString r = replies.at((*count)++);
                if (r == QLatin1String("-")) return std::nullopt;
                return r.toStdString();
            });
    }

    // The module misses its first n replies to "B".
    void dropIdentification(int n) {
        if (n <= 0) return;
        FaultConfig faults;
        faults.dropShare = 1.0;
        faults.onlyCommand = "B";
        faults.times = n;
        ports.host(kPort).faults() = faults;
    }

    TfrmModule& w() { return *w_; }
    SimModule& module() { return module_; }

    VirtualPorts ports;
    WindowFixture f;

  private:
    int tab_;
    SimModule& module_;
    TfrmModule* w_ = nullptr;
};

// "name=value" settings applied to the window's controls before the button is pressed.
bool Apply(TfrmModule& w, const QStringList& setup) {
    for (const QString& s : setup) {
        const int eq = s.indexOf(QLatin1Char('='));
        const QString name = s.left(eq), value = s.mid(eq + 1);
        QObject* o = w.findChild<QObject*>(name);
        if (auto* list = qobject_cast<QComboBox*>(o)) {
            list->setCurrentIndex(value.toInt());
        } else if (auto* bar = qobject_cast<QScrollBar*>(o)) {
            bar->setValue(value.toInt());
        } else if (auto* box = qobject_cast<QLineEdit*>(o)) {
            box->setText(value);
        } else if (auto* panel = qobject_cast<QLabel*>(o)) {
            panel->setText(value);
        } else {
            qWarning("no control %s", qPrintable(name));
            return false;
        }
    }
    return true;
}

// The columns every family's table has.
void AddColumns() {
    QTest::addColumn<QStringList>("setup");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("statusReplies");
    QTest::addColumn<int>("droppedB");
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("panels");
    QTest::addColumn<QStringList>("moduleState");
}

// Runs one row of a family's table on a freshly linked module of that type.
void RunRow(int tab, ModuleType type) {
    QFETCH(QStringList, setup);
    QFETCH(QString, button);
    QFETCH(QStringList, statusReplies);
    QFETCH(int, droppedB);
    QFETCH(QStringList, commands);
    QFETCH(QByteArray, raw);
    QFETCH(QString, message);
    QFETCH(QStringList, panels);
    QFETCH(QStringList, moduleState);

    Bench b(tab, type);
    QVERIFY(b.link());
    TfrmModule& w = b.w();
    QVERIFY(Apply(w, setup));
    b.scriptStatusReplies(statusReplies);
    b.dropIdentification(droppedB);
    Click(w, qPrintable(button));

    QCOMPARE(Commands(b.ports), commands);
    // Every byte written, in order: the frames of the commands, then any raw data.
    QByteArray written;
    for (const QString& c : commands)
        written += QByteArray::fromStdString(wire::BuildCommandFrame(c.toStdString()));
    written += raw;
    QCOMPARE(QByteArray::fromStdString(b.ports.written(kPort)), written);

    QCOMPARE(w.pnMsg->text(), message);
    const bool ok = message.endsWith(QLatin1String("ok."));
    QCOMPARE(w.shComm->brushColor(), ok ? QColor(255, 255, 0) : QColor(255, 0, 0));
    QCOMPARE(b.f.tone.tones, (QList<QPair<int, int>>{{ok ? 1000 : 300, 300}}));
    for (const QString& p : panels) {
        const int eq = p.indexOf(QLatin1Char('='));
        auto* panel = w.findChild<QLabel*>(p.left(eq));
        QVERIFY2(panel, qPrintable(p));
        QCOMPARE(panel->text(), p.mid(eq + 1));
    }
    const QString state = QString::fromStdString(b.module().describeState());
    for (const QString& line : moduleState)
        QVERIFY2(state.contains(line + QLatin1Char('\n')), qPrintable(line + " in\n" + state));

    // Nothing here changes the line setting the tool talks to the module at.
    QCOMPARE(w.BaudText, QStringLiteral("19200,e,8,1"));
    QCOMPARE(w.cmbBaudRate->currentIndex(), 5);
    for (const auto& open : b.ports.opens())
        QCOMPARE(open.lineSetting, QStringLiteral("19200,e,8,1"));
    // A command that cannot be formed does not even open the port.
    if (commands.isEmpty()) QVERIFY(b.ports.opens().empty());
    QVERIFY(w.centralWidget()->isEnabled());
}

const QString kChinese = QStringLiteral(u"列印測試");

}  // namespace

class TestPages : public QObject {
    Q_OBJECT
  private slots:
    void controllerLink_data();
    void controllerLink();
    void linkSetBaudRateKeepsTalkingAtOldSetting();
    void linkStatusFollowsLanguage();

    void repeater_data();
    void repeater();
    void repeaterBarsAndPanelsAgree();
    void repeaterSendDataAwaitsNothing();

    void printer_data();
    void printer();

    void screenshotsAfterStatusRead();
};

void TestPages::controllerLink_data() {
    AddColumns();
    const QString statusOk = MessageTable::text(45, 0), statusError = MessageTable::text(46, 0);
    QTest::newRow("status O") << QStringList{"pnLinkStatus=old"} << "btnLinkStatus"
                              << QStringList{"F01FO"} << 0 << QStringList{"F01B", "F01F"}
                              << QByteArray() << "Get status ok."
                              << QStringList{"pnLinkStatus=" + statusOk} << QStringList{};
    QTest::newRow("status other character")
        << QStringList{} << "btnLinkStatus" << QStringList{"F01FE"} << 0
        << QStringList{"F01B", "F01F"} << QByteArray() << "Get status ok."
        << QStringList{"pnLinkStatus=" + statusError} << QStringList{};
    QTest::newRow("status digit zero")
        << QStringList{} << "btnLinkStatus" << QStringList{"F01F0"} << 0
        << QStringList{"F01B", "F01F"} << QByteArray() << "Get status ok."
        << QStringList{"pnLinkStatus=" + statusError} << QStringList{};
    QTest::newRow("status 8 bytes: one F")
        << QStringList{"pnLinkStatus=old"} << "btnLinkStatus" << QStringList{"F01F"} << 0
        << QStringList{"F01B", "F01F"} << QByteArray() << "Get status error!"
        << QStringList{"pnLinkStatus=old"} << QStringList{};
    QTest::newRow("status 10 bytes: one F")
        << QStringList{"pnLinkStatus=old"} << "btnLinkStatus" << QStringList{"F01FOO"} << 0
        << QStringList{"F01B", "F01F"} << QByteArray() << "Get status error!"
        << QStringList{"pnLinkStatus=old"} << QStringList{};
    QTest::newRow("status no reply, then fresh B")
        << QStringList{} << "btnLinkStatus" << QStringList{"-"} << 0
        << QStringList{"F01B", "F01F", "F01B", "F01F"} << QByteArray() << "Get status ok."
        << QStringList{"pnLinkStatus=" + statusOk} << QStringList{};

    QTest::newRow("data record, initial texts")
        << QStringList{} << "btnLinkSendData" << QStringList{} << 0
        << QStringList{"F01B", "F01G000103200605301520450000010000000000027CBB01"} << QByteArray()
        << "Send data ok." << QStringList{}
        << QStringList{"records: 1", "  000103200605301520450000010000000000027CBB01"};
    QTest::newRow("data record, reader ID emptied")
        << QStringList{"edLinkRDID="} << "btnLinkSendData" << QStringList{} << 0
        << QStringList{"F01B", "F01G0001200605301520450000010000000000027CBB01"} << QByteArray()
        << "Send data ok." << QStringList{} << QStringList{};
    QTest::newRow("data record, short card ID not filled up")
        << QStringList{"edLinkCardID=7CBB"} << "btnLinkSendData" << QStringList{} << 0
        << QStringList{"F01B", "F01G000103200605301520450000017CBB01"} << QByteArray()
        << "Send data ok." << QStringList{} << QStringList{};
    QTest::newRow("data record, Chinese text: nothing sent")
        << QStringList{"edLinkType=" + kChinese.left(2)} << "btnLinkSendData" << QStringList{} << 0
        << QStringList{} << QByteArray() << "Send data error!" << QStringList{}
        << QStringList{"records: 0"};
    QTest::newRow("data record, no B reply")
        << QStringList{} << "btnLinkSendData" << QStringList{} << 2 << QStringList{"F01B", "F01B"}
        << QByteArray() << "Send data error!" << QStringList{} << QStringList{"records: 0"};

    QTest::newRow("port 115200,e,8,1 -> KB")
        << QStringList{"cmbLinkPort=11"} << "btnLinkPort" << QStringList{} << 0
        << QStringList{"F01B", "F01KB"} << QByteArray() << "Set baud rate ok." << QStringList{}
        << QStringList{"port: B (115200,e,8,1)"};
    QTest::newRow("port 4800,n,8,1 -> K0")
        << QStringList{"cmbLinkPort=0"} << "btnLinkPort" << QStringList{} << 0
        << QStringList{"F01B", "F01K0"} << QByteArray() << "Set baud rate ok." << QStringList{}
        << QStringList{"port: 0 (4800,n,8,1)"};
    QTest::newRow("port without selection: nothing sent")
        << QStringList{"cmbLinkPort=-1"} << "btnLinkPort" << QStringList{} << 0 << QStringList{}
        << QByteArray() << "Set baud rate error!" << QStringList{}
        << QStringList{"port: 2 (9600,n,8,1)"};

    QTest::newRow("mode MP3 play -> A2")
        << QStringList{"cmbLinkMode=2"} << "btnLinkMode" << QStringList{} << 0
        << QStringList{"F01B", "F01A2"} << QByteArray() << "Set run mode ok." << QStringList{}
        << QStringList{"run mode: 2"};
    QTest::newRow("mode DVR system -> A0")
        << QStringList{"cmbLinkMode=0"} << "btnLinkMode" << QStringList{} << 0
        << QStringList{"F01B", "F01A0"} << QByteArray() << "Set run mode ok." << QStringList{}
        << QStringList{"run mode: 0"};
    QTest::newRow("mode without selection: nothing sent")
        << QStringList{"cmbLinkMode=-1"} << "btnLinkMode" << QStringList{} << 0 << QStringList{}
        << QByteArray() << "Set run mode error!" << QStringList{} << QStringList{"run mode: 0"};
}

void TestPages::controllerLink() {
    RunRow(kLinkTab, ModuleType::RQ3030);
}

void TestPages::linkSetBaudRateKeepsTalkingAtOldSetting() {
    Bench b(kLinkTab, ModuleType::RQ3030);
    QVERIFY(b.link());
    TfrmModule& w = b.w();
    w.control<QComboBox>("cmbLinkPort")->setCurrentIndex(11);
    Click(w, "btnLinkPort");
    QCOMPARE(w.pnMsg->text(), QStringLiteral("Set baud rate ok."));
    Click(w, "btnLinkMode");
    QCOMPARE(w.pnMsg->text(), QStringLiteral("Set run mode ok."));
    QCOMPARE(Commands(b.ports), (QStringList{"F01B", "F01KB", "F01B", "F01A0"}));
    for (const auto& open : b.ports.opens())
        QCOMPARE(open.lineSetting, QStringLiteral("19200,e,8,1"));
    QCOMPARE(w.control<QComboBox>("cmbLinkPort")->currentIndex(), 11);
    QCOMPARE(w.BaudIndex, 5);
}

void TestPages::linkStatusFollowsLanguage() {
    Bench b(kLinkTab, ModuleType::RQ3030);
    QVERIFY(b.link());
    TfrmModule& w = b.w();
    w.mnuSimplifiedClick();
    Click(w, "btnLinkStatus");
    QCOMPARE(w.pnMsg->text(), MessageTable::text(58, 1));
    QCOMPARE(w.control<QLabel>("pnLinkStatus")->text(), MessageTable::text(45, 1));
}

void TestPages::repeater_data() {
    AddColumns();
    const QString statusOk = MessageTable::text(45, 0), statusError = MessageTable::text(46, 0);
    QTest::newRow("status O") << QStringList{} << "btnRepStatus" << QStringList{"X01FO"} << 0
                              << QStringList{"X01B", "X01F"} << QByteArray() << "Get status ok."
                              << QStringList{"pnRepStatus=" + statusOk} << QStringList{};
    QTest::newRow("status other character")
        << QStringList{} << "btnRepStatus" << QStringList{"X01FB"} << 0
        << QStringList{"X01B", "X01F"} << QByteArray() << "Get status ok."
        << QStringList{"pnRepStatus=" + statusError} << QStringList{};
    QTest::newRow("status 8 bytes: one F")
        << QStringList{"pnRepStatus=old"} << "btnRepStatus" << QStringList{"X01F"} << 0
        << QStringList{"X01B", "X01F"} << QByteArray() << "Get status error!"
        << QStringList{"pnRepStatus=old"} << QStringList{};
    QTest::newRow("status 10 bytes: one F")
        << QStringList{"pnRepStatus=old"} << "btnRepStatus" << QStringList{"X01FOK"} << 0
        << QStringList{"X01B", "X01F"} << QByteArray() << "Get status error!"
        << QStringList{"pnRepStatus=old"} << QStringList{};

    QTest::newRow("port 115200,n,8,1 -> KA")
        << QStringList{"cmbRepPort=10"} << "btnRepPort" << QStringList{} << 0
        << QStringList{"X01B", "X01KA"} << QByteArray() << "Set baud rate ok." << QStringList{}
        << QStringList{"port: A (115200,n,8,1)"};
    QTest::newRow("port 9600,e,8,1 -> K3")
        << QStringList{"cmbRepPort=3"} << "btnRepPort" << QStringList{} << 0
        << QStringList{"X01B", "X01K3"} << QByteArray() << "Set baud rate ok." << QStringList{}
        << QStringList{"port: 3 (9600,e,8,1)"};
    QTest::newRow("port 19200,e,8,1 -> K5")
        << QStringList{"cmbRepPort=5"} << "btnRepPort" << QStringList{} << 0
        << QStringList{"X01B", "X01K5"} << QByteArray() << "Set baud rate ok." << QStringList{}
        << QStringList{"port: 5 (19200,e,8,1)"};
    QTest::newRow("port without selection: nothing sent")
        << QStringList{"cmbRepPort=-1"} << "btnRepPort" << QStringList{} << 0 << QStringList{}
        << QByteArray() << "Set baud rate error!" << QStringList{} << QStringList{};

    QTest::newRow("delays 15/10 -> A0F0A")
        << QStringList{"sbRepTxOn=15", "sbRepTxOff=10"} << "btnRepTx" << QStringList{} << 0
        << QStringList{"X01B", "X01A0F0A"} << QByteArray() << "Set TX delay ok."
        << QStringList{"pnRepTxOn=15", "pnRepTxOff=10"}
        << QStringList{"tx on delay: 15", "tx off delay: 10"};
    QTest::newRow("delays 1/1 -> A0101")
        << QStringList{"sbRepTxOn=1", "sbRepTxOff=1"} << "btnRepTx" << QStringList{} << 0
        << QStringList{"X01B", "X01A0101"} << QByteArray() << "Set TX delay ok."
        << QStringList{"pnRepTxOn=1", "pnRepTxOff=1"}
        << QStringList{"tx on delay: 1", "tx off delay: 1"};
    QTest::newRow("delays 255/255 -> AFFFF")
        << QStringList{"sbRepTxOn=255", "sbRepTxOff=255"} << "btnRepTx" << QStringList{} << 0
        << QStringList{"X01B", "X01AFFFF"} << QByteArray() << "Set TX delay ok."
        << QStringList{"pnRepTxOn=255", "pnRepTxOff=255"}
        << QStringList{"tx on delay: 255", "tx off delay: 255"};
    QTest::newRow("delays 255/1 -> AFF01")
        << QStringList{"sbRepTxOn=255", "sbRepTxOff=1"} << "btnRepTx" << QStringList{} << 0
        << QStringList{"X01B", "X01AFF01"} << QByteArray() << "Set TX delay ok."
        << QStringList{"pnRepTxOn=255", "pnRepTxOff=1"} << QStringList{};

    QTest::newRow("data 1234 raw")
        << QStringList{} << "btnRepData" << QStringList{} << 0 << QStringList{"X01B"}
        << QByteArray("\x31\x32\x33\x34") << "Send data ok." << QStringList{}
        << QStringList{"raw received: 1234"};
    QTest::newRow("data empty writes nothing")
        << QStringList{"edRepData="} << "btnRepData" << QStringList{} << 0 << QStringList{"X01B"}
        << QByteArray() << "Send data ok." << QStringList{} << QStringList{"raw received: "};
    QTest::newRow("data Latin-1, one byte each")
        << QStringList{QStringLiteral(u"edRepData=caf\u00e9\u00ff")} << "btnRepData"
        << QStringList{} << 0 << QStringList{"X01B"} << QByteArray("caf\xE9\xFF") << "Send data ok."
        << QStringList{} << QStringList{"raw received: caf[E9][FF]"};
    QTest::newRow("data beyond Latin-1: nothing sent")
        << QStringList{"edRepData=12" + kChinese} << "btnRepData" << QStringList{} << 0
        << QStringList{} << QByteArray() << "Send data error!" << QStringList{}
        << QStringList{"raw received: "};
    QTest::newRow("data, no B reply: nothing raw")
        << QStringList{} << "btnRepData" << QStringList{} << 2 << QStringList{"X01B", "X01B"}
        << QByteArray() << "Send data error!" << QStringList{} << QStringList{"raw received: "};
    QTest::newRow("data, B missed once")
        << QStringList{} << "btnRepData" << QStringList{} << 1 << QStringList{"X01B", "X01B"}
        << QByteArray("1234") << "Send data ok." << QStringList{} << QStringList{};
}

void TestPages::repeater() {
    RunRow(kRepeaterTab, ModuleType::RQ3040);
}

void TestPages::repeaterBarsAndPanelsAgree() {
    // The bars start where their panels say, so a set TX delay straight after start-up sends
    // what the page shows.
    WindowFixture f;
    TfrmModule& w = f.build();
    for (const auto& [bar, panel, value] :
         {std::tuple{"sbRepTxOn", "pnRepTxOn", 15}, std::tuple{"sbRepTxOff", "pnRepTxOff", 10}}) {
        QCOMPARE(w.control<QScrollBar>(bar)->value(), value);
        QCOMPARE(w.control<QLabel>(panel)->text(), QString::number(value));
        // Clamped into 1..255, and the panel follows without leading zeros.
        w.control<QScrollBar>(bar)->setValue(0);
        QCOMPARE(w.control<QLabel>(panel)->text(), QStringLiteral("1"));
        w.control<QScrollBar>(bar)->setValue(300);
        QCOMPARE(w.control<QLabel>(panel)->text(), QStringLiteral("255"));
    }
}

void TestPages::repeaterSendDataAwaitsNothing() {
    Bench b(kRepeaterTab, ModuleType::RQ3040);
    QVERIFY(b.link());
    TfrmModule& w = b.w();
    QElapsedTimer t;
    t.start();
    Click(w, "btnRepData");
    const qint64 elapsed = t.elapsed();
    QCOMPARE(w.pnMsg->text(), QStringLiteral("Send data ok."));
    // No transaction after the "B": the traffic lines still show that exchange, and the
    // operation took its two pauses and one exchange, not a silence of 200 ms on top.
    QVERIFY(w.sbCommSent->text().startsWith(QLatin1String("[09]X01B")));
    QVERIFY(w.sbCommReceived->text().startsWith(QLatin1String("[0A]X01B")));
    QVERIFY2(elapsed < 200 + Link::kSilenceLimitMs, qPrintable(QString::number(elapsed)));
    QCOMPARE(b.module().rawReceived, std::string("1234"));
}

void TestPages::printer_data() {
    AddColumns();
    QTest::newRow("status O") << QStringList{} << "btnPrintStatus" << QStringList{"E01FO"} << 0
                              << QStringList{"E01B", "E01F"} << QByteArray() << "Get status ok."
                              << QStringList{"pnPrintStatus=Print ok."} << QStringList{};
    QTest::newRow("status P") << QStringList{} << "btnPrintStatus" << QStringList{"E01FP"} << 0
                              << QStringList{"E01B", "E01F"} << QByteArray() << "Get status ok."
                              << QStringList{"pnPrintStatus=Print paper out!"} << QStringList{};
    QTest::newRow("status E") << QStringList{} << "btnPrintStatus" << QStringList{"E01FE"} << 0
                              << QStringList{"E01B", "E01F"} << QByteArray() << "Get status ok."
                              << QStringList{"pnPrintStatus=Print error!"} << QStringList{};
    QTest::newRow("status N") << QStringList{} << "btnPrintStatus" << QStringList{"E01FN"} << 0
                              << QStringList{"E01B", "E01F"} << QByteArray() << "Get status ok."
                              << QStringList{"pnPrintStatus=Print no select!"} << QStringList{};
    QTest::newRow("status B") << QStringList{} << "btnPrintStatus" << QStringList{"E01FB"} << 0
                              << QStringList{"E01B", "E01F"} << QByteArray() << "Get status ok."
                              << QStringList{"pnPrintStatus=Print busy!"} << QStringList{};
    QTest::newRow("status F") << QStringList{} << "btnPrintStatus" << QStringList{"E01FF"} << 0
                              << QStringList{"E01B", "E01F"} << QByteArray() << "Get status ok."
                              << QStringList{"pnPrintStatus=Buffer full!"} << QStringList{};
    QTest::newRow("status X keeps the old text")
        << QStringList{"pnPrintStatus=Print busy!"} << "btnPrintStatus" << QStringList{"E01FX"} << 0
        << QStringList{"E01B", "E01F"} << QByteArray() << "Get status ok."
        << QStringList{"pnPrintStatus=Print busy!"} << QStringList{};
    QTest::newRow("status 10 bytes: one try")
        << QStringList{"pnPrintStatus=Print busy!"} << "btnPrintStatus" << QStringList{"E01FPP"}
        << 0 << QStringList{"E01B", "E01F"} << QByteArray() << "Get status error!"
        << QStringList{"pnPrintStatus=Print busy!"} << QStringList{};
    QTest::newRow("status 8 bytes: one try")
        << QStringList{} << "btnPrintStatus" << QStringList{"E01F"} << 0
        << QStringList{"E01B", "E01F"} << QByteArray() << "Get status error!"
        << QStringList{"pnPrintStatus="} << QStringList{};
    QTest::newRow("status no reply, then fresh B")
        << QStringList{} << "btnPrintStatus" << QStringList{"-"} << 0
        << QStringList{"E01B", "E01F", "E01B", "E01F"} << QByteArray() << "Get status ok."
        << QStringList{"pnPrintStatus=Print ok."} << QStringList{};
    QTest::newRow("status never answered")
        << QStringList{} << "btnPrintStatus" << QStringList{"-", "-"} << 0
        << QStringList{"E01B", "E01F", "E01B", "E01F"} << QByteArray() << "Get status error!"
        << QStringList{"pnPrintStatus="} << QStringList{};

    QTest::newRow("print data, initial text")
        << QStringList{} << "btnPrintData" << QStringList{} << 0
        << QStringList{"E01B", "E01GPrint test."} << QByteArray() << "Print data ok."
        << QStringList{} << QStringList{"printed: 1", "  text Print test."};
    QTest::newRow("print data empty: bare G")
        << QStringList{"edPrintData="} << "btnPrintData" << QStringList{} << 0
        << QStringList{"E01B", "E01G"} << QByteArray() << "Print data ok." << QStringList{}
        << QStringList{"printed: 1", "  text "};
    QTest::newRow("print data Chinese: nothing sent")
        << QStringList{"edPrintData=" + kChinese} << "btnPrintData" << QStringList{} << 0
        << QStringList{} << QByteArray() << "Print data error!" << QStringList{}
        << QStringList{"printed: 0"};
    QTest::newRow("print data, no B reply")
        << QStringList{} << "btnPrintData" << QStringList{} << 2 << QStringList{"E01B", "E01B"}
        << QByteArray() << "Print data error!" << QStringList{} << QStringList{"printed: 0"};

    QTest::newRow("print code 0D0A as four characters")
        << QStringList{} << "btnPrintCode" << QStringList{} << 0 << QStringList{"E01B", "E01H0D0A"}
        << QByteArray() << "Print code ok." << QStringList{}
        << QStringList{"printed: 1", "  code 0D0A"};
    QTest::newRow("print code not hex, sent as typed")
        << QStringList{"edPrintCode=1B@ xyz"} << "btnPrintCode" << QStringList{} << 0
        << QStringList{"E01B", "E01H1B@ xyz"} << QByteArray() << "Print code ok." << QStringList{}
        << QStringList{"  code 1B@ xyz"};
    QTest::newRow("print code empty: bare H")
        << QStringList{"edPrintCode="} << "btnPrintCode" << QStringList{} << 0
        << QStringList{"E01B", "E01H"} << QByteArray() << "Print code ok." << QStringList{}
        << QStringList{"printed: 1"};
    QTest::newRow("print code Chinese: nothing sent")
        << QStringList{"edPrintCode=0D" + kChinese} << "btnPrintCode" << QStringList{} << 0
        << QStringList{} << QByteArray() << "Print code error!" << QStringList{}
        << QStringList{"printed: 0"};
}

void TestPages::printer() {
    RunRow(kPrinterTab, ModuleType::RQ3020);
}

void TestPages::screenshotsAfterStatusRead() {
    // Pictures for a person to look at: QUILLON_SCREENSHOTS=<dir> saves each page after a
    // successful status read.
    const QString dir = qEnvironmentVariable("QUILLON_SCREENSHOTS");
    if (dir.isEmpty()) QSKIP("set QUILLON_SCREENSHOTS to a directory to save screenshots");
    struct Page {
        int tab;
        ModuleType type;
        const char* button;
        const char* file;
    };
    for (const Page& p : {Page{kPrinterTab, ModuleType::RQ3020, "btnPrintStatus", "tsPRINT"},
                          Page{kLinkTab, ModuleType::RQ3030, "btnLinkStatus", "tsLINK"},
                          Page{kRepeaterTab, ModuleType::RQ3040, "btnRepStatus", "tsREP"}}) {
        Bench b(p.tab, p.type);
        b.module().status = p.tab == kPrinterTab ? 'P' : 'O';
        QVERIFY(b.link());
        Click(b.w(), p.button);
        QCOMPARE(b.w().pnMsg->text(), QStringLiteral("Get status ok."));
        QVERIFY(b.w().grab().save(QStringLiteral("%1/%2-status.png").arg(dir, p.file)));
    }
}

QTEST_MAIN(TestPages)
#include "test_pages.moc"
