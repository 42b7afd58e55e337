#pragma once
// What the printer, controller link and repeater pages share: the "F" status query, the
// status read and port line setting of the two modules with a port of their own, and the check
// that a command text built from an edit box can go on the wire.

#include <QChar>
#include <QString>
#include <functional>

#include "common/operation.h"

class QComboBox;
class QLabel;
class TfrmModule;

// Sends "F". A verified reply of exactly 9 bytes succeeds and hands its status character
// (position 6) to `show`; a verified reply of another length ends the operation at once as a
// failure; no verified reply fails the try.
TryResult QueryStatus(TfrmModule& w, const std::function<void(QChar)>& show);

// Get status of the controller link module and the repeater: the panel shows "Status ok."
// (row 45) for "O" and "Status error!" (row 46) for any other character; both succeed.
void GetPortModuleStatus(TfrmModule& w, QLabel* panel);

// Set baud rate of the module's own port: "K" + the line setting code of the list's item.
// BaudText and the main list stay as they are. A list without a selection sends nothing.
void SetPortModuleLine(TfrmModule& w, const QComboBox* list);

// True when TypePrefix + ModuleId + letters is a command text the link sends: a text with a
// character outside printable ASCII, or too long, cannot form its command.
bool CommandSendable(const TfrmModule& w, const QString& letters);
