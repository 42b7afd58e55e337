// quillon-cli and the site register: the recorder that every module command gets, and the
// commands that read the register (list, history, export) or fold another one into it (merge).

#include <QDir>
#include <QTimeZone>
#include <algorithm>

#include "cli/cli.h"
#include "register/registercsv.h"
#include "register/registermerge.h"
#include "register/registerreader.h"
#include "register/registerstore.h"
#include "text/jsontext.h"

namespace cli {
namespace {

// In the system's time zone, read once: the C library's local time looks at the zone's file
// again for every time, which a list of ten thousand modules would feel.
QString LocalTime(const QDateTime& t) {
    static const QTimeZone zone = QTimeZone::systemTimeZone();
    return t.isValid() ? t.toTimeZone(zone).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                       : QStringLiteral("-");
}

// A text on one line of a table: line breaks and tabs as escapes.
QString OneLine(QString s) {
    if (s.isEmpty()) return QStringLiteral("-");
    bool plain = true;
    for (const QChar c : s) plain = plain && c != QLatin1Char('\\') && c.unicode() >= 0x20;
    if (plain) return s;
    s.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    s.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    s.replace(QLatin1Char('\r'), QLatin1String("\\r"));
    s.replace(QLatin1Char('\t'), QLatin1String("\\t"));
    return s.isEmpty() ? QStringLiteral("-") : s;
}

QJsonValue OrNull(const QString& s) {
    return s.isEmpty() ? QJsonValue() : QJsonValue(s);
}

QJsonValue ValuesJsonValue(const std::optional<SettingValues>& v) {
    if (!v) return QJsonValue();
    QJsonObject o;
    for (auto it = v->cbegin(); it != v->cend(); ++it) o.insert(it.key(), it.value());
    return o;
}

QJsonValue FlagValue(const std::optional<bool>& b) {
    return b ? QJsonValue(*b) : QJsonValue();
}

}  // namespace

QString Cli::registerPath() const {
    return ChooseRegisterPath(p_.value("register"), p_.isSet("no-register"));
}

Cli::~Cli() {
    recorder_.reset();
    FinishRegister(register_);
}

RegisterWriter* Cli::openRegister() {
    if (register_) return register_.get();
    const QString path = registerPath();
    if (path.isEmpty()) return nullptr;
    register_ = std::make_unique<RegisterWriter>(path);
    register_->setSite(p_.isSet("site") ? p_.value("site") : LoadRegisterSite(store_));
    // Said once; the command goes on without the register.
    register_->setOffHandler([](const RegisterProblem& p) {
        std::fprintf(stderr, "quillon-cli: the site register is off: %s\n",
                     p.describe().toUtf8().constData());
    });
    // The file opens while the command talks to the module.
    register_->open();
    WatchRegister(register_.get());
    return register_.get();
}

void Cli::attachRegister(RecordSource source) {
    if (!m_) return;
    if (RegisterWriter* writer = openRegister())
        recorder_ = std::make_unique<RecorderAttachment>(*m_, *writer, source);
}

int Cli::registerCommand() {
    const QStringList a = p_.positionalArguments();
    const QString sub = a.value(1);
    const QString path = registerPath();
    if (path.isEmpty()) Usage(QStringLiteral("register: --no-register leaves no register"));
    std::optional<QString> type;
    if (p_.isSet("type")) {
        const std::optional<ModuleType> t = ParseModuleType(p_.value("type").toStdString());
        if (!t) Usage(QStringLiteral("--type: unknown module type \"%1\"").arg(p_.value("type")));
        type = QString::fromStdString(ModuleTypeName(*t));
    }
    auto wants = [&](int count) {
        if (a.size() != count + 2)
            Usage(QStringLiteral("register %1 takes %2 argument(s)").arg(sub).arg(count));
    };

    if (sub == "server") return serverCommand();
    if (sub == "sync") return syncCommand();
    if (sub == "merge") {
        wants(1);
        MergeCounts counts;
        RegisterProblem problem;
        if (!MergeRegister(path, a.at(2), &counts, &problem)) {
            diag(QStringLiteral("register merge refused: %1; nothing changed")
                     .arg(problem.describe()));
            return problem.kind == RegisterProblem::Kind::Failed ||
                           problem.kind == RegisterProblem::Kind::DiskFull ||
                           problem.kind == RegisterProblem::Kind::Locked
                       ? kFailed
                       : kUsage;
        }
        Result r;
        r.add("merged", a.at(2));
        r.add("new-modules", counts.modules);
        r.add("new-events", counts.events);
        r.add("new-tests", counts.tests);
        r.print(json_);
        return kOk;
    }
    if (sub != "list" && sub != "history" && sub != "export")
        Usage(QStringLiteral("register: list, history, export, merge, sync or server, not \"%1\"")
                  .arg(sub));

    RegisterReader reader;
    RegisterProblem problem;
    if (!reader.open(path, &problem)) {
        // Not an empty register: one that cannot be read, and why.
        diag(QStringLiteral("the site register cannot be read: ") + problem.describe());
        return kUsage;
    }
    ModuleQuery query;
    if (p_.isSet("site")) query.site = p_.value("site");
    query.type = type;

    if (sub == "list") {
        wants(0);
        if (!json_) {
            std::printf("%-9s %-9s %-9s %-3s %-12s %-14s %-14s %-19s %-12s %s\n", "TYPE", "SERIAL",
                        "VERSION", "ID", "LINE", "PORT", "SITE", "LAST SEEN", "RECORDED BY",
                        "LAST TEST");
        }
        query.withSettings = json_;
        // Ten thousand modules go out in large writes, not a flush per line, and are never
        // all held at once.
        QByteArray out;
        out.reserve(1 << 17);
        reader.eachModule(query, [&](const RegisterModule& m) {
            if (out.size() > (1 << 16)) {
                std::fwrite(out.constData(), 1, static_cast<size_t>(out.size()), stdout);
                out.clear();
            }
            if (json_) {
                // Written directly: QJsonDocument would cost more than the query.
                out += "{\"type\":";
                AppendJsonString(out, m.facts.type);
                const std::pair<const char*, const QString*> texts[] = {
                    {"serial", &m.facts.serial}, {"version", &m.facts.version},
                    {"line", &m.facts.line},     {"port", &m.facts.port},
                    {"last_test", &m.lastTest},  {"ch2_serial", &m.facts.ch2Serial}};
                for (const auto& [name, text] : texts) {
                    out += ",\"" + QByteArray(name) + "\":";
                    if (text->isEmpty() && qstrcmp(name, "serial") != 0)
                        out += "null";
                    else
                        AppendJsonString(out, *text);
                }
                out += ",\"id\":" + (m.facts.id >= 0 ? QByteArray::number(m.facts.id) : "null");
                out += ",\"site\":";
                AppendJsonString(out, m.site);
                out += ",\"recorded_by\":";
                AppendJsonString(out, m.recordedBy);
                out += ",\"first_seen\":";
                AppendJsonString(out, IsoTime(m.firstSeen));
                out += ",\"last_seen\":";
                AppendJsonString(out, IsoTime(m.lastSeen));
                out += ",\"settings\":{";
                for (auto it = m.facts.settings.cbegin(); it != m.facts.settings.cend(); ++it) {
                    if (it != m.facts.settings.cbegin()) out += ',';
                    AppendJsonString(out, it.key());
                    out += ':';
                    AppendJsonString(out, it.value());
                }
                out += "}}\n";
                return;
            }
            const QString line = m.facts.type.leftJustified(9) + QLatin1Char(' ') +
                                 OneLine(m.facts.serial).leftJustified(9) + QLatin1Char(' ') +
                                 OneLine(m.facts.version).leftJustified(9) + QLatin1Char(' ') +
                                 (m.facts.id >= 0 ? TwoDigitText(m.facts.id) : QStringLiteral("-"))
                                     .leftJustified(3) +
                                 QLatin1Char(' ') + OneLine(m.facts.line).leftJustified(12) +
                                 QLatin1Char(' ') + OneLine(m.facts.port).leftJustified(14) +
                                 QLatin1Char(' ') + OneLine(m.site).leftJustified(14) +
                                 QLatin1Char(' ') + LocalTime(m.lastSeen).leftJustified(19) +
                                 QLatin1Char(' ') + OneLine(m.recordedBy).leftJustified(12) +
                                 QLatin1Char(' ') + OneLine(m.lastTest) + QLatin1Char('\n');
            out += line.toUtf8();
        });
        std::fwrite(out.constData(), 1, static_cast<size_t>(out.size()), stdout);
        std::fflush(stdout);
        return kOk;
    }

    if (sub == "history" || (sub == "export" && a.size() == 4)) {
        const QString serial = a.value(sub == "history" ? 2 : 3);
        if (sub == "history") wants(1);
        if (serial.isEmpty())
            Usage(QStringLiteral("register %1: a serial number is missing").arg(sub));
        ModuleQuery bySerial;
        bySerial.serial = serial;
        bySerial.type = type;
        const QList<RegisterModule> modules = reader.modules(bySerial);
        if (modules.isEmpty()) {
            diag(QStringLiteral("no module with serial number %1 in the register %2")
                     .arg(serial, QDir::toNativeSeparators(path)));
            return kFailed;
        }
        QList<RegisterEntry> history;
        for (const RegisterModule& m : modules) history << reader.history(m.key);
        // Newest first across the types that share the serial number.
        std::stable_sort(
            history.begin(), history.end(),
            [](const RegisterEntry& x, const RegisterEntry& y) { return x.time > y.time; });
        if (sub == "export") {
            QList<QStringList> rows;
            for (const RegisterEntry& e : history) rows << HistoryCsvCells(e);
            QString why;
            if (!WriteCsv(a.at(2), HistoryCsvHeader(), rows, &why)) {
                diag(QStringLiteral("cannot write %1: %2").arg(a.at(2), why));
                return kFailed;
            }
            return kOk;
        }
        for (const RegisterEntry& e : history) {
            Result r;
            r.add("time", IsoTime(e.time));
            r.add("type", e.module.type);
            r.add("serial", e.module.serial);
            r.add("source", e.source);
            r.add("recorded-by", e.recordedBy);
            r.add("kind", e.kind);
            r.add("operation", e.operation);
            r.add("site", e.site);
            r.add("port", OrNull(e.module.port));
            r.add("id", e.module.id >= 0 ? QJsonValue(e.module.id) : QJsonValue());
            r.add("line", OrNull(e.module.line));
            r.add("before", ValuesJsonValue(e.before));
            r.add("wanted", ValuesJsonValue(e.wanted));
            r.add("after", ValuesJsonValue(e.after));
            r.add("detail", OrNull(e.detail));
            r.add("outcome", e.outcome);
            r.add("ok", FlagValue(e.ok));
            r.add("verified", FlagValue(e.verified));
            r.add("plan", OrNull(e.planName));
            if (e.test) {
                r.add("test", e.test->test);
                r.add("cycles", e.test->cycles);
                r.add("failures", e.test->failures);
            }
            QString text =
                QStringLiteral("%1 %2 %3 %4 %5 %6: %7")
                    .arg(LocalTime(e.time), e.module.type, OneLine(e.module.serial), e.source,
                         OneLine(e.recordedBy), e.operation, OneLine(e.outcome));
            if (e.verified)
                text +=
                    *e.verified ? QStringLiteral(", verified") : QStringLiteral(", not verified");
            // A read-back shows what it read, an operation what it was to change.
            if (e.kind == QLatin1String("read") && e.after)
                text += QStringLiteral("  ") + OneLine(ValuesText(*e.after));
            else if (e.wanted)
                text += QStringLiteral("  ") +
                        OneLine(e.before ? ValuesText(*e.before) : QString()) +
                        QStringLiteral(" -> ") + OneLine(ValuesText(*e.wanted));
            r.printLine(json_, text);
        }
        return kOk;
    }

    wants(1);
    QList<QStringList> rows;
    for (const RegisterModule& m : reader.modules(query)) rows << ModuleCsvCells(m);
    QString why;
    if (!WriteCsv(a.at(2), ModuleCsvHeader(), rows, &why)) {
        diag(QStringLiteral("cannot write %1: %2").arg(a.at(2), why));
        return kFailed;
    }
    return kOk;
}

}  // namespace cli
