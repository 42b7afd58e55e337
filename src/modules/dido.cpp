// The DI/DO module: its settings read back into the page, the DI mode and NO/NC settings, and
// the continuous DI/DO test.

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <functional>

#include "app/frmmodule.h"
#include "app/shape.h"
#include "common/continuoustest.h"
#include "common/factory.h"
#include "common/operation.h"
#include "modules/settingsreads.h"

bool ReadDidoSettings(TfrmModule& w) {
    if (!SendCommand(w, QStringLiteral("G"))) return false;
    const QChar mode = ReplyAt(w, 6);
    auto* cmbMode = w.control<QComboBox>("cmbDIDOMode");
    if (mode == QLatin1Char('H'))
        cmbMode->setCurrentIndex(0);
    else if (mode == QLatin1Char('S'))
        cmbMode->setCurrentIndex(1);
    Pause(50);
    if (!SendCommand(w, QStringLiteral("A"))) return false;
    for (int k = 1; k <= 16; ++k) {
        auto* box = w.findChild<QCheckBox*>(QStringLiteral("chkDI%1").arg(k));
        box->setChecked(ReplyAt(w, 5 + k) == QLatin1Char('1'));
    }
    return true;
}

namespace {

// The 16 channel characters of the boxes prefix1..prefix16 as they are now, channel 1 first.
QString ChannelText(const TfrmModule& w, const char* prefix) {
    QString text;
    for (int k = 1; k <= 16; ++k) {
        const auto* box = w.findChild<QCheckBox*>(QLatin1String(prefix) + QString::number(k));
        text += box->isChecked() ? QLatin1Char('1') : QLatin1Char('0');
    }
    return text;
}

// "B", then one command built from the controls as they are when it is sent.
void SetDido(TfrmModule& w, int nameRow, const std::function<QString()>& command) {
    Operation op;
    op.nameRow = nameRow;
    op.action = [&w, command] {
        return SendCommand(w, command()) ? TryResult::Success : TryResult::Failed;
    };
    RunOperation(w, op);
}

}  // namespace

void TfrmModule::btnDIDOModeClick() {
    SetDido(*this, 64, [this] {
        return control<QComboBox>("cmbDIDOMode")->currentIndex() == 0 ? QStringLiteral("GH")
                                                                      : QStringLiteral("GS");
    });
}

void TfrmModule::btnDIDONoNcClick() {
    SetDido(*this, 68, [this] { return QStringLiteral("A") + ChannelText(*this, "chkDI"); });
}

void TfrmModule::btnDIDOTestClick() {
    ContinuousTest test;
    test.button = control<QPushButton>("btnDIDOTest");
    for (const char* name : {"btnScan", "btnLink", "gbDIDOMode", "gbDIDONoNc", "tsCommand", "btnID",
                             "btnBaudRate", "pcMain"})
        test.disabled << control<QWidget>(name);
    test.cycle = [this](ContinuousRun& run) {
        run.pause(50);
        // The outputs follow the boxes as they are at the moment of sending.
        if (!SendCommand(*this, QStringLiteral("I") + ChannelText(*this, "chkDO"))) {
            run.failed();
            return;
        }
        run.answered();
        if (link.RxPos != 24) return;
        for (int k = 1; k <= 16; ++k) {
            auto* circle = findChild<Shape*>(QStringLiteral("shDI%1").arg(k));
            circle->setBrushColor(ReplyAt(*this, 5 + k) == QLatin1Char('1') ? kYellow
                                                                            : QColor(Qt::white));
        }
    };
    RunContinuousTest(*this, test);
}

std::vector<FactoryStep> DidoFactorySteps() {
    using namespace factory;
    std::vector<FactoryStep> s{Wait(100),
                               SendId01(),
                               Wait(200),
                               Pump(),
                               Set(QStringLiteral("cmbDIDOMode"), 0),
                               Send(QStringLiteral("GH")),
                               Wait(100)};
    for (int k = 1; k <= 16; ++k) s.push_back(Set(QStringLiteral("chkDI%1").arg(k), 0));
    s.push_back(Send(QStringLiteral("A") + QString(16, QLatin1Char('0'))));
    s.push_back(Wait(100));
    s.push_back(Send(QStringLiteral("E5")));
    return s;
}
