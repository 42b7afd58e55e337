// The traffic log: its lines for exchanges, failed exchanges, raw writes and opens, in order
// and with their round trips; its 10,000-line cap, pause, clear and save; and the window that
// shows it, recording only while it is open.
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "app/trafficlogwindow.h"
#include "link/link.h"
#include "link/trafficlog.h"
#include "support/simwindow.h"

namespace {

// Each reading is 1.5 ms after the one before, so that times and round trips are exact.
TrafficLog::Clock SteppingClock() {
    auto now = std::make_shared<qint64>(0);
    return [now] { return *now += 1500; };
}

QString Hex(const uint8_t* bytes, int count) {
    return QByteArray(reinterpret_cast<const char*>(bytes), count).toHex(' ').toUpper();
}

// The part of a line after time, port and direction.
QString Body(const QString& line) {
    return line.section(QStringLiteral(" | "), 3);
}

QStringList Directions(const QStringList& lines) {
    QStringList out;
    for (const QString& l : lines) out << l.section(QStringLiteral(" | "), 2, 2).trimmed();
    return out;
}

}  // namespace

class TestTrafficLog : public QObject {
    Q_OBJECT
  private slots:
    void exchangeLines_data();
    void exchangeLines();
    void openRawWriteAndFailedOpenInOrder();
    void keepsTheLast10000Lines();
    void pauseClearAndSave();
    void windowRecordsOnlyWhileOpen();
    void windowButtonsAndCaption_data();
    void windowButtonsAndCaption();
};

void TestTrafficLog::exchangeLines_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("verified");
    QTest::addColumn<QString>("ending");
    QTest::newRow("reply") << "" << true << " | round trip 1.5 ms";
    QTest::newRow("no reply") << "drop" << false << "no reply | waited 1.5 ms";
    QTest::newRow("bad checksum") << "checksum" << false << " | bad checksum, round trip 1.5 ms";
    QTest::newRow("truncated") << "truncate" << false << " | no whole reply, waited 1.5 ms";
}

void TestTrafficLog::exchangeLines() {
    QFETCH(QString, fault);
    QFETCH(bool, verified);
    QFETCH(QString, ending);
    VirtualPorts ports;
    ports.addModule(1, ModuleType::RQ3016);
    FaultConfig& faults = ports.host(1).faults();
    faults.dropShare = fault == QLatin1String("drop") ? 1.0 : 0.0;
    faults.wrongChecksum = fault == QLatin1String("checksum");
    faults.truncateTo = fault == QLatin1String("truncate") ? 6 : 0;
    Link link(ports);
    TrafficLog log(TrafficLog::kDefaultCapacity, SteppingClock());
    link.setTrafficSink(&log);
    QVERIFY(link.OpenPort(1, QStringLiteral("19200,e,8,1")));
    QCOMPARE(link.Transact(QByteArray("B01B")), verified);
    link.ClosePort();

    const QStringList lines = log.lines();
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], QStringLiteral("       1 ms | COM1  | open      | 19200,e,8,1"));
    QCOMPARE(lines[1], QStringLiteral("       3 ms | COM1  | sent      | [09]B01B08[0D] | "
                                      "09 42 30 31 42 30 38 0D"));
    // The sent frame's bytes are one line, not raw writes of their own.
    QCOMPARE(link.sentLine(), QStringLiteral("[09]B01B08[0D]"));
    QVERIFY(lines[2].startsWith(QStringLiteral("       4 ms | COM1  | received  | ")));
    // The received bytes as the status bar shows them, then in hex, then how it ended.
    const QString bytes =
        link.RxPos == 0 ? QString()
                        : link.receivedLine() + QStringLiteral(" | ") + Hex(link.RxBuf, link.RxPos);
    QCOMPARE(Body(lines[2]), bytes + ending);
}

void TestTrafficLog::openRawWriteAndFailedOpenInOrder() {
    // The repeater's data go out raw: no frame, no reply awaited.
    VirtualPorts ports;
    ports.addModule(4, ModuleType::RQ3040);
    ports.addBusyPort(2);
    Link link(ports);
    TrafficLog log(TrafficLog::kDefaultCapacity, SteppingClock());
    link.setTrafficSink(&log);
    QVERIFY(!link.OpenPort(2, QStringLiteral("9600,n,8,1")));
    QVERIFY(link.OpenPort(4, QStringLiteral("19200,e,8,1")));
    const QByteArray data("AB%1\x01\xFF", 6);
    QVERIFY(link.SendBlock(reinterpret_cast<const uint8_t*>(data.constData()), data.size()));
    QVERIFY(link.SendByte('Z'));
    link.ClosePort();

    QCOMPARE(QByteArray::fromStdString(ports.written(4)), data + "Z");
    QCOMPARE(log.lines(), QStringList({
                              "       1 ms | COM2  | not open  | COM2: in use by another program",
                              "       3 ms | COM4  | open      | 19200,e,8,1",
                              "       4 ms | COM4  | raw write | AB%1[01][FF] | 41 42 25 31 01 FF",
                              "       6 ms | COM4  | raw write | Z | 5A",
                          }));
}

void TestTrafficLog::keepsTheLast10000Lines() {
    VirtualPorts ports;
    ports.addSilentPort(1);
    Link link(ports);
    TrafficLog log;
    QCOMPARE(log.capacity(), 10000);
    QStringList seen;
    log.onLine = [&seen](const QString& line) { seen << line; };
    link.setTrafficSink(&log);
    QVERIFY(link.OpenPort(1, QStringLiteral("19200,e,8,1")));
    for (int i = 0; i < 10005; ++i) {
        const QByteArray n = QByteArray::number(i);
        link.SendBlock(reinterpret_cast<const uint8_t*>(n.constData()), n.size());
    }
    link.ClosePort();
    QCOMPARE(seen.size(), 10006);  // the open and every write, as they happened
    QCOMPARE(log.size(), 10000);
    const QStringList lines = log.lines();
    QVERIFY(lines.first().contains(QStringLiteral("| raw write | 5 | 35")));
    QVERIFY(lines.last().contains(QStringLiteral("| raw write | 10004 | 31 30 30 30 34")));
}

void TestTrafficLog::pauseClearAndSave() {
    VirtualPorts ports;
    ports.addModule(1, ModuleType::RQ3016);
    Link link(ports);
    TrafficLog log(TrafficLog::kDefaultCapacity, SteppingClock());
    link.setTrafficSink(&log);
    QVERIFY(link.OpenPort(1, QStringLiteral("19200,e,8,1")));

    // Paused between a frame and its reply: nothing is kept, and the reply that follows the
    // pause has no round trip, since its frame was never seen.
    log.setPaused(true);
    QVERIFY(link.Transact(QByteArray("B01B")));
    QCOMPARE(log.size(), 1);
    log.setPaused(false);
    QVERIFY(link.Transact(QByteArray("B01V")));
    QCOMPARE(log.size(), 3);
    QVERIFY(log.lines()[2].endsWith(QStringLiteral(" | round trip 1.5 ms")));
    link.ClosePort();

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("traffic.txt"));
    QVERIFY(log.save(path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()), log.lines().join(QLatin1Char('\n')) + "\n");
    file.close();

    // A save that cannot be made says why and leaves the earlier file alone.
    QString error;
    QVERIFY(!log.save(dir.filePath(QStringLiteral("missing/traffic.txt")), &error));
    QVERIFY(!error.isEmpty());

    log.clear();
    QCOMPARE(log.size(), 0);
    QVERIFY(log.save(path));
    QCOMPARE(QFileInfo(path).size(), 0);
}

void TestTrafficLog::windowRecordsOnlyWhileOpen() {
    WindowFixture f;
    VirtualPorts ports;
    ports.addModule(1, ModuleType::RQ3016);
    TfrmModule& w = BuildLinked(f, ports, 0);
    TfrmTrafficLog* log = w.frmTrafficLog;
    QVERIFY(!log->isVisible());
    QCOMPARE(w.link.trafficSink(), nullptr);

    w.findChild<QAction*>(QStringLiteral("mnuTrafficLog"))->trigger();
    QVERIFY(QTest::qWaitForWindowExposed(log));
    QVERIFY(log->isWindow());
    QVERIFY(!log->isModal());
    ports.clearRecords();
    // The module now listens at another line setting: the scan finds it by searching.
    ports.module(1).lineIndex = 2;
    w.chkLock->setChecked(false);
    Click(w, "btnScan");
    QCOMPARE(w.Linked, 1);

    // Every frame of the scan, each sent frame followed by what came back, and the status bar
    // showing the last pair as before.
    const QStringList lines = log->log().lines();
    const QStringList directions = Directions(lines);
    QCOMPARE(directions.first(), QStringLiteral("open"));
    QVERIFY(lines.filter(QStringLiteral("| received  | no reply | waited 2")).size() >= 3);
    const std::string written = ports.written(1);
    const auto framesWritten = std::count(written.begin(), written.end(), '\x09');
    QCOMPARE(directions.count(QStringLiteral("sent")), framesWritten);
    QCOMPARE(directions.count(QStringLiteral("sent")),
             directions.count(QStringLiteral("received")));
    for (int i = 0; i < directions.size(); ++i) {
        if (directions[i] == QLatin1String("sent"))
            QCOMPARE(directions.value(i + 1), QStringLiteral("received"));
    }
    QCOMPARE(Body(lines.last()).section(QStringLiteral(" | "), 0, 0), w.sbCommReceived->text());
    QVERIFY(lines.last().contains(QStringLiteral(" | round trip ")));
    QCOMPARE(log->edTrafficLog->toPlainText(), lines.join(QLatin1Char('\n')));

    const QString dir = qEnvironmentVariable("QUILLON_SCREENSHOTS");
    if (!dir.isEmpty()) QVERIFY(log->grab().save(dir + QStringLiteral("/traffic-log.png")));

    // Closed, the log records nothing and the link has nothing to report to.
    log->close();
    QCOMPARE(w.link.trafficSink(), nullptr);
    Click(w, "btnScan");
    QCOMPARE(log->log().lines(), lines);
}

void TestTrafficLog::windowButtonsAndCaption_data() {
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("pause");
    QTest::newRow("English") << "mnuEnglish"
                             << "&Traffic log"
                             << "Traffic log"
                             << "Pause";
    QTest::newRow("Simplified") << "mnuSimplified"
                                << "通讯记录(&T)"
                                << "通讯记录"
                                << "暂停";
    QTest::newRow("Traditional") << "mnuTraditional"
                                 << "通訊記錄(&T)"
                                 << "通訊記錄"
                                 << "暫停";
}

void TestTrafficLog::windowButtonsAndCaption() {
    QFETCH(QString, language);
    QFETCH(QString, menu);
    QFETCH(QString, title);
    QFETCH(QString, pause);
    WindowFixture f;
    VirtualPorts ports;
    ports.addModule(1, ModuleType::RQ3016);
    TfrmModule& w = BuildLinked(f, ports, 0);
    w.findChild<QAction*>(language)->trigger();
    auto* item = w.findChild<QAction*>(QStringLiteral("mnuTrafficLog"));
    QCOMPARE(item->text(), menu);
    // Under File, above Exit.
    const QList<QAction*> file =
        w.findChild<QAction*>(QStringLiteral("mnuFile"))->menu()->actions();
    QVERIFY(file.indexOf(item) >= 0);
    QVERIFY(file.indexOf(item) < file.indexOf(w.findChild<QAction*>(QStringLiteral("mnuExit"))));
    TfrmTrafficLog* log = w.frmTrafficLog;
    QCOMPARE(log->windowTitle(), title);
    QCOMPARE(log->btnLogPause->text(), pause);

    item->trigger();
    QTest::mouseClick(log->btnLogPause, Qt::LeftButton);
    Click(w, "btnScan");
    QCOMPARE(log->log().size(), 0);
    QTest::mouseClick(log->btnLogPause, Qt::LeftButton);
    Click(w, "btnScan");
    const int kept = log->log().size();
    QVERIFY(kept > 0);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.txt"));
    log->askSavePath = [path] { return path; };
    QTest::mouseClick(log->btnLogSave, Qt::LeftButton);
    QVERIFY(QFileInfo(path).size() > 0);
    QVERIFY(log->pnLogStatus->text().contains(QString::number(kept)));

    QTest::mouseClick(log->btnLogClear, Qt::LeftButton);
    QCOMPARE(log->log().size(), 0);
    QVERIFY(log->edTrafficLog->toPlainText().isEmpty());
    QVERIFY(f.errors.isEmpty());
}

QTEST_MAIN(TestTrafficLog)
#include "test_trafficlog.moc"
