// The bus survey window over a simulated bus on the in-process port: the menu entry, the
// table it fills, the refusal while a test runs, and the double-click that links the main
// window to a module.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QtTest>

#include "app/pagecontrol.h"
#include "app/surveywindow.h"
#include "sim/virtualports.h"
#include "support/windowfixture.h"

namespace {

QStringList Rows(QTableWidget* t) {
    QStringList out;
    for (int r = 0; r < t->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < t->columnCount(); ++c) cells << t->item(r, c)->text();
        out << cells.join(' ');
    }
    return out;
}

void Place(VirtualPorts& ports, ModuleType type, int id, const char* serial, int line) {
    SimModule s(type);
    s.id = id;
    s.serial = serial;
    s.lineIndex = line;
    ports.addModule(1, s);
}

}  // namespace

class TestWindowSurvey : public QObject {
    Q_OBJECT
  private slots:
    void surveyTableAndDoubleClickLink();
    void refusedWhileTestRuns();
    void severalPortsAndAPlan();
};

void TestWindowSurvey::surveyTableAndDoubleClickLink() {
    VirtualPorts ports;
    Place(ports, ModuleType::RQ3016, 3, "16000003", 5);
    Place(ports, ModuleType::RQ3040, 2, "40000002", 3);
    Place(ports, ModuleType::RQ3016, 4, "16000004", 3);
    WindowFixture f;
    TfrmModule& w = f.build(&ports);

    QAction* menu = w.findChild<QAction*>(QStringLiteral("mnuSurvey"));
    QVERIFY(menu);
    QCOMPARE(menu->text(), QStringLiteral("&Bus survey..."));
    menu->trigger();
    TfrmSurvey* s = w.frmSurvey;
    QVERIFY(s->isVisible());
    QCOMPARE(s->windowTitle(), QStringLiteral("Bus survey"));
    QCOMPARE(s->cmbSurveyLine->count(), 13);

    // All types at one line setting, then all at another; a few IDs keep it short.
    s->cmbSurveyType->setCurrentIndex(1);
    s->cmbSurveyLine->setCurrentIndex(1 + 3);
    // Stopped once it asks ID 05 of the first type: the rows found so far stay. The survey
    // runs in a worker: the window takes the Stop while it waits.
    bool disabledWhileRunning = false;
    QTimer probe;
    connect(&probe, &QTimer::timeout, s, [&] {
        if (!s->running()) return;
        disabledWhileRunning = !w.centralWidget()->isEnabled();
        if (s->lbSurveyProgress->text().contains(QLatin1String("ID 05")))
            s->btnSurveyStart->click();
    });
    probe.start(5);
    QSignalSpy ended(s, &TfrmSurvey::surveyEnded);
    s->btnSurveyStart->click();
    QVERIFY(s->running());
    QVERIFY(ended.wait(20000));
    probe.stop();
    QVERIFY(disabledWhileRunning);
    QVERIFY(w.centralWidget()->isEnabled());
    QCOMPARE(Rows(s->tblSurvey), (QStringList{"COM1 RQ-3016 04 9600,e,8,1 16000004 01.20-36"}));
    QVERIFY2(
        s->lbSurveyStatus->text().startsWith(QLatin1String("Stopped: 1 module(s) found so far")),
        qPrintable(s->lbSurveyStatus->text()));
    QCOMPARE(s->btnSurveyStart->text(), QStringLiteral("Start"));

    // The main window links to the row: port, line setting, type and ID follow it.
    w.cmbBaudRate->setCurrentIndex(5);
    s->tblSurveyDoubleClick(0);
    QCOMPARE(w.cmbBaudRate->currentIndex(), 3);
    QCOMPARE(w.sbID->value(), 4);
    QCOMPARE(w.tabType(), std::optional<ModuleType>(ModuleType::RQ3016));
    QCOMPARE(w.Linked, uint8_t(1));
    QCOMPARE(w.pnSerial->text(), QStringLiteral("S/N : 16000004"));
}

void TestWindowSurvey::refusedWhileTestRuns() {
    VirtualPorts ports;
    Place(ports, ModuleType::RQ3016, 3, "16000003", 5);
    WindowFixture f;
    TfrmModule& w = f.build(&ports);
    w.findChild<QAction*>(QStringLiteral("mnuSurvey"))->trigger();
    TfrmSurvey* s = w.frmSurvey;
    w.Polling = 1;
    ports.clearRecords();
    s->btnSurveyStart->click();
    w.Polling = 0;
    QVERIFY(!s->running());
    QCOMPARE(s->lbSurveyStatus->text(), QStringLiteral("An operation or a test is running"));
    QVERIFY(ports.written(1).empty());
    QVERIFY(ports.opens().empty());
}

namespace {

// Port n leads to bus n: each worker has a bus of its own.
class Buses : public PortOpener {
  public:
    std::unique_ptr<SerialPort> open(int n, const QString& line) override {
        return n >= 1 && n <= 2 ? bus[n - 1].open(n, line) : nullptr;
    }
    VirtualPorts bus[2];
};

}  // namespace

void TestWindowSurvey::severalPortsAndAPlan() {
    Buses ports;
    for (int n : {1, 2}) {
        SimModule s(ModuleType::RQ3016);
        s.id = n + 1;
        s.serial = n == 1 ? "16000102" : "16000203";
        ports.bus[n - 1].addModule(n, s);
    }
    WindowFixture f;
    TfrmModule& w = f.build(&ports);
    w.findChild<QAction*>(QStringLiteral("mnuSurvey"))->trigger();
    TfrmSurvey* s = w.frmSurvey;
    QCOMPARE(s->chkSurveyAllPorts->text(), QStringLiteral("All mapped ports"));
    s->lstSurveyPorts->item(0)->setCheckState(Qt::Checked);
    s->lstSurveyPorts->item(1)->setCheckState(Qt::Checked);
    s->cmbSurveyLine->setCurrentIndex(1 + 5);
    s->cmbSurveyType->setCurrentIndex(0);
    s->chkSurveyRead->setChecked(true);
    s->edSurveyIds->setText(QStringLiteral("1-4"));
    QVERIFY(!s->btnSurveySavePlan->isEnabled());
    QSignalSpy ended(s, &TfrmSurvey::surveyEnded);
    s->btnSurveyStart->click();
    QVERIFY(ended.wait(60000));
    QStringList rows = Rows(s->tblSurvey);
    rows.sort();
    QCOMPARE(rows, (QStringList{"COM1 RQ-3016 02 19200,e,8,1 16000102 01.20-36",
                                "COM2 RQ-3016 03 19200,e,8,1 16000203 01.20-36"}));
    QCOMPARE(s->tblSurvey->horizontalHeaderItem(0)->text(), QStringLiteral("Port"));
    QVERIFY(s->lbSurveyStatus->text().startsWith(QLatin1String("2 module(s) found")));
    // What was found, as a plan for the command line's apply, with the port of each module.
    QVERIFY(s->btnSurveySavePlan->isEnabled());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("plan.csv"));
    QVERIFY(s->savePlan(path));
    QFile plan(path);
    QVERIFY(plan.open(QIODevice::ReadOnly));
    QStringList lines = QString::fromUtf8(plan.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.takeFirst(), QStringLiteral("type,serial,id,line,port,di-mode,di-nonc"));
    lines.sort();
    QCOMPARE(lines,
             (QStringList{"RQ-3016,16000102,02,\"19200,e,8,1\",COM1,hold,0000000000000000",
                          "RQ-3016,16000203,03,\"19200,e,8,1\",COM2,hold,0000000000000000"}));
    QVERIFY(s->lbSurveyStatus->text().startsWith(QLatin1String("Plan of 2 module(s) saved")));
}

QTEST_MAIN(TestWindowSurvey)
#include "test_window_survey.moc"
