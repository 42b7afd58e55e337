// The DI/DO module's page: DI mode, NO/NC and the continuous DI/DO test.

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

#include "app/frmmodule.h"
#include "app/shape.h"
#include "engine/dido.h"

namespace {
// The boxes prefix1..prefix16 as they are now.
Channels Boxes(const TfrmModule& w, const char* prefix) {
    Channels c;
    for (int k = 1; k <= 16; ++k)
        c[k - 1] = w.findChild<QCheckBox*>(QLatin1String(prefix) + QString::number(k))->isChecked();
    return c;
}
}  // namespace

void TfrmModule::showDidoSettings(const DidoSettings& s) {
    if (s.mode) control<QComboBox>("cmbDIDOMode")->setCurrentIndex(*s.mode == DiMode::Hold ? 0 : 1);
    if (s.normallyClosed) {
        for (int k = 1; k <= 16; ++k)
            findChild<QCheckBox*>(QStringLiteral("chkDI%1").arg(k))
                ->setChecked((*s.normallyClosed)[k - 1]);
    }
}

void TfrmModule::btnDIDOModeClick() {
    const DiMode mode =
        control<QComboBox>("cmbDIDOMode")->currentIndex() == 0 ? DiMode::Hold : DiMode::Normal;
    runOperation([this, mode] { return SetDiMode(module, mode); });
}

void TfrmModule::btnDIDONoNcClick() {
    const Channels flags = Boxes(*this, "chkDI");
    runOperation([this, flags] { return SetNoNc(module, flags); });
}

void TfrmModule::btnDIDOTestClick() {
    ContinuousView view;
    view.button = control<QPushButton>("btnDIDOTest");
    for (const char* name : {"btnScan", "btnLink", "gbDIDOMode", "gbDIDONoNc", "tsCommand", "btnID",
                             "btnBaudRate", "pcMain"})
        view.disabled << control<QWidget>(name);
    runContinuous(view, [this](const std::function<bool()>& stop) {
        return RunDidoTest(
            module,
            // The outputs follow the boxes as they are at the moment of sending.
            [this] { return Boxes(*this, "chkDO"); },
            [this](const Channels& inputs) {
                for (int k = 1; k <= 16; ++k)
                    findChild<Shape*>(QStringLiteral("shDI%1").arg(k))
                        ->setBrushColor(inputs[k - 1] ? kYellow : QColor(Qt::white));
            },
            stop);
    });
}
