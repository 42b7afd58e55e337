#pragma once
// What the printer interface, the controller link module and the repeater share: the "F"
// status query, the line setting of the module's own port, and commands that carry a text.

#include <QChar>
#include <QString>

#include "engine/operation.h"

// Sends "F". A verified reply of exactly 9 bytes succeeds with its status character
// (position 6) in `status`; a verified reply of another length fails at once; no verified
// reply fails the try.
Outcome GetStatus(ModuleContext& m, QChar& status);
// "K" + the code of line setting `lineIndex` for the module's own port; BaudText stays. An
// index outside 0..11 (a list without a selection) sends nothing.
Outcome SetPortLine(ModuleContext& m, int lineIndex);
// Sends `letters` exactly as given, reported under `nameRow`; a text that cannot go on the
// wire sends nothing.
Outcome SendLetters(ModuleContext& m, int nameRow, const QString& letters);
