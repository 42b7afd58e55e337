#include "report/reportpdf.h"

#include <QFontDatabase>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextDocument>

#include "text/extratexts.h"

namespace {

// A text of the register as HTML: escaped, its line breaks kept.
QString Html(const QString& text) {
    QString out = text.toHtmlEscaped();
    out.replace(QLatin1String("\r\n"), QLatin1String("<br/>"));
    out.replace(QLatin1Char('\n'), QLatin1String("<br/>"));
    out.replace(QLatin1Char('\r'), QLatin1String("<br/>"));
    return out;
}

QString When(const QDateTime& t) {
    return t.isValid() ? t.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"))
                       : QStringLiteral("-");
}

QString Part(int row, int index, int lang) {
    return ExtraTexts::text(row, lang).split(QLatin1Char('|')).value(index);
}

// A verdict or a test's name in the report's language; the register's own word otherwise.
QString Translated(int row, const QStringList& words, const QString& word, int lang) {
    const int i = words.indexOf(word);
    return i < 0 ? word : Part(row, i, lang);
}

QString VerdictText(const QString& verdict, int lang) {
    static const QStringList words{QStringLiteral("passed"), QStringLiteral("failed"),
                                   QStringLiteral("no card read"), QStringLiteral("not run")};
    return Translated(ExtraTexts::kReportVerdicts, words, verdict, lang);
}

QString TestText(const QString& test, int lang) {
    static const QStringList words{QStringLiteral("dido-test"), QStringLiteral("card-test"),
                                   QStringLiteral("dido-check")};
    return Translated(ExtraTexts::kReportTests, words, test, lang);
}

// A face that holds the Chinese texts as well as the Latin ones, when one is installed;
// otherwise the default, which the font system falls back from glyph by glyph.
QString ReportFamily() {
    const QStringList families = QFontDatabase::families();
    for (const char* f : {"WenQuanYi Micro Hei", "Noto Sans CJK SC", "Microsoft YaHei",
                          "PingFang SC", "Source Han Sans SC"}) {
        if (families.contains(QLatin1String(f))) return QLatin1String(f);
    }
    return QString();
}

// A point's state in the report's language; the register's own word otherwise.
QString StateText(const QString& state, int lang) {
    static const QStringList words{QStringLiteral("waiting"),    QStringLiteral("seen on"),
                                   QStringLiteral("seen off"),   QStringLiteral("passed"),
                                   QStringLiteral("chattering"), QStringLiteral("module silent"),
                                   QStringLiteral("port failed")};
    return Translated(ExtraTexts::kCheckoutStates, words, state, lang);
}

// The part of the site checkout: every point checked, with its label, when it passed or why
// not; on a page of its own.
QString PointsHtml(const CommissioningReport& r, int lang) {
    using namespace ExtraTexts;
    QString h = QStringLiteral("<h2 style=\"page-break-before: always\">%1</h2>")
                    .arg(Html(text(kReportPoints, lang)));
    h += QStringLiteral(
        "<table width=\"100%\" border=\"1\" cellspacing=\"0\" cellpadding=\"3\"><thead><tr>");
    for (const QString& c : text(kReportPointColumns, lang).split(QLatin1Char('|')))
        h += QStringLiteral("<th>%1</th>").arg(Html(c));
    h += QStringLiteral("</tr></thead>");
    for (const ReportPoint& p : r.points)
        h += QStringLiteral(
                 "<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td><td%5>%6</td>"
                 "<td>%7</td></tr>")
                 .arg(Html(p.type), Html(p.serial), Html(p.point), Html(p.label),
                      p.passed ? QString() : QStringLiteral(" class=\"bad\""),
                      Html(StateText(p.state, lang)), Html(When(p.time)));
    return h + QStringLiteral("</table>");
}

}  // namespace

QString ReportHtml(const CommissioningReport& r, int lang) {
    using namespace ExtraTexts;
    QString h;
    h.reserve(512 + r.rows.size() * 700);
    h += QStringLiteral(
        "<html><head><style>"
        "h1 { font-size: 20pt; } td, th { padding: 3px; } th { background-color: #dde4ee; "
        "text-align: left; } table.facts td { font-size: 12pt; padding: 4px 12px 4px 0; } "
        ".bad { color: #b00000; }"
        "</style></head><body>");
    h += QStringLiteral("<h1>%1</h1>").arg(Html(text(kReportTitle, lang)));
    auto fact = [&](int index, const QString& value) {
        h += QStringLiteral("<tr><td><b>%1</b></td><td>%2</td></tr>")
                 .arg(Html(Part(kReportFacts, index, lang)), value);
    };
    h += QStringLiteral("<table class=\"facts\">");
    fact(0, Html(r.selection.site ? *r.selection.site : text(kReportAllSites, lang)));
    if (r.selection.from.isValid() || r.selection.to.isValid() || !r.selection.planHash.isEmpty())
        fact(1, Html(r.scope()));
    fact(2, Html(r.first.isValid() ? When(r.first) + QStringLiteral(" – ") + When(r.last)
                                   : QStringLiteral("-")));
    fact(3, Html(When(r.made)));
    fact(4, Html(r.version));
    QStringList types;
    for (const auto& [type, count] : r.perType)
        types << QStringLiteral("%1: %2").arg(Html(type)).arg(count);
    fact(5, QStringLiteral("%1 (%2)").arg(r.rows.size()).arg(types.join(QStringLiteral(", "))));
    fact(6, Html(text(kReportPassed, lang).arg(r.passed).arg(r.rows.size())));
    if (!r.points.isEmpty())
        h += QStringLiteral("<tr><td><b>%1</b></td><td>%2</td></tr>")
                 .arg(Html(text(kReportPoints, lang)),
                      Html(text(kCheckoutCount, lang).arg(r.pointsPassed).arg(r.points.size())));
    h += QStringLiteral("</table>");

    // The table starts on a page of its own; its header row repeats on every page.
    h += QStringLiteral(
        "<table style=\"page-break-before: always\" width=\"100%\" border=\"1\" "
        "cellspacing=\"0\" cellpadding=\"3\"><thead><tr>");
    for (const QString& c : text(kReportColumns, lang).split(QLatin1Char('|')))
        h += QStringLiteral("<th>%1</th>").arg(Html(c));
    h += QStringLiteral("</tr></thead>");
    for (const ReportRow& row : r.rows) {
        const bool badCommission = row.commissioningOk && !*row.commissioningOk;
        const bool badTest = !row.verdict.isEmpty() && row.verdict != QLatin1String("passed");
        h += QStringLiteral(
                 "<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td><td>%5</td>"
                 "<td>%6</td><td%7>%8</td><td>%9</td>")
                 .arg(Html(row.type), Html(row.serial), Html(row.version), Html(row.id),
                      Html(row.line), Html(row.settings),
                      badCommission ? QStringLiteral(" class=\"bad\"") : QString(),
                      Html(row.commissioning.isEmpty() ? QStringLiteral("-") : row.commissioning),
                      Html(row.test.isEmpty() ? QStringLiteral("-") : TestText(row.test, lang)));
        h += QStringLiteral("<td%1>%2</td><td>%3</td></tr>")
                 .arg(badTest ? QStringLiteral(" class=\"bad\"") : QString(),
                      Html(row.verdict.isEmpty() ? QStringLiteral("-")
                                                 : VerdictText(row.verdict, lang)),
                      Html(When(row.time())));
    }
    h += QStringLiteral("</table>");
    if (!r.points.isEmpty()) h += PointsHtml(r, lang);
    h += QStringLiteral("</body></html>");
    return h;
}

bool WriteReportPdf(const CommissioningReport& report, const QString& path, int lang,
                    QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error) *error = file.errorString();
        return false;
    }
    {
        QPdfWriter pdf(&file);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setPageOrientation(QPageLayout::Landscape);
        pdf.setPageMargins(QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter);
        pdf.setResolution(300);
        pdf.setTitle(ExtraTexts::text(ExtraTexts::kReportTitle, lang) + QStringLiteral(" – ") +
                     report.scope());
        pdf.setCreator(QStringLiteral("Quillon ") + report.version);
        QTextDocument doc;
        QFont font = doc.defaultFont();
        const QString family = ReportFamily();
        if (!family.isEmpty()) font.setFamily(family);
        font.setPointSize(8);
        doc.setDefaultFont(font);
        doc.setHtml(ReportHtml(report, lang));
        doc.print(&pdf);
    }
    if (!file.commit()) {
        if (error) *error = file.errorString();
        return false;
    }
    return true;
}
