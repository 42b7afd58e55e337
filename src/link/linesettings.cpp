#include "link/linesettings.h"

namespace {

const char* const kTexts[LineSettings::kCount] = {
    "4800,n,8,1",   "4800,e,8,1",   "9600,n,8,1",   "9600,e,8,1",   "19200,n,8,1",
    "19200,e,8,1",  "38400,n,8,1",  "38400,e,8,1",  "57600,n,8,1",  "57600,e,8,1",
    "115200,n,8,1", "115200,e,8,1", "230400,n,8,1", "230400,e,8,1",
};

}  // namespace

namespace LineSettings {

QString text(int index) {
    if (index < 0 || index >= kCount) return {};
    return QString::fromLatin1(kTexts[index]);
}

QStringList listed() {
    QStringList list;
    for (int i = 0; i < kListed; ++i) list << text(i);
    return list;
}

QChar code(int index) {
    static const char kHex[] = "0123456789ABCDEF";
    if (index < 0 || index > 15) return QChar();
    return QChar::fromLatin1(kHex[index]);
}

int indexOfCode(QChar c) {
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) return c.unicode() - '0';
    if (c >= QLatin1Char('A') && c <= QLatin1Char('D')) return c.unicode() - 'A' + 10;
    return -1;
}

int indexOfTextOrCode(const QString& t, int count) {
    for (int i = 0; i < count; ++i)
        if (QString::compare(t, text(i), Qt::CaseInsensitive) == 0) return i;
    if (t.size() == 1) {
        const int i = indexOfCode(t.at(0).toUpper());
        if (i >= 0 && i < count) return i;
    }
    return -1;
}

}  // namespace LineSettings

std::optional<LineConfig> ParseLineSetting(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4) return std::nullopt;
    bool ok = false;
    LineConfig c;
    c.baud = parts[0].toInt(&ok);
    if (!ok || c.baud <= 0 || parts[0] != QString::number(c.baud)) return std::nullopt;
    const QString p = parts[1].toLower();
    if (p == QLatin1String("n"))
        c.parity = Parity::None;
    else if (p == QLatin1String("e"))
        c.parity = Parity::Even;
    else if (p == QLatin1String("o"))
        c.parity = Parity::Odd;
    else
        return std::nullopt;
    c.dataBits = parts[2].toInt(&ok);
    if (!ok || c.dataBits < 5 || c.dataBits > 8) return std::nullopt;
    c.stopBits = parts[3].toInt(&ok);
    if (!ok || (c.stopBits != 1 && c.stopBits != 2)) return std::nullopt;
    return c;
}

std::chrono::nanoseconds ByteTime(const LineConfig& line) {
    if (line.baud <= 0) return std::chrono::nanoseconds(0);
    const int bits = 1 + line.dataBits + (line.parity == Parity::None ? 0 : 1) + line.stopBits;
    return std::chrono::nanoseconds(static_cast<long long>(bits) * 1000000000LL / line.baud);
}
