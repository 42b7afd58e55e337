#include <QSet>

#include "engine/commission.h"
#include "engine/plancolumns.h"

bool CheckPlan(const QList<PlanRow>& rows, const SurveyResult& bus, QList<PlanItem>& items,
               QList<PlanProblem>& problems) {
    items.clear();
    for (const PlanRow& r : rows) {
        PlanItem item;
        item.row = r;
        bool placed = false;
        for (const SurveyModule& f : bus.modules) {
            if (f.type != r.type || f.serial != r.serial) continue;
            item.found = f;
            item.id = f.id;
            item.lineIndex = f.lineIndex;
            placed = true;
            break;
        }
        if (!placed) {
            // Modules that answer together may hide it; Set ID by serial number reaches it.
            for (const SurveyCollision& c : bus.collisions) {
                if (c.type != r.type) continue;
                item.shared = true;
                item.id = item.found.id = c.id;
                item.lineIndex = item.found.lineIndex = c.lineIndex;
                item.found.type = c.type;
                placed = true;
                break;
            }
        }
        if (!placed) {
            problems.append({r.row, "serial",
                             QStringLiteral("no %1 with serial number %2 on the bus")
                                 .arg(PlanTypeName(r.type), r.serial)});
            continue;
        }
        item.targetId = r.id.value_or(item.id);
        item.targetLine = r.lineIndex.value_or(item.lineIndex);
        // A module that answers at the planned line setting too is already there.
        if (!item.shared && item.found.lineIndexes.contains(item.targetLine))
            item.lineIndex = item.found.lineIndex = item.targetLine;
        for (auto it = r.settings.cbegin(); it != r.settings.cend(); ++it) {
            const std::optional<int> now =
                item.shared ? std::nullopt : PlanColumnNamed(it.key())->read(item.found.settings);
            if (!now || *now != it.value()) item.changes.insert(it.key(), it.value());
        }
        items.append(item);
    }
    // Where every module ends up: the planned ones at their new IDs, the others where they are.
    QMap<PlanSlot, QString> finals;
    QSet<QString> planned;
    for (const PlanItem& i : items) planned.insert(i.row.serial);
    auto claim = [&](ModuleType t, int id, const QString& who, int row, const QString& column) {
        const PlanSlot s{PlanTypeIndex(t), id};
        if (finals.contains(s)) {
            problems.append({row, column,
                             QStringLiteral("%1 would share %2 ID %3 with %4")
                                 .arg(who, PlanTypeName(t), TwoDigitText(id), finals.value(s))});
            return;
        }
        finals.insert(s, who);
    };
    for (const SurveyModule& f : bus.modules)
        if (!planned.contains(f.serial))
            claim(f.type, f.id, QStringLiteral("the module %1 (not in the plan)").arg(f.serial), 0,
                  {});
    for (const SurveyCollision& c : bus.collisions) {
        bool anyShared = false;
        for (const PlanItem& i : items)
            anyShared = anyShared || (i.shared && i.row.type == c.type && i.id == c.id);
        if (!anyShared)
            claim(c.type, c.id, QStringLiteral("the modules that answer together"), 0, {});
    }
    for (const PlanItem& i : items)
        claim(i.row.type, i.targetId,
              QStringLiteral("row %1 (%2)").arg(i.row.row).arg(i.row.serial), i.row.row, "id");
    return problems.isEmpty();
}
