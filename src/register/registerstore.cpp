#include "register/registerstore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QVariant>

// The new row is the newer one: later, or as late and of the greater event id, so that
// registers holding the same events decide alike whatever order the events came in.
#define QUILLON_NEWER                                                    \
    "(excluded.last_seen > last_seen OR (excluded.last_seen = last_seen" \
    " AND coalesce(excluded.last_event, x'') >= coalesce(last_event, x'')))"
// A field the new row does not tell keeps its value; one it tells replaces the known value
// when the new row is the newest of the module (or the field is still empty), so that an older
// event merged in later does not undo a newer one. An empty site never clears a module's site,
// whose own time says which site is the newest.
const char* const kModuleUpdate =
    " first_seen = min(first_seen, excluded.first_seen),"
    " last_seen = max(last_seen, excluded.last_seen),"
    " last_event = CASE WHEN " QUILLON_NEWER
    " THEN excluded.last_event ELSE last_event END,"
    " port = CASE WHEN excluded.port <> '' AND (" QUILLON_NEWER
    " OR port = '')"
    "   THEN excluded.port ELSE port END,"
    " module_id = CASE WHEN excluded.module_id IS NOT NULL"
    "   AND (" QUILLON_NEWER
    " OR module_id IS NULL)"
    "   THEN excluded.module_id ELSE module_id END,"
    " line = CASE WHEN excluded.line <> '' AND (" QUILLON_NEWER
    " OR line = '')"
    "   THEN excluded.line ELSE line END,"
    " version = CASE WHEN excluded.version <> ''"
    "   AND (" QUILLON_NEWER
    " OR version = '')"
    "   THEN excluded.version ELSE version END,"
    " ch2_serial = CASE WHEN excluded.ch2_serial <> ''"
    "   AND (" QUILLON_NEWER
    " OR ch2_serial = '')"
    "   THEN excluded.ch2_serial ELSE ch2_serial END,"
    " settings = CASE WHEN " QUILLON_NEWER
    "   THEN json_patch(settings, excluded.settings)"
    "   ELSE json_patch(excluded.settings, settings) END,"
    " site = CASE WHEN excluded.site <> '' AND excluded.site_at >= site_at"
    "   THEN excluded.site ELSE site END,"
    " site_at = CASE WHEN excluded.site <> '' AND excluded.site_at >= site_at"
    "   THEN excluded.site_at ELSE site_at END";

namespace {

// A module's row from one entry.
const char* const kUpsertModule =
    "INSERT INTO module (type, serial, first_seen, last_seen, port, module_id, line, version,"
    " ch2_serial, settings, site, site_at, last_event)"
    " VALUES (:type, :serial, :time, :time, :port, :id, :line, :version, :ch2, :settings, :site,"
    " CASE WHEN :site <> '' THEN :time ELSE 0 END, :event)"
    " ON CONFLICT (type, serial) DO UPDATE SET ";

const char* const kInsertEvent =
    "INSERT INTO event (uuid, module, time, source, kind, operation, site, port, module_id, line,"
    " before, wanted, after, detail, outcome_row, outcome, ok, verified, plan_name, plan_hash,"
    " related, sent, server_seq, recorded_by)"
    " VALUES (:uuid, :module, :time, :source, :kind, :operation, :site, :port, :id, :line,"
    " :before, :wanted, :after, :detail, :row, :outcome, :ok, :verified, :plan_name, :plan_hash,"
    " :related, :sent, :server_seq, :recorded_by)";

const char* const kInsertRun =
    "INSERT INTO test_run (event, test, started, ended, ending, cycles, failures, verdict,"
    " input_changes, verdicts, follows)"
    " VALUES (:event, :test, :started, :ended, :ending, :cycles, :failures, :verdict,"
    " :changes, :verdicts, :follows)";

const char* const kInsertCard =
    "INSERT INTO card_read (run, seq, ms, channel, key, decimal, hex, keys)"
    " VALUES (:run, :seq, :ms, :channel, :key, :decimal, :hex, :keys)";

// The module's last test, unless a newer one is known already.
const char* const kLastTest =
    "UPDATE module SET last_test = :verdict, last_test_at = :ended"
    " WHERE id = :module AND last_test_at <= :ended";

QVariant Text(const QString& s) {
    return s.isNull() ? QVariant(QString(QLatin1String(""))) : QVariant(s);
}

QVariant OptionalInt(int v) {
    return v < 0 ? QVariant(QMetaType(QMetaType::Int)) : QVariant(v);
}

QVariant OptionalBool(const std::optional<bool>& b) {
    return b ? QVariant(*b ? 1 : 0) : QVariant(QMetaType(QMetaType::Int));
}

QVariant OptionalValues(const std::optional<SettingValues>& v) {
    return v ? QVariant(ValuesJson(*v)) : QVariant(QMetaType(QMetaType::QString));
}

QVariant OptionalText(const QString& s) {
    return s.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(s);
}

template <class T, class F>
QVariant Array(const std::optional<std::array<T, 16>>& a, F toJson) {
    if (!a) return QVariant(QMetaType(QMetaType::QString));
    QJsonArray out;
    for (const T& v : *a) out.append(toJson(v));
    return QString::fromUtf8(QJsonDocument(out).toJson(QJsonDocument::Compact));
}

}  // namespace

qint64 RegisterTime(const QDateTime& time) {
    return time.isValid() ? time.toMSecsSinceEpoch() : 0;
}

QDateTime TimeOfRegister(qint64 ms) {
    return ms > 0 ? QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC) : QDateTime();
}

QString IsoTime(const QDateTime& time) {
    return time.isValid() ? time.toUTC().toString(Qt::ISODateWithMs) : QString();
}

RegisterStore::RegisterStore(QSqlDatabase& db)
    : db_(db), module_(db), related_(db), event_(db), run_(db), card_(db), lastTest_(db) {}

bool RegisterStore::prepare(QSqlError* error) {
    const std::pair<QSqlQuery*, const char*> statements[] = {
        {&module_, nullptr},
        {&related_, "SELECT id FROM module WHERE type = :type AND serial = :serial"},
        {&event_, kInsertEvent},
        {&run_, kInsertRun},
        {&card_, kInsertCard},
        {&lastTest_, kLastTest}};
    for (const auto& [q, sql] : statements) {
        const QString text = sql ? QString::fromLatin1(sql)
                                 : QLatin1String(kUpsertModule) + QLatin1String(kModuleUpdate) +
                                       QLatin1String(" RETURNING id");
        if (!q->prepare(text)) {
            if (error) *error = q->lastError();
            return false;
        }
    }
    prepared_ = true;
    return true;
}

bool RegisterStore::write(const RegisterEntry& e, QSqlError* error) {
    if (!prepared_ && !prepare(error)) return false;
    auto failed = [error](const QSqlQuery& q) {
        if (error) *error = q.lastError();
        return false;
    };
    const qint64 time = RegisterTime(e.time);
    const RegisterModuleFacts& m = e.module;
    module_.bindValue(QStringLiteral(":type"), m.type);
    module_.bindValue(QStringLiteral(":serial"), Text(m.serial));
    module_.bindValue(QStringLiteral(":time"), time);
    module_.bindValue(QStringLiteral(":port"), Text(m.port));
    module_.bindValue(QStringLiteral(":id"), OptionalInt(m.id));
    module_.bindValue(QStringLiteral(":line"), Text(m.line));
    module_.bindValue(QStringLiteral(":version"), Text(m.version));
    module_.bindValue(QStringLiteral(":ch2"), Text(m.ch2Serial));
    module_.bindValue(QStringLiteral(":settings"), ValuesJson(m.settings));
    module_.bindValue(QStringLiteral(":site"), Text(e.site));
    module_.bindValue(QStringLiteral(":event"), e.uuid.toRfc4122());
    if (!module_.exec() || !module_.next()) return failed(module_);
    const qint64 moduleKey = module_.value(0).toLongLong();
    module_.finish();

    QVariant related{QMetaType(QMetaType::LongLong)};
    if (!e.relatedSerial.isEmpty()) {
        related_.bindValue(QStringLiteral(":type"), e.relatedType);
        related_.bindValue(QStringLiteral(":serial"), e.relatedSerial);
        if (!related_.exec()) return failed(related_);
        if (related_.next()) related = related_.value(0);
        related_.finish();
    }

    event_.bindValue(QStringLiteral(":uuid"), e.uuid.toRfc4122());
    event_.bindValue(QStringLiteral(":module"), moduleKey);
    event_.bindValue(QStringLiteral(":time"), time);
    event_.bindValue(QStringLiteral(":source"), e.source);
    event_.bindValue(QStringLiteral(":kind"), e.kind);
    event_.bindValue(QStringLiteral(":operation"), Text(e.operation));
    event_.bindValue(QStringLiteral(":site"), Text(e.site));
    event_.bindValue(QStringLiteral(":port"), Text(m.port));
    event_.bindValue(QStringLiteral(":id"), OptionalInt(m.id));
    event_.bindValue(QStringLiteral(":line"), Text(m.line));
    event_.bindValue(QStringLiteral(":before"), OptionalValues(e.before));
    event_.bindValue(QStringLiteral(":wanted"), OptionalValues(e.wanted));
    event_.bindValue(QStringLiteral(":after"), OptionalValues(e.after));
    event_.bindValue(QStringLiteral(":detail"), Text(e.detail));
    event_.bindValue(QStringLiteral(":row"), e.outcomeRow > 0
                                                 ? QVariant(e.outcomeRow)
                                                 : QVariant(QMetaType(QMetaType::Int)));
    event_.bindValue(QStringLiteral(":outcome"), Text(e.outcome));
    event_.bindValue(QStringLiteral(":ok"), OptionalBool(e.ok));
    event_.bindValue(QStringLiteral(":verified"), OptionalBool(e.verified));
    event_.bindValue(QStringLiteral(":plan_name"), OptionalText(e.planName));
    event_.bindValue(QStringLiteral(":plan_hash"), OptionalText(e.planHash));
    event_.bindValue(QStringLiteral(":related"), related);
    const bool fetched = e.serverSeq > 0;
    event_.bindValue(QStringLiteral(":sent"), fetched ? 1 : 0);
    event_.bindValue(QStringLiteral(":server_seq"),
                     fetched ? QVariant(e.serverSeq) : QVariant(QMetaType(QMetaType::LongLong)));
    event_.bindValue(QStringLiteral(":recorded_by"),
                     fetched ? QVariant(e.recordedBy) : QVariant(QMetaType(QMetaType::QString)));
    if (!event_.exec()) return failed(event_);
    const qint64 eventKey = event_.lastInsertId().toLongLong();

    if (!e.test) return true;
    const RegisterTestRun& t = *e.test;
    run_.bindValue(QStringLiteral(":event"), eventKey);
    run_.bindValue(QStringLiteral(":test"), t.test);
    run_.bindValue(QStringLiteral(":started"), RegisterTime(t.started));
    run_.bindValue(QStringLiteral(":ended"), RegisterTime(t.ended));
    run_.bindValue(QStringLiteral(":ending"), t.ending);
    run_.bindValue(QStringLiteral(":cycles"), t.cycles);
    run_.bindValue(QStringLiteral(":failures"), t.failures);
    run_.bindValue(QStringLiteral(":verdict"), t.verdict);
    run_.bindValue(QStringLiteral(":changes"), Array(t.inputChanges, [](int v) { return v; }));
    run_.bindValue(QStringLiteral(":verdicts"),
                   Array(t.verdicts, [](const QString& v) { return v; }));
    run_.bindValue(QStringLiteral(":follows"), Array(t.follows, [](int v) { return v; }));
    if (!run_.exec()) return failed(run_);
    const qint64 runKey = run_.lastInsertId().toLongLong();
    for (int i = 0; i < t.cards.size(); ++i) {
        const CardRead& c = t.cards.at(i);
        card_.bindValue(QStringLiteral(":run"), runKey);
        card_.bindValue(QStringLiteral(":seq"), i);
        card_.bindValue(QStringLiteral(":ms"), c.ms);
        card_.bindValue(QStringLiteral(":channel"), c.channel);
        card_.bindValue(QStringLiteral(":key"), c.key ? 1 : 0);
        card_.bindValue(QStringLiteral(":decimal"), Text(c.decimal));
        card_.bindValue(QStringLiteral(":hex"), Text(c.hex));
        card_.bindValue(QStringLiteral(":keys"), Text(c.keys));
        if (!card_.exec()) return failed(card_);
    }
    lastTest_.bindValue(QStringLiteral(":verdict"), t.verdict);
    lastTest_.bindValue(QStringLiteral(":ended"), RegisterTime(t.ended));
    lastTest_.bindValue(QStringLiteral(":module"), moduleKey);
    if (!lastTest_.exec()) return failed(lastTest_);
    return true;
}
