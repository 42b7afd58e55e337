#pragma once
// The controller link module: the line setting of its own port and its run mode, their
// read-back and the operations that set them, the data record, and its factory steps.

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "engine/operation.h"

struct FactoryStep;

// What a read-back found; a query that was not answered leaves its part empty.
struct LinkModuleSettings {
    // Whether the module has a port of its own to set (a "K" reply of 9 bytes).
    std::optional<bool> hasPort;
    std::optional<int> portLineIndex;
    std::optional<int> runMode;  // the digit the module reports
};

// The names of run modes 0..2 on the command line and in plans: "dvr", "led", "mp3".
const QStringList& RunModeNames();

// "K" then "A"; false when one is not answered or its value does not decode.
bool ReadLinkModuleSettings(ModuleContext& m, LinkModuleSettings& out);

// "G" + the six fields (CR ID, RD ID, date, card number, card ID, type) joined as given:
// nothing between them, none filled up to a length.
Outcome SendDataRecord(ModuleContext& m, const QStringList& fields);
// "A" + the run mode's number; a negative mode sends nothing.
Outcome SetRunMode(ModuleContext& m, int mode);

std::vector<FactoryStep> LinkModuleFactorySteps();
