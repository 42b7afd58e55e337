#include "app/cardlogwindow.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "app/access.h"
#include "app/cardlogmodel.h"
#include "engine/testsummary.h"
#include "text/extratexts.h"

TfrmCardLog::TfrmCardLog(CardLogModel& log, QWidget* parent)
    : QWidget(parent, Qt::Window), log_(log) {
    setObjectName(QStringLiteral("frmCardLog"));
    tvCardLog = new QTableView(this);
    tvCardLog->setObjectName(QStringLiteral("tvCardLog"));
    tvCardLog->setModel(&log_);
    tvCardLog->setSelectionBehavior(QAbstractItemView::SelectRows);
    tvCardLog->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvCardLog->verticalHeader()->setVisible(false);
    tvCardLog->horizontalHeader()->setStretchLastSection(true);
    tvCardLog->horizontalHeader()->setDefaultSectionSize(140);
    pnCardLogCounts = new ValuePanel(this);
    pnCardLogCounts->setObjectName(QStringLiteral("pnCardLogCounts"));
    btnCardLogSave = new QPushButton(this);
    btnCardLogSave->setObjectName(QStringLiteral("btnCardLogSave"));
    pnCardLogStatus = new ValuePanel(this);
    pnCardLogStatus->setObjectName(QStringLiteral("pnCardLogStatus"));

    auto* bar = new QHBoxLayout;
    bar->addWidget(pnCardLogCounts, 1);
    bar->addWidget(btnCardLogSave);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(tvCardLog, 1);
    layout->addWidget(pnCardLogStatus);

    connect(btnCardLogSave, &QPushButton::clicked, this, &TfrmCardLog::btnCardLogSaveClick);
    connect(&log_, &CardLogModel::countsChanged, this, &TfrmCardLog::showCounts);
    askSavePath = [this] {
        return QFileDialog::getSaveFileName(
            this, windowTitle(), QStringLiteral("quillon-card-log.csv"),
            ExtraTexts::text(ExtraTexts::kCardLogFilters, langIndex_));
    };
    resize(720, 480);
    applyTexts(0);
}

void TfrmCardLog::applyTexts(int langIndex) {
    langIndex_ = langIndex;
    setWindowTitle(ExtraTexts::text(ExtraTexts::kCardLogTitle, langIndex));
    btnCardLogSave->setText(ExtraTexts::text(ExtraTexts::kSave, langIndex));
    log_.setLanguage(langIndex);
    showCounts();
    layout()->activate();
}

void TfrmCardLog::showCounts() {
    pnCardLogCounts->setText(ExtraTexts::text(ExtraTexts::kCardLogCounts, langIndex_)
                                 .arg(log_.count(1))
                                 .arg(log_.count(2)));
}

void TfrmCardLog::testEnded(const TestSummary& s) {
    pnCardLogStatus->setText(ExtraTexts::text(ExtraTexts::kTestEnded, langIndex_)
                                 .arg(QString::number(s.durationMs() / 1000.0, 'f', 1))
                                 .arg(s.cycles)
                                 .arg(s.failures));
}

void TfrmCardLog::btnCardLogSaveClick() {
    const QString path = askSavePath ? askSavePath() : QString();
    if (path.isEmpty()) return;
    QString error;
    if (log_.saveCsv(path, &error))
        pnCardLogStatus->setText(ExtraTexts::text(ExtraTexts::kSaved, langIndex_)
                                     .arg(QString::number(log_.rowCount()), path));
    else
        pnCardLogStatus->setText(
            ExtraTexts::text(ExtraTexts::kSaveFailed, langIndex_).arg(path, error));
}
