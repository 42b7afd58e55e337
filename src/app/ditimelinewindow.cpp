#include "app/ditimelinewindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QImageWriter>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/access.h"
#include "app/ditimelinewidget.h"
#include "engine/didotimeline.h"
#include "engine/testsummary.h"
#include "text/extratexts.h"

namespace {
const qint64 kSpansMs[] = {10 * 1000, 60 * 1000, 10 * 60 * 1000};
}  // namespace

TfrmDITimeline::TfrmDITimeline(std::shared_ptr<DidoTimeline> timeline, QWidget* parent)
    : QWidget(parent, Qt::Window), timeline_(std::move(timeline)) {
    setObjectName(QStringLiteral("frmDITimeline"));
    wgDITimeline = new DITimelineWidget(timeline_, this);

    cmbDITimelineSpan = new QComboBox(this);
    cmbDITimelineSpan->setObjectName(QStringLiteral("cmbDITimelineSpan"));
    chkDITimelineDO = new QCheckBox(this);
    chkDITimelineDO->setObjectName(QStringLiteral("chkDITimelineDO"));
    chkDITimelineDO->setChecked(true);
    btnDITimelinePause = new QPushButton(this);
    btnDITimelinePause->setObjectName(QStringLiteral("btnDITimelinePause"));
    btnDITimelinePause->setCheckable(true);
    lblDITimelineChatter = new QLabel(this);
    lblDITimelineChatter->setObjectName(QStringLiteral("lblDITimelineChatter"));
    edDITimelineChatter = new QSpinBox(this);
    edDITimelineChatter->setObjectName(QStringLiteral("edDITimelineChatter"));
    edDITimelineChatter->setRange(1, 100);
    edDITimelineChatter->setValue(timeline_->chatter().limit());
    btnDITimelineSave = new QPushButton(this);
    btnDITimelineSave->setObjectName(QStringLiteral("btnDITimelineSave"));
    pnDITimelineStatus = new ValuePanel(this);
    pnDITimelineStatus->setObjectName(QStringLiteral("pnDITimelineStatus"));

    auto* bar = new QHBoxLayout;
    bar->addWidget(cmbDITimelineSpan);
    bar->addWidget(chkDITimelineDO);
    bar->addWidget(btnDITimelinePause);
    bar->addSpacing(16);
    bar->addWidget(lblDITimelineChatter);
    bar->addWidget(edDITimelineChatter);
    bar->addStretch(1);
    bar->addWidget(btnDITimelineSave);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(wgDITimeline, 1);
    layout->addWidget(pnDITimelineStatus);

    connect(cmbDITimelineSpan, &QComboBox::currentIndexChanged, this,
            &TfrmDITimeline::cmbDITimelineSpanChange);
    connect(chkDITimelineDO, &QCheckBox::toggled, this, &TfrmDITimeline::chkDITimelineDOClick);
    connect(btnDITimelinePause, &QPushButton::clicked, this,
            &TfrmDITimeline::btnDITimelinePauseClick);
    connect(edDITimelineChatter, &QSpinBox::valueChanged, this,
            &TfrmDITimeline::edDITimelineChatterChange);
    connect(btnDITimelineSave, &QPushButton::clicked, this,
            &TfrmDITimeline::btnDITimelineSaveClick);

    askSavePath = [this] {
        const QStringList filters =
            ExtraTexts::text(ExtraTexts::kSaveFilters, langIndex_).split(QStringLiteral(";;"));
        QString filter = filters.value(0);
        QString path = QFileDialog::getSaveFileName(this, windowTitle(),
                                                    QStringLiteral("quillon-di-timeline.csv"),
                                                    filters.join(QStringLiteral(";;")), &filter);
        // A name without a suffix takes the one of the type chosen.
        if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty())
            path += filter == filters.value(1) ? QStringLiteral(".png") : QStringLiteral(".csv");
        return path;
    };
    resize(960, 620);
    applyTexts(0);
}

void TfrmDITimeline::applyTexts(int langIndex) {
    langIndex_ = langIndex;
    setWindowTitle(ExtraTexts::text(ExtraTexts::kTimelineTitle, langIndex));
    const int span = std::max(0, cmbDITimelineSpan->currentIndex());
    {
        const QSignalBlocker quiet(cmbDITimelineSpan);
        cmbDITimelineSpan->clear();
        cmbDITimelineSpan->addItems(
            ExtraTexts::text(ExtraTexts::kTimelineSpans, langIndex).split(QLatin1Char('|')));
        cmbDITimelineSpan->setCurrentIndex(span);
    }
    chkDITimelineDO->setText(ExtraTexts::text(ExtraTexts::kTimelineOutputs, langIndex));
    btnDITimelinePause->setText(ExtraTexts::text(
        btnDITimelinePause->isChecked() ? ExtraTexts::kResume : ExtraTexts::kPause, langIndex));
    lblDITimelineChatter->setText(ExtraTexts::text(ExtraTexts::kChatterLimit, langIndex));
    edDITimelineChatter->setSuffix(ExtraTexts::text(ExtraTexts::kChatterUnit, langIndex));
    btnDITimelineSave->setText(ExtraTexts::text(ExtraTexts::kSave, langIndex));
    if (pnDITimelineStatus->text().isEmpty() || timeline_->lastMs() == 0)
        pnDITimelineStatus->setText(ExtraTexts::text(ExtraTexts::kTimelineIdle, langIndex));
    wgDITimeline->setLanguage(langIndex);
    layout()->activate();
}

void TfrmDITimeline::testStarted() {
    pnDITimelineStatus->clear();
    if (btnDITimelinePause->isChecked()) {
        btnDITimelinePause->setChecked(false);
        btnDITimelinePauseClick();
    }
    wgDITimeline->update();
}

void TfrmDITimeline::timelineChanged() {
    wgDITimeline->changed();
}

void TfrmDITimeline::testEnded(const TestSummary& s) {
    pnDITimelineStatus->setText(ExtraTexts::text(ExtraTexts::kTestEnded, langIndex_)
                                    .arg(QString::number(s.durationMs() / 1000.0, 'f', 1))
                                    .arg(s.cycles)
                                    .arg(s.failures));
    wgDITimeline->update();
}

void TfrmDITimeline::cmbDITimelineSpanChange() {
    const int i = cmbDITimelineSpan->currentIndex();
    if (i >= 0 && i < static_cast<int>(std::size(kSpansMs))) wgDITimeline->setSpanMs(kSpansMs[i]);
}

void TfrmDITimeline::chkDITimelineDOClick() {
    wgDITimeline->setShowOutputs(chkDITimelineDO->isChecked());
}

void TfrmDITimeline::btnDITimelinePauseClick() {
    const bool paused = btnDITimelinePause->isChecked();
    wgDITimeline->setPaused(paused);
    btnDITimelinePause->setText(
        ExtraTexts::text(paused ? ExtraTexts::kResume : ExtraTexts::kPause, langIndex_));
}

void TfrmDITimeline::edDITimelineChatterChange() {
    timeline_->setChatterLimit(edDITimelineChatter->value());
    wgDITimeline->update();
    if (chatterLimitChanged) chatterLimitChanged(edDITimelineChatter->value());
}

void TfrmDITimeline::btnDITimelineSaveClick() {
    const QString path = askSavePath ? askSavePath() : QString();
    if (path.isEmpty()) return;
    QString error;
    bool ok = false;
    if (path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive)) {
        QImageWriter writer(path, "png");
        ok = writer.write(wgDITimeline->grab().toImage());
        if (!ok) error = writer.errorString();
    } else {
        ok = timeline_->saveCsv(path, &error);
    }
    pnDITimelineStatus->setText(
        ok ? ExtraTexts::text(ExtraTexts::kSavedTo, langIndex_).arg(path)
           : ExtraTexts::text(ExtraTexts::kSaveFailed, langIndex_).arg(path, error));
}
