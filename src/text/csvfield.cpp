#include "text/csvfield.h"

QString SpreadsheetText(const QString& text) {
    if (!text.isEmpty() && QStringLiteral("=+-@\t\r").contains(text.front()))
        return QLatin1Char('\'') + text;
    return text;
}

QString CsvField(const QString& text) {
    const QString c = SpreadsheetText(text);
    const bool quote = c.contains(QLatin1Char(',')) || c.contains(QLatin1Char('"')) ||
                       c.contains(QLatin1Char('\n')) || c.contains(QLatin1Char('\r')) ||
                       (!c.isEmpty() && (c.front().isSpace() || c.back().isSpace()));
    if (!quote) return c;
    return QLatin1Char('"') + QString(c).replace(QLatin1String("\""), QLatin1String("\"\"")) +
           QLatin1Char('"');
}

QString CsvLine(const QStringList& cells) {
    QStringList out;
    out.reserve(cells.size());
    for (const QString& c : cells) out << CsvField(c);
    return out.join(QLatin1Char(',')) + QStringLiteral("\r\n");
}
