#include "engine/printer.h"

#include "engine/factory.h"
#include "engine/portmodule.h"

QString PrinterStatusText(QChar status) {
    switch (status.unicode()) {
        case 'O':
            return QStringLiteral("Print ok.");
        case 'P':
            return QStringLiteral("Print paper out!");
        case 'E':
            return QStringLiteral("Print error!");
        case 'N':
            return QStringLiteral("Print no select!");
        case 'B':
            return QStringLiteral("Print busy!");
        case 'F':
            return QStringLiteral("Buffer full!");
        default:
            return QString();
    }
}

Outcome PrintData(ModuleContext& m, const QString& text) {
    return SendLetters(m, 73, QStringLiteral("G") + text);
}

Outcome PrintCode(ModuleContext& m, const QString& text) {
    return SendLetters(m, 76, QStringLiteral("H") + text);
}

std::vector<FactoryStep> PrinterFactorySteps() {
    using namespace factory;
    return {Wait(100), SendId01(), Wait(200), Pump(), Send(QStringLiteral("E5"))};
}
