// quillon-cli checkout: every point of a site ticked off while the technician walks it. The
// points list is read and checked before anything is sent; every bus is surveyed for the
// modules it names (by serial number), then each bus is asked round after round in its own
// worker. A line per change as it happens, a summary at the end.

#include <QSaveFile>

#include "cli/cli_buses.h"
#include "engine/checkoutbuses.h"
#include "register/registerreader.h"

namespace cli {

namespace {

// A label on one line: its quotes and line breaks escaped.
QString OneLine(const QString& label) {
    QString s = label;
    s.replace('\\', QLatin1String("\\\\")).replace('"', QLatin1String("\\\""));
    s.replace('\n', QLatin1String("\\n")).replace('\r', QLatin1String("\\r"));
    return '"' + s + '"';
}

void PrintPoint(bool json, const QString& port, const PointStatus& s) {
    Result r;
    r.add("port", port);
    r.add("type", QString::fromStdString(ModuleTypeName(s.point.type)));
    r.add("serial", s.point.serial);
    r.add("point", s.point.point);
    r.add("label", s.point.label);
    r.add("state", PointStateName(s.state));
    r.add("ms", static_cast<double>(s.ms));
    if (!s.detail.isEmpty()) r.add("detail", s.detail);
    QString text = QStringLiteral("%1 %2 %3 %4 %5 %6")
                       .arg(QString::number(s.ms / 1000.0, 'f', 3), 8)
                       .arg(port, s.point.serial, s.point.point, OneLine(s.point.label),
                            PointStateName(s.state));
    if (!s.detail.isEmpty()) text += QStringLiteral(" (") + s.detail + ')';
    r.printLine(json, text);
}

}  // namespace

int Cli::checkout() {
    args(0);
    const bool writeTemplate = p_.isSet("points-template");
    if (writeTemplate && p_.isSet("points"))
        Usage(QStringLiteral("checkout: --points or --points-template, not both"));
    QList<CheckoutPoint> expected;
    if (p_.isSet("points")) {
        const QString path = p_.value("points");
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            Usage(QStringLiteral("--points: cannot read %1").arg(path));
        QList<PlanProblem> problems;
        if (!ParsePoints(QString::fromUtf8(file.readAll()), expected, problems)) {
            for (const PlanProblem& pr : problems)
                diag(path + QStringLiteral(": ") + pr.describe());
            diag(QStringLiteral("points list refused: nothing was sent"));
            return kUsage;
        }
    } else if (p_.isSet("site") && !writeTemplate) {
        // Every point of every module the register holds at the site.
        RegisterReader reader;
        RegisterProblem problem;
        if (registerPath().isEmpty() || !reader.open(registerPath(), &problem))
            Usage(QStringLiteral("--site: the site register cannot be read: %1")
                      .arg(problem.describe()));
        ModuleQuery q;
        q.site = p_.value("site");
        q.withSettings = false;
        for (const RegisterModule& rm : reader.modules(q)) {
            const std::optional<ModuleType> t = ParseModuleType(rm.facts.type.toStdString());
            if (!t) continue;
            for (const QString& point : PointsOfType(*t))
                expected << CheckoutPoint{0, *t, rm.facts.serial, point, {}};
        }
        if (expected.isEmpty())
            Usage(QStringLiteral("--site: the register holds no module at \"%1\"")
                      .arg(p_.value("site")));
    }
    SurveyPlan plan;
    plan.lines = SurveyLineOption(p_);
    if (p_.isSet("ids")) plan.ids = ParseIds(p_.value("ids"));
    for (ModuleType t : kAllModuleTypes)
        for (const CheckoutPoint& p : expected)
            if (p.type == t && !plan.types.contains(t)) plan.types << t;
    const QList<CliBus> buses = busOptions();

    // The survey of each bus, all at once: where the modules answer.
    InterruptWatch interrupt;
    std::unique_ptr<BusRunner> runner = busRunner(buses, interrupt.stop, RecordSource::Checkout);
    const QList<SurveyResult> surveyed = surveyBuses(*runner, buses, plan, interrupt.stop);

    if (writeTemplate) {
        if (interrupt.stop.load()) return kInterrupted;
        QList<SurveyModule> found;
        for (const SurveyResult& r : surveyed) found << r.modules;
        const QList<CheckoutPoint> points = PointsOfModules(found);
        const QString path = p_.value("points-template");
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(WritePoints(points).toUtf8()) < 0 ||
            !file.commit()) {
            diag(QStringLiteral("--points-template: cannot write %1").arg(path));
            return kUsage;
        }
        diag(QStringLiteral("%1 points written to %2").arg(points.size()).arg(path));
        return points.isEmpty() ? kFailed : kOk;
    }

    QList<PointStatus> missing;
    const QList<CheckoutBus> placed =
        PlaceCheckout(surveyed, QList<int>(buses.size(), 1), expected, &missing);
    QList<QList<PointStatus>> ended(buses.size());
    for (const PointStatus& s : missing) PrintPoint(json_, QStringLiteral("-"), s);
    int total = missing.size();
    for (const CheckoutBus& b : placed) total += b.points.size();
    if (!json_) diag(QStringLiteral("checkout of %1 points: Ctrl-C ends it").arg(total));

    if (!interrupt.stop.load()) {
        BusCheckoutHooks hooks;
        hooks.stop = &interrupt.stop;
        hooks.each.untilDone = p_.isSet("until-done");
        hooks.each.chatterLimit = LoadChatterLimit(store_);
        hooks.changed = [&](int bus, const PointStatus& s) {
            PrintPoint(json_, buses.at(bus).name, s);
        };
        hooks.ended = [&](int bus, const CheckoutResult& r, const OpenFailure& failure) {
            ended[bus] = r.points;
            if (r.portFailed) diagOpenFailure(buses.at(bus), failure);
        };
        RunBusCheckout(*runner, placed, hooks);
    }
    // A bus that never ran (stopped during the survey) leaves its points as they were placed.
    for (int b = 0; b < placed.size(); ++b)
        if (ended.at(b).isEmpty())
            for (const CheckoutPoint& p : placed.at(b).points) {
                PointStatus s;
                s.point = p;
                ended[b] << s;
            }

    // The modules no bus found have no context of their own: their points are filed here.
    if (RegisterWriter* writer = openRegister()) {
        RegisterRecorder recorder(*writer, RecordSource::Checkout);
        for (const PointStatus& s : missing) {
            CheckoutRecord r;
            r.place.type = s.point.type;
            r.place.serial = s.point.serial;
            r.point = s.point.point;
            r.label = s.point.label;
            r.state = PointStateName(s.state);
            r.ended = true;
            recorder.pointChecked(r);
        }
    }

    int passed = 0;
    QJsonArray notPassed;
    QStringList notPassedText;
    const auto count = [&](const QString& port, const PointStatus& s) {
        if (s.ok()) {
            ++passed;
            return;
        }
        QJsonObject o;
        o.insert("port", port);
        o.insert("serial", s.point.serial);
        o.insert("point", s.point.point);
        o.insert("label", s.point.label);
        o.insert("state", PointStateName(s.state));
        notPassed.append(o);
        notPassedText << QStringLiteral("  %1 %2 %3 %4 %5")
                             .arg(port, s.point.serial, s.point.point, OneLine(s.point.label),
                                  PointStateName(s.state));
    };
    for (int b = 0; b < ended.size(); ++b)
        for (const PointStatus& s : ended.at(b)) count(buses.at(b).name, s);
    for (const PointStatus& s : missing) count(QStringLiteral("-"), s);
    const bool interrupted = interrupt.stop.load();
    if (json_) {
        QJsonObject o;
        o.insert("summary", true);
        o.insert("passed", passed);
        o.insert("points", total);
        o.insert("stopped", interrupted);
        o.insert("not_passed", notPassed);
        std::fputs(QJsonDocument(o).toJson(QJsonDocument::Compact).constData(), stdout);
        std::fputc('\n', stdout);
    } else {
        std::printf("%d of %d points passed\n", passed, total);
        for (const QString& line : notPassedText) std::printf("%s\n", line.toUtf8().constData());
    }
    std::fflush(stdout);
    if (interrupted) return kInterrupted;
    return passed == total ? kOk : kFailed;
}

}  // namespace cli
