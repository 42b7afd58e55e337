#include "app/trafficlogwindow.h"

#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "app/access.h"
#include "text/extratexts.h"

TfrmTrafficLog::TfrmTrafficLog(Link& link, QWidget* parent)
    : QWidget(parent, Qt::Window), link_(&link) {
    setObjectName(QStringLiteral("frmTrafficLog"));
    resize(960, 420);

    edTrafficLog = new QPlainTextEdit(this);
    edTrafficLog->setObjectName(QStringLiteral("edTrafficLog"));
    edTrafficLog->setReadOnly(true);
    edTrafficLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    edTrafficLog->setMaximumBlockCount(log_.capacity());
    edTrafficLog->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    auto button = [this](const char* name) {
        auto* b = new QPushButton(this);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    btnLogPause = button("btnLogPause");
    btnLogPause->setCheckable(true);
    btnLogClear = button("btnLogClear");
    btnLogSave = button("btnLogSave");
    pnLogStatus = new ValuePanel(this);
    pnLogStatus->setObjectName(QStringLiteral("pnLogStatus"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnLogPause);
    buttons->addWidget(btnLogClear);
    buttons->addWidget(btnLogSave);
    buttons->addWidget(pnLogStatus, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(edTrafficLog, 1);
    layout->addLayout(buttons);

    connect(btnLogPause, &QPushButton::clicked, this, &TfrmTrafficLog::btnLogPauseClick);
    connect(btnLogClear, &QPushButton::clicked, this, &TfrmTrafficLog::btnLogClearClick);
    connect(btnLogSave, &QPushButton::clicked, this, &TfrmTrafficLog::btnLogSaveClick);
    log_.onLine = [this](const QString& line) { edTrafficLog->appendPlainText(line); };

    askSavePath = [this] {
        return QFileDialog::getSaveFileName(this, windowTitle(),
                                            QStringLiteral("quillon-traffic.txt"),
                                            QStringLiteral("Text (*.txt);;All files (*)"));
    };
    applyTexts(0);
}

TfrmTrafficLog::~TfrmTrafficLog() {
    attach(false);
}

void TfrmTrafficLog::applyTexts(int langIndex) {
    langIndex_ = langIndex;
    setWindowTitle(ExtraTexts::text(ExtraTexts::kTrafficLogTitle, langIndex));
    btnLogPause->setText(ExtraTexts::text(ExtraTexts::kPause, langIndex));
    btnLogClear->setText(ExtraTexts::text(ExtraTexts::kClear, langIndex));
    btnLogSave->setText(ExtraTexts::text(ExtraTexts::kSave, langIndex));
    // Laid out now, shown or not, so that the buttons have their places from the start.
    layout()->activate();
}

void TfrmTrafficLog::attach(bool on) {
    if (!link_) return;
    if (on) {
        link_->setTrafficSink(&log_);
    } else if (link_->trafficSink() == &log_) {
        link_->setTrafficSink(nullptr);
    }
}

void TfrmTrafficLog::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    attach(true);
}

void TfrmTrafficLog::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // A hide that the window system sends (the desktop minimised) is no close: keep recording.
    if (!event->spontaneous()) attach(false);
}

void TfrmTrafficLog::btnLogPauseClick() {
    log_.setPaused(btnLogPause->isChecked());
}

void TfrmTrafficLog::btnLogClearClick() {
    log_.clear();
    edTrafficLog->clear();
    pnLogStatus->clear();
}

void TfrmTrafficLog::btnLogSaveClick() {
    const QString path = askSavePath ? askSavePath() : QString();
    if (path.isEmpty()) return;
    QString error;
    if (log_.save(path, &error)) {
        pnLogStatus->setText(ExtraTexts::text(ExtraTexts::kSaved, langIndex_)
                                 .arg(QString::number(log_.size()), path));
    } else {
        pnLogStatus->setText(
            ExtraTexts::text(ExtraTexts::kSaveFailed, langIndex_).arg(path, error));
    }
}
