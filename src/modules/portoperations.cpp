#include "modules/portoperations.h"

#include <QComboBox>
#include <QLabel>

#include "app/frmmodule.h"
#include "link/linesettings.h"

TryResult QueryStatus(TfrmModule& w, const std::function<void(QChar)>& show) {
    if (!SendCommand(w, QStringLiteral("F"))) return TryResult::Failed;
    if (w.link.RxPos != 9) return TryResult::FailNow;
    show(ReplyAt(w, 6));
    return TryResult::Success;
}

void GetPortModuleStatus(TfrmModule& w, QLabel* panel) {
    Operation op;
    op.nameRow = 57;
    op.action = [&w, panel] {
        return QueryStatus(w, [&w, panel](QChar status) {
            // The capital letter O, not the digit zero.
            panel->setText(w.Msg(status == QLatin1Char('O') ? 45 : 46));
        });
    };
    RunOperation(w, op);
}

void SetPortModuleLine(TfrmModule& w, const QComboBox* list) {
    Operation op;
    op.nameRow = 28;
    // The read of settings can leave the list without a selection: there is no code to send.
    op.formable = [list] {
        const int i = list->currentIndex();
        return i >= 0 && i < LineSettings::kListed;
    };
    op.action = [&w, list] {
        const QChar code = LineSettings::code(list->currentIndex());
        return SendCommand(w, QStringLiteral("K") + code) ? TryResult::Success : TryResult::Failed;
    };
    RunOperation(w, op);
}

bool CommandSendable(const TfrmModule& w, const QString& letters) {
    return Link::IsSendable(w.TypePrefix + w.ModuleId + letters);
}
