#pragma once
// CSV for files that people open in a spreadsheet (exports, reports, logs): a cell is quoted
// when it holds a comma, a quote, a line break or blanks at either end (a quote doubled), and a
// cell that a spreadsheet would run as a formula (it begins with = + - @, a tab or a carriage
// return) is kept as text by a leading '. Plan files are machine files and are written without
// the guard, so that their cells stay exactly as the modules gave them.

#include <QString>
#include <QStringList>

// `text` as a spreadsheet shows it, with the formula guard but unquoted.
QString SpreadsheetText(const QString& text);
// One cell: guarded, then quoted where it needs it.
QString CsvField(const QString& text);
// A row of cells, comma-separated, ending in CRLF.
QString CsvLine(const QStringList& cells);
