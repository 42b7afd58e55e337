#pragma once
// The line settings a module can use, and the parsed form of a line setting text.

#include <QString>
#include <QStringList>
#include <chrono>
#include <optional>

namespace LineSettings {

constexpr int kCount = 14;        // codes "0" to "D"
constexpr int kListed = 12;       // the lists of the window offer the first twelve
constexpr int kDefaultIndex = 5;  // "19200,e,8,1"

// Text of index 0..13; empty for any other index.
QString text(int index);
// The twelve texts every line-setting list offers.
QStringList listed();
// One upper-case hex digit for index 0..15 ("0".."9", "A".."F").
QChar code(int index);
// Index of a code character "0".."9", "A".."D"; -1 for anything else.
int indexOfCode(QChar code);
// Index below `count` of a line setting given as its text ("19200,e,8,1", any case) or its
// code ("5"); -1 for anything else.
int indexOfTextOrCode(const QString& text, int count);

}  // namespace LineSettings

enum class Parity { None, Even, Odd };

struct LineConfig {
    int baud = 0;
    Parity parity = Parity::None;
    int dataBits = 8;
    int stopBits = 1;
    bool operator==(const LineConfig& o) const {
        return baud == o.baud && parity == o.parity && dataBits == o.dataBits &&
               stopBits == o.stopBits;
    }
    bool operator!=(const LineConfig& o) const { return !(*this == o); }
};

// "baud,parity,data,stop" without blanks, parity n/e/o; nullopt when it does not parse.
std::optional<LineConfig> ParseLineSetting(const QString& text);

// Time one byte takes on a line: a start bit, the data bits, the parity bit if any and the stop
// bits; zero for a line without a rate.
std::chrono::nanoseconds ByteTime(const LineConfig& line);
