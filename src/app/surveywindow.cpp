#include "app/surveywindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QTableWidget>

#include "app/access.h"
#include "app/frmmodule.h"
#include "app/pagecontrol.h"
#include "engine/commission.h"
#include "engine/modulecontext.h"
#include "engine/operation.h"
#include "link/linesettings.h"
#include "link/portmap.h"
#include "register/registerrecorder.h"
#include "text/extratexts.h"

TfrmSurvey::TfrmSurvey(TfrmModule& main) : QWidget(&main, Qt::Window), main_(main) {
    setObjectName(QStringLiteral("frmSurvey"));
    auto* grid = new QGridLayout(this);
    auto label = [this](const char* name) {
        auto* l = new QLabel(this);
        l->setObjectName(QLatin1String(name));
        return l;
    };
    lstSurveyPorts = new QListWidget(this);
    lstSurveyPorts->setObjectName(QStringLiteral("lstSurveyPorts"));
    lstSurveyPorts->setMaximumHeight(90);
    chkSurveyAllPorts = new QCheckBox(this);
    chkSurveyAllPorts->setObjectName(QStringLiteral("chkSurveyAllPorts"));
    cmbSurveyLine = new QComboBox(this);
    cmbSurveyLine->setObjectName(QStringLiteral("cmbSurveyLine"));
    cmbSurveyType = new QComboBox(this);
    cmbSurveyType->setObjectName(QStringLiteral("cmbSurveyType"));
    edSurveyIds = new QLineEdit(QStringLiteral("1-99"), this);
    edSurveyIds->setObjectName(QStringLiteral("edSurveyIds"));
    chkSurveyRead = new QCheckBox(this);
    chkSurveyRead->setObjectName(QStringLiteral("chkSurveyRead"));
    btnSurveyStart = new QPushButton(this);
    btnSurveyStart->setObjectName(QStringLiteral("btnSurveyStart"));
    btnSurveySavePlan = new QPushButton(this);
    btnSurveySavePlan->setObjectName(QStringLiteral("btnSurveySavePlan"));
    btnSurveySavePlan->setEnabled(false);
    pbSurvey = new QProgressBar(this);
    pbSurvey->setObjectName(QStringLiteral("pbSurvey"));
    pbSurvey->setRange(0, 100);
    pbSurvey->setValue(0);
    lbSurveyProgress = new ValuePanel(this);
    lbSurveyProgress->setObjectName(QStringLiteral("lbSurveyProgress"));
    tblSurvey = new QTableWidget(0, 6, this);
    tblSurvey->setObjectName(QStringLiteral("tblSurvey"));
    tblSurvey->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblSurvey->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblSurvey->setSelectionMode(QAbstractItemView::SingleSelection);
    tblSurvey->verticalHeader()->hide();
    tblSurvey->horizontalHeader()->setStretchLastSection(true);
    lbSurveyStatus = new ValuePanel(this);
    lbSurveyStatus->setObjectName(QStringLiteral("lbSurveyStatus"));
    lbSurveyStatus->setWordWrap(true);

    grid->addWidget(label("lbSurveyPortCaption"), 0, 0, Qt::AlignTop);
    grid->addWidget(lstSurveyPorts, 0, 1);
    grid->addWidget(chkSurveyAllPorts, 1, 1);
    grid->addWidget(label("lbSurveyLineCaption"), 2, 0);
    grid->addWidget(cmbSurveyLine, 2, 1);
    grid->addWidget(label("lbSurveyTypeCaption"), 3, 0);
    grid->addWidget(cmbSurveyType, 3, 1);
    grid->addWidget(label("lbSurveyIdsCaption"), 4, 0);
    grid->addWidget(edSurveyIds, 4, 1);
    grid->addWidget(chkSurveyRead, 5, 1);
    grid->addWidget(btnSurveyStart, 0, 2, 3, 1);
    grid->addWidget(btnSurveySavePlan, 3, 2, 3, 1);
    grid->addWidget(pbSurvey, 6, 0, 1, 3);
    grid->addWidget(lbSurveyProgress, 7, 0, 1, 3);
    grid->addWidget(tblSurvey, 8, 0, 1, 3);
    grid->addWidget(lbSurveyStatus, 9, 0, 1, 3);
    resize(640, 600);
    main_.installEventFilter(this);

    connect(chkSurveyAllPorts, &QCheckBox::toggled, this,
            [this](bool all) { lstSurveyPorts->setEnabled(!all && !running()); });
    connect(btnSurveyStart, &QPushButton::clicked, this,
            [this] { main_.guarded([this] { btnSurveyStartClick(); }); });
    connect(btnSurveySavePlan, &QPushButton::clicked, this,
            [this] { main_.guarded([this] { btnSurveySavePlanClick(); }); });
    connect(tblSurvey, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int) { main_.guarded([this, row] { tblSurveyDoubleClick(row); }); });
}

TfrmSurvey::~TfrmSurvey() {
    // The workers end within one slice of their wait.
    stop_.store(true);
}

QString TfrmSurvey::text(int row) const {
    return ExtraTexts::text(row, langIndex_);
}

void TfrmSurvey::applyTexts(int langIndex) {
    langIndex_ = langIndex;
    setWindowTitle(text(ExtraTexts::kSurveyTitle));
    findChild<QLabel*>(QStringLiteral("lbSurveyPortCaption"))
        ->setText(text(ExtraTexts::kSurveyPort));
    findChild<QLabel*>(QStringLiteral("lbSurveyLineCaption"))
        ->setText(text(ExtraTexts::kSurveyLine));
    findChild<QLabel*>(QStringLiteral("lbSurveyTypeCaption"))
        ->setText(text(ExtraTexts::kSurveyType));
    chkSurveyAllPorts->setText(text(ExtraTexts::kSurveyAllPorts));
    findChild<QLabel*>(QStringLiteral("lbSurveyIdsCaption"))->setText(text(ExtraTexts::kSurveyIds));
    chkSurveyRead->setText(text(ExtraTexts::kSurveyRead));
    btnSurveySavePlan->setText(text(ExtraTexts::kSurveySavePlan));
    btnSurveyStart->setText(text(running() ? ExtraTexts::kSurveyStop : ExtraTexts::kSurveyStart));
    tblSurvey->setHorizontalHeaderLabels(QStringList{text(ExtraTexts::kSurveyPort)} +
                                         text(ExtraTexts::kSurveyColumns).split('|'));
    if (cmbSurveyLine->count() > 0)
        cmbSurveyLine->setItemText(0, text(ExtraTexts::kSurveyAllLines));
    if (cmbSurveyType->count() == 2) {
        const std::optional<ModuleType> t = main_.tabType();
        cmbSurveyType->setItemText(
            0, text(ExtraTexts::kSurveyCurrentType)
                   .arg(t ? QString::fromStdString(ModuleTypeName(*t)) : QStringLiteral("-")));
        cmbSurveyType->setItemText(1, text(ExtraTexts::kSurveyAllTypes));
    }
    if (!running() && tblSurvey->rowCount() == 0)
        lbSurveyStatus->setText(text(ExtraTexts::kSurveyHint));
}

void TfrmSurvey::takeFromMain() {
    if (running()) return;
    lstSurveyPorts->clear();
    QStringList names;
    for (int i = 0; i < main_.cmbPort->count(); ++i) names << main_.cmbPort->itemText(i);
    // A port typed into the main window's box is offered too.
    const QString current = main_.cmbPort->currentText();
    if (!current.isEmpty() && !names.contains(current)) names << current;
    for (const QString& name : names) {
        auto* item = new QListWidgetItem(name, lstSurveyPorts);
        item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
        item->setCheckState(name == current ? Qt::Checked : Qt::Unchecked);
    }
    cmbSurveyLine->clear();
    cmbSurveyLine->addItem(QString());
    cmbSurveyLine->addItems(LineSettings::listed());
    cmbSurveyLine->setCurrentIndex(0);
    cmbSurveyType->clear();
    cmbSurveyType->addItem(QString());
    cmbSurveyType->addItem(QString());
    // Without a type selected only all types make sense.
    cmbSurveyType->setCurrentIndex(main_.tabType() ? 0 : 1);
    applyTexts(main_.LangIndex);
}

QStringList TfrmSurvey::chosenPorts() const {
    QStringList ports;
    for (int i = 0; i < lstSurveyPorts->count(); ++i) {
        const QListWidgetItem* item = lstSurveyPorts->item(i);
        if (chkSurveyAllPorts->isChecked() || item->checkState() == Qt::Checked)
            ports << item->text();
    }
    return ports;
}

void TfrmSurvey::addRow(const QString& port, const SurveyModule& m) {
    const int row = tblSurvey->rowCount();
    tblSurvey->insertRow(row);
    const QString version = m.isCh2() ? text(ExtraTexts::kSurveyCh2).arg(m.ch2Of) : m.version;
    const QStringList cells{port,
                            QString::fromStdString(ModuleTypeName(m.type)),
                            TwoDigitText(m.id),
                            LineSettings::text(m.lineIndex),
                            m.serial,
                            version};
    for (int c = 0; c < cells.size(); ++c)
        tblSurvey->setItem(row, c, new QTableWidgetItem(cells.at(c)));
}

void TfrmSurvey::showProgress(int bus, const SurveyProgress& p) {
    progress_.update(bus, p);
    pbSurvey->setValue(progress_.percent());
    const int seconds = (progress_.msLeft() + 999) / 1000;
    if (ports_.size() > 1) {
        lbSurveyProgress->setText(text(ExtraTexts::kSurveyBuses).arg(ports_.size()).arg(seconds));
    } else if (p.probing) {
        lbSurveyProgress->setText(text(ExtraTexts::kSurveyProbing).arg(seconds));
    } else {
        lbSurveyProgress->setText(text(ExtraTexts::kSurveyAsking)
                                      .arg(QString::fromStdString(ModuleTypeName(p.type)),
                                           LineSettings::text(p.lineIndex), TwoDigitText(p.id))
                                      .arg(seconds));
    }
}

void TfrmSurvey::setRunning(bool on) {
    btnSurveyStart->setText(text(on ? ExtraTexts::kSurveyStop : ExtraTexts::kSurveyStart));
    for (QWidget* w : {static_cast<QWidget*>(cmbSurveyLine), static_cast<QWidget*>(cmbSurveyType),
                       static_cast<QWidget*>(chkSurveyAllPorts),
                       static_cast<QWidget*>(chkSurveyRead), static_cast<QWidget*>(edSurveyIds)})
        w->setEnabled(!on);
    lstSurveyPorts->setEnabled(!on && !chkSurveyAllPorts->isChecked());
    btnSurveySavePlan->setEnabled(!on && read_ && !found_.isEmpty());
    main_.setWindowEnabled(!on);
}

void TfrmSurvey::btnSurveyStartClick() {
    if (running()) {
        stop_.store(true);
        return;
    }
    // The main window and the survey share the ports: one at a time.
    if (main_.Polling == 1 || !main_.centralWidget()->isEnabled()) {
        lbSurveyStatus->setText(text(ExtraTexts::kSurveyBusy));
        return;
    }
    const QStringList ports = chosenPorts();
    if (ports.isEmpty()) {
        lbSurveyStatus->setText(text(ExtraTexts::kSurveyNoPorts));
        return;
    }
    SurveyPlan plan;
    const QStringList range = edSurveyIds->text().split('-');
    bool fromOk = false, toOk = false;
    const int from = range.value(0).trimmed().toInt(&fromOk);
    const int to = range.size() == 2 ? range.value(1).trimmed().toInt(&toOk) : from;
    if (range.size() == 1) toOk = fromOk;
    if (range.size() > 2 || !fromOk || !toOk || from < 1 || to > 99 || from > to) {
        lbSurveyStatus->setText(text(ExtraTexts::kSurveyBadIds));
        return;
    }
    for (int id = from; id <= to; ++id) plan.ids << id;
    if (cmbSurveyLine->currentIndex() > 0) plan.lines << cmbSurveyLine->currentIndex() - 1;
    if (cmbSurveyType->currentIndex() == 0 && main_.tabType()) plan.types << *main_.tabType();
    plan.readSettings = chkSurveyRead->isChecked();
    QList<SurveyPlan> plans;
    for (const QString& port : ports) {
        plan.portNo = PortNumberOf(port);
        if (plan.portNo == 0) plan.portNo = 1;
        plans << plan;
    }

    // Each bus's opener is made here and handed to its worker, which alone uses it.
    auto openers = std::make_shared<std::vector<std::unique_ptr<PortOpener>>>();
    for (const SurveyPlan& p : plans) {
        std::unique_ptr<PortOpener> o;
        if (main_.platform().busPorts) o = main_.platform().busPorts(p.portNo);
        if (!o) o = std::make_unique<ForwardingOpener>(*main_.platform().ports);
        OpenWait wait;
        // A connection under way ends at once on Stop; the window says whom it waits for.
        wait.cancel = [this] { return stop_.load(); };
        wait.connecting = [this](const QString& what) {
            QMetaObject::invokeMethod(this, [this, what] {
                lbSurveyProgress->setText(text(ExtraTexts::kConnecting).arg(what));
            });
        };
        o->setOpenWait(wait);
        openers->push_back(std::move(o));
    }
    runner_ = std::make_unique<BusRunner>(static_cast<int>(plans.size()), [openers](int bus) {
        return std::move(openers->at(static_cast<size_t>(bus)));
    });
    // What each bus's survey finds goes into the site register too.
    if (RegisterWriter* writer = main_.platform().siteRegister)
        runner_->setContextSetup([writer](ModuleContext& m, int) {
            m.addRecorder(std::make_unique<RegisterRecorder>(*writer, RecordSource::Survey, &m));
        });
    ports_ = ports;
    progress_ = BusesProgress();
    found_.clear();
    foundPorts_.clear();
    results_ = QList<SurveyResult>(ports.size());
    failures_ = QList<OpenFailure>(ports.size());
    read_ = plan.readSettings;
    stop_.store(false);
    tblSurvey->setRowCount(0);
    lbSurveyStatus->clear();
    lbSurveyProgress->clear();
    pbSurvey->setValue(0);

    BusSurveyHooks hooks;
    hooks.stop = &stop_;
    hooks.found = [this](int bus, const SurveyModule& m) {
        if (!m.isCh2()) {
            found_ << m;
            foundPorts_ << ports_.value(bus);
        }
        addRow(ports_.value(bus), m);
    };
    hooks.progress = [this](int bus, const SurveyProgress& p) { showProgress(bus, p); };
    hooks.ended = [this](int bus, const SurveyResult& r, const OpenFailure& f) {
        results_[bus] = r;
        failures_[bus] = f;
    };
    connect(runner_.get(), &BusRunner::finished, this, [this] {
        setRunning(false);
        showEnd();
        emit surveyEnded();
    });
    setRunning(true);
    StartBusSurvey(*runner_, plans, hooks);
}

void TfrmSurvey::showEnd() {
    QStringList lines;
    bool stopped = false;
    int modules = 0;
    for (int bus = 0; bus < results_.size(); ++bus) {
        const SurveyResult& r = results_.at(bus);
        stopped = stopped || r.stopped;
        modules += static_cast<int>(r.modules.size());
        if (r.portFailed)
            lines << text(ExtraTexts::kSurveyNoPort)
                         .arg(ports_.value(bus), failures_.at(bus).describe(langIndex_));
    }
    lines.prepend(
        text(stopped ? ExtraTexts::kSurveyStopped : ExtraTexts::kSurveyDone).arg(modules));
    for (const SurveyResult& r : results_) {
        for (const SurveyCollision& c : r.collisions) {
            lines << text(c.id == 1 ? ExtraTexts::kSurveySharedId : ExtraTexts::kSurveyCollision)
                         .arg(QString::fromStdString(ModuleTypeName(c.type)), TwoDigitText(c.id),
                              LineSettings::text(c.lineIndex));
        }
    }
    if (modules > 0) lines << text(ExtraTexts::kSurveyHint);
    if (!stopped && modules > 0) pbSurvey->setValue(100);
    lbSurveyStatus->setText(lines.join('\n'));
    lbSurveyProgress->clear();
}

bool TfrmSurvey::savePlan(const QString& path) {
    QSaveFile file(path);
    const QString plan = WritePlan(found_, ports_.size() > 1 ? foundPorts_ : QStringList());
    if (!file.open(QIODevice::WriteOnly) || file.write(plan.toUtf8()) < 0 || !file.commit()) {
        lbSurveyStatus->setText(
            ExtraTexts::text(ExtraTexts::kSaveFailed, langIndex_).arg(path, file.errorString()));
        return false;
    }
    lbSurveyStatus->setText(text(ExtraTexts::kSurveyPlanSaved).arg(found_.size()).arg(path));
    return true;
}

void TfrmSurvey::btnSurveySavePlanClick() {
    if (running() || found_.isEmpty()) return;
    const QString path =
        QFileDialog::getSaveFileName(this, text(ExtraTexts::kSurveySavePlan),
                                     QStringLiteral("plan.csv"), QStringLiteral("CSV (*.csv)"));
    if (!path.isEmpty()) savePlan(path);
}

void TfrmSurvey::tblSurveyDoubleClick(int row) {
    if (running() || row < 0 || row >= tblSurvey->rowCount()) return;
    if (main_.Polling == 1 || !main_.centralWidget()->isEnabled()) {
        lbSurveyStatus->setText(text(ExtraTexts::kSurveyBusy));
        return;
    }
    const QString port = tblSurvey->item(row, 0)->text();
    const int lineIndex =
        LineSettings::indexOfTextOrCode(tblSurvey->item(row, 3)->text(), LineSettings::kListed);
    const std::optional<ModuleType> type =
        ParseModuleType(tblSurvey->item(row, 1)->text().toStdString());
    if (lineIndex < 0 || !type) return;
    main_.cmbPort->setEditText(port);
    main_.cmbBaudRate->setCurrentIndex(lineIndex);
    for (int i = 0; i < 6; ++i) {
        if (kAllModuleTypes[i] == *type && main_.pcMain->currentIndex() != i)
            main_.pcMain->clickTab(i);
    }
    main_.sbID->setValue(tblSurvey->item(row, 2)->text().toInt());
    main_.btnLinkClick();
    main_.raise();
    main_.activateWindow();
}

bool TfrmSurvey::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &main_ && event->type() == QEvent::Close && running()) {
        stop_.store(true);
        event->ignore();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TfrmSurvey::closeEvent(QCloseEvent* event) {
    // Closing stops the survey; what it found stays listed for the next opening.
    stop_.store(true);
    event->accept();
}
