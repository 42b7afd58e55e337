#include "app/surveywindow.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>

#include "app/frmmodule.h"
#include "app/pagecontrol.h"
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
    cmbSurveyPort = new QComboBox(this);
    cmbSurveyPort->setObjectName(QStringLiteral("cmbSurveyPort"));
    cmbSurveyPort->setEditable(true);
    cmbSurveyLine = new QComboBox(this);
    cmbSurveyLine->setObjectName(QStringLiteral("cmbSurveyLine"));
    cmbSurveyType = new QComboBox(this);
    cmbSurveyType->setObjectName(QStringLiteral("cmbSurveyType"));
    btnSurveyStart = new QPushButton(this);
    btnSurveyStart->setObjectName(QStringLiteral("btnSurveyStart"));
    pbSurvey = new QProgressBar(this);
    pbSurvey->setObjectName(QStringLiteral("pbSurvey"));
    pbSurvey->setRange(0, 100);
    pbSurvey->setValue(0);
    lbSurveyProgress = label("lbSurveyProgress");
    tblSurvey = new QTableWidget(0, 5, this);
    tblSurvey->setObjectName(QStringLiteral("tblSurvey"));
    tblSurvey->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblSurvey->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblSurvey->setSelectionMode(QAbstractItemView::SingleSelection);
    tblSurvey->verticalHeader()->hide();
    tblSurvey->horizontalHeader()->setStretchLastSection(true);
    lbSurveyStatus = label("lbSurveyStatus");
    lbSurveyStatus->setWordWrap(true);

    grid->addWidget(label("lbSurveyPortCaption"), 0, 0);
    grid->addWidget(cmbSurveyPort, 0, 1);
    grid->addWidget(label("lbSurveyLineCaption"), 1, 0);
    grid->addWidget(cmbSurveyLine, 1, 1);
    grid->addWidget(label("lbSurveyTypeCaption"), 2, 0);
    grid->addWidget(cmbSurveyType, 2, 1);
    grid->addWidget(btnSurveyStart, 0, 2, 3, 1);
    grid->addWidget(pbSurvey, 3, 0, 1, 3);
    grid->addWidget(lbSurveyProgress, 4, 0, 1, 3);
    grid->addWidget(tblSurvey, 5, 0, 1, 3);
    grid->addWidget(lbSurveyStatus, 6, 0, 1, 3);
    resize(560, 420);
    main_.installEventFilter(this);

    connect(btnSurveyStart, &QPushButton::clicked, this,
            [this] { main_.guarded([this] { btnSurveyStartClick(); }); });
    connect(tblSurvey, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int) { main_.guarded([this, row] { tblSurveyDoubleClick(row); }); });
}

TfrmSurvey::~TfrmSurvey() = default;

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
    btnSurveyStart->setText(text(running_ ? ExtraTexts::kSurveyStop : ExtraTexts::kSurveyStart));
    tblSurvey->setHorizontalHeaderLabels(text(ExtraTexts::kSurveyColumns).split('|'));
    if (cmbSurveyLine->count() > 0)
        cmbSurveyLine->setItemText(0, text(ExtraTexts::kSurveyAllLines));
    if (cmbSurveyType->count() == 2) {
        const std::optional<ModuleType> t = main_.tabType();
        cmbSurveyType->setItemText(
            0, text(ExtraTexts::kSurveyCurrentType)
                   .arg(t ? QString::fromStdString(ModuleTypeName(*t)) : QStringLiteral("-")));
        cmbSurveyType->setItemText(1, text(ExtraTexts::kSurveyAllTypes));
    }
    if (!running_ && tblSurvey->rowCount() == 0)
        lbSurveyStatus->setText(text(ExtraTexts::kSurveyHint));
}

void TfrmSurvey::takeFromMain() {
    if (running_) return;
    cmbSurveyPort->clear();
    for (int i = 0; i < main_.cmbPort->count(); ++i)
        cmbSurveyPort->addItem(main_.cmbPort->itemText(i));
    cmbSurveyPort->setEditText(main_.cmbPort->currentText());
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

void TfrmSurvey::addRow(const SurveyModule& m) {
    const int row = tblSurvey->rowCount();
    tblSurvey->insertRow(row);
    const QStringList cells{QString::fromStdString(ModuleTypeName(m.type)), TwoDigitText(m.id),
                            LineSettings::text(m.lineIndex), m.serial, m.version};
    for (int c = 0; c < cells.size(); ++c)
        tblSurvey->setItem(row, c, new QTableWidgetItem(cells.at(c)));
}

void TfrmSurvey::btnSurveyStartClick() {
    if (running_) {
        stop_ = true;
        return;
    }
    // The main window and the survey share the port: one at a time.
    if (main_.Polling == 1 || !main_.centralWidget()->isEnabled()) {
        lbSurveyStatus->setText(text(ExtraTexts::kSurveyBusy));
        return;
    }
    SurveyPlan plan;
    plan.portNo = PortNumberOf(cmbSurveyPort->currentText());
    if (plan.portNo == 0) plan.portNo = 1;
    if (cmbSurveyLine->currentIndex() > 0) plan.lines << cmbSurveyLine->currentIndex() - 1;
    if (cmbSurveyType->currentIndex() == 0 && main_.tabType()) plan.types << *main_.tabType();

    recorder_.reset();
    context_ = std::make_unique<ModuleContext>(*main_.platform().ports);
    if (RegisterWriter* writer = main_.platform().siteRegister)
        recorder_ = std::make_unique<RecorderAttachment>(*context_, *writer, RecordSource::Survey);
    failure_ = {};
    connect(&context_->link, &Link::portOpenResult, this,
            [this](int, const OpenFailure& f) { failure_ = f; });
    result_ = {};
    tblSurvey->setRowCount(0);
    lbSurveyStatus->clear();
    pbSurvey->setValue(0);
    running_ = true;
    stop_ = false;
    btnSurveyStart->setText(text(ExtraTexts::kSurveyStop));
    for (QWidget* w : {static_cast<QWidget*>(cmbSurveyPort), static_cast<QWidget*>(cmbSurveyLine),
                       static_cast<QWidget*>(cmbSurveyType)})
        w->setEnabled(false);
    main_.setWindowEnabled(false);

    SurveyHooks hooks;
    hooks.stop = [this] { return stop_; };
    hooks.found = [this](const SurveyModule& m) { addRow(m); };
    hooks.progress = [this](const SurveyProgress& p) {
        pbSurvey->setValue(p.total > 0 ? 100 * p.done / p.total : 100);
        lbSurveyProgress->setText(text(ExtraTexts::kSurveyAsking)
                                      .arg(QString::fromStdString(ModuleTypeName(p.type)),
                                           LineSettings::text(p.lineIndex), TwoDigitText(p.id))
                                      .arg((p.msLeft + 999) / 1000));
    };
    result_ = RunSurvey(*context_, plan, hooks);

    running_ = false;
    main_.setWindowEnabled(true);
    for (QWidget* w : {static_cast<QWidget*>(cmbSurveyPort), static_cast<QWidget*>(cmbSurveyLine),
                       static_cast<QWidget*>(cmbSurveyType)})
        w->setEnabled(true);
    btnSurveyStart->setText(text(ExtraTexts::kSurveyStart));
    if (result_.portFailed) {
        lbSurveyStatus->setText(
            text(ExtraTexts::kSurveyNoPort)
                .arg(cmbSurveyPort->currentText(), ExtraTexts::describe(failure_, langIndex_)));
        return;
    }
    if (!result_.stopped) pbSurvey->setValue(100);
    showEnd();
}

void TfrmSurvey::showEnd() {
    QStringList lines;
    lines << text(result_.stopped ? ExtraTexts::kSurveyStopped : ExtraTexts::kSurveyDone)
                 .arg(result_.modules.size());
    for (const SurveyCollision& c : result_.collisions) {
        lines << text(c.id == 1 ? ExtraTexts::kSurveySharedId : ExtraTexts::kSurveyCollision)
                     .arg(QString::fromStdString(ModuleTypeName(c.type)), TwoDigitText(c.id),
                          LineSettings::text(c.lineIndex));
    }
    if (!result_.modules.isEmpty()) lines << text(ExtraTexts::kSurveyHint);
    lbSurveyStatus->setText(lines.join('\n'));
    lbSurveyProgress->clear();
}

void TfrmSurvey::tblSurveyDoubleClick(int row) {
    if (running_ || row < 0 || row >= result_.modules.size()) return;
    if (main_.Polling == 1 || !main_.centralWidget()->isEnabled()) {
        lbSurveyStatus->setText(text(ExtraTexts::kSurveyBusy));
        return;
    }
    const SurveyModule& m = result_.modules.at(row);
    main_.cmbPort->setEditText(cmbSurveyPort->currentText());
    main_.cmbBaudRate->setCurrentIndex(m.lineIndex);
    for (int i = 0; i < 6; ++i) {
        if (kAllModuleTypes[i] == m.type && main_.pcMain->currentIndex() != i)
            main_.pcMain->clickTab(i);
    }
    main_.sbID->setValue(m.id);
    main_.btnLinkClick();
    main_.raise();
    main_.activateWindow();
}

bool TfrmSurvey::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &main_ && event->type() == QEvent::Close && running_) {
        stop_ = true;
        event->ignore();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TfrmSurvey::closeEvent(QCloseEvent* event) {
    // Closing stops the survey; what it found stays listed for the next opening.
    stop_ = true;
    event->accept();
}
