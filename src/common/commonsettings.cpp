// The settings all types share: the ID and the line setting, and the command test.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include "app/frmmodule.h"
#include "common/operation.h"
#include "link/linesettings.h"

void TfrmModule::btnIDClick() {
    Operation op;
    op.nameRow = 25;
    op.action = [this] {
        const QString id = pnID->text();
        // The serial number of the module that has just answered the identification query.
        if (!SendCommand(*this, QStringLiteral("C") + ReplyText(*this, 6, 8) + id))
            return TryResult::Failed;
        ModuleId = id;
        return TryResult::Success;
    };
    RunOperation(*this, op);
}

void TfrmModule::btnBaudRateClick() {
    Operation op;
    op.nameRow = 28;
    // A list left without a selection has no code to send: not even the pre-query goes out.
    op.formable = [this] {
        const int i = cmbBaudRate->currentIndex();
        return i >= 0 && i < LineSettings::kListed;
    };
    op.action = [this] {
        const int i = cmbBaudRate->currentIndex();
        if (!SendCommand(*this, QStringLiteral("E") + LineSettings::code(i)))
            return TryResult::Failed;
        // The port keeps its setting for now: the reply came at the old one.
        BaudIndex = i;
        BaudText = LineSettings::text(i);
        return TryResult::Success;
    };
    RunOperation(*this, op);
}

void TfrmModule::btnTestClick() {
    Operation op;
    op.nameRow = 35;
    op.preQuery = 0;
    op.tries = 1;
    op.action = [this] {
        if (!SendCommand(*this, control<QLineEdit>("edTestSend")->text())) return TryResult::Failed;
        link.RenderTraffic(link.RxPos, link.RxBuf);
        control<QLineEdit>("edTestRecv")->setText(QString::fromLatin1(link.LogBuf));
        return TryResult::Success;
    };
    RunOperation(*this, op);
}
