// quillon-cli's commands on the register's modules: the commissioning report (CSV here, PDF
// through the module quillon-report, the only part of the program on Qt Gui) and replacing a
// module with a new one of its type.

#include <QDir>
#include <QFileInfo>
#include <QTimeZone>

#include "cli/cli_buses.h"
#include "engine/replace.h"
#include "register/registerreplace.h"
#include "register/registerreport.h"
#include "report/reportpdf.h"

namespace cli {
namespace {

ReportPdfEntry g_pdf = nullptr;
QString g_pdfMissing;

// --from and --to: a date (the day's start, or for --to its end) or a date and time, in the
// system's time zone unless the text names one.
QDateTime ParseWhen(const QString& text, bool endOfDay, const char* option) {
    const QDate day = QDate::fromString(text, Qt::ISODate);
    if (day.isValid() && text.size() == 10)
        return endOfDay ? QDateTime(day, QTime(23, 59, 59, 999)) : QDateTime(day, QTime(0, 0));
    const QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!t.isValid())
        Usage(QStringLiteral("--%1: a date YYYY-MM-DD or a time YYYY-MM-DDTHH:MM, not \"%2\"")
                  .arg(QLatin1String(option), text));
    return t;
}

}  // namespace

std::unique_ptr<QCoreApplication> MakeApplication(const QCommandLineParser& p, int& argc,
                                                  char** argv) {
    const QStringList a = p.positionalArguments();
    if (a.value(0) != QLatin1String("report") || !p.isSet("pdf"))
        return std::make_unique<QCoreApplication>(argc, argv);
    // The module is found through the program's folder, which takes an application object;
    // the one that draws the PDF is the module's own, made once this one is gone.
    ReportApplicationEntry makeApp = nullptr;
    {
        QCoreApplication finder(argc, argv);
        makeApp = reinterpret_cast<ReportApplicationEntry>(ResolveQuillonModule(
            QStringLiteral("quillon-report"), QUILLON_REPORT_APP_ENTRY, &g_pdfMissing));
        if (makeApp)
            g_pdf = reinterpret_cast<ReportPdfEntry>(ResolveQuillonModule(
                QStringLiteral("quillon-report"), QUILLON_REPORT_PDF_ENTRY, &g_pdfMissing));
    }
    if (!makeApp || !g_pdf) return std::make_unique<QCoreApplication>(argc, argv);
    return std::unique_ptr<QCoreApplication>(makeApp(argc, argv));
}

int Cli::report() {
    args(0);
    const QString pdf = p_.value("pdf");
    const QString csv = p_.value("csv");
    if (pdf.isEmpty() && csv.isEmpty())
        Usage(QStringLiteral("report: --pdf FILE, --csv FILE or both"));
    if (!pdf.isEmpty() && !csv.isEmpty() &&
        QFileInfo(pdf).absoluteFilePath() == QFileInfo(csv).absoluteFilePath())
        Usage(QStringLiteral("report: --pdf and --csv name the same file"));
    const QString path = registerPath();
    if (path.isEmpty()) Usage(QStringLiteral("report: --no-register leaves no register"));

    ReportSelection s;
    if (p_.isSet("from")) s.from = ParseWhen(p_.value("from"), false, "from");
    if (p_.isSet("to")) s.to = ParseWhen(p_.value("to"), true, "to");
    if (s.from.isValid() && s.to.isValid() && s.to < s.from)
        Usage(QStringLiteral("report: --to is before --from"));
    if (p_.isSet("plan")) {
        QFile plan(p_.value("plan"));
        if (!plan.open(QIODevice::ReadOnly))
            Usage(QStringLiteral("--plan: cannot read %1: %2")
                      .arg(plan.fileName(), plan.errorString()));
        const PlanSource source = PlanSourceOf(plan.fileName(), plan.readAll());
        s.planHash = source.sha256;
        s.planName = source.fileName;
    }
    // Without a range or a plan, the site given, or the current one.
    if (p_.isSet("site"))
        s.site = p_.value("site");
    else if (!s.from.isValid() && !s.to.isValid() && s.planHash.isEmpty())
        s.site = LoadRegisterSite(store_);

    for (const QString& target : {pdf, csv}) {
        QString why;
        if (!target.isEmpty() && !CanWriteFile(target, &why)) {
            diag(QStringLiteral("cannot write %1: %2").arg(QDir::toNativeSeparators(target), why));
            return kUsage;
        }
    }
    if (!pdf.isEmpty() && !g_pdf) {
        diag(QStringLiteral("a PDF needs the module quillon-report: %1").arg(g_pdfMissing));
        return kFailed;
    }

    RegisterReader reader;
    RegisterProblem problem;
    if (!reader.open(path, &problem)) {
        diag(problem.describe());
        return kFailed;
    }
    const CommissioningReport r = GatherReport(reader, s, QStringLiteral(QUILLON_VERSION));
    if (r.rows.isEmpty()) {
        diag(QStringLiteral("no module for %1 in the register %2: no report written")
                 .arg(r.scope(), QDir::toNativeSeparators(path)));
        return kFailed;
    }
    QString why;
    if (!csv.isEmpty() && !WriteReportCsv(csv, r, &why)) {
        diag(QStringLiteral("cannot write %1: %2").arg(QDir::toNativeSeparators(csv), why));
        return kFailed;
    }
    if (!pdf.isEmpty() && !g_pdf(r, pdf, langIndex_, &why)) {
        diag(QStringLiteral("cannot write %1: %2").arg(QDir::toNativeSeparators(pdf), why));
        return kFailed;
    }
    Result out;
    out.add("report", r.scope());
    out.add("modules", static_cast<int>(r.rows.size()));
    out.add("passed", r.passed);
    out.add("pdf", pdf.isEmpty() ? QJsonValue() : QJsonValue(pdf));
    out.add("csv", csv.isEmpty() ? QJsonValue() : QJsonValue(csv));
    out.print(json_);
    return kOk;
}

int Cli::replace() {
    args(1);
    const QString serial = arg(1);
    std::optional<QString> type;
    if (p_.isSet("type")) {
        const std::optional<ModuleType> t = ParseModuleType(p_.value("type").toStdString());
        if (!t) Usage(QStringLiteral("--type: unknown module type \"%1\"").arg(p_.value("type")));
        type = QString::fromStdString(ModuleTypeName(*t));
    }
    const QString path = registerPath();
    if (path.isEmpty()) Usage(QStringLiteral("replace: --no-register leaves no register"));
    if (p_.values("port").size() > 1) Usage(QStringLiteral("replace: one --port"));
    QList<int> lines = SurveyLineOption(p_);
    QList<int> ids = p_.isSet("ids") ? ParseIds(p_.value("ids")) : QList<int>();

    RegisterReader reader;
    RegisterProblem problem;
    if (!reader.open(path, &problem)) {
        diag(problem.describe());
        return kFailed;
    }
    QString why;
    std::optional<ReplacementSource> source = ReplacementFromRegister(reader, serial, type, &why);
    if (!source) {
        diag(QStringLiteral("replace refused: %1; nothing sent").arg(why));
        return kUsage;
    }
    ReplaceRequest& req = source->request;
    req.newSerial = p_.value("new-serial");
    req.survey.lines = lines;
    req.survey.ids = ids;
    if (p_.isSet("site")) req.site = p_.value("site");
    // The bus where the old module was, unless --port names another.
    const QString port = p_.isSet("port") ? p_.value("port") : source->oldPort;
    if (port.isEmpty())
        Usage(QStringLiteral("replace: --port: the register knows no port of %1").arg(serial));
    QString device;
    int portNo = 1;
    parsePort(port, device, portNo);
    const QList<CliBus> buses{{port, device.isEmpty() ? map().deviceFor(portNo) : device}};

    InterruptWatch interrupt;
    ProgressLine progress(buses);
    ReplaceHooks hooks;
    hooks.stop = [&interrupt] { return interrupt.stop.load(); };
    ReplaceResult result;
    OpenFailure failure;
    std::unique_ptr<BusRunner> runner = busRunner(buses, interrupt.stop, RecordSource::Cli);
    hooks.progress = [&](const SurveyProgress& p) {
        runner->post([&progress, p] { progress.update(0, p); });
    };
    // Read once the worker has ended.
    runner->run([&](ModuleContext& m, int) {
        QObject::connect(&m.link, &Link::portOpenResult, &m.link,
                         [&failure](int, const OpenFailure& f) { failure = f; });
        result = ReplaceModule(m, req, hooks);
    });
    progress.clear();

    const QString typeName = QString::fromStdString(ModuleTypeName(req.type));
    switch (result.end) {
        case ReplaceEnd::Done: {
            Result r;
            r.add("replaced", serial);
            r.add("by", result.newSerial);
            r.add("type", typeName);
            r.add("port", port);
            r.add("id", req.id);
            r.add("line", LineSettings::text(req.lineIndex));
            r.add("found-at", QStringLiteral("%1 %2").arg(TwoDigitText(result.foundId),
                                                          LineSettings::text(result.foundLine)));
            r.add("outcome", result.text);
            r.printLine(json_, QStringLiteral("%1 %2 replaced by %3 at ID %4, %5: %6")
                                   .arg(typeName, serial, result.newSerial, TwoDigitText(req.id),
                                        LineSettings::text(req.lineIndex), result.text));
            return kOk;
        }
        case ReplaceEnd::Refused:
            diag(QStringLiteral("%1: replace refused: %2; nothing set").arg(port, result.text));
            return kFailed;
        case ReplaceEnd::PortFailed:
            return diagOpenFailure(buses.first(), failure);
        case ReplaceEnd::Stopped:
            diag(QStringLiteral("%1: %2; run replace again to finish").arg(port, result.text));
            return kInterrupted;
        case ReplaceEnd::Failed:
            break;
    }
    diag(QStringLiteral("%1: %2 %3 not verified: %4; run replace again to finish")
             .arg(port, typeName, result.newSerial, result.text));
    return kFailed;
}

}  // namespace cli
