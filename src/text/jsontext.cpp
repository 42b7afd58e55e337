#include "text/jsontext.h"

void AppendJsonString(QByteArray& out, const QString& text) {
    out += '"';
    for (const char c : text.toUtf8()) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20)
                    out += "\\u00" + QByteArray::number(static_cast<unsigned char>(c), 16)
                                         .rightJustified(2, '0');
                else
                    out += c;
        }
    }
    out += '"';
}
