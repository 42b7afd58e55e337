// The printer interface: nothing to read back beyond serial number and version.

#include "modules/settingsreads.h"

bool ReadPrinterSettings(TfrmModule&) {
    return true;
}
