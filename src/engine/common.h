#pragma once
// The operations every module type has: its ID, its line setting and the command test.

#include <QString>

#include "engine/operation.h"

// The module that answers the identification query takes the new ID (two digits), addressed
// by its serial number; the next commands go to that ID.
Outcome SetModuleId(ModuleContext& m, int newId);
// The module takes line setting `lineIndex` (0..11; anything else sends nothing). The port
// keeps the old setting for this operation; the next ones use the new one.
Outcome SetModuleLine(ModuleContext& m, int lineIndex);
// Sends `letters` once after TypePrefix and ModuleId; on success `shown` gets the reply frame
// as the traffic line shows it ("[0A]B01V01.20-36..[0D]").
Outcome CommandTest(ModuleContext& m, const QString& letters, QString& shown);
