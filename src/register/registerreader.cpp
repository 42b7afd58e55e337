#include "register/registerreader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlQuery>
#include <QVariant>

#include "register/registerstore.h"

namespace {

const char* const kModuleColumns =
    "id, type, serial, port, module_id, line, version, ch2_serial, settings, site, first_seen,"
    " last_seen, last_test, last_test_at,"
    " (SELECT coalesce(e.recorded_by, 'local') FROM event e WHERE e.module = module.id"
    "  ORDER BY e.time DESC, e.id DESC LIMIT 1)";

RegisterModule ModuleOf(const QSqlQuery& q, bool withSettings) {
    RegisterModule m;
    m.key = q.value(0).toLongLong();
    m.facts.type = q.value(1).toString();
    m.facts.serial = q.value(2).toString();
    m.facts.port = q.value(3).toString();
    m.facts.id = q.value(4).isNull() ? -1 : q.value(4).toInt();
    m.facts.line = q.value(5).toString();
    m.facts.version = q.value(6).toString();
    m.facts.ch2Serial = q.value(7).toString();
    if (withSettings) m.facts.settings = ValuesOfJson(q.value(8).toString());
    m.site = q.value(9).toString();
    m.firstSeen = TimeOfRegister(q.value(10).toLongLong());
    m.lastSeen = TimeOfRegister(q.value(11).toLongLong());
    m.lastTest = q.value(12).toString();
    m.lastTestAt = TimeOfRegister(q.value(13).toLongLong());
    m.recordedBy = q.value(14).toString();
    return m;
}

std::optional<SettingValues> Values(const QVariant& v) {
    if (v.isNull()) return std::nullopt;
    return ValuesOfJson(v.toString());
}

std::optional<bool> Flag(const QVariant& v) {
    if (v.isNull()) return std::nullopt;
    return v.toInt() != 0;
}

template <class T, class F>
std::optional<std::array<T, 16>> ArrayOf(const QVariant& v, F fromJson) {
    if (v.isNull()) return std::nullopt;
    const QJsonArray a = QJsonDocument::fromJson(v.toString().toUtf8()).array();
    std::array<T, 16> out{};
    for (int i = 0; i < 16 && i < a.size(); ++i) out[i] = fromJson(a.at(i));
    return out;
}

}  // namespace

bool RegisterReader::open(const QString& path, RegisterProblem* problem) {
    return db_.open(path, RegisterDb::Mode::Read, problem);
}

QList<RegisterModule> RegisterReader::modules(const ModuleQuery& query) {
    QList<RegisterModule> out;
    out.reserve(1024);
    eachModule(query, [&out](const RegisterModule& m) { out.append(m); });
    return out;
}

bool RegisterReader::eachModule(const ModuleQuery& query,
                                const std::function<void(const RegisterModule&)>& f) {
    if (!db_.isOpen()) return true;
    QStringList where;
    QVariantList values;
    if (query.site) {
        where << QStringLiteral("site = ?");
        values << *query.site;
    }
    if (query.type) {
        where << QStringLiteral("type = ?");
        values << *query.type;
    }
    if (!query.serial.isEmpty()) {
        where << QStringLiteral("serial = ?");
        values << query.serial;
    }
    QString sql = QStringLiteral("SELECT %1 FROM module").arg(QLatin1String(kModuleColumns));
    if (!where.isEmpty()) sql += QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
    sql += QStringLiteral(" ORDER BY type, serial");
    QSqlQuery q(db_.db());
    q.setForwardOnly(true);
    q.prepare(sql);
    for (const QVariant& v : values) q.addBindValue(v);
    if (!q.exec()) return false;
    while (q.next()) f(ModuleOf(q, query.withSettings));
    return true;
}

std::optional<RegisterModule> RegisterReader::module(qint64 key) {
    if (!db_.isOpen()) return std::nullopt;
    QSqlQuery q(db_.db());
    q.prepare(
        QStringLiteral("SELECT %1 FROM module WHERE id = ?").arg(QLatin1String(kModuleColumns)));
    q.addBindValue(key);
    if (!q.exec() || !q.next()) return std::nullopt;
    return ModuleOf(q, true);
}

QList<RegisterEntry> RegisterReader::events(const QString& where, const QVariantList& values,
                                            const QString& order, int limit, bool withCards) {
    QList<RegisterEntry> out;
    if (!db_.isOpen()) return out;
    QString sql = QStringLiteral(
        "SELECT e.uuid, e.time, e.source, e.kind, e.operation, e.site, e.port, e.module_id,"
        " e.line, e.before, e.wanted, e.after, e.detail, e.outcome_row, e.outcome, e.ok,"
        " e.verified, e.plan_name, e.plan_hash, m.type, m.serial, r.type, r.serial,"
        " t.id, t.test, t.started, t.ended, t.ending, t.cycles, t.failures, t.verdict,"
        " t.input_changes, t.verdicts, t.follows, coalesce(e.recorded_by, 'local')"
        " FROM event e JOIN module m ON m.id = e.module"
        " LEFT JOIN module r ON r.id = e.related"
        " LEFT JOIN test_run t ON t.event = e.id WHERE ");
    sql += where + QStringLiteral(" ORDER BY ") + order;
    if (limit >= 0) sql += QStringLiteral(" LIMIT %1").arg(limit);
    QSqlQuery q(db_.db());
    q.setForwardOnly(true);
    q.prepare(sql);
    for (const QVariant& v : values) q.addBindValue(v);
    if (!q.exec()) return out;
    QList<qint64> runs;
    while (q.next()) {
        RegisterEntry e;
        e.uuid = QUuid::fromRfc4122(q.value(0).toByteArray());
        e.time = TimeOfRegister(q.value(1).toLongLong());
        e.source = q.value(2).toString();
        e.kind = q.value(3).toString();
        e.operation = q.value(4).toString();
        e.site = q.value(5).toString();
        e.module.port = q.value(6).toString();
        e.module.id = q.value(7).isNull() ? -1 : q.value(7).toInt();
        e.module.line = q.value(8).toString();
        e.before = Values(q.value(9));
        e.wanted = Values(q.value(10));
        e.after = Values(q.value(11));
        e.detail = q.value(12).toString();
        e.outcomeRow = q.value(13).toInt();
        e.outcome = q.value(14).toString();
        e.ok = Flag(q.value(15));
        e.verified = Flag(q.value(16));
        e.planName = q.value(17).toString();
        e.planHash = q.value(18).toString();
        e.module.type = q.value(19).toString();
        e.module.serial = q.value(20).toString();
        e.relatedType = q.value(21).toString();
        e.relatedSerial = q.value(22).toString();
        e.recordedBy = q.value(34).toString();
        if (!q.value(23).isNull()) {
            RegisterTestRun t;
            t.test = q.value(24).toString();
            t.started = TimeOfRegister(q.value(25).toLongLong());
            t.ended = TimeOfRegister(q.value(26).toLongLong());
            t.ending = q.value(27).toString();
            t.cycles = q.value(28).toInt();
            t.failures = q.value(29).toInt();
            t.verdict = q.value(30).toString();
            t.inputChanges =
                ArrayOf<int>(q.value(31), [](const QJsonValue& v) { return v.toInt(); });
            t.verdicts =
                ArrayOf<QString>(q.value(32), [](const QJsonValue& v) { return v.toString(); });
            t.follows = ArrayOf<int>(q.value(33), [](const QJsonValue& v) { return v.toInt(); });
            e.test = t;
        }
        runs << (q.value(23).isNull() ? -1 : q.value(23).toLongLong());
        out << e;
    }
    if (!withCards) return out;
    QSqlQuery cards(db_.db());
    cards.prepare(QStringLiteral(
        "SELECT ms, channel, key, decimal, hex, keys FROM card_read WHERE run = ? ORDER BY seq"));
    for (int i = 0; i < out.size(); ++i) {
        if (runs.at(i) < 0) continue;
        cards.bindValue(0, runs.at(i));
        if (!cards.exec()) continue;
        while (cards.next()) {
            CardRead c;
            c.ms = cards.value(0).toLongLong();
            c.channel = cards.value(1).toInt();
            c.key = cards.value(2).toInt() != 0;
            c.decimal = cards.value(3).toString();
            c.hex = cards.value(4).toString();
            c.keys = cards.value(5).toString();
            out[i].test->cards << c;
        }
    }
    return out;
}

QList<RegisterEntry> RegisterReader::history(qint64 module, int limit) {
    return events(QStringLiteral("e.module = ?"), {module},
                  QStringLiteral("e.time DESC, e.id DESC"), limit, false);
}

std::optional<RegisterEntry> RegisterReader::last(qint64 module, const char* kind,
                                                  const QDateTime& until, bool withCards,
                                                  const char* also) {
    QString where = QStringLiteral("e.module = ? AND e.kind = '%1'").arg(QLatin1String(kind));
    if (also) where += QStringLiteral(" AND ") + QLatin1String(also);
    QVariantList values{module};
    if (until.isValid()) {
        where += QStringLiteral(" AND e.time <= ?");
        values << RegisterTime(until);
    }
    const QList<RegisterEntry> e =
        events(where, values, QStringLiteral("e.time DESC, e.id DESC"), 1, withCards);
    if (e.isEmpty()) return std::nullopt;
    return e.first();
}

std::optional<RegisterEntry> RegisterReader::lastCommissioning(qint64 module,
                                                               const QDateTime& until) {
    return last(module, "apply", until, false);
}

std::optional<RegisterEntry> RegisterReader::lastChange(qint64 module, const QDateTime& until) {
    return last(module, "apply", until, false,
                "e.outcome <> 'unchanged' AND e.outcome NOT LIKE 'not run%'");
}

std::optional<RegisterEntry> RegisterReader::lastConfirmation(qint64 module,
                                                              const QDateTime& until) {
    return last(module, "apply", until, false, "e.outcome = 'unchanged'");
}

std::optional<RegisterEntry> RegisterReader::lastTest(qint64 module, const QDateTime& until,
                                                      bool withCards) {
    return last(module, "test", until, withCards);
}

QList<RegisterEntry> RegisterReader::planRun(const QString& planHash) {
    return events(QStringLiteral("e.plan_hash = ?"), {planHash}, QStringLiteral("e.time, e.id"), -1,
                  false);
}

QList<RegisterEntry> RegisterReader::replacements(qint64 module) {
    return events(QStringLiteral("e.module = ? AND e.kind IN ('replaced-by', 'replaces')"),
                  {module}, QStringLiteral("e.time DESC, e.id DESC"), -1, false);
}

QList<RegisterEntry> RegisterReader::checkoutEvents(qint64 module, const QDateTime& until) {
    QString where = QStringLiteral("e.module = ? AND e.kind = 'checkout'");
    QVariantList values{module};
    if (until.isValid()) {
        where += QStringLiteral(" AND e.time <= ?");
        values << RegisterTime(until);
    }
    return events(where, values, QStringLiteral("e.time ASC, e.id ASC"), -1, false);
}

QList<RegisterEntry> RegisterReader::replacedModules() {
    // Through the index of the events that name another module: few, however large the file.
    return events(QStringLiteral("e.related IS NOT NULL AND e.kind = 'replaced-by'"), {},
                  QStringLiteral("e.time DESC, e.id DESC"), -1, false);
}

QSet<QString> RegisterReader::serialsAt(const QString& type, const QString& site,
                                        const QDateTime& until) {
    QSet<QString> out;
    if (!db_.isOpen()) return out;
    QSqlQuery q(db_.db());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral(
        "SELECT m.serial FROM module m WHERE m.type = ? AND EXISTS (SELECT 1 FROM event e"
        " WHERE e.module = m.id AND e.time <= ? AND e.site = ?)"));
    q.addBindValue(type);
    q.addBindValue(RegisterTime(until));
    q.addBindValue(site);
    if (!q.exec()) return out;
    while (q.next()) out.insert(q.value(0).toString());
    return out;
}

QDateTime RegisterReader::lastUsed(qint64 module) {
    if (!db_.isOpen()) return {};
    QSqlQuery q(db_.db());
    q.prepare(
        QStringLiteral("SELECT max(time) FROM event WHERE module = ?"
                       " AND kind NOT IN ('survey', 'replaced-by', 'replaces')"));
    q.addBindValue(module);
    if (!q.exec() || !q.next() || q.value(0).isNull()) return {};
    return TimeOfRegister(q.value(0).toLongLong());
}

QStringList RegisterReader::sites() {
    QStringList out;
    if (!db_.isOpen()) return out;
    QSqlQuery q(db_.db());
    if (!q.exec(QStringLiteral("SELECT DISTINCT site FROM module ORDER BY site"))) return out;
    while (q.next()) out << q.value(0).toString();
    return out;
}

qint64 RegisterReader::count(const char* table) {
    if (!db_.isOpen()) return 0;
    QSqlQuery q(db_.db());
    // Only the register's own table names reach this text.
    if (!q.exec(QStringLiteral("SELECT count(*) FROM %1").arg(QLatin1String(table))) || !q.next())
        return 0;
    return q.value(0).toLongLong();
}

RegisterFilter ParseRegisterFilter(const QString& text) {
    RegisterFilter f;
    QString word;
    bool quoted = false;
    auto flush = [&] {
        const QString w = word.trimmed();
        word.clear();
        if (w.isEmpty()) return;
        for (const char* column : {"serial", "type", "site"}) {
            const QString prefix = QLatin1String(column) + QLatin1Char(':');
            if (w.startsWith(prefix, Qt::CaseInsensitive)) {
                f.terms.append({QLatin1String(column), w.mid(prefix.size())});
                return;
            }
        }
        f.terms.append({QString(), w});
    };
    for (const QChar c : text) {
        if (c == QLatin1Char('"')) {
            quoted = !quoted;
        } else if (c.isSpace() && !quoted) {
            flush();
        } else {
            word += c;
        }
    }
    flush();
    return f;
}

bool Matches(const RegisterModule& m, const RegisterFilter& filter) {
    for (const RegisterFilter::Term& t : filter.terms) {
        auto has = [&t](const QString& s) { return s.contains(t.text, Qt::CaseInsensitive); };
        bool hit = false;
        if (t.column == QLatin1String("serial"))
            hit = has(m.facts.serial);
        else if (t.column == QLatin1String("type"))
            hit = has(m.facts.type);
        else if (t.column == QLatin1String("site"))
            hit = has(m.site);
        else
            hit = has(m.facts.serial) || has(m.facts.type) || has(m.site) || has(m.facts.version) ||
                  has(m.facts.port) || has(m.facts.line) || has(m.lastTest) ||
                  (m.facts.id >= 0 &&
                   has(QStringLiteral("%1").arg(m.facts.id, 2, 10, QLatin1Char('0'))));
        if (!hit) return false;
    }
    return true;
}
