// The window and the site register, against simulated modules on the in-process port: the
// Register window (its table, a module's history, the site, the filter, export and the
// double-click that links), the error box that says once why the register is off, and the
// window and quillon-cli writing to one register at once.
#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>

#include "app/frmmodule.h"
#include "app/pagecontrol.h"
#include "app/registermodel.h"
#include "app/registerwindow.h"
#include "register/registerreader.h"
#include "register/registerwriter.h"
#include "support/simprocess.h"
#include "support/simwindow.h"
#include "text/messagetable.h"

namespace {

RegisterEntry Seen(const QString& type, const QString& serial, const QString& site, int id,
                   const QString& port) {
    RegisterEntry e;
    e.uuid = QUuid::createUuid();
    e.time = QDateTime::currentDateTimeUtc().addSecs(-7200);
    e.source = QStringLiteral("cli");
    e.kind = QStringLiteral("read");
    e.operation = QStringLiteral("Get setting data");
    e.site = site;
    e.module = {
        type,      serial, port, id, QStringLiteral("19200,e,8,1"), QStringLiteral("01.20-36"),
        QString(), {}};
    e.outcome = QStringLiteral("Module find ok.");
    e.ok = true;
    return e;
}

TfrmRegister* OpenRegister(TfrmModule& w) {
    w.findChild<QAction*>(QStringLiteral("mnuRegister"))->trigger();
    TfrmRegister* r = w.frmRegister;
    if (r && !QTest::qWaitForWindowExposed(r)) qWarning("register window not exposed");
    return r;
}

QStringList Column(QTableWidget* t, int column) {
    QStringList out;
    for (int r = 0; r < t->rowCount(); ++r) out << t->item(r, column)->text();
    return out;
}

}  // namespace

class TestWindowRegister : public QObject {
    Q_OBJECT
  private slots:
    void registerWindow();
    void doubleClickLinks();
    void offIsSaidOnce_data();
    void offIsSaidOnce();
    void windowAndCliTogether();
    void reportAndReplace();

  private:
    QTemporaryDir dir_;
};

void TestWindowRegister::registerWindow() {
    const QString path = dir_.filePath(QStringLiteral("window.sqlite"));
    RegisterWriter writer(path);
    // Modules met on earlier days, at several sites.
    writer.post(Seen("RQ-3050K", "51000009", "Depot \"North\", 北", 7, "COM3"));
    writer.post(Seen("RQ-3040", "40000002", "Depot \"North\", 北", 2, "rfc2217://10.0.0.20:4001"));
    writer.post(Seen("RQ-3030", "30000012", "Plant 4", 12, "/dev/ttyUSB0"));
    RegisterEntry test = Seen("RQ-3050K", "51000009", "Depot \"North\", 北", 7, "COM3");
    test.kind = QStringLiteral("test");
    test.operation = QStringLiteral("Read card test");
    test.test = RegisterTestRun{QStringLiteral("card-test"),
                                QStringLiteral("stopped"),
                                test.time.addSecs(-60),
                                test.time,
                                240,
                                0,
                                QStringLiteral("passed"),
                                {},
                                {},
                                {},
                                {}};
    writer.post(test);
    QVERIFY(writer.flush());
    VirtualPorts ports;
    ports.addModule(1, ModuleType::RQ3016);
    WindowFixture f;
    f.siteRegister = &writer;
    f.site = QStringLiteral("Plant 4");  // as --site gives it: remembered from then on
    TfrmModule& w = BuildLinked(f, ports, 0);
    QCOMPARE(writer.site(), QStringLiteral("Plant 4"));
    QCOMPARE(LoadRegisterSite(*f.store), QStringLiteral("Plant 4"));
    w.control<QComboBox>("cmbDIDOMode")->setCurrentIndex(1);
    Click(w, "btnDIDOMode");

    QAction* menu = w.findChild<QAction*>(QStringLiteral("mnuRegister"));
    QCOMPARE(menu->text(), QStringLiteral("&Register..."));
    TfrmRegister* r = OpenRegister(w);
    QVERIFY(r && r->isVisible());
    QCOMPARE(r->objectName(), QStringLiteral("frmRegister"));
    QCOMPARE(r->windowTitle(), QStringLiteral("Site register"));
    for (const char* name : {"edRegisterSite", "edRegisterFilter", "tblRegister",
                             "tblRegisterHistory", "btnRegisterExport"})
        QVERIFY2(r->findChild<QWidget*>(QLatin1String(name)), name);
    QCOMPARE(r->edRegisterSite->text(), QStringLiteral("Plant 4"));
    RegisterModulesModel* model = r->model();
    QTRY_COMPARE(model->rowCount(), 4);
    const int row = 0;  // by type: the DI/DO module first
    QCOMPARE(RegisterModulesModel::cell(*model->module(row), RegisterModulesModel::Type),
             QStringLiteral("RQ-3016"));
    QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Serial number"));
    QCOMPARE(RegisterModulesModel::cell(*model->module(row), RegisterModulesModel::Port),
             QStringLiteral("COM1"));
    QCOMPARE(RegisterModulesModel::cell(*model->module(row), RegisterModulesModel::Site),
             QStringLiteral("Plant 4"));

    r->tblRegister->setCurrentIndex(model->index(row, 0));
    QCOMPARE(Column(r->tblRegisterHistory, 2),
             (QStringList{"Set DI mode", "Get setting data", "Scan module"}));
    QCOMPARE(r->tblRegisterHistory->item(0, 3)->text(), QStringLiteral("di-mode=hold"));
    QCOMPARE(r->tblRegisterHistory->item(0, 4)->text(), QStringLiteral("di-mode=normal"));
    QCOMPARE(r->tblRegisterHistory->item(0, 6)->text(), QStringLiteral("Set DI mode ok."));

    // A new site is carried from now on and remembered.
    const QString site = QStringLiteral("工地 \"A\", 2");
    r->edRegisterSite->setText(site);
    emit r->edRegisterSite->editingFinished();
    QCOMPARE(writer.site(), site);
    QCOMPARE(LoadRegisterSite(*f.store), site);
    w.control<QComboBox>("cmbDIDOMode")->setCurrentIndex(0);
    Click(w, "btnDIDOMode");
    QTRY_COMPARE(r->tblRegisterHistory->rowCount(), 4);
    QCOMPARE(r->tblRegisterHistory->item(0, 8)->text(), site);

    r->edRegisterFilter->setText(QStringLiteral("site:depot"));
    QCOMPARE(model->rowCount(), 2);
    r->edRegisterFilter->setText(QStringLiteral("\"Plant 4\" RQ-3030"));
    QCOMPARE(model->rowCount(), 1);
    r->edRegisterFilter->clear();
    QCOMPARE(model->rowCount(), 4);
    r->tblRegister->setCurrentIndex(model->index(row, 0));
    SaveScreenshot(*r, QStringLiteral("register-window"));

    const QString csv = dir_.filePath(QStringLiteral("modules.csv"));
    QStringList suggested;
    r->askSavePath = [&](const QString& name) {
        suggested << name;
        return csv;
    };
    r->findChild<QAction*>(QStringLiteral("actRegisterExportModules"))->trigger();
    QFile modules(csv);
    QVERIFY(modules.open(QIODevice::ReadOnly));
    QCOMPARE(modules.readAll().count("\r\n"), 5);
    modules.close();
    r->findChild<QAction*>(QStringLiteral("actRegisterExportHistory"))->trigger();
    QCOMPARE(suggested.last(), QStringLiteral("quillon-RQ-3016-16000001.csv"));
    QVERIFY(modules.open(QIODevice::ReadOnly));
    QVERIFY(modules.readAll().contains("Set DI mode"));
    QVERIFY(r->lbRegisterStatus->text().contains(QLatin1String("4 rows saved")));
}

void TestWindowRegister::doubleClickLinks() {
    const QString path = dir_.filePath(QStringLiteral("link.sqlite"));
    RegisterWriter writer(path);
    writer.post(Seen("RQ-3040", "40000003", QString(), 3, "COM1"));
    QVERIFY(writer.flush());
    VirtualPorts ports;
    SimModule s(ModuleType::RQ3040);
    s.id = 3;
    s.serial = "40000003";
    ports.addModule(1, s);
    WindowFixture f;
    f.siteRegister = &writer;
    TfrmModule& w = f.build(&ports, VirtualPortList({1}));
    TfrmRegister* r = OpenRegister(w);
    QTRY_COMPARE(r->model()->rowCount(), 1);
    r->tblRegisterDoubleClick(0);
    QCOMPARE(w.pcMain->currentIndex(), 3);
    QCOMPARE(w.sbID->value(), 3);
    QCOMPARE(w.Linked, uint8_t(1));
    QVERIFY(Commands(ports, 1).contains(QStringLiteral("X03B")));
    QVERIFY(w.pnSerial->text().endsWith(QLatin1String("40000003")));
}

void TestWindowRegister::offIsSaidOnce_data() {
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("words");
    QTest::newRow("English") << 0 << "The site register is off: ";
    QTest::newRow("Simplified Chinese") << 1 << "现场记录已关闭: ";
    QTest::newRow("Traditional Chinese") << 2 << "現場記錄已關閉: ";
}

void TestWindowRegister::offIsSaidOnce() {
    QFETCH(int, language);
    QFETCH(QString, words);
    const QString path = dir_.filePath(QStringLiteral("notes-%1.txt").arg(language));
    QFile notes(path);
    QVERIFY(notes.open(QIODevice::WriteOnly | QIODevice::Truncate));
    notes.write("site notes\n");
    notes.close();
    RegisterWriter writer(path);
    VirtualPorts ports;
    ports.addModule(1, ModuleType::RQ3016);
    WindowFixture f;
    f.siteRegister = &writer;
    f.writeIni("[General]\nType=0\nLanguageFlag=" + Languages::flag(language).toUtf8() + "\n");
    TfrmModule& w = f.build(&ports, VirtualPortList({1}));
    // The first record finds the file unusable; every operation still works.
    Click(w, "btnScan");
    QCOMPARE(w.Linked, uint8_t(1));
    QTRY_COMPARE(f.errors.size(), 1);
    QVERIFY2(f.errors.first().startsWith(words), qPrintable(f.errors.first()));
    QVERIFY(f.errors.first().contains(path));
    // Nothing more is said.
    Click(w, "btnDIDOMode");
    QCOMPARE(f.tone.tones.last().first, 1000);
    QTest::qWait(50);
    QCOMPARE(f.errors.size(), 1);
    QVERIFY(notes.open(QIODevice::ReadOnly));
    QCOMPARE(notes.readAll(), QByteArray("site notes\n"));
    TfrmRegister* r = OpenRegister(w);
    QVERIFY(r->lbRegisterStatus->text().contains(words.left(8)));
}

void TestWindowRegister::windowAndCliTogether() {
    const QString path = dir_.filePath(QStringLiteral("together.sqlite"));
    RegisterWriter writer(path);
    VirtualPorts ports;
    ports.addModule(1, ModuleType::RQ3016);
    WindowFixture f;
    f.siteRegister = &writer;
    TfrmModule& w = BuildLinked(f, ports, 0);
    Sim sim({"--type", "RQ-3040", "--id", "2", "--quiet"});
    QVERIFY(!sim.pty.isEmpty());
    // quillon-cli reads its module three times while the window sets its own.
    QProcess cli;
    cli.start(QStringLiteral("sh"),
              {QStringLiteral("-c"),
               QStringLiteral("for i in 1 2 3; do \"$0\" info --type RQ-3040 --port \"$1\" --id 2 "
                              "--register \"$2\" >/dev/null || exit 1; done"),
               qEnvironmentVariable("QUILLON_CLI"), sim.pty, path});
    QVERIFY(cli.waitForStarted());
    for (int i = 0; i < 6; ++i) {
        w.control<QComboBox>("cmbDIDOMode")->setCurrentIndex(i % 2);
        Click(w, "btnDIDOMode");
    }
    // The window's waits may have seen it end already.
    if (cli.state() != QProcess::NotRunning) QVERIFY(cli.waitForFinished(30000));
    QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
    QCOMPARE(cli.exitCode(), 0);
    QVERIFY(writer.flush());
    QVERIFY(!writer.isOff());
    QVERIFY(f.errors.isEmpty());
    RegisterReader reader;
    QVERIFY(reader.open(path));
    const QList<RegisterModule> modules = reader.modules();
    QCOMPARE(modules.size(), 2);
    // The window's scan and read-back and six operations; the command line's three links and
    // read-backs.
    QCOMPARE(reader.history(modules.at(0).key).size(), 8);
    QCOMPARE(reader.history(modules.at(1).key).size(), 6);
}

void TestWindowRegister::reportAndReplace() {
    const QString path = dir_.filePath(QStringLiteral("replace.sqlite"));
    RegisterWriter writer(path);
    const QString site = QStringLiteral("Depot \"B\", 北");
    writer.post(Seen("RQ-3016", "16000003", site, 3, "COM1"));
    QVERIFY(writer.flush());
    VirtualPorts ports;
    SimModule fresh(ModuleType::RQ3016);
    fresh.serial = "16000009";
    SimModule& added = ports.addModule(1, fresh);
    WindowFixture f;
    f.siteRegister = &writer;
    f.site = site;
    TfrmModule& w = f.build(&ports, VirtualPortList({1}));
    TfrmRegister* r = OpenRegister(w);
    QTRY_COMPARE(r->model()->rowCount(), 1);
    for (const char* name : {"btnRegisterReport", "btnRegisterReplace"})
        QVERIFY2(r->findChild<QPushButton*>(QLatin1String(name)), name);

    const QString pdf = dir_.filePath(QStringLiteral("window report.pdf"));
    QString suggested;
    r->askReportPath = [&](const QString& name) {
        suggested = name;
        return pdf;
    };
    r->btnRegisterReport->click();
    QCOMPARE(suggested, QStringLiteral("quillon-report-Depot__B___北.pdf"));
    QFile report(pdf);
    QVERIFY(report.open(QIODevice::ReadOnly));
    QVERIFY(report.read(5) == "%PDF-");
    QVERIFY(r->lbRegisterStatus->text().contains(QLatin1String("1 module(s) saved")));

    // Nothing chosen: nothing asked, nothing sent.
    QString question;
    r->askReplace = [&](const QString& q) {
        question = q;
        return true;
    };
    r->btnRegisterReplace->click();
    QVERIFY(question.isEmpty());
    QCOMPARE(r->lbRegisterStatus->text(),
             QStringLiteral("Choose the module to replace in the table"));
    r->tblRegister->setCurrentIndex(r->model()->index(0, 0));
    r->btnRegisterReplace->click();
    QVERIFY(question.contains(QLatin1String("Take RQ-3016 16000003 off the bus")));
    // A survey and a plan row on the wire: slow under the sanitizers with the suite at once.
    QTRY_VERIFY2_WITH_TIMEOUT(r->lbRegisterStatus->text().contains(QLatin1String("took the place")),
                              qPrintable(r->lbRegisterStatus->text()), 60000);
    QCOMPARE(added.id, 3);
    QTRY_COMPARE(r->model()->rowCount(), 2);
    // A module replaced already is refused.
    r->tblRegister->setCurrentIndex(r->model()->index(0, 0));
    const QString serial =
        RegisterModulesModel::cell(*r->model()->module(0), RegisterModulesModel::Serial);
    if (serial != QLatin1String("16000003"))
        r->tblRegister->setCurrentIndex(r->model()->index(1, 0));
    r->btnRegisterReplace->click();
    QVERIFY2(r->lbRegisterStatus->text().startsWith(QLatin1String("Not replaced:")),
             qPrintable(r->lbRegisterStatus->text()));
    // The report of the site after the replacement, for the README's picture.
    const QString shots = qEnvironmentVariable("QUILLON_SCREENSHOTS");
    if (!shots.isEmpty()) {
        r->askReportPath = [&](const QString&) { return shots + QStringLiteral("/report.pdf"); };
        r->btnRegisterReport->click();
    }
}

QTEST_MAIN(TestWindowRegister)
#include "test_window_register.moc"
