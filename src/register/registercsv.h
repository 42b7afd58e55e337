#pragma once
// The register as CSV for a spreadsheet: the table of modules and a module's history. Cells
// are written by CsvLine (quoted where they need it, a formula kept as text), lines end in
// CRLF and the file is UTF-8 with a byte-order mark, so that a spreadsheet reads Chinese site
// names as they were typed.

#include <QList>
#include <QString>
#include <QStringList>

#include "register/registerreader.h"

QStringList ModuleCsvHeader();
QStringList ModuleCsvCells(const RegisterModule& module);
QStringList HistoryCsvHeader();
QStringList HistoryCsvCells(const RegisterEntry& entry);

// Writes the file in one step (an existing one is replaced only once the new one is whole);
// false with the reason.
bool WriteCsv(const QString& path, const QStringList& header, const QList<QStringList>& rows,
              QString* error);
