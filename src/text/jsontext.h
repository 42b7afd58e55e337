#pragma once
// A text as a JSON string for output written directly rather than through QJsonDocument (long
// listings, batches for the server): UTF-8, quotes and backslashes escaped, control characters
// as \n, \r, \t or \u00XX.

#include <QByteArray>
#include <QString>

void AppendJsonString(QByteArray& out, const QString& text);
