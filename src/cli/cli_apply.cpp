// quillon-cli apply: a plan commissioned on every --port at once. The plan is read, each bus
// surveyed, and the whole checked before anything is sent; then every bus runs its rows in its
// own worker, and the rows are printed and written to the report as they end.

#include <QEventLoop>

#include "cli/cli_buses.h"

namespace cli {

namespace {

// The bus a plan row names, or -1.
int BusNamed(const QList<CliBus>& buses, const QString& port) {
    for (int b = 0; b < buses.size(); ++b)
        if (buses.at(b).name.compare(port, Qt::CaseInsensitive) == 0) return b;
    return -1;
}

bool HoldsSerial(const SurveyResult& r, const PlanRow& row) {
    for (const SurveyModule& f : r.modules)
        if (!f.isCh2() && f.type == row.type && f.serial == row.serial) return true;
    return false;
}

bool HasCollision(const SurveyResult& r, ModuleType type) {
    for (const SurveyCollision& c : r.collisions)
        if (c.type == type) return true;
    return false;
}

}  // namespace

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
    const QList<CliBus> buses = busOptions();
    for (const PlanRow& r : rows)
        if (!r.port.isEmpty() && BusNamed(buses, r.port) < 0)
            problems.append(
                {r.row, QStringLiteral("port"),
                 QStringLiteral("%1 is not among the ports given (--port)").arg(r.port)});
    if (!problems.isEmpty()) return refuse();

    // The survey of each bus, all at once.
    InterruptWatch interrupt;
    QList<int> codes(buses.size(), kOk);
    std::unique_ptr<BusRunner> runner =
        busRunner(buses, interrupt.stop, RecordSource::Apply, PlanSourceOf(path, planBytes));
    const SurveyPlan surveyPlan = PlanSurvey(rows, base);
    const QList<SurveyResult> surveyed =
        surveyBuses(*runner, buses, surveyPlan, interrupt.stop, &codes);
    if (interrupt.stop.load()) {
        diag(QStringLiteral("apply stopped during the survey: nothing was sent"));
        return kInterrupted;
    }

    // Each row to its bus. A row can only stay on the bus that holds its module.
    QList<QList<PlanRow>> busRows(buses.size());
    QList<PlanRow> unreachable;  // on a bus that did not open, or perhaps
    for (const PlanRow& r : rows) {
        QList<int> holding;
        for (int b = 0; b < buses.size(); ++b)
            if (HoldsSerial(surveyed.at(b), r)) holding << b;
        const int named = r.port.isEmpty() ? -1 : BusNamed(buses, r.port);
        if (named >= 0) {
            for (int b : holding)
                if (b != named)
                    problems.append(
                        {r.row, QStringLiteral("port"),
                         QStringLiteral("%1 is on %2, not on %3: a module does not change bus")
                             .arg(r.serial, buses.at(b).name, r.port)});
            if (surveyed.at(named).portFailed)
                unreachable << r;
            else
                busRows[named] << r;
            continue;
        }
        if (holding.size() > 1) {
            problems.append(
                {r.row, QStringLiteral("serial"),
                 QStringLiteral("%1 answers on %2 and %3: name its port")
                     .arg(r.serial, buses.at(holding.at(0)).name, buses.at(holding.at(1)).name)});
            continue;
        }
        if (holding.size() == 1) {
            busRows[holding.first()] << r;
            continue;
        }
        // Not found alone: among modules that answer together, or on a bus that did not open.
        QList<int> shared;
        bool anyFailed = false;
        for (int b = 0; b < buses.size(); ++b) {
            if (HasCollision(surveyed.at(b), r.type)) shared << b;
            anyFailed = anyFailed || surveyed.at(b).portFailed;
        }
        if (shared.size() > 1) {
            problems.append(
                {r.row, QStringLiteral("serial"),
                 QStringLiteral("%1 may be among the modules that answer together "
                                "on %2 and on %3: name its port")
                     .arg(r.serial, buses.at(shared.at(0)).name, buses.at(shared.at(1)).name)});
        } else if (shared.isEmpty() && anyFailed) {
            unreachable << r;
        } else {
            // One bus (the modules that answer together, or the only one): its check says it.
            busRows[shared.isEmpty() ? 0 : shared.first()] << r;
        }
    }
    QList<QList<PlanItem>> busItems(buses.size());
    for (int b = 0; b < buses.size(); ++b) {
        if (surveyed.at(b).portFailed) continue;
        QList<PlanProblem> found;
        if (!CheckPlan(busRows.at(b), surveyed.at(b), busItems[b], found)) {
            for (PlanProblem& pr : found)
                if (buses.size() > 1 && pr.row == 0)
                    pr.text = buses.at(b).name + QStringLiteral(": ") + pr.text;
            problems << found;
        }
    }
    std::sort(problems.begin(), problems.end(),
              [](const PlanProblem& a, const PlanProblem& b) { return a.row < b.row; });
    if (!problems.isEmpty()) return refuse();

    // Only now is the report begun: a refused plan leaves an earlier one as it was.
    std::unique_ptr<QFile> report;
    if (p_.isSet("report")) {
        report = std::make_unique<QFile>(p_.value("report"));
        if (!report->open(QIODevice::WriteOnly | QIODevice::Truncate))
            Usage(QStringLiteral("--report: cannot write %1").arg(p_.value("report")));
        report->write("row,type,serial,found_at,before,after,verified,outcome,port\n");
        report->flush();
    }
    QMap<int, PlanRow> byRow;
    for (const PlanRow& r : rows) byRow.insert(r.row, r);
    int notRun = 0;
    auto finished = [&](const QString& port, const PlanOutcome& o) {
        const PlanRow& pr = byRow[o.row];
        const QString type = QString::fromStdString(ModuleTypeName(pr.type));
        if (o.notRun()) ++notRun;
        if (!dryRun || o.failed()) {
            Result r;
            r.add("port", port);
            r.add("row", o.row);
            r.add("type", type);
            r.add("serial", pr.serial);
            r.add("found-at", o.foundAt);
            r.add("before", o.before);
            r.add("after", o.after);
            r.add("verified", o.verified);
            r.add("outcome", o.outcome);
            r.printLine(json_, QStringLiteral("%1 row %2 %3 %4: %5 (%6 -> %7)")
                                   .arg(port)
                                   .arg(o.row)
                                   .arg(type, pr.serial, o.outcome, o.before,
                                        o.after.isEmpty() ? QStringLiteral("-") : o.after));
        }
        if (!report) return;
        QStringList cells{
            QString::number(o.row),    type,      pr.serial, o.foundAt, o.before, o.after,
            o.verified ? "yes" : "no", o.outcome, port};
        for (QString& c : cells) c = CsvCell(c);
        // Row by row: a run cut off leaves the rows it finished.
        report->write((cells.join(',') + '\n').toUtf8());
        report->flush();
    };
    for (const PlanRow& r : unreachable) {
        PlanOutcome o;
        o.row = r.row;
        o.outcome = QStringLiteral("failed: its port did not open");
        finished(r.port.isEmpty() ? QStringLiteral("-") : r.port, o);
    }

    QList<bool> anyFailed(buses.size(), false);
    runner->start([&, dryRun](ModuleContext& m, int bus) {
        if (surveyed.at(bus).portFailed || busItems.at(bus).isEmpty()) return;
        const QString port = buses.at(bus).name;
        CommissionHooks hooks;
        hooks.spareIds = SurveyIds(surveyPlan);
        hooks.stop = [&interrupt] { return interrupt.stop.load(); };
        hooks.command = [&, port](const PlanItem& item, const QString& command) {
            if (!dryRun) return;
            const int row = item.row.row;
            const QString serial = item.row.serial;
            runner->post([this, port, row, serial, command] {
                Result r;
                r.add("port", port);
                r.add("row", row);
                r.add("serial", serial);
                r.add("command", command);
                r.printLine(
                    json_,
                    QStringLiteral("%1 row %2 %3: %4").arg(port).arg(row).arg(serial, command));
            });
        };
        hooks.done = [&, port, bus](const PlanOutcome& o) {
            runner->post([&, port, bus, o] {
                anyFailed[bus] = anyFailed[bus] || o.failed();
                finished(port, o);
            });
        };
        RunPlan(m, 1, busItems.at(bus), dryRun, hooks);
    });
    {
        QEventLoop loop;
        QObject::connect(runner.get(), &BusRunner::finished, &loop, &QEventLoop::quit);
        if (runner->running()) loop.exec();
    }
    if (report) report->close();
    for (int b = 0; b < buses.size(); ++b)
        if (anyFailed.at(b) && codes.at(b) == kOk) codes[b] = kRowsFailed;
    if (!unreachable.isEmpty()) codes << kPortFailed;
    if (notRun > 0) {
        diag(QStringLiteral("apply stopped: %1 row(s) not run; the same plan again finishes them")
                 .arg(notRun));
        codes << kInterrupted;
    }
    return Worst(codes);
}

}  // namespace cli
