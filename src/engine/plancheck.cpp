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
            if (f.type != r.type || f.serial != r.serial || f.isCh2()) continue;
            item.found = f;
            item.id = f.id;
            item.lineIndex = f.lineIndex;
            item.ch2Id = f.settings.wiegand.ch2Id.value_or(0);
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
    // Where every module ends up: the planned ones at their new IDs, the others where they are;
    // CH #2 of a Wiegand module holds an ID of its own. A module and its own CH #2 may share one.
    struct Claim {
        QString who;
        QString owner;  // the serial number of the module
    };
    QMap<PlanSlot, Claim> finals;
    QSet<QString> planned;
    QSet<QString> movesCh2;
    for (const PlanItem& i : items) {
        planned.insert(i.row.serial);
        if (i.changes.contains(QStringLiteral("ch2-id"))) movesCh2.insert(i.row.serial);
    }
    auto claim = [&](ModuleType t, int id, const Claim& c, int row, const QString& column) {
        const PlanSlot s{PlanTypeIndex(t), id};
        if (finals.contains(s) && finals.value(s).owner != c.owner) {
            problems.append(
                {row, column,
                 QStringLiteral("%1 would share %2 ID %3 with %4")
                     .arg(c.who, PlanTypeName(t), TwoDigitText(id), finals.value(s).who)});
            return;
        }
        finals.insert(s, c);
    };
    for (const SurveyModule& f : bus.modules) {
        if (f.isCh2() && !movesCh2.contains(f.ch2Of))
            claim(f.type, f.id, {QStringLiteral("CH #2 of %1").arg(f.ch2Of), f.ch2Of}, 0, {});
        else if (!f.isCh2() && !planned.contains(f.serial))
            claim(f.type, f.id,
                  {QStringLiteral("the module %1 (not in the plan)").arg(f.serial), f.serial}, 0,
                  {});
    }
    for (const SurveyCollision& c : bus.collisions) {
        bool anyShared = false;
        for (const PlanItem& i : items)
            anyShared = anyShared || (i.shared && i.row.type == c.type && i.id == c.id);
        if (!anyShared)
            claim(c.type, c.id, {QStringLiteral("the modules that answer together"), {}}, 0, {});
    }
    for (const PlanItem& i : items) {
        const QString who = QStringLiteral("row %1 (%2)").arg(i.row.row).arg(i.row.serial);
        claim(i.row.type, i.targetId, {who, i.row.serial}, i.row.row, "id");
        if (!i.changes.contains(QStringLiteral("ch2-id"))) continue;
        const int ch2 = i.changes.value(QStringLiteral("ch2-id"));
        claim(i.row.type, ch2, {QStringLiteral("CH #2 of ") + who, i.row.serial}, i.row.row,
              "ch2-id");
        // CH #2 moves with the row's first step: its new ID must be free already then.
        for (const SurveyModule& f : bus.modules) {
            const QString owner = f.isCh2() ? f.ch2Of : f.serial;
            if (f.type != i.row.type || f.id != ch2 || owner == i.row.serial) continue;
            problems.append({i.row.row, "ch2-id",
                             QStringLiteral("ID %1 is held now by %2: CH #2 moves only to an ID "
                                            "that is free before the run")
                                 .arg(TwoDigitText(ch2),
                                      f.isCh2() ? QStringLiteral("CH #2 of ") + f.ch2Of
                                                : QStringLiteral("the module ") + f.serial)});
        }
    }
    return problems.isEmpty();
}
