#pragma once
// The RS-485 repeater: the line setting of its own port and its transmit delays, their
// read-back and the operations that set them, raw data, and its factory steps.

#include <QString>
#include <optional>
#include <vector>

#include "engine/operation.h"

struct FactoryStep;

// What a read-back found; a query that was not answered leaves its part empty.
struct RepeaterSettings {
    std::optional<int> portLineIndex;
    std::optional<int> txOn;   // 0..255
    std::optional<int> txOff;  // 0..255
};

// "K" then "A"; false when one is not answered or the line setting does not decode. Delays
// that are not hexadecimal end the read quietly: the module still counts as read.
bool ReadRepeaterSettings(ModuleContext& m, RepeaterSettings& out);

// "A" + the two delays as two upper-case hex digits each.
Outcome SetTxDelays(ModuleContext& m, int txOn, int txOff);
// The text's characters as raw bytes outside any frame, one byte each; nothing is awaited.
// A character beyond Latin-1 has no byte: nothing is sent then.
Outcome SendRawData(ModuleContext& m, const QString& text);

std::vector<FactoryStep> RepeaterFactorySteps();
