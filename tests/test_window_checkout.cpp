// The site checkout window over a simulated bus on the in-process port, on the modules the bus
// survey found: each of its controls by object name.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

#include "app/checkoutwindow.h"
#include "app/surveywindow.h"
#include "sim/virtualports.h"
#include "support/windowfixture.h"

class TestWindowCheckout : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void refusedWithoutASurvey();
    void startTicksOffEveryPoint();
    void waitingFilter();
    void saveAsCsv();
    void pointsListRefusedOrTaken();

  private:
    VirtualPorts ports_;
    WindowFixture f_;
    TfrmModule* w_ = nullptr;
    TfrmCheckout* c_ = nullptr;
};

void TestWindowCheckout::initTestCase() {
    // Inputs that walk along by themselves and cards queued before the start: the bus is never
    // touched from this thread while a worker asks it.
    SimModule di(ModuleType::RQ3016);
    di.id = 3;
    di.serial = "16000301";
    di.inputMode = InputMode::Walking;
    SimModule k(ModuleType::RQ3050K);
    k.id = 4;
    k.serial = "50000302";
    ports_.addModule(1, di);
    SimModule& reader = ports_.addModule(1, k);
    QVERIFY(reader.queueEvent(1, CardEvent::Card("00027CBB")));
    QVERIFY(reader.queueEvent(2, CardEvent::KeyInput("12")));
    // Slow enough that a walking input changes less often than the chatter limit.
    ports_.host(1).setBaseDelayMs(30);
    w_ = &f_.build(&ports_);
    QAction* menu = w_->findChild<QAction*>(QStringLiteral("mnuCheckout"));
    QVERIFY(menu);
    QCOMPARE(menu->text(), QStringLiteral("Site &checkout..."));
    menu->trigger();
    c_ = w_->frmCheckout;
    QVERIFY(c_->isVisible());
    QCOMPARE(c_->windowTitle(), QStringLiteral("Site checkout"));
}

void TestWindowCheckout::refusedWithoutASurvey() {
    c_->btnCheckoutStart->click();
    QVERIFY(!c_->running());
    QCOMPARE(c_->lbCheckoutStatus->text(),
             QStringLiteral("No module found: choose the ports and line settings in the survey"));
    QVERIFY(ports_.opens().empty());
}

void TestWindowCheckout::startTicksOffEveryPoint() {
    w_->findChild<QAction*>(QStringLiteral("mnuSurvey"))->trigger();
    TfrmSurvey* s = w_->frmSurvey;
    s->cmbSurveyType->setCurrentIndex(1);
    s->cmbSurveyLine->setCurrentIndex(1 + 5);
    s->edSurveyIds->setText(QStringLiteral("1-5"));
    QSignalSpy surveyed(s, &TfrmSurvey::surveyEnded);
    s->btnSurveyStart->click();
    QVERIFY(surveyed.wait(30000));
    QCOMPARE(s->found().size(), 2);

    ports_.clearRecords();
    f_.tone.tones.clear();
    QSignalSpy ended(c_, &TfrmCheckout::checkoutEnded);
    c_->btnCheckoutStart->click();
    QVERIFY(c_->running());
    QCOMPARE(c_->btnCheckoutStart->text(), QStringLiteral("Stop"));
    QVERIFY(!w_->centralWidget()->isEnabled());
    // 16 inputs and ANSWERS; CH1, CH2, KEYS and ANSWERS.
    QCOMPARE(c_->tblCheckout->rowCount(), 21);
    QCOMPARE(c_->tblCheckout->item(2, 2)->text(), QStringLiteral("DI3"));
    QTRY_COMPARE_WITH_TIMEOUT(c_->lbCheckoutCount->text(), QStringLiteral("20 of 21 points passed"),
                              20000);
    if (const QString shots = qEnvironmentVariable("QUILLON_SCREENSHOTS"); !shots.isEmpty())
        c_->grab().save(shots + QStringLiteral("/checkout-window.png"));
    c_->btnCheckoutStart->click();
    QVERIFY(ended.wait(5000));
    QVERIFY(w_->centralWidget()->isEnabled());
    QCOMPARE(c_->btnCheckoutStart->text(), QStringLiteral("Start"));
    // A short high tone at the passes of the points worked (passes close together share one).
    QVERIFY(!f_.tone.tones.isEmpty());
    QVERIFY(f_.tone.tones.size() <= 18);
    for (const auto& tone : f_.tone.tones) {
        QCOMPARE(tone.first, 1000);
        QVERIFY(tone.second < 300);
    }
    // CH #2 has no card: it waits still; nothing switched an output.
    QStringList waiting;
    for (int r = 0; r < c_->tblCheckout->rowCount(); ++r)
        if (c_->tblCheckout->item(r, 4)->text() == QLatin1String("waiting"))
            waiting << c_->tblCheckout->item(r, 2)->text();
    QCOMPARE(waiting, QStringList{"CH2"});
    QVERIFY(!c_->tblCheckout->item(0, 5)->text().isEmpty());
    for (const std::string& cmd : ports_.commands(1)) QCOMPARE(cmd.size(), size_t(4));
}

void TestWindowCheckout::waitingFilter() {
    c_->cbCheckoutWaiting->setChecked(true);
    int shown = 0;
    for (int r = 0; r < c_->tblCheckout->rowCount(); ++r)
        if (!c_->tblCheckout->isRowHidden(r)) ++shown;
    QCOMPARE(shown, 1);
    c_->cbCheckoutWaiting->setChecked(false);
    QVERIFY(!c_->tblCheckout->isRowHidden(0));
}

void TestWindowCheckout::saveAsCsv() {
    QVERIFY(c_->btnCheckoutSave->isEnabled());
    QTemporaryDir dir;
    const QString path = dir.filePath("checkout.csv");
    QVERIFY(c_->savePoints(path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split("\r\n", Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 22);
    QCOMPARE(lines.first(), QStringLiteral("bus,type,serial,point,label,state,passed_at"));
    QVERIFY(lines.contains("COM1,RQ-3050K,50000302,CH2,,waiting,"));
    QVERIFY(lines.value(3).startsWith("COM1,RQ-3016,16000301,DI3,,passed,20"));
}

void TestWindowCheckout::pointsListRefusedOrTaken() {
    QTemporaryDir dir;
    QFile bad(dir.filePath("bad.csv"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("RQ-3050S,50000302,KEYS,Gate\n");
    bad.close();
    QVERIFY(c_->btnCheckoutPoints->isEnabled());
    QVERIFY(!c_->loadPoints(bad.fileName()));
    QVERIFY2(c_->lbCheckoutStatus->text().contains("row 1, column point"),
             qPrintable(c_->lbCheckoutStatus->text()));
    QFile good(dir.filePath("good.csv"));
    QVERIFY(good.open(QIODevice::WriteOnly));
    good.write("RQ-3050K,50000302,ANSWERS,\"Gate, north\"\nRQ-3016,16009999,DI1,Gone\n");
    good.close();
    QVERIFY(c_->loadPoints(good.fileName()));
    // The list's points alone: the one found answers, the other's module is missing.
    QSignalSpy ended(c_, &TfrmCheckout::checkoutEnded);
    c_->btnCheckoutStart->click();
    QCOMPARE(c_->tblCheckout->rowCount(), 2);
    QTRY_COMPARE_WITH_TIMEOUT(c_->lbCheckoutCount->text(), QStringLiteral("1 of 2 points passed"),
                              10000);
    QCOMPARE(c_->tblCheckout->item(0, 3)->text(), QStringLiteral("Gate, north"));
    QCOMPARE(c_->tblCheckout->item(1, 4)->text(), QStringLiteral("module silent"));
    c_->btnCheckoutStart->click();
    QVERIFY(ended.wait(5000));
}

QTEST_MAIN(TestWindowCheckout)
#include "test_window_checkout.moc"
