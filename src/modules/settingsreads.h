#pragma once
// How each module family reads its settings back into its page after a link. Each returns
// true when every query of the type was answered and stored.

#include <QChar>

class TfrmModule;

bool ReadDidoSettings(TfrmModule& w);
bool ReadPrinterSettings(TfrmModule& w);
bool ReadLinkModuleSettings(TfrmModule& w);
bool ReadRepeaterSettings(TfrmModule& w);
bool ReadWiegandSettings(TfrmModule& w, bool keyNumber);

// Shared by the reads: a decimal digit's value, or -1.
int DigitValue(QChar c);
// Two decimal digits as a number, or -1.
int TwoDigits(QChar hi, QChar lo);
