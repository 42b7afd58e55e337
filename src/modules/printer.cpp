// The printer interface: nothing to read back beyond serial number and version.

#include "common/factory.h"
#include "modules/settingsreads.h"

bool ReadPrinterSettings(TfrmModule&) {
    return true;
}

std::vector<FactoryStep> PrinterFactorySteps() {
    using namespace factory;
    return {Wait(100), SendId01(), Wait(200), Pump(), Send(QStringLiteral("E5"))};
}
