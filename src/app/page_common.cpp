// The settings all types share, the command test and factory default, on the window.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>

#include "app/frmmodule.h"
#include "engine/common.h"
#include "engine/factory.h"
#include "link/linesettings.h"

void TfrmModule::btnIDClick() {
    runOperation([this] { return SetModuleId(module, sbID->value()); });
}

void TfrmModule::btnBaudRateClick() {
    runOperation([this] { return SetModuleLine(module, cmbBaudRate->currentIndex()); });
}

void TfrmModule::btnTestClick() {
    runOperation([this] {
        QString shown;
        const Outcome o = CommandTest(module, control<QLineEdit>("edTestSend")->text(), shown);
        if (o.ok()) control<QLineEdit>("edTestRecv")->setText(shown);
        return o;
    });
}

void TfrmModule::btnFactoryClick() {
    module.type = tabType();
    FactoryInputs in;
    const auto type = tabType();
    if (type && IsWiegand(*type))
        in.ch2Serial = control<QLabel>(type == ModuleType::RQ3050K ? QStringLiteral("pnRQ3050K_SN")
                                                                   : QStringLiteral("pnRQ3050S_SN"))
                           ->text();
    runOperation([this, &in] {
        FactoryResult r;
        const Outcome o = FactoryDefault(module, in, r);
        // The controls follow the values written, however far the run came.
        showSettings(r.settings);
        if (r.id01) sbID->setValue(1);
        if (r.lineDefault) cmbBaudRate->setCurrentIndex(LineSettings::kDefaultIndex);
        return o;
    });
}
