#pragma once
// The register as CSV for a spreadsheet: the table of modules and a module's history. Cells
// that hold a comma, a quote, a line break or blanks at either end are quoted (a quote
// doubled), lines end in CRLF and the file is UTF-8 with a byte-order mark, so that a
// spreadsheet reads Chinese site names as they were typed.

#include <QList>
#include <QString>
#include <QStringList>

#include "register/registerreader.h"

QString CsvRow(const QStringList& cells);

QStringList ModuleCsvHeader();
QStringList ModuleCsvCells(const RegisterModule& module);
QStringList HistoryCsvHeader();
QStringList HistoryCsvCells(const RegisterEntry& entry);

// Writes the file in one step (an existing one is replaced only once the new one is whole);
// false with the reason.
bool WriteCsv(const QString& path, const QStringList& header, const QList<QStringList>& rows,
              QString* error);
