// Factory default: the identification query of each try, then the sequence of the selected
// module type; the window's controls follow the values written.

#include "common/factory.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QRegularExpression>
#include <QScrollBar>

#include "app/frmmodule.h"
#include "app/pagecontrol.h"
#include "common/operation.h"
#include "link/linesettings.h"

namespace {

std::vector<FactoryStep> StepsOf(int typeTab) {
    switch (typeTab) {
        case 0:
            return DidoFactorySteps();
        case 1:
            return PrinterFactorySteps();
        case 2:
            return LinkModuleFactorySteps();
        case 3:
            return RepeaterFactorySteps();
        case 4:
            return WiegandFactorySteps(false);
        case 5:
            return WiegandFactorySteps(true);
        default:
            return {};
    }
}

void SetControl(TfrmModule& w, const QString& name, int value) {
    QObject* o = w.findChild<QObject*>(name);
    // Through the controls' own setters, so that their change handlers move the panels along.
    if (auto* bar = qobject_cast<QScrollBar*>(o))
        bar->setValue(value);
    else if (auto* list = qobject_cast<QComboBox*>(o))
        list->setCurrentIndex(value);
    else if (auto* box = qobject_cast<QCheckBox*>(o))
        box->setChecked(value != 0);
}

// The letters with "{SN}" and "{panel}" filled in.
QString Letters(const TfrmModule& w, const QString& text, const QString& serial) {
    static const QRegularExpression kField(QStringLiteral("\\{([A-Za-z0-9_]+)\\}"));
    QString out;
    int at = 0;
    for (auto it = kField.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += text.mid(at, m.capturedStart() - at);
        const QString name = m.captured(1);
        if (name == QLatin1String("SN")) {
            out += serial;
        } else if (const auto* panel = w.findChild<QLabel*>(name)) {
            out += panel->text();
        }
        at = m.capturedEnd();
    }
    return out + text.mid(at);
}

void TakeId01(TfrmModule& w) {
    w.sbID->setValue(1);
    w.ModuleId = QStringLiteral("01");
}

// One try after its wait: "B", then the type's steps until one fails.
TryResult FactoryTry(TfrmModule& w, const std::vector<FactoryStep>& steps) {
    if (!SendCommand(w, QStringLiteral("B")) || w.link.RxPos != 16) return TryResult::Failed;
    const QString serial = ReplyText(w, 6, 8);
    for (const FactoryStep& s : steps) {
        switch (s.kind) {
            case FactoryStep::Kind::Wait:
                Pause(s.value);
                break;
            case FactoryStep::Kind::Pump:
                QCoreApplication::processEvents();
                break;
            case FactoryStep::Kind::Set:
                SetControl(w, s.text, s.value);
                break;
            case FactoryStep::Kind::Send:
                if (!SendCommand(w, Letters(w, s.text, serial))) return TryResult::Failed;
                if (s.setsId01) TakeId01(w);
                break;
        }
    }
    TakeId01(w);
    w.cmbBaudRate->setCurrentIndex(LineSettings::kDefaultIndex);
    return TryResult::Success;
}

}  // namespace

void TfrmModule::btnFactoryClick() {
    const std::vector<FactoryStep> steps = StepsOf(pcMain->currentIndex());
    Operation op;
    op.nameRow = 41;
    // The identification query is the first command of each try, not a separate pre-query:
    // the type's sequence follows it with waits of its own.
    op.preQuery = 0;
    // Without a type there are no factory settings to write.
    op.formable = [&steps] { return !steps.empty(); };
    op.action = [this, &steps] { return FactoryTry(*this, steps); };
    RunOperation(*this, op);
}
