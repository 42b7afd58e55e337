#include "register/serverrow.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlQuery>
#include <cmath>
#include <optional>

#include "register/registerstore.h"
#include "text/jsontext.h"

const char* const kServerRowColumns =
    "e.seq, e.uuid::text, e.site, e.type, e.serial, e.time, e.source, e.kind, e.operation,"
    " e.port, e.module_id, e.line, e.version, e.ch2_serial, e.settings, e.before, e.wanted,"
    " e.after, e.detail, e.outcome_row, e.outcome, e.ok, e.verified, e.plan_name, e.plan_hash,"
    " e.related_type, e.related_serial, e.recorded_by::text,"
    " (SELECT row_to_json(t)::text FROM quillon.test_run t WHERE t.event = e.uuid),"
    " (SELECT json_agg(c ORDER BY c.seq)::text FROM quillon.card_read c WHERE c.event = e.uuid)";

namespace {

std::optional<bool> OptionalBool(const QVariant& v) {
    if (v.isNull()) return std::nullopt;
    return v.toBool();
}

std::optional<SettingValues> OptionalValues(const QVariant& v) {
    if (v.isNull()) return std::nullopt;
    return ValuesOfJson(v.toString());
}

int IntOr(const QVariant& v, int fallback) {
    bool ok = false;
    const int n = v.toInt(&ok);
    return ok && !v.isNull() ? n : fallback;
}

// A JSON text of 16 values, as the register keeps a test's changes, verdicts and follows.
template <class T, class F>
std::optional<std::array<T, 16>> Sixteen(const QJsonValue& v, F of) {
    if (!v.isString()) return std::nullopt;
    const QJsonArray a = QJsonDocument::fromJson(v.toString().toUtf8()).array();
    if (a.size() != 16) return std::nullopt;
    std::array<T, 16> out{};
    for (int i = 0; i < 16; ++i) out[size_t(i)] = of(a.at(i));
    return out;
}

// A JSON number as whole milliseconds; nullopt for one that no clock gives (not finite, or
// beyond what a 64-bit count of milliseconds holds once converted).
std::optional<qint64> WholeMs(const QJsonValue& v) {
    const double d = v.toDouble();
    if (!std::isfinite(d) || std::fabs(d) > 9.0e15) return std::nullopt;
    return static_cast<qint64>(d);
}

// A batch's JSON is written directly: QJsonObject would cost more than the query. PostgreSQL's
// texts cannot hold a zero character, so one goes as U+FFFD rather than hold the batch back.
void AppendText(QByteArray& out, const QString& text) {
    if (!text.contains(QChar(0))) return AppendJsonString(out, text);
    AppendJsonString(out, QString(text).replace(QChar(0), QChar(0xFFFD)));
}

// One "name": value of a column read from the local register.
void AppendField(QByteArray& out, const char* name, const QVariant& v) {
    if (out.size() > 1 && !out.endsWith('{')) out += ',';
    out += '"';
    out += name;
    out += "\":";
    if (v.isNull()) {
        out += "null";
        return;
    }
    switch (v.typeId()) {
        case QMetaType::LongLong:
        case QMetaType::Int:
        case QMetaType::ULongLong:
            out += QByteArray::number(v.toLongLong());
            break;
        case QMetaType::QByteArray:
            AppendText(out, QString::fromUtf8(v.toByteArray()));
            break;
        default:
            AppendText(out, v.toString());
    }
}

void AppendFlag(QByteArray& out, const char* name, const QVariant& v) {
    out += ",\"";
    out += name;
    out += "\":";
    out += v.isNull() ? "null" : v.toInt() != 0 ? "true" : "false";
}

// Texts the local register may hold as null are never null on the server.
QString NonNull(const QString& s) {
    return s.isNull() ? QString(QLatin1String("")) : s;
}

}  // namespace

std::optional<RegisterEntry> EntryOfServerRow(const QVariantList& row, QString* why) {
    auto refuse = [why](const char* text) {
        if (why) *why = QString::fromLatin1(text);
        return std::nullopt;
    };
    if (row.size() != kServerColumns) return refuse("not a row of events");
    RegisterEntry e;
    e.uuid = QUuid::fromString(row.at(kRowUuid).toString());
    if (e.uuid.isNull()) return refuse("no valid unique id");
    e.module.type = row.at(kRowType).toString();
    if (e.module.type.isEmpty()) return refuse("no module type");
    e.module.serial = row.at(kRowSerial).toString();
    e.time = TimeOfRegister(row.at(kRowTime).toLongLong());
    e.source = NonNull(row.at(kRowSource).toString());
    e.kind = NonNull(row.at(kRowKind).toString());
    e.operation = row.at(kRowOperation).toString();
    e.site = row.at(kRowSite).toString();
    e.module.port = row.at(kRowPort).toString();
    e.module.id = IntOr(row.at(kRowModuleId), -1);
    e.module.line = row.at(kRowLine).toString();
    e.module.version = row.at(kRowVersion).toString();
    e.module.ch2Serial = row.at(kRowCh2Serial).toString();
    e.module.settings = ValuesOfJson(row.at(kRowSettings).toString());
    e.before = OptionalValues(row.at(kRowBefore));
    e.wanted = OptionalValues(row.at(kRowWanted));
    e.after = OptionalValues(row.at(kRowAfter));
    e.detail = row.at(kRowDetail).toString();
    e.outcomeRow = qMax(0, IntOr(row.at(kRowOutcomeRow), 0));
    e.outcome = row.at(kRowOutcome).toString();
    e.ok = OptionalBool(row.at(kRowOk));
    e.verified = OptionalBool(row.at(kRowVerified));
    e.planName = row.at(kRowPlanName).toString();
    e.planHash = row.at(kRowPlanHash).toString();
    e.relatedType = row.at(kRowRelatedType).toString();
    e.relatedSerial = row.at(kRowRelatedSerial).toString();
    e.serverSeq = qMax<qint64>(1, row.at(kRowSeq).toLongLong());
    e.recordedBy = NonNull(row.at(kRowRecordedBy).toString());
    if (e.relatedType.isEmpty()) e.relatedSerial.clear();

    const QVariant test = row.at(kRowTest);
    if (!test.isNull()) {
        const QJsonDocument doc = QJsonDocument::fromJson(test.toString().toUtf8());
        if (!doc.isObject()) return refuse("a test run that is not one");
        const QJsonObject o = doc.object();
        RegisterTestRun t;
        t.test = o.value(QLatin1String("test")).toString();
        if (t.test.isEmpty()) return refuse("a test run without its test");
        t.ending = NonNull(o.value(QLatin1String("ending")).toString());
        const std::optional<qint64> started = WholeMs(o.value(QLatin1String("started")));
        const std::optional<qint64> ended = WholeMs(o.value(QLatin1String("ended")));
        if (!started || !ended) return refuse("a test run with a time no clock gives");
        t.started = TimeOfRegister(*started);
        t.ended = TimeOfRegister(*ended);
        t.cycles = o.value(QLatin1String("cycles")).toInt();
        t.failures = o.value(QLatin1String("failures")).toInt();
        t.verdict = NonNull(o.value(QLatin1String("verdict")).toString());
        t.inputChanges = Sixteen<int>(o.value(QLatin1String("input_changes")),
                                      [](const QJsonValue& v) { return v.toInt(); });
        t.verdicts = Sixteen<QString>(o.value(QLatin1String("verdicts")),
                                      [](const QJsonValue& v) { return v.toString(); });
        t.follows = Sixteen<int>(o.value(QLatin1String("follows")),
                                 [](const QJsonValue& v) { return v.toInt(); });
        const QJsonArray cards =
            QJsonDocument::fromJson(row.at(kRowCards).toString().toUtf8()).array();
        for (const QJsonValue& v : cards) {
            const QJsonObject c = v.toObject();
            CardRead card;
            const std::optional<qint64> ms = WholeMs(c.value(QLatin1String("ms")));
            if (!ms) return refuse("a card read at a time no clock gives");
            card.ms = *ms;
            card.channel = c.value(QLatin1String("channel")).toInt();
            card.key = c.value(QLatin1String("key")).toBool();
            card.decimal = c.value(QLatin1String("decimal")).toString();
            card.hex = c.value(QLatin1String("hex")).toString();
            card.keys = c.value(QLatin1String("keys")).toString();
            t.cards << card;
        }
        e.test = t;
    }
    return e;
}

bool ReadPushBatch(QSqlDatabase& db, const QString& site, qint64 after, int limit, PushBatch* batch,
                   QSqlError* error) {
    // A module's version, CH #2 serial and type settings travel with its newest event, which
    // is the one that told them.
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral(
        "SELECT e.id, e.uuid, e.time, e.source, e.kind, e.operation, e.port, e.module_id, e.line,"
        " e.before, e.wanted, e.after, e.detail, e.outcome_row, e.outcome, e.ok, e.verified,"
        " e.plan_name, e.plan_hash, m.type, m.serial,"
        " CASE WHEN e.time = m.last_seen THEN m.version ELSE '' END,"
        " CASE WHEN e.time = m.last_seen THEN m.ch2_serial ELSE '' END,"
        " CASE WHEN e.time = m.last_seen THEN m.settings ELSE '{}' END,"
        " r.type, r.serial, t.id, t.test, t.started, t.ended, t.ending, t.cycles, t.failures,"
        " t.verdict, t.input_changes, t.verdicts, t.follows"
        " FROM event e JOIN module m ON m.id = e.module"
        " LEFT JOIN module r ON r.id = e.related LEFT JOIN test_run t ON t.event = e.id"
        " WHERE e.sent = 0 AND e.site = :site AND e.id > :after ORDER BY e.id LIMIT :limit"));
    q.bindValue(QStringLiteral(":site"), site);
    q.bindValue(QStringLiteral(":after"), after);
    q.bindValue(QStringLiteral(":limit"), limit);
    if (!q.exec()) {
        if (error) *error = q.lastError();
        return false;
    }
    QByteArray& events = batch->events;
    QByteArray& runs = batch->runs;
    events = "[";
    runs = "[";
    QList<QPair<qint64, QString>> runKeys;
    static const char* const names[] = {"time",      "source",      "kind",   "operation", "port",
                                        "module_id", "line",        "before", "wanted",    "after",
                                        "detail",    "outcome_row", "outcome"};
    static const char* const runNames[] = {"test",     "started",  "ended",   "ending",
                                           "cycles",   "failures", "verdict", "input_changes",
                                           "verdicts", "follows"};
    while (q.next()) {
        const QString uuid =
            QUuid::fromRfc4122(q.value(1).toByteArray()).toString(QUuid::WithoutBraces);
        batch->keys << q.value(0).toLongLong();
        if (events.size() > 1) events += ',';
        events += '{';
        AppendField(events, "uuid", uuid);
        AppendField(events, "site", site);
        for (int i = 0; i < 13; ++i) AppendField(events, names[i], q.value(2 + i));
        AppendFlag(events, "ok", q.value(15));
        AppendFlag(events, "verified", q.value(16));
        static const char* const tail[] = {"plan_name", "plan_hash",    "type",
                                           "serial",    "version",      "ch2_serial",
                                           "settings",  "related_type", "related_serial"};
        for (int i = 0; i < 9; ++i) AppendField(events, tail[i], q.value(17 + i));
        events += '}';
        if (q.value(26).isNull()) continue;
        if (runs.size() > 1) runs += ',';
        runs += '{';
        AppendField(runs, "event", uuid);
        for (int i = 0; i < 10; ++i) AppendField(runs, runNames[i], q.value(27 + i));
        runs += '}';
        runKeys << qMakePair(q.value(26).toLongLong(), uuid);
    }
    events += ']';
    runs += ']';
    QByteArray& cards = batch->cards;
    cards = "[";
    if (!runKeys.isEmpty()) {
        QSqlQuery c(db);
        c.setForwardOnly(true);
        c.prepare(QStringLiteral(
            "SELECT seq, ms, channel, key, decimal, hex, keys FROM card_read WHERE run = :run"
            " ORDER BY seq"));
        for (const auto& [key, uuid] : runKeys) {
            c.bindValue(QStringLiteral(":run"), key);
            if (!c.exec()) {
                if (error) *error = c.lastError();
                return false;
            }
            while (c.next()) {
                if (cards.size() > 1) cards += ',';
                cards += '{';
                AppendField(cards, "event", uuid);
                AppendField(cards, "seq", c.value(0));
                AppendField(cards, "ms", c.value(1));
                AppendField(cards, "channel", c.value(2));
                AppendFlag(cards, "key", c.value(3));
                AppendField(cards, "decimal", c.value(4));
                AppendField(cards, "hex", c.value(5));
                AppendField(cards, "keys", c.value(6));
                cards += '}';
            }
        }
    }
    cards += ']';
    return true;
}
