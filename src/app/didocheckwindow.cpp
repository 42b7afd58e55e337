#include "app/didocheckwindow.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/access.h"
#include "engine/didocheck.h"
#include "text/extratexts.h"

TfrmDIDOCheck::TfrmDIDOCheck(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("frmDIDOCheck"));
    lblDIDOCheckHint = new QLabel(this);
    lblDIDOCheckHint->setObjectName(QStringLiteral("lblDIDOCheckHint"));
    lblDIDOCheckHint->setWordWrap(true);
    tvDIDOCheck = new QTableWidget(16, 3, this);
    tvDIDOCheck->setObjectName(QStringLiteral("tvDIDOCheck"));
    tvDIDOCheck->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvDIDOCheck->setSelectionMode(QAbstractItemView::NoSelection);
    tvDIDOCheck->verticalHeader()->setVisible(false);
    tvDIDOCheck->horizontalHeader()->setStretchLastSection(true);
    tvDIDOCheck->setColumnWidth(0, 70);
    tvDIDOCheck->setColumnWidth(1, 240);
    QFont mono = tvDIDOCheck->font();
    mono.setFamilies({QStringLiteral("Liberation Mono"), QStringLiteral("DejaVu Sans Mono")});
    for (int k = 0; k < 16; ++k) {
        for (int c = 0; c < 3; ++c) tvDIDOCheck->setItem(k, c, new QTableWidgetItem);
        tvDIDOCheck->item(k, 0)->setText(QStringLiteral("DI%1").arg(k + 1));
        tvDIDOCheck->item(k, 2)->setFont(mono);
    }
    pnDIDOCheckStatus = new ValuePanel(this);
    pnDIDOCheckStatus->setObjectName(QStringLiteral("pnDIDOCheckStatus"));
    pnDIDOCheckStatus->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblDIDOCheckHint);
    layout->addWidget(tvDIDOCheck, 1);
    layout->addWidget(pnDIDOCheckStatus);
    verdicts_.fill(ChannelVerdict::NotChecked);
    resize(560, 560);
    applyTexts(0);
}

QColor TfrmDIDOCheck::VerdictColour(ChannelVerdict v) {
    switch (v) {
        case ChannelVerdict::Ok:
            return {190, 240, 190};
        case ChannelVerdict::StuckOff:
            return {200, 210, 255};
        case ChannelVerdict::StuckOn:
            return {255, 200, 160};
        case ChannelVerdict::Crossed:
            return {240, 190, 240};
        case ChannelVerdict::Chattering:
            return {255, 236, 140};
        case ChannelVerdict::NotChecked:
            break;
    }
    return {228, 228, 228};
}

QString TfrmDIDOCheck::VerdictText(ChannelVerdict v, int follows, int langIndex) {
    using namespace ExtraTexts;
    switch (v) {
        case ChannelVerdict::Ok:
            return text(kVerdictOk, langIndex);
        case ChannelVerdict::StuckOff:
            return text(kVerdictStuckOff, langIndex);
        case ChannelVerdict::StuckOn:
            return text(kVerdictStuckOn, langIndex);
        case ChannelVerdict::Crossed:
            return text(kVerdictCrossed, langIndex).arg(follows);
        case ChannelVerdict::Chattering:
            return text(kVerdictChattering, langIndex);
        case ChannelVerdict::NotChecked:
            break;
    }
    return text(kVerdictNotChecked, langIndex);
}

void TfrmDIDOCheck::applyTexts(int langIndex) {
    langIndex_ = langIndex;
    setWindowTitle(ExtraTexts::text(ExtraTexts::kCheckTitle, langIndex));
    lblDIDOCheckHint->setText(ExtraTexts::text(ExtraTexts::kCheckHint, langIndex));
    tvDIDOCheck->setHorizontalHeaderLabels(
        ExtraTexts::text(ExtraTexts::kCheckColumns, langIndex).split(QLatin1Char('|')));
    tvDIDOCheck->horizontalHeaderItem(2)->setToolTip(
        ExtraTexts::text(ExtraTexts::kCheckSeenTip, langIndex));
    showRows();
    layout()->activate();
}

void TfrmDIDOCheck::begin() {
    verdicts_.fill(ChannelVerdict::NotChecked);
    follows_ = {};
    seen_ = {};
    state_ = State::Running;
    progress(0);
}

void TfrmDIDOCheck::progress(int stepsDone) {
    stepsDone_ = stepsDone;
    showRows();
}

void TfrmDIDOCheck::showResult(const DidoCheckResult& r, ContinuousEnd end) {
    verdicts_ = r.verdicts;
    follows_ = r.follows;
    seen_ = r.seen;
    stepsDone_ = r.stepsDone;
    outputsOff_ = r.outputsOff;
    end_ = end;
    state_ = State::Done;
    showRows();
}

QString TfrmDIDOCheck::status() const {
    using namespace ExtraTexts;
    if (state_ == State::Idle) return QString();
    if (state_ == State::Running)
        return text(kCheckStep, langIndex_)
            .arg(std::min(stepsDone_ + 1, kDidoCheckSteps))
            .arg(kDidoCheckSteps);
    // Nothing ran when the port did not open: the message line says why.
    if (end_ == ContinuousEnd::PortNotOpened) return QString();
    QString s = Summary(verdicts_, end_, langIndex_);
    if (!outputsOff_) s += QLatin1Char('\n') + text(kOutputsMayBeOn, langIndex_);
    return s;
}

QString TfrmDIDOCheck::Summary(const std::array<ChannelVerdict, 16>& verdicts, ContinuousEnd end,
                               int langIndex) {
    using namespace ExtraTexts;
    int unchecked = 0, failed = 0;
    for (ChannelVerdict v : verdicts) {
        if (v == ChannelVerdict::NotChecked)
            ++unchecked;
        else if (v != ChannelVerdict::Ok)
            ++failed;
    }
    if (failed == 0 && unchecked == 0) return text(kCheckPassed, langIndex);
    if (failed == 0 && end == ContinuousEnd::Stopped)
        return text(kCheckCancelled, langIndex).arg(unchecked);
    QStringList parts;
    if (failed > 0) parts << text(kCheckFailed, langIndex).arg(failed);
    if (unchecked > 0) parts << text(kCheckNotChecked, langIndex).arg(unchecked);
    return parts.join(QStringLiteral("; "));
}

void TfrmDIDOCheck::showRows() {
    for (int k = 0; k < 16; ++k) {
        const ChannelVerdict v = verdicts_[static_cast<size_t>(k)];
        tvDIDOCheck->item(k, 1)->setText(
            VerdictText(v, follows_[static_cast<size_t>(k)], langIndex_));
        tvDIDOCheck->item(k, 2)->setText(seen_[static_cast<size_t>(k)]);
        for (int c = 0; c < 3; ++c) tvDIDOCheck->item(k, c)->setBackground(VerdictColour(v));
    }
    pnDIDOCheckStatus->setText(status());
}
