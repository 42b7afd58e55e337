#include "register/registercsv.h"

#include <QSaveFile>

#include "register/registerstore.h"
#include "text/csvfield.h"

namespace {

QString Time(const QDateTime& t) {
    return IsoTime(t);
}

QString Flag(const std::optional<bool>& b) {
    if (!b) return QString();
    return *b ? QStringLiteral("yes") : QStringLiteral("no");
}

QString Id(int id) {
    return id < 0 ? QString() : QStringLiteral("%1").arg(id, 2, 10, QLatin1Char('0'));
}

QString Values(const std::optional<SettingValues>& v) {
    return v ? ValuesText(*v) : QString();
}

}  // namespace

QStringList ModuleCsvHeader() {
    return {
        QStringLiteral("type"),      QStringLiteral("serial"),       QStringLiteral("version"),
        QStringLiteral("id"),        QStringLiteral("line"),         QStringLiteral("port"),
        QStringLiteral("site"),      QStringLiteral("first_seen"),   QStringLiteral("last_seen"),
        QStringLiteral("last_test"), QStringLiteral("last_test_at"), QStringLiteral("ch2_serial"),
        QStringLiteral("settings")};
}

QStringList ModuleCsvCells(const RegisterModule& m) {
    return {m.facts.type,
            m.facts.serial,
            m.facts.version,
            Id(m.facts.id),
            m.facts.line,
            m.facts.port,
            m.site,
            Time(m.firstSeen),
            Time(m.lastSeen),
            m.lastTest,
            Time(m.lastTestAt),
            m.facts.ch2Serial,
            ValuesText(m.facts.settings)};
}

QStringList HistoryCsvHeader() {
    return {QStringLiteral("time"),       QStringLiteral("type"),     QStringLiteral("serial"),
            QStringLiteral("source"),     QStringLiteral("kind"),     QStringLiteral("operation"),
            QStringLiteral("site"),       QStringLiteral("port"),     QStringLiteral("id"),
            QStringLiteral("line"),       QStringLiteral("before"),   QStringLiteral("wanted"),
            QStringLiteral("after"),      QStringLiteral("detail"),   QStringLiteral("outcome"),
            QStringLiteral("ok"),         QStringLiteral("verified"), QStringLiteral("plan"),
            QStringLiteral("plan_sha256")};
}

QStringList HistoryCsvCells(const RegisterEntry& e) {
    return {Time(e.time),     e.module.type,    e.module.serial, e.source,        e.kind,
            e.operation,      e.site,           e.module.port,   Id(e.module.id), e.module.line,
            Values(e.before), Values(e.wanted), Values(e.after), e.detail,        e.outcome,
            Flag(e.ok),       Flag(e.verified), e.planName,      e.planHash};
}

bool WriteCsv(const QString& path, const QStringList& header, const QList<QStringList>& rows,
              QString* error) {
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)) {
        if (error) *error = out.errorString();
        return false;
    }
    QByteArray bytes("\xEF\xBB\xBF");
    bytes += CsvLine(header).toUtf8();
    for (const QStringList& r : rows) bytes += CsvLine(r).toUtf8();
    if (out.write(bytes) != bytes.size() || !out.commit()) {
        if (error) *error = out.errorString();
        out.cancelWriting();
        return false;
    }
    return true;
}
