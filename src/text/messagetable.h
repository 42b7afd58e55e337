#pragma once
// Every text of the window that follows the language, in three columns:
// 0 English, 1 Simplified Chinese, 2 Traditional Chinese.

#include <QString>

class MessageTable {
public:
    static constexpr int kRows = 98;
    static constexpr int kLanguages = 3;

    // Row 0..97 in language 0..2; an empty text outside the table.
    static QString text(int row, int langIndex);
};

// The three languages: the stored flag, the font size and the font character set of each.
namespace Languages {

constexpr int kEnglish = 0;
constexpr int kSimplified = 1;
constexpr int kTraditional = 2;

// "English", "ChineseGB", "ChineseBIG5"; "English" for any other index.
QString flag(int langIndex);
// 1 for exactly "ChineseGB", 2 for exactly "ChineseBIG5", 0 for anything else.
int indexOfFlag(const QString& flag);
// 10, 12, 12 points.
int pointSize(int langIndex);
// 0 (ANSI), 134 (GB2312), 136 (Big5).
int charset(int langIndex);

}  // namespace Languages
