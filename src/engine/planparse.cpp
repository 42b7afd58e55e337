#include <QSet>

#include "engine/commission.h"
#include "engine/plancolumns.h"

namespace {

// Splits one line at its commas; a cell in double quotes may hold commas and "" for a quote.
QStringList SplitCsv(const QString& line) {
    QStringList cells;
    QString cell;
    bool quoted = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line.at(i + 1) == '"') {
                cell += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                cell += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            cells << cell.trimmed();
            cell.clear();
        } else {
            cell += c;
        }
    }
    cells << cell.trimmed();
    return cells;
}

}  // namespace

QString PlanProblem::describe() const {
    QString where = row > 0 ? QStringLiteral("row %1").arg(row) : QStringLiteral("plan");
    if (!column.isEmpty()) where += QStringLiteral(", column %1").arg(column);
    return where + QStringLiteral(": ") + text;
}

bool ParsePlan(const QString& text, QList<PlanRow>& rows, QList<PlanProblem>& problems) {
    rows.clear();
    const QStringList lines = text.split('\n');
    QStringList header;
    QSet<QString> serials;
    for (int n = 0; n < lines.size(); ++n) {
        QString line = lines.at(n);
        if (line.endsWith('\r')) line.chop(1);
        if (line.trimmed().isEmpty() || line.trimmed().startsWith('#')) continue;
        const QStringList cells = SplitCsv(line);
        const int rowNo = n + 1;
        if (header.isEmpty()) {
            for (const QString& c : cells) header << c.toLower();
            if (header.mid(0, 4) != QStringList{"type", "serial", "id", "line"})
                problems.append({rowNo, {}, "the header begins with type,serial,id,line"});
            for (int i = 4; i < header.size(); ++i) {
                if (header.at(i) == QLatin1String("port") && header.indexOf(header.at(i)) == i)
                    continue;
                if (!PlanColumnNamed(header.at(i)))
                    problems.append({rowNo, header.at(i),
                                     "not a setting (" + PlanSettingNames().join(", ") + ")"});
                else if (header.indexOf(header.at(i)) != i)
                    problems.append({rowNo, header.at(i), "the column is there twice"});
            }
            if (!problems.isEmpty()) return false;
            continue;
        }
        if (cells.size() > header.size()) {
            problems.append({rowNo,
                             {},
                             QStringLiteral("%1 cells, the header has %2")
                                 .arg(cells.size())
                                 .arg(header.size())});
            continue;
        }
        PlanRow r;
        r.row = rowNo;
        const QString cellType = cells.value(0);
        const std::optional<ModuleType> t = ParseModuleType(cellType.toStdString());
        if (!t) {
            problems.append({rowNo, "type", "\"" + cellType + "\" is not a module type"});
            continue;
        }
        r.type = *t;
        r.serial = cells.value(1);
        bool printable = r.serial.size() == 8;
        for (QChar c : r.serial) printable = printable && c.unicode() >= 0x20 && c.unicode() < 0x7F;
        if (!printable)
            problems.append(
                {rowNo, "serial", "\"" + r.serial + "\" is not 8 printable characters"});
        else if (serials.contains(r.serial))
            problems.append({rowNo, "serial", r.serial + " is in the plan twice"});
        serials.insert(r.serial);
        if (!cells.value(2).isEmpty()) {
            r.id = PlanNumber(cells.value(2), 1, 99);
            if (!r.id)
                problems.append(
                    {rowNo, "id", "\"" + cells.value(2) + "\" is not an ID from 1 to 99"});
        }
        if (!cells.value(3).isEmpty()) {
            r.lineIndex = PlanLineCell(cells.value(3));
            if (!r.lineIndex)
                problems.append({rowNo, "line",
                                 "\"" + cells.value(3) +
                                     "\" is not a line setting such as "
                                     "9600,e,8,1 or its code 0..B"});
        }
        for (int i = 4; i < cells.size(); ++i) {
            if (cells.at(i).isEmpty()) continue;
            if (header.at(i) == QLatin1String("port")) {
                r.port = cells.at(i);
                continue;
            }
            const PlanColumn* s = PlanColumnNamed(header.at(i));
            if (!s->types.contains(r.type)) {
                problems.append({rowNo, s->name, "not a setting of " + PlanTypeName(r.type)});
                continue;
            }
            const std::optional<int> v = s->parse(cells.at(i));
            if (!v) {
                problems.append({rowNo, s->name, "\"" + cells.at(i) + "\": " + s->expected});
                continue;
            }
            r.settings.insert(s->name, *v);
        }
        rows.append(r);
    }
    if (header.isEmpty()) problems.append({0, {}, "the plan is empty"});
    return problems.isEmpty();
}

SurveyPlan PlanSurvey(const QList<PlanRow>& rows, const SurveyPlan& base) {
    SurveyPlan plan = base;
    plan.types.clear();
    for (ModuleType t : kAllModuleTypes)
        for (const PlanRow& r : rows)
            if (r.type == t && !plan.types.contains(t)) plan.types << t;
    // A module is sought where the plan sends it as well, so that a run cut off after a step
    // leaves it where the next run looks.
    for (const PlanRow& r : rows) {
        if (!plan.lines.isEmpty() && r.lineIndex && !plan.lines.contains(*r.lineIndex))
            plan.lines << *r.lineIndex;
        if (!plan.ids.isEmpty() && r.id && !plan.ids.contains(*r.id)) plan.ids << *r.id;
    }
    plan.readSettings = true;
    return plan;
}
