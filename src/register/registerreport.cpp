#include "register/registerreport.h"

#include <QDir>
#include <QFileInfo>
#include <QMultiHash>
#include <QSaveFile>
#include <QSet>

#include "register/registercsv.h"
#include "register/registerstore.h"

QDateTime ReportRow::time() const {
    if (!testedAt.isValid()) return commissionedAt;
    if (!commissionedAt.isValid()) return testedAt;
    return qMax(commissionedAt, testedAt);
}

QString CommissioningReport::scope() const {
    QStringList parts;
    if (selection.site) parts << QStringLiteral("site ") + *selection.site;
    if (!selection.planHash.isEmpty())
        parts << QStringLiteral("plan ") + (selection.planName.isEmpty()
                                                ? selection.planHash.left(12)
                                                : selection.planName);
    if (selection.from.isValid() || selection.to.isValid())
        parts << QStringLiteral("%1 to %2")
                     .arg(selection.from.isValid() ? IsoTime(selection.from) : QStringLiteral("-"),
                          selection.to.isValid() ? IsoTime(selection.to) : QStringLiteral("-"));
    return parts.isEmpty() ? QStringLiteral("all sites") : parts.join(QStringLiteral(", "));
}

namespace {

bool InRange(const RegisterModule& m, const ReportSelection& s) {
    if (s.from.isValid() && m.lastSeen < s.from) return false;
    if (s.to.isValid() && m.firstSeen > s.to) return false;
    return true;
}

// The day of a time, as the user's clock has it.
QString Day(const QDateTime& t) {
    return t.toLocalTime().date().toString(Qt::ISODate);
}

QString KeyOf(const QString& type, const QString& serial) {
    return type + QLatin1Char('\n') + serial;
}

// `replaced`: the "replaced-by" events by module (KeyOf), newest first.
ReportRow RowOf(RegisterReader& reader, const RegisterModule& m, const QDateTime& until,
                const QMultiHash<QString, RegisterEntry>& replaced) {
    ReportRow r;
    r.type = m.facts.type;
    r.serial = m.facts.serial;
    r.version = m.facts.version;
    if (m.facts.id >= 0) r.id = TwoDigitText(m.facts.id);
    r.line = m.facts.line;
    r.site = m.site;
    r.settings = ValuesText(m.facts.settings);
    bool failed = false;
    // The row that last changed the module says when it was commissioned and how that ended;
    // a later run that found it as the plan has it confirms it.
    const std::optional<RegisterEntry> change = reader.lastChange(m.key, until);
    std::optional<RegisterEntry> confirmed = reader.lastConfirmation(m.key, until);
    if (change && confirmed && confirmed->time < change->time) confirmed.reset();
    QStringList said;
    if (change) {
        said << change->outcome + QLatin1Char(' ') + Day(change->time);
        r.commissioningOk = change->ok.value_or(false) && change->verified.value_or(true);
        r.commissionedAt = change->time;
    }
    if (confirmed) {
        said << QStringLiteral("confirmed ") + Day(confirmed->time);
        if (!change) r.commissioningOk = true;
        r.commissionedAt = confirmed->time;
    }
    if (said.isEmpty()) {
        // Only rows that did not run (a plan stopped before them).
        if (const std::optional<RegisterEntry> c = reader.lastCommissioning(m.key, until)) {
            said << c->outcome;
            r.commissioningOk = false;
            r.commissionedAt = c->time;
        }
    }
    r.commissioning = said.join(QStringLiteral(", "));
    if (r.commissioningOk) failed = !*r.commissioningOk;
    if (const std::optional<RegisterEntry> t = reader.lastTest(m.key, until, false)) {
        if (t->test) {
            r.test = t->test->test;
            r.verdict = t->test->verdict;
        }
        r.testedAt = t->time;
        failed = failed || r.verdict != QLatin1String("passed");
    }
    r.passed = !failed && (r.commissionedAt.isValid() || r.testedAt.isValid());
    // A module taken off the bus for another: its row says so, and it counts as not passed.
    for (const RegisterEntry& e : replaced.values(KeyOf(m.facts.type, m.facts.serial))) {
        if (until.isValid() && e.time > until) continue;
        r.commissioning = QStringLiteral("replaced by ") + e.relatedSerial;
        r.commissioningOk = false;
        r.commissionedAt = e.time;
        r.passed = false;
        break;
    }
    return r;
}

}  // namespace

namespace {

// The points of one module's checkout events, oldest first: a pass counts until a later run
// finds the point chattering; a point never passed says what it last came to.
void AddPoints(CommissioningReport& out, const QList<RegisterEntry>& events) {
    QList<ReportPoint> points;
    for (const RegisterEntry& e : events) {
        const QString point = e.operation.section(QLatin1Char(' '), 1, 1);
        if (point.isEmpty()) continue;
        ReportPoint* p = nullptr;
        for (ReportPoint& q : points)
            if (q.point == point) p = &q;
        if (!p) {
            points.append({e.module.type, e.module.serial, point, {}, false, {}, {}});
            p = &points.last();
        }
        p->label = e.detail;
        const QString state = e.outcome.section(QStringLiteral(": "), 0, 0);
        if (e.ok.value_or(false)) {
            p->passed = true;
            p->state = state;
            p->time = e.time;
        } else if (!p->passed || state == QLatin1String("chattering")) {
            p->passed = false;
            p->state = state;
            p->time = e.time;
        }
    }
    // In the order a points list names them: DI1..DI16, CH1, CH2, KEYS, ANSWERS.
    const auto rank = [](const QString& point) {
        static const QStringList last{QStringLiteral("CH1"), QStringLiteral("CH2"),
                                      QStringLiteral("KEYS"), QStringLiteral("ANSWERS")};
        return point.startsWith(QLatin1String("DI")) ? point.mid(2).toInt()
                                                     : 17 + last.indexOf(point);
    };
    std::stable_sort(points.begin(), points.end(), [&](const ReportPoint& a, const ReportPoint& b) {
        return rank(a.point) < rank(b.point);
    });
    for (const ReportPoint& p : points) {
        out.points << p;
        if (p.passed) ++out.pointsPassed;
    }
}

}  // namespace

CommissioningReport GatherReport(RegisterReader& reader, const ReportSelection& s,
                                 const QString& version) {
    CommissioningReport out;
    out.selection = s;
    out.version = version;
    out.made = QDateTime::currentDateTimeUtc();
    ModuleQuery query;
    query.site = s.site;
    QList<RegisterModule> modules;
    if (!s.planHash.isEmpty()) {
        // The modules the plan's rows were run on, each once.
        QSet<QString> seen;
        for (const RegisterEntry& e : reader.planRun(s.planHash)) {
            const QString key = KeyOf(e.module.type, e.module.serial);
            if (e.kind != QLatin1String("apply") || seen.contains(key)) continue;
            seen.insert(key);
            ModuleQuery one = query;
            one.serial = e.module.serial;
            one.type = e.module.type;
            modules << reader.modules(one);
        }
        std::sort(modules.begin(), modules.end(),
                  [](const RegisterModule& a, const RegisterModule& b) {
                      return std::make_pair(a.facts.type, a.facts.serial) <
                             std::make_pair(b.facts.type, b.facts.serial);
                  });
    } else {
        modules = reader.modules(query);
    }
    QMultiHash<QString, RegisterEntry> replaced;
    const QList<RegisterEntry> all = reader.replacedModules();
    // Inserted oldest first, so that values() gives the newest first.
    for (auto it = all.crbegin(); it != all.crend(); ++it)
        replaced.insert(KeyOf(it->module.type, it->module.serial), *it);
    for (const RegisterModule& m : modules) {
        if (!InRange(m, s)) continue;
        out.rows << RowOf(reader, m, s.to, replaced);
        AddPoints(out, reader.checkoutEvents(m.key, s.to));
        const ReportRow& r = out.rows.last();
        if (out.perType.isEmpty() || out.perType.last().first != r.type)
            out.perType.append({r.type, 0});
        ++out.perType.last().second;
        if (r.passed) ++out.passed;
        // A module only read or sighted has no commissioning or test: when it was last seen.
        const QDateTime t = r.time().isValid() ? r.time() : m.lastSeen;
        if (!t.isValid()) continue;
        if (!out.first.isValid() || t < out.first) out.first = t;
        if (!out.last.isValid() || t > out.last) out.last = t;
    }
    return out;
}

QStringList ReportCsvHeader() {
    return {QStringLiteral("type"),
            QStringLiteral("serial"),
            QStringLiteral("version"),
            QStringLiteral("id"),
            QStringLiteral("line"),
            QStringLiteral("site"),
            QStringLiteral("settings"),
            QStringLiteral("commissioning"),
            QStringLiteral("commissioned_at"),
            QStringLiteral("test"),
            QStringLiteral("verdict"),
            QStringLiteral("tested_at"),
            QStringLiteral("passed")};
}

QStringList ReportCsvCells(const ReportRow& r) {
    return {r.type,
            r.serial,
            r.version,
            r.id,
            r.line,
            r.site,
            r.settings,
            r.commissioning,
            IsoTime(r.commissionedAt),
            r.test,
            r.verdict,
            IsoTime(r.testedAt),
            r.passed ? QStringLiteral("yes") : QStringLiteral("no")};
}

bool WriteReportCsv(const QString& path, const CommissioningReport& report, QString* error) {
    QList<QStringList> rows;
    rows.reserve(report.rows.size());
    for (const ReportRow& r : report.rows) rows << ReportCsvCells(r);
    return WriteCsv(path, ReportCsvHeader(), rows, error);
}

bool CanWriteFile(const QString& path, QString* error) {
    const QFileInfo info(path);
    if (info.isDir()) {
        if (error) *error = QStringLiteral("it is a folder");
        return false;
    }
    if (!info.absoluteDir().exists()) {
        if (error) *error = QStringLiteral("the folder %1 does not exist").arg(info.absolutePath());
        return false;
    }
    if (info.exists() && !info.isWritable()) {
        if (error) *error = QStringLiteral("the file cannot be replaced (permission denied)");
        return false;
    }
    // The file is written aside and renamed over: the folder must take a new file.
    QSaveFile probe(path);
    if (!probe.open(QIODevice::WriteOnly)) {
        if (error) *error = probe.errorString();
        return false;
    }
    probe.cancelWriting();
    return true;
}
