#pragma once
// The printer interface: nothing to read back beyond serial number and version; its status,
// print data, print code, and its factory steps.

#include <QChar>
#include <QString>
#include <vector>

#include "engine/operation.h"

struct FactoryStep;

// The printer's state for a status character ("Print ok." for "O", ...); empty for a
// character the module does not define. These texts are not translated.
QString PrinterStatusText(QChar status);

// "G" + the text exactly as given (no check, no conversion of hex pairs).
Outcome PrintData(ModuleContext& m, const QString& text);
// "H" + the text exactly as given.
Outcome PrintCode(ModuleContext& m, const QString& text);

std::vector<FactoryStep> PrinterFactorySteps();
