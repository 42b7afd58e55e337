// quillon-cli's commands on whole buses: survey and apply, on every --port at once, one worker
// thread per bus. Only this thread prints: the workers' findings arrive as queued calls.

#include <QEventLoop>
#include <QSaveFile>

#include "cli/cli_buses.h"

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

namespace {

// The fields of one module a survey found, as `info` names them.
void AddSurveyed(Result& r, const QString& port, const SurveyModule& s, bool read) {
    r.add("port", port);
    r.add("type", QString::fromStdString(ModuleTypeName(s.type)));
    r.add("id", s.id);
    r.add("line", LineSettings::text(s.lineIndex));
    r.add("serial", s.serial);
    r.add("version", s.version.isEmpty() ? QJsonValue() : QJsonValue(s.version));
    if (s.isCh2()) r.add("ch2-of", s.ch2Of);
    if (!read || s.isCh2()) return;
    r.add("read", s.settingsRead);
    AddTypeSettings(r, s.type, s.settings, false);
}

}  // namespace

QList<CliBus> Cli::busOptions() {
    QList<CliBus> buses;
    const QStringList given = p_.values("port");
    for (const QString& port :
         given.isEmpty() ? QStringList{QStringLiteral("COM%1").arg(stored_.portNo)} : given) {
        QString device;
        int portNo = 1;
        parsePort(port, device, portNo);
        CliBus b;
        b.name = port;
        b.device = device.isEmpty() ? map().deviceFor(portNo) : device;
        for (const CliBus& other : buses)
            if (other.name.compare(port, Qt::CaseInsensitive) == 0)
                Usage(QStringLiteral("--port: %1 is given twice").arg(port));
        buses << b;
    }
    return buses;
}

std::unique_ptr<BusRunner> Cli::busRunner(const QList<CliBus>& buses, const std::atomic<bool>& stop,
                                          RecordSource source, const PlanSource& plan) {
    // Each bus's opener is made in its worker thread and knows only its device; Ctrl-C ends a
    // connection to a network port under way at once.
    auto runner =
        std::make_unique<BusRunner>(static_cast<int>(buses.size()), [buses, &stop](int bus) {
            const QString device = buses.at(bus).device;
            auto opener = std::make_unique<QtPortOpener>([device](int) { return device; });
            OpenWait wait;
            wait.cancel = [&stop] { return stop.load(); };
            opener->setOpenWait(wait);
            return std::unique_ptr<PortOpener>(std::move(opener));
        });
    RegisterWriter* writer = openRegister();
    runner->setContextSetup([buses, writer, source, plan](ModuleContext& m, int bus) {
        m.PortName = buses.at(bus).name;
        m.Plan = plan;
        if (writer) m.addRecorder(std::make_unique<RegisterRecorder>(*writer, source, &m));
    });
    return runner;
}

int Cli::diagOpenFailure(const CliBus& bus, const OpenFailure& f) const {
    if (f.reason == OpenFailure::Reason::None) {
        diag(QStringLiteral("%1: %2").arg(bus.name, lang(17)));
        return kFailed;
    }
    diag(QStringLiteral("%1: %2").arg(bus.name, f.describe(langIndex_)));
    return kPortFailed;
}

QList<SurveyResult> Cli::surveyBuses(BusRunner& runner, const QList<CliBus>& buses,
                                     const SurveyPlan& plan, const std::atomic<bool>& stop,
                                     QList<int>* codes) {
    ProgressLine progress(buses);
    QList<SurveyResult> surveyed(buses.size());
    BusSurveyHooks hooks;
    hooks.stop = &stop;
    hooks.progress = [&](int bus, const SurveyProgress& p) { progress.update(bus, p); };
    hooks.ended = [&](int bus, const SurveyResult& r, const OpenFailure& failure) {
        progress.clear();
        surveyed[bus] = r;
        if (!r.portFailed) return;
        const int code = diagOpenFailure(buses.at(bus), failure);
        if (codes) (*codes)[bus] = code;
    };
    RunBusSurvey(runner, QList<SurveyPlan>(buses.size(), plan), hooks);
    progress.clear();
    return surveyed;
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
    // A plan needs the settings of every module.
    plan.readSettings = p_.isSet("read") || p_.isSet("plan");
    const QList<CliBus> buses = busOptions();
    int width = 4;
    for (const CliBus& b : buses) width = std::max(width, static_cast<int>(b.name.size()));

    if (!json_) {
        std::printf("%-*s %-9s %-3s %-12s %-9s %s\n", width, "PORT", "TYPE", "ID", "LINE", "SERIAL",
                    "VERSION");
        std::fflush(stdout);
    }
    InterruptWatch interrupt;
    ProgressLine progress(buses);
    QList<int> codes(buses.size(), kOk);
    QList<SurveyModule> found;
    QStringList foundPorts;
    BusSurveyHooks hooks;
    hooks.stop = &interrupt.stop;
    hooks.progress = [&](int bus, const SurveyProgress& p) { progress.update(bus, p); };
    hooks.found = [&](int bus, const SurveyModule& s) {
        progress.clear();
        const QString port = buses.at(bus).name;
        if (!s.isCh2()) {
            found << s;
            foundPorts << port;
        }
        Result r;
        AddSurveyed(r, port, s, plan.readSettings);
        const QString version = s.isCh2()             ? QStringLiteral("CH #2 of ") + s.ch2Of
                                : s.version.isEmpty() ? QStringLiteral("-")
                                                      : s.version;
        QString text = QStringLiteral("%1 %2 %3 %4 %5 %6")
                           .arg(port, -width)
                           .arg(QString::fromStdString(ModuleTypeName(s.type)), -9)
                           .arg(TwoDigitText(s.id), -3)
                           .arg(LineSettings::text(s.lineIndex), -12)
                           .arg(s.serial, -9)
                           .arg(version);
        // With --read the type's settings follow the common fields, as name=value.
        if (plan.readSettings && !s.isCh2()) text += QStringLiteral("  ") + r.pairs(7);
        r.printLine(json_, text);
    };
    hooks.ended = [&](int bus, const SurveyResult& res, const OpenFailure& failure) {
        progress.clear();
        const CliBus& b = buses.at(bus);
        for (const SurveyCollision& c : res.collisions) {
            const QString why =
                c.id == 1 ? QStringLiteral(
                                "several modules answer at ID 01: their serial numbers are "
                                "needed: connect them one at a time, or name them in a plan")
                          : QStringLiteral("two modules share ID %1, or the line is noisy")
                                .arg(TwoDigitText(c.id));
            Result r;
            r.add("port", b.name);
            r.add("collision", true);
            r.add("type", QString::fromStdString(ModuleTypeName(c.type)));
            r.add("id", c.id);
            r.add("line", LineSettings::text(c.lineIndex));
            r.add("text", why);
            r.printLine(json_, QStringLiteral("%1 collision: %2 ID %3 at %4: %5")
                                   .arg(b.name, QString::fromStdString(ModuleTypeName(c.type)),
                                        TwoDigitText(c.id), LineSettings::text(c.lineIndex), why));
        }
        if (res.portFailed) {
            codes[bus] = diagOpenFailure(b, failure);
        } else if (res.stopped) {
            diag(QStringLiteral("%1: survey stopped: %2 module(s) found so far")
                     .arg(b.name)
                     .arg(res.modules.size()));
            codes[bus] = kInterrupted;
        } else if (res.modules.isEmpty()) {
            diag(QStringLiteral("%1: %2").arg(
                b.name, res.collisions.isEmpty() ? QStringLiteral("no module answered")
                                                 : QStringLiteral("no module answered alone")));
            codes[bus] = kFailed;
        }
    };
    std::unique_ptr<BusRunner> runner = busRunner(buses, interrupt.stop, RecordSource::Survey);
    RunBusSurvey(*runner, QList<SurveyPlan>(buses.size(), plan), hooks);
    progress.clear();

    if (p_.isSet("plan") && !interrupt.stop.load()) {
        QSaveFile file(p_.value("plan"));
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(WritePlan(found, buses.size() > 1 ? foundPorts : QStringList()).toUtf8()) <
                0 ||
            !file.commit()) {
            diag(QStringLiteral("--plan: cannot write %1").arg(p_.value("plan")));
            codes << kFailed;
        }
    }
    return Worst(codes);
}

}  // namespace cli
