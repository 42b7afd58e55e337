#pragma once
// How each module family reads its settings back into its page after a link. Each returns
// true when every query of the type was answered and stored.

class QComboBox;
class TfrmModule;

bool ReadDidoSettings(TfrmModule& w);
bool ReadPrinterSettings(TfrmModule& w);
bool ReadLinkModuleSettings(TfrmModule& w);
bool ReadRepeaterSettings(TfrmModule& w);
bool ReadWiegandSettings(TfrmModule& w, bool keyNumber);

// Selects entry `index`; a value beyond the list's items leaves it without a selection.
void SelectOrNone(QComboBox* list, int index);
