#include <QSet>
#include <algorithm>
#include <functional>

#include "engine/commission.h"
#include "engine/modulecontext.h"
#include "engine/plancolumns.h"
#include "engine/planrow.h"
#include "engine/records.h"
#include "link/linesettings.h"

QList<PlanOutcome> RunPlan(ModuleContext& m, int portNo, QList<PlanItem> items, bool dryRun,
                           const CommissionHooks& hooks) {
    PlanRowRunner run{m, portNo, dryRun, hooks, {}};
    QMap<int, PlanOutcome> outcomes;  // by row
    // How many modules sit at each ID now: one per module found, the modules that answer
    // together counted by the rows placed among them (at least two when none is).
    // CH #2 of a Wiegand module holds its ID as well.
    QMap<PlanSlot, int> taken;
    for (const PlanItem& i : items)
        if (!i.shared) taken[{PlanTypeIndex(i.row.type), i.id}] += 1;
    for (const PlanItem& i : items)
        if (i.shared) taken[{PlanTypeIndex(i.row.type), i.id}] += 1;
    for (const PlanItem& i : items)
        if (i.ch2Id > 0 && i.ch2Id != i.id) taken[{PlanTypeIndex(i.row.type), i.ch2Id}] += 1;
    // The IDs a module may step aside to: those the survey asked, so that the next survey with
    // the same options finds it there should the run be cut off.
    QList<int> spares = hooks.spareIds;
    if (spares.isEmpty())
        for (int id = 1; id <= 99; ++id) spares << id;
    std::sort(spares.begin(), spares.end(), std::greater<int>());
    // Rows whose module stands aside at a spare ID: a stop waits until none does.
    QSet<int> aside;
    auto stopAsked = [&] { return aside.isEmpty() && hooks.stop && hooks.stop(); };
    auto notRun = [&](const PlanItem& item) {
        PlanOutcome o;
        o.row = item.row.row;
        o.foundAt = PlanPlace(item.found.id, item.found.lineIndex);
        o.before = PlanDescribe(item.id, item.lineIndex, item.row,
                                item.shared ? nullptr : &item.found.settings);
        o.outcome = QStringLiteral("not run: stopped");
        outcomes.insert(o.row, o);
        if (!dryRun) RecordPlanRow(m, item, o);
        if (hooks.done) hooks.done(o);
    };

    QMap<int, QString> befores;  // by row: what a row found before its first command
    auto finish = [&](PlanItem& item, QString before) {
        if (befores.contains(item.row.row)) before = befores.value(item.row.row);
        PlanOutcome o;
        o.row = item.row.row;
        o.foundAt = PlanPlace(item.found.id, item.found.lineIndex);
        if (item.shared) o.foundAt += QStringLiteral(" (shared)");
        o.before = before;
        if (!run.failure.isEmpty()) {
            o.outcome = QStringLiteral("failed: ") + run.failure;
        } else if (dryRun) {
            o.outcome = QStringLiteral("would be done");
            o.after = PlanDescribe(item.targetId, item.targetLine, item.row, nullptr);
        } else {
            ReadBack rb;
            o.verified = run.readAt(item, rb);
            if (o.verified) {
                for (auto it = item.row.settings.cbegin(); it != item.row.settings.cend(); ++it)
                    o.verified =
                        o.verified && PlanColumnNamed(it.key())->read(rb.settings) == it.value();
                o.after = PlanDescribe(item.id, item.lineIndex, item.row, &rb.settings);
            }
            o.outcome = o.verified ? QStringLiteral("done")
                                   : QStringLiteral("failed: not verified by read-back at ") +
                                         PlanPlace(item.id, item.lineIndex);
        }
        run.failure.clear();
        outcomes.insert(o.row, o);
        if (!dryRun) RecordPlanRow(m, item, o);
        if (hooks.done) hooks.done(o);
    };

    // The whole row for a module found alone: settings, ID, line setting, read-back.
    auto runKnown = [&](PlanItem& item, int newId, bool whole) {
        const QString before =
            PlanDescribe(item.id, item.lineIndex, item.row, &item.found.settings);
        if (!befores.contains(item.row.row)) befores.insert(item.row.row, before);
        bool ok = run.sendSettings(item, item.found.settings);
        if (ok && item.changes.contains(QStringLiteral("ch2-id")) && item.ch2Id > 0) {
            const int t = PlanTypeIndex(item.row.type);
            if (item.ch2Id != item.id) taken[{t, item.ch2Id}] -= 1;
            item.ch2Id = item.changes.value(QStringLiteral("ch2-id"));
            if (item.ch2Id != item.id) taken[{t, item.ch2Id}] += 1;
        }
        item.changes.clear();
        ok = ok && run.setId(item, newId);
        if (!whole) return ok;
        ok = ok && run.setLine(item);
        finish(item, before);
        return ok;
    };
    auto runShared = [&](PlanItem& item) {
        const QString before = QStringLiteral("id=%1 (shared) line=%2")
                                   .arg(TwoDigitText(item.id), LineSettings::text(item.lineIndex));
        run.setSharedId(item);
        ReadBack rb;
        if (!dryRun && !run.readAt(item, rb)) {
            run.failure = QStringLiteral("no module with serial number %1 answered at %2")
                              .arg(item.row.serial, PlanPlace(item.id, item.lineIndex));
        }
        if (run.failure.isEmpty()) {
            if (!dryRun) {
                for (auto it = item.row.settings.cbegin(); it != item.row.settings.cend(); ++it)
                    if (PlanColumnNamed(it.key())->read(rb.settings) == it.value())
                        item.changes.remove(it.key());
            }
            if (run.sendSettings(item, rb.settings)) run.setLine(item);
        }
        finish(item, before);
    };

    QList<PlanItem> pending;
    bool stopped = false;
    for (PlanItem& item : items) {
        if (!item.unchanged() && !stopped) stopped = stopAsked();
        if (stopped && !item.unchanged()) {
            notRun(item);
        } else if (item.unchanged()) {
            PlanOutcome o;
            o.row = item.row.row;
            o.foundAt = PlanPlace(item.id, item.lineIndex);
            o.before = o.after =
                PlanDescribe(item.id, item.lineIndex, item.row, &item.found.settings);
            o.verified = true;  // the survey's read-back
            o.outcome = QStringLiteral("unchanged");
            outcomes.insert(o.row, o);
            if (!dryRun) RecordPlanRow(m, item, o);
            if (hooks.done) hooks.done(o);
        } else if (!item.shared && item.targetId == item.id) {
            runKnown(item, item.id, true);
        } else {
            pending.append(item);
        }
    }
    while (!pending.isEmpty()) {
        if (stopped || stopAsked()) {
            for (const PlanItem& item : pending) notRun(item);
            break;
        }
        int next = -1;
        for (int k = 0; k < pending.size() && next < 0; ++k) {
            const PlanItem& p = pending.at(k);
            const PlanSlot target{PlanTypeIndex(p.row.type), p.targetId};
            const int others = taken.value(target) - (p.targetId == p.id ? 1 : 0);
            if (others == 0) next = k;
        }
        if (next >= 0) {
            PlanItem item = pending.takeAt(next);
            aside.remove(item.row.row);
            taken[{PlanTypeIndex(item.row.type), item.id}] -= 1;
            taken[{PlanTypeIndex(item.row.type), item.targetId}] += 1;
            const int was = item.id;
            if (item.shared) {
                runShared(item);
            } else if (!runKnown(item, item.targetId, true) && item.id == was) {
                // The ID did not change: the module still holds its old one.
                taken[{PlanTypeIndex(item.row.type), item.targetId}] -= 1;
                taken[{PlanTypeIndex(item.row.type), was}] += 1;
            }
            continue;
        }
        // Every move waits for another (a swap): one module steps aside to a free ID.
        int mover = -1;
        for (int k = 0; k < pending.size() && mover < 0; ++k)
            if (!pending.at(k).shared) mover = k;
        int freeId = 0;
        if (mover >= 0) {
            const int t = PlanTypeIndex(pending.at(mover).row.type);
            for (int id : spares) {
                if (freeId != 0) break;
                bool used = taken.value({t, id}) > 0;
                for (const PlanItem& p : pending)
                    used = used || (PlanTypeIndex(p.row.type) == t && p.targetId == id);
                if (!used) freeId = id;
            }
        }
        if (mover < 0 || freeId == 0) {
            for (PlanItem& item : pending) {
                run.failure = QStringLiteral("its new ID stays taken");
                finish(item, PlanDescribe(item.id, item.lineIndex, item.row, nullptr));
            }
            break;
        }
        PlanItem& item = pending[mover];
        const int was = item.id;
        if (runKnown(item, freeId, false)) {
            taken[{PlanTypeIndex(item.row.type), was}] -= 1;
            taken[{PlanTypeIndex(item.row.type), freeId}] += 1;
            aside.insert(item.row.row);
            // The settings went out with the first step; the rest follows from the free ID.
        } else {
            PlanItem failed = pending.takeAt(mover);
            finish(failed, PlanDescribe(was, failed.lineIndex, failed.row, &failed.found.settings));
        }
    }
    return outcomes.values();
}
