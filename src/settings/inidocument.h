#pragma once
// The text of an INI file, held line by line so that it can be changed in place. It reads
// groups and keys the way the settings are written (values quoted and escaped as Qt's INI
// format writes them), and a change touches only the lines of the values it sets: every other
// byte of the text (comments, unknown keys, other groups, lines it cannot read, the line ends
// and a byte-order mark) comes back as it was.
//
// Lines it cannot read: bytes that are not UTF-8 or are control characters, a line without
// '=' that is neither blank, a comment (';' or '#') nor a group header, a header without its
// closing ']', and a value with an open quote or ending in a backslash (which other readers
// would run on into the next line). A header it cannot read opens a group that no name finds,
// so that its keys are read as belonging to no group.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// A value as written after '=': the items between unquoted commas, unquoted and unescaped.
struct IniValue {
    QStringList items;
    // One of the items is a typed literal such as @ByteArray(...) or @Variant(...).
    bool typed = false;

    // The value as a 32-bit integer in decimal; nullopt when it is anything else.
    std::optional<int> toInt() const;
    // The value as text, its items joined by commas again; nullopt for a typed value.
    std::optional<QString> toText() const;
};

class IniDocument {
  public:
    struct Entry {
        QString key;
        std::optional<IniValue> value;  // nullopt: the value cannot be read
    };

    IniDocument() = default;
    explicit IniDocument(const QByteArray& text);

    // True when every line could be read.
    bool isClean() const;
    // The entries of a group in file order. "General" (in any letter case) is also the group of
    // the keys before the first header; other names are compared exactly.
    QList<Entry> entries(const QString& group) const;
    // The last entry of `key` in `group`, which is the one that counts.
    std::optional<Entry> find(const QString& group, const QString& key) const;
    // Sets every line of `key` in `group` to `encoded` (the text after '='), keeping what stands
    // before the '='. A missing key is added after the group's last readable key, or after its
    // header, or in a new group at the end of the text.
    void setValue(const QString& group, const QString& key, const QByteArray& encoded);
    // Drops every line of `key` in `group`.
    void remove(const QString& group, const QString& key);
    QByteArray toBytes() const;

    static std::optional<IniValue> decodeValue(QStringView raw);
    // Quoted and escaped as Qt's INI format writes a string, so that it reads back as one text.
    static QByteArray encodeText(const QString& text);

  private:
    enum class Kind { Blank, Comment, Header, BadHeader, Entry, Unreadable };
    struct Line {
        QByteArray text;  // without its line end
        QByteArray end;   // "\n", "\r\n", or empty for a last line without one
        Kind kind = Kind::Blank;
        int group = 0;         // index into groups_
        QString key;           // of an entry
        qsizetype equals = 0;  // byte offset of an entry's '='
        std::optional<IniValue> value;
    };
    struct Group {
        QString name;
        bool general = false;
        bool named = false;  // false for a header that could not be read
    };

    void parse(const QByteArray& text);
    bool inGroup(const Line& line, const QString& group) const;

    bool bom_ = false;
    QByteArray eol_ = "\n";
    QList<Line> lines_;
    QList<Group> groups_;
};
