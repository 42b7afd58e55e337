#include "settings/inidocument.h"

#include <QStringDecoder>

namespace {

const QByteArray kBom("\xEF\xBB\xBF");

bool isGeneral(const QString& name) {
    return name.compare(QLatin1String("General"), Qt::CaseInsensitive) == 0;
}

int hexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    return -1;
}

bool isOctalDigit(QChar c) {
    return c.unicode() >= '0' && c.unicode() <= '7';
}

// A line of text a person could have written: UTF-8 without control characters but the tab.
std::optional<QString> readableText(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(bytes);
    if (decoder.hasError()) return std::nullopt;
    for (const QChar c : text) {
        if ((c.unicode() < 0x20 && c != u'\t') || c.unicode() == 0x7F) return std::nullopt;
    }
    return text;
}

}  // namespace

std::optional<int> IniValue::toInt() const {
    if (typed || items.size() != 1) return std::nullopt;
    bool ok = false;
    const int n = items.front().trimmed().toInt(&ok, 10);
    if (!ok) return std::nullopt;
    return n;
}

std::optional<QString> IniValue::toText() const {
    if (typed) return std::nullopt;
    return items.join(QLatin1Char(','));
}

IniDocument::IniDocument(const QByteArray& text) {
    parse(text);
}

void IniDocument::parse(const QByteArray& input) {
    lines_.clear();
    groups_ = {Group{QStringLiteral("General"), true, true}};
    bom_ = input.startsWith(kBom);
    eol_ = "\n";
    const QByteArray text = bom_ ? input.mid(kBom.size()) : input;
    bool eolSeen = false;

    qsizetype start = 0;
    while (start < text.size()) {
        Line line;
        qsizetype stop = text.indexOf('\n', start);
        if (stop < 0) {
            line.text = text.mid(start);
            start = text.size();
        } else {
            line.text = text.mid(start, stop - start);
            line.end = "\n";
            if (line.text.endsWith('\r')) {
                line.text.chop(1);
                line.end = "\r\n";
            }
            start = stop + 1;
            if (!eolSeen) eol_ = line.end;
            eolSeen = true;
        }

        const std::optional<QString> readable = readableText(line.text);
        const QString trimmed = readable ? readable->trimmed() : QString();
        if (!readable) {
            line.kind = Kind::Unreadable;
        } else if (trimmed.isEmpty()) {
            line.kind = Kind::Blank;
        } else if (trimmed.startsWith(u';') || trimmed.startsWith(u'#')) {
            line.kind = Kind::Comment;
        } else if (trimmed.startsWith(u'[')) {
            // A header may carry a comment after its ']', nothing else.
            const qsizetype close = trimmed.indexOf(u']');
            const QString name = close < 0 ? QString() : trimmed.mid(1, close - 1).trimmed();
            const QString rest = close < 0 ? QString() : trimmed.mid(close + 1).trimmed();
            const bool good = !name.isEmpty() &&
                              (rest.isEmpty() || rest.startsWith(u';') || rest.startsWith(u'#'));
            line.kind = good ? Kind::Header : Kind::BadHeader;
            groups_.append(Group{name, good && isGeneral(name), good});
        } else if (const qsizetype eq = readable->indexOf(u'='); eq >= 0) {
            line.key = readable->left(eq).trimmed();
            if (line.key.isEmpty()) {
                line.kind = Kind::Unreadable;
            } else {
                line.kind = Kind::Entry;
                line.equals = line.text.indexOf('=');
                line.value = decodeValue(QStringView(*readable).mid(eq + 1));
            }
        } else {
            line.kind = Kind::Unreadable;
        }
        line.group = int(groups_.size()) - 1;
        lines_.append(std::move(line));
    }
}

bool IniDocument::isClean() const {
    for (const Line& line : lines_) {
        if (line.kind == Kind::Unreadable || line.kind == Kind::BadHeader) return false;
        if (line.kind == Kind::Entry && !line.value) return false;
    }
    return true;
}

bool IniDocument::inGroup(const Line& line, const QString& group) const {
    const Group& g = groups_[line.group];
    if (!g.named) return false;
    if (isGeneral(group)) return g.general;
    return !g.general && g.name == group;
}

QList<IniDocument::Entry> IniDocument::entries(const QString& group) const {
    QList<Entry> out;
    for (const Line& line : lines_) {
        if (line.kind == Kind::Entry && inGroup(line, group))
            out.append(Entry{line.key, line.value});
    }
    return out;
}

std::optional<IniDocument::Entry> IniDocument::find(const QString& group,
                                                    const QString& key) const {
    for (auto it = lines_.crbegin(); it != lines_.crend(); ++it) {
        if (it->kind == Kind::Entry && it->key == key && inGroup(*it, group))
            return Entry{it->key, it->value};
    }
    return std::nullopt;
}

void IniDocument::setValue(const QString& group, const QString& key, const QByteArray& encoded) {
    bool found = false;
    qsizetype lastKey = -1;
    qsizetype header = -1;
    for (qsizetype i = 0; i < lines_.size(); ++i) {
        Line& line = lines_[i];
        if (!inGroup(line, group)) continue;
        if (line.kind == Kind::Header && header < 0) header = i;
        if (line.kind != Kind::Entry) continue;
        // Not after a value that cannot be read: another reader might run on from it.
        if (line.value) lastKey = i;
        if (line.key != key) continue;
        line.text = line.text.left(line.equals + 1) + encoded;
        found = true;
    }
    if (!found) {
        const QByteArray added = key.toUtf8() + '=' + encoded;
        const qsizetype after = lastKey >= 0 ? lastKey : header;
        if (after >= 0) {
            if (lines_[after].end.isEmpty()) lines_[after].end = eol_;
            Line line;
            line.text = added;
            line.end = eol_;
            lines_.insert(after + 1, line);
        } else {
            QByteArray tail;
            if (!lines_.isEmpty()) {
                if (lines_.back().end.isEmpty()) lines_.back().end = eol_;
                if (lines_.back().kind != Kind::Blank) tail += eol_;
            }
            tail += '[' + (isGeneral(group) ? QByteArray("General") : group.toUtf8()) + ']' + eol_;
            tail += added + eol_;
            const QByteArray head = toBytes();
            parse(head + tail);
            return;
        }
    }
    // Read the changed text again, so that what is found next reflects the change.
    parse(toBytes());
}

void IniDocument::remove(const QString& group, const QString& key) {
    for (qsizetype i = lines_.size() - 1; i >= 0; --i) {
        const Line& line = lines_[i];
        if (line.kind == Kind::Entry && line.key == key && inGroup(line, group)) lines_.removeAt(i);
    }
}

QByteArray IniDocument::toBytes() const {
    QByteArray out;
    if (bom_) out += kBom;
    for (const Line& line : lines_) out += line.text + line.end;
    return out;
}

std::optional<IniValue> IniDocument::decodeValue(QStringView raw) {
    IniValue value;
    QString item;
    qsizetype keep = 0;  // the item's length without trailing unquoted spaces
    bool quoted = false;
    auto finishItem = [&] {
        item.truncate(keep);
        value.items.append(item);
        item.clear();
        keep = 0;
    };

    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw[i];
        if (c == u'"') {
            quoted = !quoted;
            keep = item.size();
            continue;
        }
        if (!quoted) {
            if (c == u',') {
                finishItem();
                continue;
            }
            if (c == u';') break;  // the rest of the line is a comment
            if (c.isSpace()) {
                if (!item.isEmpty()) item += c;
                continue;
            }
        }
        if (c != u'\\') {
            item += c;
            keep = item.size();
            continue;
        }
        // A backslash at the end would join the next line to this value.
        if (++i >= raw.size()) return std::nullopt;
        const QChar e = raw[i];
        switch (e.unicode()) {
            case 'a':
                item += u'\a';
                break;
            case 'b':
                item += u'\b';
                break;
            case 'f':
                item += u'\f';
                break;
            case 'n':
                item += u'\n';
                break;
            case 'r':
                item += u'\r';
                break;
            case 't':
                item += u'\t';
                break;
            case 'v':
                item += u'\v';
                break;
            case 'x': {
                unsigned code = 0;
                while (i + 1 < raw.size() && hexDigit(raw[i + 1]) >= 0)
                    code = ((code << 4) | unsigned(hexDigit(raw[++i]))) & 0xFFFFu;
                item += QChar(char16_t(code));
                break;
            }
            default:
                if (isOctalDigit(e)) {
                    unsigned code = unsigned(e.unicode() - '0');
                    while (i + 1 < raw.size() && isOctalDigit(raw[i + 1]))
                        code = ((code << 3) | unsigned(raw[++i].unicode() - '0')) & 0xFFFFu;
                    item += QChar(char16_t(code));
                } else {
                    item += e;  // \" \' \\ \? and any other character stand for themselves
                }
        }
        keep = item.size();
    }
    if (quoted) return std::nullopt;
    finishItem();

    for (QString& it : value.items) {
        if (it.startsWith(QLatin1String("@@")))
            it.remove(0, 1);
        else if (it.startsWith(u'@'))
            value.typed = true;
    }
    return value;
}

QByteArray IniDocument::encodeText(const QString& text) {
    const QString s = text.startsWith(u'@') ? QLatin1Char('@') + text : text;
    QString out;
    bool needsQuotes = false;
    bool afterHexEscape = false;
    for (const QChar c : s) {
        const char16_t u = c.unicode();
        if (u == ';' || u == ',' || u == '=') needsQuotes = true;
        // A digit right after a \x escape would be read as part of it.
        if (afterHexEscape && hexDigit(c) >= 0) {
            out += QStringLiteral("\\x%1").arg(unsigned(u), 0, 16);
            continue;
        }
        afterHexEscape = false;
        switch (u) {
            case '\a':
                out += QLatin1String("\\a");
                break;
            case '\b':
                out += QLatin1String("\\b");
                break;
            case '\f':
                out += QLatin1String("\\f");
                break;
            case '\n':
                out += QLatin1String("\\n");
                break;
            case '\r':
                out += QLatin1String("\\r");
                break;
            case '\t':
                out += QLatin1String("\\t");
                break;
            case '\v':
                out += QLatin1String("\\v");
                break;
            case '"':
            case '\\':
                out += QLatin1Char('\\');
                out += c;
                break;
            default:
                if (u < 0x20 || u == 0x7F) {
                    out += QStringLiteral("\\x%1").arg(unsigned(u), 0, 16);
                    afterHexEscape = true;
                } else {
                    out += c;
                }
        }
    }
    if (needsQuotes || out.startsWith(u' ') || out.endsWith(u' '))
        out = QLatin1Char('"') + out + QLatin1Char('"');
    return out.toUtf8();
}
