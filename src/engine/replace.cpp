#include "engine/replace.h"

#include <QCryptographicHash>

#include "engine/modulecontext.h"
#include "engine/plancolumns.h"
#include "engine/records.h"
#include "link/linesettings.h"

namespace {

void AddOnce(QList<int>& list, int value) {
    if (!list.contains(value)) list << value;
}

// The survey of a replacement: the request's, or ID 01 and the old ID at 19200,e,8,1 and the
// old line setting; always where a run cut off leaves the new module.
SurveyPlan ReplacementSurvey(const ReplaceRequest& r) {
    SurveyPlan plan = r.survey;
    plan.types = {r.type};
    if (plan.lines.isEmpty()) plan.lines << LineSettings::kDefaultIndex;
    AddOnce(plan.lines, r.lineIndex);
    if (plan.ids.isEmpty()) plan.ids << 1;
    AddOnce(plan.ids, r.id);
    plan.readSettings = true;
    return plan;
}

QString Asked(const SurveyPlan& plan) {
    QStringList ids, lines;
    for (int id : plan.ids) ids << TwoDigitText(id);
    for (int line : plan.lines) lines << LineSettings::text(line);
    return QStringLiteral("asked ID %1 at %2")
        .arg(ids.join(QStringLiteral(", ")), lines.join(QStringLiteral(" and ")));
}

QString Owner(const SurveyModule& f) {
    return f.isCh2() ? f.ch2Of : f.serial;
}

}  // namespace

QString ReplacementPlan(const ReplaceRequest& r, const QString& newSerial) {
    QStringList header{"type", "serial", "id", "line"};
    QStringList cells{PlanTypeName(r.type), newSerial, TwoDigitText(r.id),
                      LineSettings::text(r.lineIndex)};
    // The settings in the plan's own column order; names the type does not have are left out.
    for (const PlanColumn& c : PlanColumns()) {
        if (!c.types.contains(r.type) || !r.settings.contains(c.name)) continue;
        header << c.name;
        cells << r.settings.value(c.name);
    }
    for (QString& cell : cells) cell = CsvCell(cell);
    return header.join(',') + '\n' + cells.join(',') + '\n';
}

ReplaceResult ReplaceModule(ModuleContext& m, const ReplaceRequest& req,
                            const ReplaceHooks& hooks) {
    ReplaceResult out;
    auto end = [&out](ReplaceEnd how, const QString& text) {
        out.end = how;
        out.text = text;
        return out;
    };
    const QString type = PlanTypeName(req.type);
    const SurveyPlan plan = ReplacementSurvey(req);
    SurveyHooks sh;
    sh.stop = hooks.stop;
    sh.progress = hooks.progress;
    const SurveyResult bus = RunSurvey(m, plan, sh);
    if (bus.portFailed) return end(ReplaceEnd::PortFailed, QStringLiteral("the port did not open"));
    if (bus.stopped) return end(ReplaceEnd::Stopped, QStringLiteral("stopped during the survey"));

    QList<SurveyModule> candidates;
    for (const SurveyModule& f : bus.modules) {
        if (f.type != req.type || f.isCh2()) continue;
        if (f.serial == req.oldSerial)
            return end(ReplaceEnd::Refused,
                       QStringLiteral("%1 %2 still answers at %3: take it off the bus first")
                           .arg(type, req.oldSerial, PlanPlace(f.id, f.lineIndex)));
        if (req.newSerial.isEmpty() ? !req.inService.contains(f.serial) : f.serial == req.newSerial)
            candidates << f;
    }
    // Modules that answer together cannot be told apart: two new ones at ID 01, or another
    // module at the old ID.
    for (const SurveyCollision& c : bus.collisions) {
        if (c.id == req.id)
            return end(ReplaceEnd::Refused,
                       QStringLiteral("other modules already hold ID %1 (they answer together at "
                                      "%2)")
                           .arg(TwoDigitText(c.id), LineSettings::text(c.lineIndex)));
        return end(ReplaceEnd::Refused,
                   QStringLiteral("more than one %1 answers at %2: connect one new module at a "
                                  "time")
                       .arg(type, PlanPlace(c.id, c.lineIndex)));
    }
    if (candidates.isEmpty()) {
        if (!req.newSerial.isEmpty())
            return end(ReplaceEnd::Refused,
                       QStringLiteral("no %1 with serial number %2 answers (%3)")
                           .arg(type, req.newSerial, Asked(plan)));
        return end(ReplaceEnd::Refused,
                   QStringLiteral("no new %1 answers (%2); a module that is not new answers at "
                                  "its own ID: reset it to its factory settings, or widen the "
                                  "survey")
                       .arg(type, Asked(plan)));
    }
    if (candidates.size() > 1) {
        QStringList found;
        for (const SurveyModule& f : candidates)
            found << QStringLiteral("%1 (%2)").arg(f.serial, PlanPlace(f.id, f.lineIndex));
        return end(ReplaceEnd::Refused,
                   QStringLiteral("more than one new %1 answers: %2; name the new one by its "
                                  "serial number")
                       .arg(type, found.join(QStringLiteral(", "))));
    }
    const SurveyModule fresh = candidates.first();
    out.newSerial = fresh.serial;
    out.foundId = fresh.id;
    out.foundLine = fresh.lineIndex;
    for (const SurveyModule& f : bus.modules) {
        if (f.type != req.type || f.id != req.id || Owner(f) == fresh.serial) continue;
        return end(ReplaceEnd::Refused,
                   QStringLiteral("another module already holds ID %1: %2 at %3")
                       .arg(TwoDigitText(req.id),
                            f.isCh2() ? QStringLiteral("CH #2 of ") + f.ch2Of : f.serial,
                            LineSettings::text(f.lineIndex)));
    }

    const QString text = ReplacementPlan(req, fresh.serial);
    QList<PlanRow> rows;
    QList<PlanProblem> problems;
    QList<PlanItem> items;
    if (ParsePlan(text, rows, problems)) CheckPlan(rows, bus, items, problems);
    if (!problems.isEmpty()) {
        QStringList why;
        for (const PlanProblem& p : problems) why << p.text;
        return end(ReplaceEnd::Refused, why.join(QStringLiteral("; ")));
    }

    const PlanSource before = m.Plan;
    m.Plan = {QStringLiteral("replacement of %1 %2").arg(type, req.oldSerial),
              QString::fromLatin1(
                  QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256).toHex())};
    CommissionHooks ch;
    ch.stop = hooks.stop;
    ch.spareIds = SurveyIds(plan);
    ch.command = [&hooks](const PlanItem&, const QString& command) {
        if (hooks.command) hooks.command(command);
    };
    const QList<PlanOutcome> outcomes = RunPlan(m, plan.portNo, items, false, ch);
    m.Plan = before;
    out.outcome = outcomes.value(0);
    if (out.outcome.notRun())
        return end(ReplaceEnd::Stopped, QStringLiteral("stopped before the new module was set"));
    if (!out.outcome.verified) return end(ReplaceEnd::Failed, out.outcome.outcome);

    ReplacementRecord r;
    r.replaced = {req.type, req.oldSerial, req.id, req.lineIndex, m.portName()};
    r.replacement = {req.type, fresh.serial, req.id, req.lineIndex, m.portName()};
    r.settings = req.settings;
    r.site = req.site;
    m.observer().moduleReplaced(r);
    return end(ReplaceEnd::Done, out.outcome.outcome);
}
