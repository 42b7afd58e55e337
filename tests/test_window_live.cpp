// The live tests' views on the window against simulated modules: the I/O check's button and
// its result table, the DI timeline with its Save..., and the card log with its Save....
#include <QCheckBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <optional>

#include "app/cardlogwindow.h"
#include "app/didocheckwindow.h"
#include "app/ditimelinewidget.h"
#include "app/ditimelinewindow.h"
#include "app/shape.h"
#include "support/simwindow.h"

namespace {

using Reply = std::optional<std::string>;
const QColor kYellow(255, 255, 0);
const QColor kRed(255, 0, 0);

Wiring WiringOf(const char* list) {
    std::string error;
    return *ParseWiring(list, &error);
}

// The point in the middle of input lane k (1..16) of the timeline.
QPoint LaneOf(DITimelineWidget* t, int k) {
    const int lanes = 2 * 16 + 16;  // input lanes are twice as high as output lanes
    const int height = t->height() - (t->fontMetrics().height() + 8);
    return {t->width() / 2, height * (2 * k - 1) / lanes};
}

}  // namespace

class TestWindowLive : public QObject {
    Q_OBJECT
  private slots:
    void didoCheckButton();
    void didoCheckAsksFirst();
    void didoCheckTable();
    void diTimeline();
    void diTimelineSave();
    void cardLog();
    void cardLogSave();
};

void TestWindowLive::didoCheckButton() {
    VirtualPorts ports;
    SimModule& m = ports.addModule(1, ModuleType::RQ3016);
    WindowFixture f;
    f.writeIni("[General]\nType=0\n");
    TfrmModule& w = f.build(&ports, VirtualPortList({1}));
    auto* check = w.control<QPushButton>("btnDIDOCheck");
    QVERIFY(!check->isEnabled());  // nothing to check before a module is linked
    Click(w, "btnScan");
    QCOMPARE(w.Linked, uint8_t(1));
    QVERIFY(check->isEnabled());
    f.tone.tones.clear();

    // Cancelled after a few exchanges, from within one.
    QStringList wrong;
    int exchanges = 0;
    ports.host(1).setReplyOverride([&](const std::string&, const Reply& reply) -> Reply {
        if (++exchanges == 4) {
            if (check->text() != QLatin1String("Cancel process")) wrong << "caption";
            if (!check->isEnabled()) wrong << "button disabled";
            for (const char* name : {"btnDIDOTest", "gbDIDODO", "btnScan", "pcMain"})
                if (w.control<QWidget>(name)->isEnabled()) wrong << name;
            if (!w.tmrBusy->isActive()) wrong << "busy lamp";
            if (w.close()) wrong << "closed";
            Click(w, "btnDIDOCheck");
        }
        return reply;
    });
    Click(w, "btnDIDOCheck");
    QCOMPARE(wrong, QStringList());
    QCOMPARE(w.pnMsg->text(), QStringLiteral("I/O check cancelled: 16 input(s) not checked"));
    QCOMPARE(w.shComm->brushColor(), kYellow);
    QCOMPARE(f.tone.tones, (QList<QPair<int, int>>{{1000, 300}}));
    // The outputs are off again, and the window is as it was.
    QCOMPARE(m.outputs, std::string(16, '0'));
    QCOMPARE(Commands(ports, 1).last(), QStringLiteral("B01I0000000000000000"));
    QCOMPARE(check->text(), QStringLiteral("Check I/O"));
    QVERIFY(check->isEnabled() && w.control<QWidget>("btnDIDOTest")->isEnabled());
    QCOMPARE(w.Polling, uint8_t(0));
    QVERIFY(!ports.isOpen(1));

    // While the DI/DO test runs, the check's button is off.
    bool offDuringTest = false;
    ports.host(1).setReplyOverride([&](const std::string&, const Reply& reply) -> Reply {
        offDuringTest = !check->isEnabled();
        Click(w, "btnDIDOTest");
        return reply;
    });
    Click(w, "btnDIDOTest");
    QVERIFY(offDuringTest);
    QVERIFY(check->isEnabled());
}

void TestWindowLive::didoCheckAsksFirst() {
    VirtualPorts ports;
    ports.addModule(1, ModuleType::RQ3016);
    WindowFixture f;
    TfrmModule& w = BuildLinked(f, ports, 0);
    const int before = Commands(ports, 1).size();
    // Refused: not an output is switched.
    f.switchOutputs = false;
    Click(w, "btnDIDOCheck");
    QCOMPARE(f.outputQuestions.size(), 1);
    QVERIFY(f.outputQuestions.first().contains(QStringLiteral("door locks")));
    QCOMPARE(Commands(ports, 1).size(), before);
    QCOMPARE(w.Polling, uint8_t(0));
    // Allowed for this site from now on (cancelled at its first exchange).
    f.switchOutputs = f.dontAskAgain = true;
    ports.host(1).setReplyOverride([&](const std::string&, const Reply& reply) -> Reply {
        if (w.Polling == 1) Click(w, "btnDIDOCheck");
        return reply;
    });
    Click(w, "btnDIDOCheck");
    QVERIFY(Commands(ports, 1).size() > before);
    Click(w, "btnDIDOCheck");
    QCOMPARE(f.outputQuestions.size(), 2);
    // Another site asks again, in the window's language.
    SaveRegisterSite(*f.store, QStringLiteral("Plant 5"));
    f.switchOutputs = false;
    w.mnuSimplifiedClick();
    Click(w, "btnDIDOCheck");
    QCOMPARE(f.outputQuestions.size(), 3);
    QVERIFY(f.outputQuestions.last().contains(QStringLiteral("门锁")));
}

void TestWindowLive::didoCheckTable() {
    VirtualPorts ports;
    SimModule& m = ports.addModule(1, ModuleType::RQ3016);
    m.wiring = WiringOf("cross:3=5,stuck-off:16");
    WindowFixture f;
    TfrmModule& w = BuildLinked(f, ports, 0);
    Click(w, "btnDIDOCheck");
    auto* table = w.findChild<QTableWidget*>(QStringLiteral("tvDIDOCheck"));
    QVERIFY(table);
    QVERIFY(table->window()->isVisible());
    QCOMPARE(table->rowCount(), 16);
    QCOMPARE(table->item(0, 0)->text(), QStringLiteral("DI1"));
    QCOMPARE(table->item(0, 1)->text(), QStringLiteral("ok"));
    QCOMPARE(table->item(2, 1)->text(), QStringLiteral("crossed: follows DO5"));
    QCOMPARE(table->item(15, 1)->text(), QStringLiteral("stuck off"));
    // What input 3 showed at each step: on with DO5 alone and with all of them.
    QCOMPARE(table->item(2, 2)->text(), QStringLiteral("0000010000000000010"));
    const QColor ok = table->item(0, 1)->background().color();
    QCOMPARE(table->item(2, 0)->background().color(),
             TfrmDIDOCheck::VerdictColour(ChannelVerdict::Crossed));
    QVERIFY(ok != table->item(2, 1)->background().color());
    QVERIFY(ok != table->item(15, 1)->background().color());
    QCOMPARE(w.pnMsg->text(), QStringLiteral("I/O check: 2 of 16 inputs failed"));
    QCOMPARE(w.shComm->brushColor(), kRed);
    QCOMPARE(f.tone.tones, (QList<QPair<int, int>>{{300, 300}}));
    QCOMPARE(m.outputs, std::string(16, '0'));
    // The result follows the language.
    w.mnuSimplifiedClick();
    QCOMPARE(table->item(2, 1)->text(), QStringLiteral("交叉: 跟随 DO5"));
    QCOMPARE(w.pnMsg->text(), QStringLiteral("I/O 检查: 16 个输入中 2 个有故障"));
}

void TestWindowLive::diTimeline() {
    VirtualPorts ports;
    ports.addModule(1, ModuleType::RQ3016);
    WindowFixture f;
    TfrmModule& w = BuildLinked(f, ports, 0);
    Click(w, "btnDITimeline");
    auto* window = w.findChild<TfrmDITimeline*>();
    QVERIFY(window && window->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(window));
    auto* lanes = window->findChild<DITimelineWidget*>(QStringLiteral("wgDITimeline"));
    QVERIFY(lanes);
    // DO3 flips at every cycle and its input follows: about 18 changes a second; DO1 at every
    // sixth, which is no chattering.
    auto* do1 = w.findChild<QCheckBox*>(QStringLiteral("chkDO1"));
    auto* do3 = w.findChild<QCheckBox*>(QStringLiteral("chkDO3"));
    QImage paused, later;
    int cycle = 0;
    ports.host(1).setReplyOverride([&](const std::string&, const Reply& reply) -> Reply {
        ++cycle;
        do3->setChecked(!do3->isChecked());
        if (cycle % 6 == 0) do1->setChecked(!do1->isChecked());
        if (cycle == 13) SaveScreenshot(*window, QStringLiteral("di-timeline"));
        if (cycle == 14) {
            QTest::mouseClick(window->btnDITimelinePause, Qt::LeftButton);
            paused = lanes->grab().toImage();
        }
        if (cycle == 17) {
            later = lanes->grab().toImage();
            Click(w, "btnDIDOTest");
        }
        return reply;
    });
    Click(w, "btnDIDOTest");
    // Paused, the view stood still while the test went on.
    QVERIFY(!paused.isNull());
    QCOMPARE(later, paused);
    QCOMPARE(window->btnDITimelinePause->text(), QStringLiteral("Resume"));
    QTest::mouseClick(window->btnDITimelinePause, Qt::LeftButton);
    QVERIFY(lanes->grab().toImage() != paused);

    const QString tip = lanes->laneTip(LaneOf(lanes, 3));
    QVERIFY2(tip.startsWith(QLatin1String("chattering: ")), qPrintable(tip));
    QVERIFY2(tip.endsWith(QLatin1String(" changes in 1 s")), qPrintable(tip));
    QVERIFY(tip.section(' ', 1, 1).toInt() > 5);
    QCOMPARE(lanes->laneTip(LaneOf(lanes, 1)),
             QStringLiteral("DI1: 2 changes since the test started"));
    QCOMPARE(lanes->laneTip(LaneOf(lanes, 2)),
             QStringLiteral("DI2: 0 changes since the test started"));
    // The chattering lane's label is tinted, the others are not.
    const QImage now = lanes->grab().toImage();
    const QColor quiet = now.pixelColor(3, LaneOf(lanes, 1).y());
    QCOMPARE(quiet, QColor(Qt::white));
    QVERIFY(now.pixelColor(3, LaneOf(lanes, 3).y()) != quiet);
    QVERIFY(window->pnDITimelineStatus->text().startsWith(QLatin1String("Test ended after ")));

    // A higher chatter limit, remembered for the next start.
    window->edDITimelineChatter->setValue(40);
    QVERIFY(!lanes->laneTip(LaneOf(lanes, 3)).startsWith(QLatin1String("chattering")));
    QFile ini(f.iniPath());
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QVERIFY(ini.readAll().contains("ChatterLimit=40"));
    // Without the output lanes, the input lanes take the height.
    window->chkDITimelineDO->setChecked(false);
    QVERIFY(lanes->laneTip(QPoint(10, lanes->height() - 40)).startsWith(QLatin1String("DI16")));
}

void TestWindowLive::diTimelineSave() {
    VirtualPorts ports;
    ports.addModule(1, ModuleType::RQ3016);
    WindowFixture f;
    TfrmModule& w = BuildLinked(f, ports, 0);
    auto* do16 = w.findChild<QCheckBox*>(QStringLiteral("chkDO16"));
    int cycle = 0;
    ports.host(1).setReplyOverride([&](const std::string&, const Reply& reply) -> Reply {
        if (++cycle == 2) do16->setChecked(true);
        if (cycle == 4) Click(w, "btnDIDOTest");
        return reply;
    });
    Click(w, "btnDIDOTest");
    Click(w, "btnDITimeline");
    auto* window = w.findChild<TfrmDITimeline*>();
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("changes.csv"));
    window->askSavePath = [&] { return path; };
    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("btnDITimelineSave")),
                      Qt::LeftButton);
    QFile csv(path);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = csv.readAll().replace("\r\n", "\n").trimmed().split('\n');
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], QByteArray("ms,channel,signal,state"));
    QVERIFY(lines[1].endsWith(",16,DO,1"));
    QVERIFY(lines[2].endsWith(",16,DI,1"));
    QCOMPARE(lines[1].split(',').first(), lines[2].split(',').first());
    QCOMPARE(window->pnDITimelineStatus->text(), QStringLiteral("Saved to %1").arg(path));

    path = dir.filePath(QStringLiteral("timeline.PNG"));
    QTest::mouseClick(window->btnDITimelineSave, Qt::LeftButton);
    const QImage picture(path);
    QCOMPARE(picture.size(), window->wgDITimeline->size());
    // Nothing is saved when no name is given; a failure says why.
    path.clear();
    QTest::mouseClick(window->btnDITimelineSave, Qt::LeftButton);
    path = dir.filePath(QStringLiteral("no/such/dir.csv"));
    QTest::mouseClick(window->btnDITimelineSave, Qt::LeftButton);
    QVERIFY(window->pnDITimelineStatus->text().startsWith(QLatin1String("Cannot save ")));
}

void TestWindowLive::cardLog() {
    VirtualPorts ports;
    SimModule& m = ports.addModule(1, ModuleType::RQ3050K);
    WindowFixture f;
    TfrmModule& w = BuildLinked(f, ports, 5);
    Click(w, "btnRQ3050K_CardLog");
    auto* log = w.findChild<QTableView*>(QStringLiteral("tvCardLog"));
    QVERIFY(log && log->window()->isVisible());
    m.queueEvent(1, CardEvent::Card("00027CBB"));
    m.queueEvent(2, CardEvent::KeyInput("1234"));
    m.queueEvent(1, CardEvent::CardAndKey("FFFFFFFF", "56"));
    int queries = 0;
    ports.host(1).setReplyOverride([&](const std::string&, const Reply& reply) -> Reply {
        if (++queries == 6) Click(w, "btnRQ3050K_Card");
        return reply;
    });
    Click(w, "btnRQ3050K_Card");
    const auto row = [&](int r) {
        QStringList cells;
        for (int c = 1; c < 5; ++c) cells << log->model()->index(r, c).data().toString();
        return cells.join(QLatin1Char('|'));
    };
    QCOMPARE(log->model()->rowCount(), 3);
    // Newest on top; the panels still show the last of each channel.
    QCOMPARE(row(0), QStringLiteral("CH #1|4294967295|FFFFFFFF|56"));
    QCOMPARE(row(1), QStringLiteral("CH #2|||1234"));
    QCOMPARE(row(2), QStringLiteral("CH #1|0000163003|00027CBB|"));
    QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d$"))
                .match(log->model()->index(0, 0).data().toString())
                .hasMatch());
    QCOMPARE(w.findChild<QLabel*>(QStringLiteral("pnCardLogCounts"))->text(),
             QStringLiteral("CH #1: 2   CH #2: 1"));
    QCOMPARE(w.findChild<QLabel*>(QStringLiteral("pnRQ3050K_Card1"))->text(),
             QStringLiteral("CARD : 4294967295(D)  FFFFFFFF(H)  KEY:56"));
    QCOMPARE(log->model()->headerData(2, Qt::Horizontal).toString(),
             QStringLiteral("Card (decimal)"));
    // The next test starts a new log.
    ports.host(1).setReplyOverride([&](const std::string&, const Reply& reply) -> Reply {
        Click(w, "btnRQ3050K_Card");
        return reply;
    });
    Click(w, "btnRQ3050K_Card");
    QCOMPARE(log->model()->rowCount(), 0);
    QCOMPARE(w.findChild<QLabel*>(QStringLiteral("pnCardLogCounts"))->text(),
             QStringLiteral("CH #1: 0   CH #2: 0"));
}

void TestWindowLive::cardLogSave() {
    VirtualPorts ports;
    SimModule& m = ports.addModule(1, ModuleType::RQ3050S);
    WindowFixture f;
    TfrmModule& w = BuildLinked(f, ports, 4);
    m.queueEvent(2, CardEvent::Card("00027cbb", 18));
    // Keys that a spreadsheet would take for a formula, and a separator.
    m.queueEvent(1, CardEvent::KeyInput("=1+2"));
    m.queueEvent(1, CardEvent::KeyInput("1,2"));
    int queries = 0;
    ports.host(1).setReplyOverride([&](const std::string&, const Reply& reply) -> Reply {
        if (++queries == 6) Click(w, "btnRQ3050S_Card");
        return reply;
    });
    Click(w, "btnRQ3050S_Card");
    Click(w, "btnRQ3050S_CardLog");
    auto* window = w.findChild<TfrmCardLog*>();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cards.csv"));
    window->askSavePath = [&] { return path; };
    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("btnCardLogSave")),
                      Qt::LeftButton);
    QFile csv(path);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QList<QByteArray> lines = csv.readAll().replace("\r\n", "\n").trimmed().split('\n');
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[0], QByteArray("ms,time,channel,card_decimal,card_hex,key"));
    // Oldest first: ms, the time of day, then the fields.
    const auto tail = [](const QByteArray& line) {
        return line.mid(line.indexOf(',', line.indexOf(',') + 1) + 1);
    };
    QCOMPARE(tail(lines[1]), QByteArray("1,,,'=1+2"));
    QCOMPARE(tail(lines[2]), QByteArray("2,0000163003,00027cbb,"));
    QCOMPARE(tail(lines[3]), QByteArray("1,,,\"1,2\""));
    QVERIFY(lines[1].split(',').at(1).contains('T'));
    QCOMPARE(window->pnCardLogStatus->text(), QStringLiteral("3 lines saved to %1").arg(path));
}

QTEST_MAIN(TestWindowLive)
#include "test_window_live.moc"
