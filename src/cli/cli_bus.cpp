// quillon-cli's commands on the whole bus: survey and apply.

#include "cli/cli.h"

namespace cli {

// "N" or "A-B" within 1..99.
QList<int> ParseIds(const QString& text) {
    const QStringList parts = text.split('-');
    if (parts.size() > 2)
        Usage(QStringLiteral("--ids: N or A-B within 1..99, not \"%1\"").arg(text));
    const int from = ParseInt(parts.first().trimmed(), 1, 99, "--ids");
    const int to = parts.size() == 2 ? ParseInt(parts.last().trimmed(), 1, 99, "--ids") : from;
    if (to < from) Usage(QStringLiteral("--ids: A-B with A not above B, not \"%1\"").arg(text));
    QList<int> ids;
    for (int id = from; id <= to; ++id) ids << id;
    return ids;
}

// --line, repeatable, for a survey: the line settings given, or all of them (empty).
QList<int> SurveyLineOption(const QCommandLineParser& p) {
    QList<int> lines;
    for (const QString& line : p.values("line")) {
        if (QString::compare(line, "all", Qt::CaseInsensitive) == 0) return {};
        const int i = ParseLine(line, LineSettings::kListed, "--line");
        if (!lines.contains(i)) lines << i;
    }
    return lines;
}

// The fields of one module a survey found, as `info` names them.
void AddSurveyed(Result& r, const SurveyModule& s, bool read) {
    r.add("type", QString::fromStdString(ModuleTypeName(s.type)));
    r.add("id", s.id);
    r.add("line", LineSettings::text(s.lineIndex));
    r.add("serial", s.serial);
    r.add("version", s.version.isEmpty() ? QJsonValue() : QJsonValue(s.version));
    if (!read) return;
    r.add("read", s.settingsRead);
    AddTypeSettings(r, s.type, s.settings, false);
}

int Cli::survey() {
    args(0);
    SurveyPlan plan;
    const QString type = p_.value("type");
    if (p_.isSet("type") && QString::compare(type, "all", Qt::CaseInsensitive) != 0) {
        const std::optional<ModuleType> t = ParseModuleType(type.toStdString());
        if (!t) Usage(QStringLiteral("--type: a module type or all, not \"%1\"").arg(type));
        plan.types << *t;
    }
    plan.lines = SurveyLineOption(p_);
    if (p_.isSet("ids")) plan.ids = ParseIds(p_.value("ids"));
    plan.readSettings = p_.isSet("read");
    moduleOptions(false, true);
    plan.portNo = portNo_;
    const QString port = devicePath_.isEmpty() ? QStringLiteral("COM%1").arg(portNo_) : devicePath_;

    const bool progress = isatty(STDERR_FILENO);
    bool shown = false;
    auto clearProgress = [&] {
        if (shown) std::fputs("\r\033[K", stderr);
        shown = false;
    };
    if (!json_) {
        std::printf("%-9s %-3s %-12s %-9s %s\n", "TYPE", "ID", "LINE", "SERIAL", "VERSION");
        std::fflush(stdout);
    }
    SurveyHooks hooks;
    // Ctrl-C stops the survey between two exchanges; what was found is printed already.
    g_continuous = 1;
    hooks.stop = [] { return g_interrupted != 0; };
    hooks.progress = [&](const SurveyProgress& p) {
        if (!progress) return;
        std::fprintf(stderr, "\r\033[Ksurvey %s %s %s ID %02d  %d%%, about %d s left",
                     port.toUtf8().constData(),
                     LineSettings::text(p.lineIndex).toLatin1().constData(),
                     ModuleTypeName(p.type).c_str(), p.id, p.total ? 100 * p.done / p.total : 100,
                     (p.msLeft + 999) / 1000);
        std::fflush(stderr);
        shown = true;
    };
    hooks.found = [&](const SurveyModule& s) {
        clearProgress();
        Result r;
        AddSurveyed(r, s, plan.readSettings);
        QString text = QStringLiteral("%1 %2 %3 %4 %5")
                           .arg(QString::fromStdString(ModuleTypeName(s.type)), -9)
                           .arg(TwoDigitText(s.id), -3)
                           .arg(LineSettings::text(s.lineIndex), -12)
                           .arg(s.serial, -9)
                           .arg(s.version.isEmpty() ? QStringLiteral("-") : s.version);
        // With --read the type's settings follow the common fields, as name=value.
        if (plan.readSettings) text += QStringLiteral("  ") + r.pairs(5);
        r.printLine(json_, text);
    };
    lastFailure_ = {};
    const SurveyResult res = RunSurvey(*m_, plan, hooks);
    g_continuous = 0;
    clearProgress();
    if (res.portFailed) return notFound();
    for (const SurveyCollision& c : res.collisions) {
        const QString why = c.id == 1
                                ? QStringLiteral(
                                      "several modules answer at ID 01: their serial numbers are "
                                      "needed: connect them one at a time, or name them in a plan")
                                : QStringLiteral("two modules share ID %1, or the line is noisy")
                                      .arg(TwoDigitText(c.id));
        Result r;
        r.add("collision", true);
        r.add("type", QString::fromStdString(ModuleTypeName(c.type)));
        r.add("id", c.id);
        r.add("line", LineSettings::text(c.lineIndex));
        r.add("text", why);
        r.printLine(json_, QStringLiteral("collision: %1 ID %2 at %3: %4")
                               .arg(QString::fromStdString(ModuleTypeName(c.type)),
                                    TwoDigitText(c.id), LineSettings::text(c.lineIndex), why));
    }
    if (res.stopped) {
        diag(QStringLiteral("survey stopped: %1 module(s) found so far").arg(res.modules.size()));
        return kInterrupted;
    }
    if (res.modules.isEmpty()) {
        diag(res.collisions.isEmpty() ? QStringLiteral("no module answered")
                                      : QStringLiteral("no module answered alone"));
        return kFailed;
    }
    return kOk;
}

// A report cell, quoted when it holds a comma or a quote.
QString CsvCell(const QString& text) {
    if (!text.contains(',') && !text.contains('"')) return text;
    return '"' + QString(text).replace('"', QStringLiteral("\"\"")) + '"';
}

int Cli::apply() {
    args(1);
    const QString path = arg(1);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) Usage(QStringLiteral("apply: cannot read %1").arg(path));
    QList<PlanRow> rows;
    QList<PlanProblem> problems;
    const QByteArray planBytes = file.readAll();
    const bool parsed = ParsePlan(QString::fromUtf8(planBytes), rows, problems);
    SurveyPlan base;
    base.lines = SurveyLineOption(p_);
    if (p_.isSet("ids")) base.ids = ParseIds(p_.value("ids"));
    const bool dryRun = p_.isSet("dry-run");
    std::unique_ptr<QFile> report;
    if (p_.isSet("report")) {
        report = std::make_unique<QFile>(p_.value("report"));
        if (!report->open(QIODevice::WriteOnly | QIODevice::Truncate))
            Usage(QStringLiteral("--report: cannot write %1").arg(p_.value("report")));
    }
    auto refuse = [&] {
        for (const PlanProblem& pr : problems) diag(path + QStringLiteral(": ") + pr.describe());
        diag(QStringLiteral("plan refused: nothing was sent"));
        return kUsage;
    };
    if (!parsed) return refuse();
    if (rows.isEmpty()) {
        problems.append({0, {}, QStringLiteral("no rows")});
        return refuse();
    }
    moduleOptions(false, true);
    base.portNo = portNo_;
    m_->Plan = PlanSourceOf(path, planBytes);

    const bool progress = isatty(STDERR_FILENO);
    SurveyHooks hooks;
    g_continuous = 1;
    hooks.stop = [] { return g_interrupted != 0; };
    hooks.progress = [&](const SurveyProgress& p) {
        if (!progress) return;
        std::fprintf(stderr, "\r\033[Ksurvey %s %s ID %02d  %d%%, about %d s left",
                     LineSettings::text(p.lineIndex).toLatin1().constData(),
                     ModuleTypeName(p.type).c_str(), p.id, p.total ? 100 * p.done / p.total : 100,
                     (p.msLeft + 999) / 1000);
        std::fflush(stderr);
    };
    lastFailure_ = {};
    const SurveyResult bus = RunSurvey(*m_, PlanSurvey(rows, base), hooks);
    g_continuous = 0;
    if (progress) std::fputs("\r\033[K", stderr);
    if (bus.portFailed) return notFound();
    if (bus.stopped) return kInterrupted;

    QList<PlanItem> items;
    if (!CheckPlan(rows, bus, items, problems)) return refuse();

    if (report) report->write("row,type,serial,found_at,before,after,verified,outcome\n");
    bool anyFailed = false;
    CommissionHooks run;
    run.command = [&](const PlanItem& item, const QString& command) {
        if (!dryRun) return;
        Result r;
        r.add("row", item.row.row);
        r.add("serial", item.row.serial);
        r.add("command", command);
        r.printLine(
            json_, QStringLiteral("row %1 %2: %3").arg(item.row.row).arg(item.row.serial, command));
    };
    QMap<int, PlanRow> byRow;
    for (const PlanRow& r : rows) byRow.insert(r.row, r);
    run.done = [&](const PlanOutcome& o) {
        anyFailed = anyFailed || o.failed();
        const PlanRow& pr = byRow[o.row];
        const QString type = QString::fromStdString(ModuleTypeName(pr.type));
        if (dryRun && !o.failed()) return;
        Result r;
        r.add("row", o.row);
        r.add("type", type);
        r.add("serial", pr.serial);
        r.add("found-at", o.foundAt);
        r.add("before", o.before);
        r.add("after", o.after);
        r.add("verified", o.verified);
        r.add("outcome", o.outcome);
        r.printLine(json_, QStringLiteral("row %1 %2 %3: %4 (%5 -> %6)")
                               .arg(o.row)
                               .arg(type, pr.serial, o.outcome, o.before,
                                    o.after.isEmpty() ? QStringLiteral("-") : o.after));
    };
    // The report in the plan's order, whatever order the rows ran in.
    for (const PlanOutcome& o : RunPlan(*m_, portNo_, items, dryRun, run)) {
        if (!report) break;
        const PlanRow& pr = byRow[o.row];
        const QStringList cells{QString::number(o.row),
                                QString::fromStdString(ModuleTypeName(pr.type)),
                                pr.serial,
                                o.foundAt,
                                o.before,
                                o.after,
                                o.verified ? "yes" : "no",
                                o.outcome};
        QStringList quoted;
        for (const QString& c : cells) quoted << CsvCell(c);
        report->write((quoted.join(',') + '\n').toUtf8());
    }
    return anyFailed ? kRowsFailed : kOk;
}

}  // namespace cli
