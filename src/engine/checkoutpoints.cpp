#include "engine/checkoutpoints.h"

#include <QHash>

#include "text/csvfield.h"

QStringList PointsOfType(ModuleType type) {
    QStringList points;
    if (type == ModuleType::RQ3016)
        for (int k = 1; k <= 16; ++k) points << QStringLiteral("DI%1").arg(k);
    if (IsWiegand(type)) points << QStringLiteral("CH1") << QStringLiteral("CH2");
    if (type == ModuleType::RQ3050K) points << QStringLiteral("KEYS");
    points << QStringLiteral("ANSWERS");
    return points;
}

bool TypeHasPoint(ModuleType type, const QString& point) {
    return PointsOfType(type).contains(point);
}

QList<QStringList> ReadCsvRecords(const QString& text, QList<int>* rows) {
    QList<QStringList> records;
    QStringList cells;
    QString cell;
    bool quoted = false;
    bool any = false;  // the record has a character
    int line = 1;
    int startLine = 1;
    const auto endRecord = [&] {
        cells << cell.trimmed();
        records << cells;
        if (rows) rows->append(startLine);
        cells.clear();
        cell.clear();
        any = false;
    };
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (!any) startLine = line;
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text.at(i + 1) == '"') {
                cell += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                if (c == '\n') ++line;
                cell += c;
            }
            continue;
        }
        if (c == '\r' && i + 1 < text.size() && text.at(i + 1) == '\n') continue;
        if (c == '\n' || c == '\r') {
            endRecord();
            ++line;
            continue;
        }
        any = true;
        if (c == '"')
            quoted = true;
        else if (c == ',') {
            cells << cell.trimmed();
            cell.clear();
        } else {
            cell += c;
        }
    }
    if (any || !cells.isEmpty() || !cell.isEmpty()) endRecord();
    return records;
}

namespace {

bool IsSerial(const QString& s) {
    if (s.size() != 8) return false;
    for (QChar c : s)
        if (c.unicode() < 0x21 || c.unicode() > 0x7E) return false;
    return true;
}

}  // namespace

bool ParsePoints(const QString& text, QList<CheckoutPoint>& points, QList<PlanProblem>& problems) {
    points.clear();
    QList<int> rows;
    const QList<QStringList> records = ReadCsvRecords(text, &rows);
    QHash<QString, ModuleType> typeOf;
    QHash<QString, int> firstRow;  // serial and point
    bool first = true;
    for (int n = 0; n < records.size(); ++n) {
        const QStringList& cells = records.at(n);
        const int row = rows.at(n);
        const QString head = cells.value(0);
        if (cells.join(QString()).trimmed().isEmpty() || head.startsWith('#')) continue;
        if (first && head.compare(QLatin1String("type"), Qt::CaseInsensitive) == 0) {
            first = false;
            QStringList names;
            for (const QString& c : cells) names << c.toLower();
            if (names != QStringList{"type", "serial", "point", "label"})
                problems.append({row, {}, "the header is type,serial,point,label"});
            continue;
        }
        first = false;
        if (cells.size() > 4) {
            problems.append({row, {}, QStringLiteral("%1 cells, a point has 4").arg(cells.size())});
            continue;
        }
        CheckoutPoint p;
        p.row = row;
        const std::optional<ModuleType> t = ParseModuleType(head.toStdString());
        if (!t) {
            problems.append({row, "type", "\"" + head + "\" is not a module type"});
            continue;
        }
        p.type = *t;
        p.serial = cells.value(1);
        if (!IsSerial(p.serial)) {
            problems.append({row, "serial", "\"" + p.serial + "\" is not 8 printable characters"});
            continue;
        }
        const auto known = typeOf.constFind(p.serial);
        if (known != typeOf.constEnd() && *known != p.type) {
            problems.append({row, "serial",
                             p.serial + " is given for " +
                                 QString::fromStdString(ModuleTypeName(*known)) + " in row " +
                                 QString::number(firstRow.value(p.serial))});
            continue;
        }
        p.point = cells.value(2).toUpper();
        if (!TypeHasPoint(p.type, p.point)) {
            problems.append({row, "point",
                             "\"" + cells.value(2) + "\" is not a point of " +
                                 QString::fromStdString(ModuleTypeName(p.type)) + " (" +
                                 PointsOfType(p.type).join(' ') + ")"});
            continue;
        }
        const QString key = p.serial + ' ' + p.point;
        if (firstRow.contains(key)) {
            problems.append({row, "point",
                             p.point + " of " + p.serial + " is given twice, first in row " +
                                 QString::number(firstRow.value(key))});
            continue;
        }
        if (!firstRow.contains(p.serial)) firstRow.insert(p.serial, row);
        firstRow.insert(key, row);
        typeOf.insert(p.serial, p.type);
        // The label keeps the quotes, commas, line breaks and characters it was written with.
        p.label = cells.value(3);
        points.append(p);
    }
    if (points.isEmpty() && problems.isEmpty()) problems.append({0, {}, "the list has no point"});
    return problems.isEmpty();
}

QString WritePoints(const QList<CheckoutPoint>& points) {
    QString out = CsvLine({"type", "serial", "point", "label"});
    // The serial number is the module's own and is read back as such: quoted where it needs it,
    // never guarded; the label is the people's text.
    for (const CheckoutPoint& p : points)
        out += QString::fromStdString(ModuleTypeName(p.type)) + ',' + CsvCell(p.serial) + ',' +
               p.point + ',' + CsvField(p.label) + QStringLiteral("\r\n");
    return out;
}

QList<CheckoutPoint> PointsOfModules(const QList<SurveyModule>& modules) {
    QList<CheckoutPoint> points;
    for (const SurveyModule& s : modules) {
        if (s.isCh2()) continue;
        for (const QString& point : PointsOfType(s.type)) {
            CheckoutPoint p;
            p.type = s.type;
            p.serial = s.serial;
            p.point = point;
            points.append(p);
        }
    }
    return points;
}
