#include "app/checkoutwindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QTableWidget>
#include <algorithm>

#include "app/access.h"
#include "app/frmmodule.h"
#include "app/surveywindow.h"
#include "app/tone.h"
#include "engine/checkoutbuses.h"
#include "engine/modulecontext.h"
#include "link/portmap.h"
#include "register/registerrecorder.h"
#include "settings/settings.h"
#include "text/extratexts.h"

namespace {

// Long enough to hear across a room, short enough not to hold the window up.
constexpr int kPassToneMs = 120;

}  // namespace

TfrmCheckout::TfrmCheckout(TfrmModule& main) : QWidget(&main, Qt::Window), main_(main) {
    setObjectName(QStringLiteral("frmCheckout"));
    auto* grid = new QGridLayout(this);
    btnCheckoutPoints = new QPushButton(this);
    btnCheckoutPoints->setObjectName(QStringLiteral("btnCheckoutPoints"));
    btnCheckoutStart = new QPushButton(this);
    btnCheckoutStart->setObjectName(QStringLiteral("btnCheckoutStart"));
    cbCheckoutWaiting = new QCheckBox(this);
    cbCheckoutWaiting->setObjectName(QStringLiteral("cbCheckoutWaiting"));
    btnCheckoutSave = new QPushButton(this);
    btnCheckoutSave->setObjectName(QStringLiteral("btnCheckoutSave"));
    btnCheckoutSave->setEnabled(false);
    lbCheckoutCount = new ValuePanel(this);
    lbCheckoutCount->setObjectName(QStringLiteral("lbCheckoutCount"));
    tblCheckout = new QTableWidget(0, 6, this);
    tblCheckout->setObjectName(QStringLiteral("tblCheckout"));
    tblCheckout->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblCheckout->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblCheckout->verticalHeader()->hide();
    tblCheckout->horizontalHeader()->setStretchLastSection(true);
    lbCheckoutStatus = new ValuePanel(this);
    lbCheckoutStatus->setObjectName(QStringLiteral("lbCheckoutStatus"));
    lbCheckoutStatus->setWordWrap(true);

    // Read from a few metres away while walking the building.
    QFont large = font();
    large.setPointSize(16);
    tblCheckout->setFont(large);
    tblCheckout->verticalHeader()->setDefaultSectionSize(QFontMetrics(large).height() + 10);
    QFont count = font();
    count.setPointSize(28);
    count.setBold(true);
    lbCheckoutCount->setFont(count);

    grid->addWidget(btnCheckoutPoints, 0, 0);
    grid->addWidget(btnCheckoutStart, 0, 1);
    grid->addWidget(cbCheckoutWaiting, 0, 2);
    grid->addWidget(btnCheckoutSave, 0, 3);
    grid->addWidget(lbCheckoutCount, 1, 0, 1, 4);
    grid->addWidget(tblCheckout, 2, 0, 1, 4);
    grid->addWidget(lbCheckoutStatus, 3, 0, 1, 4);
    setTabOrder(btnCheckoutPoints, btnCheckoutStart);
    setTabOrder(btnCheckoutStart, cbCheckoutWaiting);
    setTabOrder(cbCheckoutWaiting, btnCheckoutSave);
    setTabOrder(btnCheckoutSave, tblCheckout);
    resize(900, 640);
    main_.installEventFilter(this);

    connect(btnCheckoutStart, &QPushButton::clicked, this,
            [this] { main_.guarded([this] { btnCheckoutStartClick(); }); });
    connect(btnCheckoutSave, &QPushButton::clicked, this,
            [this] { main_.guarded([this] { btnCheckoutSaveClick(); }); });
    connect(btnCheckoutPoints, &QPushButton::clicked, this,
            [this] { main_.guarded([this] { btnCheckoutPointsClick(); }); });
    connect(cbCheckoutWaiting, &QCheckBox::toggled, this, [this] { applyFilter(); });
}

TfrmCheckout::~TfrmCheckout() {
    stop_.store(true);
}

void TfrmCheckout::fitColumns() {
    // Once, when the points are laid out: bus, module and point as their texts; the state as
    // its longest word, so that a later "module silent" is not cut. The time stretches.
    tblCheckout->resizeColumnsToContents();
    const QFontMetrics fm(tblCheckout->font());
    int state = tblCheckout->columnWidth(4);
    for (const QString& t : text(ExtraTexts::kCheckoutStates).split('|'))
        state = std::max(state, fm.horizontalAdvance(t) + 2 * fm.averageCharWidth());
    tblCheckout->setColumnWidth(4, state);
}

QString TfrmCheckout::text(int row) const {
    return ExtraTexts::text(row, langIndex_);
}

QString TfrmCheckout::stateText(PointState state) const {
    return text(ExtraTexts::kCheckoutStates).split('|').value(static_cast<int>(state));
}

void TfrmCheckout::applyTexts(int langIndex) {
    langIndex_ = langIndex;
    setWindowTitle(text(ExtraTexts::kCheckoutTitle));
    btnCheckoutPoints->setText(text(ExtraTexts::kCheckoutPoints));
    btnCheckoutStart->setText(
        text(running() ? ExtraTexts::kCheckoutStop : ExtraTexts::kCheckoutStart));
    cbCheckoutWaiting->setText(text(ExtraTexts::kCheckoutWaiting));
    btnCheckoutSave->setText(text(ExtraTexts::kCheckoutSave));
    tblCheckout->setHorizontalHeaderLabels(text(ExtraTexts::kCheckoutColumns).split('|'));
    // Screen readers name each control as its caption does.
    for (QWidget* w :
         {static_cast<QWidget*>(btnCheckoutPoints), static_cast<QWidget*>(btnCheckoutStart),
          static_cast<QWidget*>(cbCheckoutWaiting), static_cast<QWidget*>(btnCheckoutSave)})
        w->setAccessibleName(w->property("text").toString().remove('&'));
    tblCheckout->setAccessibleName(text(ExtraTexts::kCheckoutTitle));
    for (int r = 0; r < tblCheckout->rowCount(); ++r) showRow(r);
    if (board_.total() > 0) showCount();
}

void TfrmCheckout::showRow(int row) {
    const CheckoutBoard::Row& r = board_.rows().at(row);
    const PointStatus& s = r.status;
    const QStringList cells{
        r.bus,
        QString::fromStdString(ModuleTypeName(s.point.type)) + ' ' + s.point.serial,
        s.point.point,
        s.point.label,
        stateText(s.state),
        board_.passedAt(row)};
    for (int c = 0; c < cells.size(); ++c) {
        QTableWidgetItem* item = tblCheckout->item(row, c);
        if (!item) tblCheckout->setItem(row, c, item = new QTableWidgetItem);
        item->setText(cells.at(c));
        item->setForeground(s.ok() ? QColor(0, 110, 0)
                            : s.state == PointState::Chattering ||
                                    s.state == PointState::ModuleSilent ||
                                    s.state == PointState::PortFailed
                                ? QColor(176, 0, 0)
                                : palette().color(QPalette::Text));
    }
    tblCheckout->setRowHidden(row, cbCheckoutWaiting->isChecked() && s.ok());
}

void TfrmCheckout::showCount() {
    lbCheckoutCount->setText(
        text(ExtraTexts::kCheckoutCount).arg(board_.passed()).arg(board_.total()));
}

void TfrmCheckout::applyFilter() {
    for (int r = 0; r < tblCheckout->rowCount(); ++r)
        tblCheckout->setRowHidden(
            r, cbCheckoutWaiting->isChecked() && board_.rows().at(r).status.ok());
}

void TfrmCheckout::setRunning(bool on) {
    btnCheckoutStart->setText(text(on ? ExtraTexts::kCheckoutStop : ExtraTexts::kCheckoutStart));
    btnCheckoutStart->setAccessibleName(btnCheckoutStart->text());
    btnCheckoutPoints->setEnabled(!on);
    btnCheckoutSave->setEnabled(!on && board_.total() > 0);
    main_.setWindowEnabled(!on);
}

bool TfrmCheckout::loadPoints(const QString& path) {
    QFile file(path);
    QList<CheckoutPoint> points;
    QList<PlanProblem> problems;
    if (!file.open(QIODevice::ReadOnly)) {
        lbCheckoutStatus->setText(text(ExtraTexts::kCheckoutRefused).arg(file.errorString()));
        return false;
    }
    if (!ParsePoints(QString::fromUtf8(file.readAll()), points, problems)) {
        QStringList why;
        for (const PlanProblem& p : problems) why << p.describe();
        lbCheckoutStatus->setText(text(ExtraTexts::kCheckoutRefused).arg(why.join('\n')));
        return false;
    }
    expected_ = points;
    pointsFile_ = QFileInfo(path).fileName();
    lbCheckoutStatus->setText(pointsFile_ + QStringLiteral(": ") +
                              text(ExtraTexts::kCheckoutCount).arg(0).arg(points.size()));
    return true;
}

void TfrmCheckout::btnCheckoutPointsClick() {
    if (running()) return;
    const QString path = QFileDialog::getOpenFileName(this, text(ExtraTexts::kCheckoutPoints),
                                                      QString(), QStringLiteral("CSV (*.csv)"));
    if (!path.isEmpty()) loadPoints(path);
}

void TfrmCheckout::btnCheckoutStartClick() {
    if (running()) {
        stop_.store(true);
        return;
    }
    if (main_.Polling == 1 || !main_.centralWidget()->isEnabled()) {
        lbCheckoutStatus->setText(text(ExtraTexts::kSurveyBusy));
        return;
    }
    // The modules are where the bus survey last found them, bus by bus.
    QStringList ports;
    QList<SurveyResult> surveys;
    if (main_.frmSurvey.made() && !main_.frmSurvey->running()) {
        const QList<SurveyModule>& found = main_.frmSurvey->found();
        const QStringList& at = main_.frmSurvey->foundPorts();
        for (int i = 0; i < found.size(); ++i) {
            int b = static_cast<int>(ports.indexOf(at.value(i)));
            if (b < 0) {
                ports << at.value(i);
                surveys << SurveyResult{};
                b = static_cast<int>(ports.size()) - 1;
            }
            surveys[b].modules << found.at(i);
        }
    }
    if (ports.isEmpty()) {
        lbCheckoutStatus->setText(text(ExtraTexts::kCheckoutNoModule));
        return;
    }
    QList<int> portNos;
    for (const QString& p : ports) portNos << qMax(1, PortNumberOf(p));
    QList<PointStatus> missing;
    const QList<CheckoutBus> buses = PlaceCheckout(surveys, portNos, expected_, &missing);

    auto openers = std::make_shared<std::vector<std::unique_ptr<PortOpener>>>();
    for (int portNo : portNos) {
        std::unique_ptr<PortOpener> o;
        if (main_.platform().busPorts) o = main_.platform().busPorts(portNo);
        if (!o) o = std::make_unique<ForwardingOpener>(*main_.platform().ports);
        OpenWait wait;
        wait.cancel = [this] { return stop_.load(); };
        o->setOpenWait(wait);
        openers->push_back(std::move(o));
    }
    runner_ = std::make_unique<BusRunner>(static_cast<int>(buses.size()), [openers](int bus) {
        return std::move(openers->at(static_cast<size_t>(bus)));
    });
    RegisterWriter* writer = main_.platform().siteRegister;
    runner_->setContextSetup([writer, ports](ModuleContext& m, int bus) {
        m.PortName = ports.value(bus);
        if (writer)
            m.addRecorder(std::make_unique<RegisterRecorder>(*writer, RecordSource::Checkout, &m));
    });

    BusCheckoutHooks hooks;
    hooks.stop = &stop_;
    hooks.each.startedAtMs = QDateTime::currentMSecsSinceEpoch();
    if (main_.platform().settings)
        hooks.each.chatterLimit = LoadChatterLimit(*main_.platform().settings);
    board_.reset(buses, ports, missing, hooks.each.startedAtMs);
    tblCheckout->setRowCount(board_.total());
    for (int r = 0; r < board_.total(); ++r) showRow(r);
    fitColumns();
    showCount();
    hooks.changed = [this](int bus, const PointStatus& s) {
        const int row = board_.update(bus, s);
        if (row < 0) return;
        showRow(row);
        showCount();
        // A tone for a point the technician worked (a module answering is not one), and one
        // for several that pass together, so that the window never waits on a string of them.
        if (s.state == PointState::Passed && s.point.point != QLatin1String("ANSWERS") &&
            main_.platform().tone &&
            (!lastTone_.isValid() || lastTone_.elapsed() >= kPassToneMs + 100)) {
            main_.platform().tone->play(Tones::kSuccessHz, kPassToneMs);
            lastTone_.start();
        }
    };
    connect(runner_.get(), &BusRunner::finished, this, [this] {
        setRunning(false);
        lbCheckoutStatus->setText(
            text(ExtraTexts::kCheckoutCount).arg(board_.passed()).arg(board_.total()));
        emit checkoutEnded();
    });
    stop_.store(false);
    lbCheckoutStatus->setText(text(ExtraTexts::kCheckoutSurveying).arg(ports.size()));
    setRunning(true);
    StartBusCheckout(*runner_, buses, hooks);
}

bool TfrmCheckout::savePoints(const QString& path) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(board_.csv().toUtf8()) < 0 ||
        !file.commit()) {
        lbCheckoutStatus->setText(
            ExtraTexts::text(ExtraTexts::kSaveFailed, langIndex_).arg(path, file.errorString()));
        return false;
    }
    lbCheckoutStatus->setText(text(ExtraTexts::kCheckoutSaved).arg(board_.total()).arg(path));
    return true;
}

void TfrmCheckout::btnCheckoutSaveClick() {
    if (running() || board_.total() == 0) return;
    const QString path =
        QFileDialog::getSaveFileName(this, text(ExtraTexts::kCheckoutSave),
                                     QStringLiteral("checkout.csv"), QStringLiteral("CSV (*.csv)"));
    if (!path.isEmpty()) savePoints(path);
}

bool TfrmCheckout::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &main_ && event->type() == QEvent::Close && running()) {
        stop_.store(true);
        event->ignore();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TfrmCheckout::closeEvent(QCloseEvent* event) {
    stop_.store(true);
    event->accept();
}
