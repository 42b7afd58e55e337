// The main window as a user first meets it: defaults, remembered values, closing, the lamp,
// the traffic lines, the language switch and the error box.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTabWidget>
#include <QtTest>

#include "app/pagecontrol.h"
#include "app/shape.h"
#include "sim/virtualports.h"
#include "support/windowfixture.h"

namespace {

QString Text(TfrmModule& w, const char* name) {
    QObject* o = w.findChild<QObject*>(QString::fromLatin1(name));
    if (auto* l = qobject_cast<QLabel*>(o)) return l->text();
    if (auto* b = qobject_cast<QAbstractButton*>(o)) return b->text();
    if (auto* g = qobject_cast<QGroupBox*>(o)) return g->title();
    if (auto* e = qobject_cast<QLineEdit*>(o)) return e->text();
    if (auto* a = qobject_cast<QAction*>(o)) return a->text();
    return QStringLiteral("<no %1>").arg(QLatin1String(name));
}

bool TabVisible(TfrmModule& w, const char* page) {
    return w.pcOther->isTabVisible(w.pcOther->indexOf(w.findChild<QWidget*>(QLatin1String(page))));
}

}  // namespace

class TestWindow : public QObject {
    Q_OBJECT
  private slots:
    void firstStartWithNothingStored();
    void everyControlOfEveryPageExists();
    void rememberedValues();
    void portZeroAndNoActiveTab();
    void typeSelection();
    void closingRefusedWhilePollingSavesOtherwise();
    void lampAlternatesAndKeepsPhase();
    void busyDisablesAndEnables();
    void trafficLines();
    void languageSwitch_data();
    void languageSwitch();
    void barsAndPanelsFollowEachOther();
    void escapedExceptionShowsErrorBox();
    void portBoxFromMappedPorts();
    void screenshots();
};

void TestWindow::firstStartWithNothingStored() {
    WindowFixture f;
    TfrmModule& w = f.build();
    QCOMPARE(w.cmbPort->currentText(), QStringLiteral("COM1"));
    QCOMPARE(w.cmbPort->count(), 16);  // nothing listed: COM1..COM16
    QCOMPARE(w.cmbBaudRate->currentText(), QStringLiteral("19200,e,8,1"));
    QCOMPARE(w.pcMain->currentIndex(), 0);
    QCOMPARE(w.TypePrefix, QStringLiteral("B"));
    QCOMPARE(w.pcOther->currentWidget()->objectName(), QStringLiteral("tsDIDO"));
    QVERIFY(TabVisible(w, "tsDIDO"));
    QVERIFY(TabVisible(w, "tsCommand"));
    QVERIFY(!TabVisible(w, "tsPRINT"));
    QCOMPARE(w.pnMsg->text(), QStringLiteral("Start select module type."));
    QCOMPARE(w.pnSerial->text(), QStringLiteral("S/N : ________"));
    QCOMPARE(w.pnVersion->text(), QStringLiteral("VER : __.__-__"));
    QCOMPARE(w.windowTitle(), QStringLiteral("Quillon V0536"));
    QCOMPARE(w.PortNo, 1);
    QCOMPARE(w.BaudText, QStringLiteral("19200,e,8,1"));
    QCOMPARE(w.LangFlag, QStringLiteral("English"));
    QCOMPARE(w.Linked, uint8_t(0));
    QVERIFY(w.findChild<QPushButton*>(QStringLiteral("btnScan"))->isDefault());
    QVERIFY(w.chkLock->isChecked());
    QCOMPARE(w.centralWidget()->size(), QSize(771, 631));
    QCOMPARE(w.shComm->brushColor(), QColor(255, 0, 0));
    QVERIFY(!QFile::exists(f.iniPath()));  // nothing is written before closing
}

void TestWindow::everyControlOfEveryPageExists() {
    WindowFixture f;
    TfrmModule& w = f.build();
    const char* buttons[] = {
        "btnScan",         "btnLink",       "btnID",           "btnBaudRate",
        "btnDIDOMode",     "btnDIDONoNc",   "btnDIDOTest",     "btnPrintStatus",
        "btnPrintData",    "btnPrintCode",  "btnLinkStatus",   "btnLinkSendData",
        "btnLinkPort",     "btnLinkMode",   "btnRepStatus",    "btnRepPort",
        "btnRepTx",        "btnRepData",    "btnRQ3050S_ID",   "btnRQ3050S_Mode",
        "btnRQ3050S_Card", "btnRQ3050K_ID", "btnRQ3050K_Mode", "btnRQ3050K_Card",
        "btnKeyNumber",    "btnTest",       "btnFactory"};
    for (const char* b : buttons) QVERIFY2(w.findChild<QPushButton*>(QLatin1String(b)), b);
    for (int k = 1; k <= 16; ++k) {
        QVERIFY(w.findChild<QCheckBox*>(QStringLiteral("chkDI%1").arg(k)));
        QVERIFY(w.findChild<QCheckBox*>(QStringLiteral("chkDO%1").arg(k)));
        auto* sh = w.findChild<Shape*>(QStringLiteral("shDI%1").arg(k));
        QVERIFY(sh);
        QCOMPARE(sh->brushColor(), QColor(Qt::white));
    }
    struct Edit {
        const char* name;
        const char* text;
        int max;
    };
    const Edit edits[] = {{"edLinkCRID", "0001", 4},
                          {"edLinkRDID", "03", 2},
                          {"edLinkDate", "20060530152045", 14},
                          {"edLinkCardNo", "000001", 6},
                          {"edLinkCardID", "0000000000027CBB", 16},
                          {"edLinkType", "01", 2},
                          {"edRepData", "1234", 16},
                          {"edPrintData", "Print test.", 32767},
                          {"edPrintCode", "0D0A", 32767},
                          {"edTestSend", "V", 32767}};
    for (const Edit& e : edits) {
        auto* ed = w.findChild<QLineEdit*>(QLatin1String(e.name));
        QVERIFY2(ed, e.name);
        QCOMPARE(ed->text(), QLatin1String(e.text));
        QCOMPARE(ed->maxLength(), e.max);
    }
    QVERIFY(w.findChild<QLineEdit*>(QStringLiteral("edTestRecv"))->isReadOnly());
    struct List {
        const char* name;
        int count;
        int index;
        const char* text;
    };
    const List lists[] = {
        {"cmbDIDOMode", 2, 0, "Hold(default)"},     {"cmbLinkPort", 12, 2, "9600,n,8,1"},
        {"cmbLinkMode", 3, 0, "'0' -> DVR system"}, {"cmbRepPort", 12, 5, "19200,e,8,1"},
        {"cmbRQ3050S_Mode", 4, 1, "RS485 32"},      {"cmbRQ3050K_Mode", 4, 1, "RS485 32"},
        {"cmbBaudRate", 12, 5, "19200,e,8,1"}};
    for (const List& l : lists) {
        auto* c = w.findChild<QComboBox*>(QLatin1String(l.name));
        QVERIFY2(c, l.name);
        QCOMPARE(c->count(), l.count);
        QCOMPARE(c->currentIndex(), l.index);
        QCOMPARE(c->currentText(), QLatin1String(l.text));
    }
    struct Bar {
        const char* bar;
        int min, max, value, page;
        const char* panel;
        const char* shown;
    };
    const Bar bars[] = {{"sbID", 1, 99, 1, 10, "pnID", "01"},
                        {"sbRepTxOn", 1, 255, 15, 10, "pnRepTxOn", "15"},
                        {"sbRepTxOff", 1, 255, 10, 10, "pnRepTxOff", "10"},
                        {"sbRQ3050S_ID", 1, 99, 5, 10, "pnRQ3050S_ID", "05"},
                        {"sbRQ3050K_ID", 1, 99, 5, 10, "pnRQ3050K_ID", "05"},
                        {"sbKeyNumber", 0, 16, 4, 3, "pnKeyNumber", "04"}};
    for (const Bar& b : bars) {
        auto* s = w.findChild<QScrollBar*>(QLatin1String(b.bar));
        QVERIFY2(s, b.bar);
        QCOMPARE(s->minimum(), b.min);
        QCOMPARE(s->maximum(), b.max);
        QCOMPARE(s->value(), b.value);
        QCOMPARE(s->pageStep(), b.page);
        QCOMPARE(Text(w, b.panel), QLatin1String(b.shown));
    }
    QCOMPARE(w.pcOther->count(), 7);
    QCOMPARE(w.pnMsg->palette().color(QPalette::Window), QColor(166, 202, 240));
}

void TestWindow::rememberedValues() {
    WindowFixture f;
    f.writeIni(
        "[General]\nType=3\nScanCommNo=7\nScanBaudRate=\"9600,e,8,1\"\nScanBaudRateNo=3\n"
        "LanguageFlag=ChineseBIG5\n");
    TfrmModule& w = f.build(nullptr, {{1, QStringLiteral("/dev/ttyS0"), QString()}});
    QCOMPARE(w.cmbPort->count(), 1);
    QCOMPARE(w.cmbPort->currentText(), QStringLiteral("COM7"));  // shown although not listed
    QCOMPARE(w.PortNo, 7);
    QCOMPARE(w.cmbBaudRate->currentIndex(), 3);
    QCOMPARE(w.pcMain->currentIndex(), 3);
    QCOMPARE(w.TypePrefix, QStringLiteral("X"));
    QCOMPARE(w.LangIndex, 2);
    QCOMPARE(w.pnMsg->text(), QStringLiteral("請先選擇模組型號."));
}

void TestWindow::portZeroAndNoActiveTab() {
    WindowFixture f;
    f.writeIni("[General]\nType=-1\nScanCommNo=0\n");
    TfrmModule& w = f.build();
    QCOMPARE(w.PortNo, 1);
    QCOMPARE(w.cmbPort->currentText(), QStringLiteral("COM1"));
    QCOMPARE(w.pcMain->currentIndex(), -1);
    QCOMPARE(w.TypePrefix, QStringLiteral("B"));
    QCOMPARE(w.pcOther->currentWidget()->objectName(), QStringLiteral("tsCommand"));
    for (const char* p : {"tsDIDO", "tsPRINT", "tsLINK", "tsREP", "tsW50S", "tsW50K"})
        QVERIFY2(!TabVisible(w, p), p);
    w.close();
    QSettings s(f.iniPath(), QSettings::IniFormat);
    QCOMPARE(s.value(QStringLiteral("Type")).toInt(), -1);
}

void TestWindow::typeSelection() {
    WindowFixture f;
    TfrmModule& w = f.build();
    const char* prefixes[] = {"B", "E", "F", "X", "A", "H"};
    const char* pages[] = {"tsDIDO", "tsPRINT", "tsLINK", "tsREP", "tsW50S", "tsW50K"};
    w.Linked = 1;
    for (int i = 5; i >= 0; --i) {
        w.pcMain->clickTab(i);
        QCOMPARE(w.TypePrefix, QLatin1String(prefixes[i]));
        QCOMPARE(w.pcOther->currentWidget()->objectName(), QLatin1String(pages[i]));
        for (int j = 0; j < 6; ++j) QCOMPARE(TabVisible(w, pages[j]), i == j);
        QCOMPARE(w.Linked, uint8_t(1));
    }
}

void TestWindow::closingRefusedWhilePollingSavesOtherwise() {
    WindowFixture f;
    TfrmModule& w = f.build();
    w.Polling = 1;
    QVERIFY(!w.close());
    QVERIFY(w.isVisible());
    QVERIFY(!QFile::exists(f.iniPath()));
    w.findChild<QAction*>(QStringLiteral("mnuExit"))->trigger();
    QVERIFY(w.isVisible());
    w.Polling = 0;
    w.PortNo = 4;
    w.pcMain->clickTab(2);
    w.findChild<QAction*>(QStringLiteral("mnuExit"))->trigger();
    QVERIFY(!w.isVisible());
    QSettings s(f.iniPath(), QSettings::IniFormat);
    QCOMPARE(s.value(QStringLiteral("Type")).toInt(), 2);
    QCOMPARE(s.value(QStringLiteral("ScanCommNo")).toInt(), 4);
    QCOMPARE(s.value(QStringLiteral("ScanBaudRateNo")).toInt(), 5);
    QCOMPARE(s.value(QStringLiteral("ScanBaudRate")).toString(), QStringLiteral("19200,e,8,1"));
    QVERIFY(!s.contains(QStringLiteral("LanguageFlag")));
}

void TestWindow::lampAlternatesAndKeepsPhase() {
    WindowFixture f;
    TfrmModule& w = f.build();
    const QColor red(255, 0, 0), yellow(255, 255, 0);
    w.tmrBusyTimer();
    QCOMPARE(w.shComm->brushColor(), red);  // the first tick paints red
    w.tmrBusyTimer();
    QCOMPARE(w.shComm->brushColor(), yellow);
    w.tmrBusyTimer();
    QCOMPARE(w.shComm->brushColor(), red);
    // A new busy period goes on where the last one stopped: the next tick paints yellow.
    w.SetBusy(1);
    QTRY_COMPARE_WITH_TIMEOUT(w.shComm->brushColor(), yellow, 1000);
    QTRY_COMPARE_WITH_TIMEOUT(w.shComm->brushColor(), red, 1000);
    w.SetBusy(0);
    const QColor kept = w.shComm->brushColor();
    QTest::qWait(500);
    QCOMPARE(w.shComm->brushColor(), kept);
}

void TestWindow::busyDisablesAndEnables() {
    WindowFixture f;
    TfrmModule& w = f.build();
    auto* scan = w.findChild<QPushButton*>(QStringLiteral("btnScan"));
    w.SetBusy(1);
    QVERIFY(!scan->isEnabled());
    QVERIFY(w.tmrBusy->isActive());
    w.SetBusy(2);  // anything but 1 is off
    QVERIFY(scan->isEnabled());
    QVERIFY(!w.tmrBusy->isActive());
}

void TestWindow::trafficLines() {
    WindowFixture f;
    TfrmModule& w = f.build();
    emit w.link.sentTraffic(QStringLiteral("[09]B01V1C[0D]"));
    emit w.link.receivedTraffic(QStringLiteral("[0A]B01V01.20-3604[0D]"));
    QCOMPARE(w.sbCommSent->text(), QStringLiteral("[09]B01V1C[0D]"));
    QCOMPARE(w.sbCommReceived->text(), QStringLiteral("[0A]B01V01.20-3604[0D]"));
}

void TestWindow::languageSwitch_data() {
    QTest::addColumn<int>("lang");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QStringList>("expected");  // name=text pairs
    QTest::addColumn<int>("pointSize");
    QTest::addColumn<QString>("flag");
    QTest::newRow("Simplified") << 1 << "mnuSimplified"
                                << QStringList{"btnScan=扫描模组",
                                               "lblCom=串口:",
                                               "lblID=识别码:",
                                               "pnSerial=序号 : 12345678",
                                               "pnVersion=版本 : __.__-__",
                                               "pnMsg=模组机资讯完成. (串口 : #1)",
                                               "lblTestSend=指令",
                                               "lblKeyNumber=按键数:",
                                               "lblPrintData=列印资料:",
                                               "btnFactory=设定出厂预设",
                                               "mnuExit=离开(&x)"}
                                << 12 << "ChineseGB";
    QTest::newRow("Traditional") << 2 << "mnuTraditional"
                                 << QStringList{"btnScan=掃描模組",
                                                "lblRepStatus=狀態:",
                                                "gbOther=特殊設定",
                                                "pnMsg=模組資訊完成. (串口 : #1)",
                                                "btnRQ3050K_Card=讀卡測試",
                                                "mnuFile=檔案(&F)"}
                                 << 12 << "ChineseBIG5";
    QTest::newRow("English") << 0 << "mnuEnglish"
                             << QStringList{"btnScan=Scan module",
                                            "pnMsg=Module find ok. (COM : #1)",
                                            "pnSerial=S/N : 12345678",
                                            "lblCom=Serial Port:",
                                            "lblTestSend=Command",
                                            "lblTestRecv=Response",
                                            "lblDIDOMode=DI mode",
                                            "lblLinkMode=Run mode",
                                            "lblPrintData=Print data:",
                                            "lblPrintCode=Print code:",
                                            "lblLinkPort=Baud rate:",
                                            "lblKeyNumber=Key Number:",
                                            "btnID=Set ID",
                                            "lblRepTxOn=TX ON delay:",
                                            "gbKeyNumber=Set key number",
                                            "mnuLanguage=&Language"}
                             << 10 << "English";
}

void TestWindow::languageSwitch() {
    QFETCH(int, lang);
    QFETCH(QString, action);
    QFETCH(QStringList, expected);
    QFETCH(int, pointSize);
    QFETCH(QString, flag);
    WindowFixture f;
    f.writeIni(lang == 0 ? "[General]\nLanguageFlag=ChineseGB\n" : "");
    TfrmModule& w = f.build();
    w.Linked = 1;
    w.ShowMessage(15, QStringLiteral(" : #1)"));
    w.ShowSerial(QStringLiteral("12345678"));
    QWidget* common = w.findChild<QWidget*>(QStringLiteral("tsCommand"));
    w.pcOther->setCurrentWidget(common);
    w.findChild<QAction*>(action)->trigger();
    // The words change; what the window shows stays.
    QCOMPARE(w.pcOther->currentWidget(), common);
    QCOMPARE(w.LangIndex, lang);
    for (const QString& pair : expected) {
        const QString name = pair.section(QLatin1Char('='), 0, 0);
        QCOMPARE(Text(w, name.toLatin1().constData()), pair.section(QLatin1Char('='), 1));
    }
    QCOMPARE(w.font().pointSize(), pointSize);
    const char* items[] = {"mnuEnglish", "mnuSimplified", "mnuTraditional"};
    const char* own[] = {"&English", "&Simplified chinese(简体)", "&Traditional chinese(繁體)"};
    for (int k = 0; k < 3; ++k) {
        auto* a = w.findChild<QAction*>(QLatin1String(items[k]));
        QCOMPARE(a->isChecked(), k == lang);
        QCOMPARE(a->text(), QString::fromUtf8(own[k]));
    }
    QCOMPARE(w.windowTitle(), QStringLiteral("Quillon V0536"));
    QCOMPARE(w.Linked, uint8_t(1));
    QSettings s(f.iniPath(), QSettings::IniFormat);
    QCOMPARE(s.value(QStringLiteral("LanguageFlag")).toString(), flag);
    QVERIFY(!s.contains(QStringLiteral("ScanCommNo")));
    // Type captions keep their model names.
    QCOMPARE(
        w.pcOther->tabText(w.pcOther->indexOf(w.findChild<QWidget*>(QStringLiteral("tsW50K")))),
        QStringLiteral("RQ-3050K"));
}

void TestWindow::barsAndPanelsFollowEachOther() {
    WindowFixture f;
    TfrmModule& w = f.build();
    w.sbID->setValue(7);
    QCOMPARE(w.pnID->text(), QStringLiteral("07"));
    w.sbID->setValue(150);  // clamped to the bar's range
    QCOMPARE(w.pnID->text(), QStringLiteral("99"));
    w.findChild<QScrollBar*>(QStringLiteral("sbRepTxOn"))->setValue(255);
    QCOMPARE(Text(w, "pnRepTxOn"), QStringLiteral("255"));
    w.findChild<QScrollBar*>(QStringLiteral("sbRepTxOff"))->setValue(0);
    QCOMPARE(Text(w, "pnRepTxOff"), QStringLiteral("1"));
    w.findChild<QScrollBar*>(QStringLiteral("sbKeyNumber"))->setValue(0);
    QCOMPARE(Text(w, "pnKeyNumber"), QStringLiteral("00"));
    w.findChild<QScrollBar*>(QStringLiteral("sbRQ3050S_ID"))->setValue(42);
    QCOMPARE(Text(w, "pnRQ3050S_ID"), QStringLiteral("42"));
    QCOMPARE(Text(w, "pnRQ3050K_ID"), QStringLiteral("05"));
}

void TestWindow::escapedExceptionShowsErrorBox() {
    WindowFixture f;
    TfrmModule& w = f.build();
    w.guarded([] { throw std::runtime_error("broken handler"); });
    QCOMPARE(f.errors, QStringList{QStringLiteral("broken handler")});
    QVERIFY(w.isVisible());
}

void TestWindow::portBoxFromMappedPorts() {
    WindowFixture f;
    TfrmModule& w = f.build(nullptr, {{1, QStringLiteral("/dev/ttyS0"), QString()},
                                      {3, QStringLiteral("/dev/ttyUSB0"),
                                       QStringLiteral("/dev/serial/by-id/usb-X-if00")}});
    QCOMPARE(w.cmbPort->count(), 2);
    QCOMPARE(w.cmbPort->itemText(1), QStringLiteral("COM3"));
    QVERIFY(
        w.cmbPort->itemData(1, Qt::ToolTipRole).toString().contains(QLatin1String("/dev/ttyUSB0")));
    QVERIFY(w.cmbPort->itemData(1, Qt::ToolTipRole).toString().contains(QLatin1String("by-id")));
}

void TestWindow::screenshots() {
    // Pictures for a person to look at: QUILLON_SCREENSHOTS=<dir> saves one per language and page.
    const QString dir = qEnvironmentVariable("QUILLON_SCREENSHOTS");
    if (dir.isEmpty()) QSKIP("set QUILLON_SCREENSHOTS to a directory to save screenshots");
    WindowFixture f;
    VirtualPorts ports;
    ports.addModule(1, ModuleType::RQ3016).serial = "20261208";
    TfrmModule& w = f.build(&ports, {{1, QStringLiteral("/dev/virtual1"), QString()}});
    w.btnScanClick();
    QCOMPARE(w.Linked, uint8_t(1));
    QVERIFY(w.grab().save(dir + QStringLiteral("/after-scan.png")));
    const char* langs[] = {"mnuEnglish", "mnuSimplified", "mnuTraditional"};
    for (int k = 0; k < 3; ++k) {
        w.findChild<QAction*>(QLatin1String(langs[k]))->trigger();
        for (int t = 0; t < 6; ++t) {
            w.pcMain->clickTab(t);
            QVERIFY(w.grab().save(QStringLiteral("%1/lang%2-type%3.png").arg(dir).arg(k).arg(t)));
        }
    }
}

QTEST_MAIN(TestWindow)
#include "test_window.moc"
