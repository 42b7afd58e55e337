#include "engine/records.h"

#include <QCryptographicHash>
#include <QFileInfo>

#include "engine/commission.h"
#include "engine/modulecontext.h"
#include "engine/observer.h"
#include "engine/survey.h"
#include "link/linesettings.h"

std::optional<bool> ReadRecord::verified() const {
    if (wanted.isEmpty()) return std::nullopt;
    for (auto it = wanted.cbegin(); it != wanted.cend(); ++it)
        if (settings.value(it.key()) != it.value()) return false;
    return true;
}

ModulePlace PlaceOf(const ModuleContext& m) {
    ModulePlace p;
    p.type = m.type;
    // Commands of another type reach another module: one of unknown serial number.
    if (m.known.type == m.type) p.serial = m.known.serial;
    p.id = m.ModuleId.size() == 2 ? TwoDigits(m.ModuleId.at(0), m.ModuleId.at(1)) : -1;
    p.lineIndex = LineSettings::indexOfTextOrCode(m.BaudText, LineSettings::kCount);
    p.port = m.portName();
    return p;
}

SettingValues SettingTexts(const ModuleSettings& settings) {
    SettingValues out;
    for (const QString& name : PlanSettingNames()) {
        const std::optional<int> v = PlanSettingValue(name, settings);
        if (v) out.insert(name, PlanSettingText(name, *v));
    }
    return out;
}

SettingValues SettingText(const QString& name, int value) {
    return {{name, PlanSettingText(name, value)}};
}

PlanSource PlanSourceOf(const QString& fileName, const QByteArray& content) {
    return {
        QFileInfo(fileName).fileName(),
        QString::fromLatin1(QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex())};
}

void RecordRead(ModuleContext& m, const QString& serial, int id, const QString& version,
                const ModuleSettings& settings, const Outcome& outcome) {
    ReadRecord r;
    r.place = PlaceOf(m);
    r.place.serial = serial;
    r.place.id = id;
    r.version = version;
    if (settings.wiegand.ch2Serial) r.ch2Serial = *settings.wiegand.ch2Serial;
    r.settings = SettingTexts(settings);
    if (id >= 0) r.settings.insert(QStringLiteral("id"), TwoDigitText(id));
    // The module answered at the line setting of the port.
    if (!version.isEmpty()) r.settings.insert(QStringLiteral("line"), m.BaudText);
    r.outcome = outcome;

    KnownSettings& k = m.known;
    if (k.serial != serial || k.type != m.type) k = KnownSettings{serial, {}, {}, m.type};
    for (auto it = r.settings.cbegin(); it != r.settings.cend(); ++it) {
        // A value set since the last read-back is confirmed, or not, by this one.
        if (k.unverified.contains(it.key())) r.wanted.insert(it.key(), k.unverified.take(it.key()));
        k.values.insert(it.key(), it.value());
    }
    m.observer().moduleRead(r);
}

void RecordOperation(ModuleContext& m, const Operation& op, const SettingValues& before,
                     const Outcome& outcome, const QString& addressee) {
    OperationRecord r;
    r.place = PlaceOf(m);
    r.before = before;
    if (!addressee.isEmpty() && (addressee != r.place.serial || m.known.type != m.type)) {
        // Another module than the one the context knew answered at the address: what the
        // context knew (the values before among it) is not this module's.
        m.known = KnownSettings{addressee, {}, {}, m.type};
        r.place.serial = addressee;
        r.before.clear();
    }
    r.nameRow = op.nameRow;
    r.wanted = op.wanted;
    r.sent = op.sent;
    r.outcome = outcome;
    if (outcome.ok()) {
        r.after = op.wanted;
        for (auto it = op.wanted.cbegin(); it != op.wanted.cend(); ++it) {
            m.known.values.insert(it.key(), it.value());
            m.known.unverified.insert(it.key(), it.value());
        }
    }
    m.observer().operationDone(r);
}

SettingValues KnownBefore(const ModuleContext& m, const SettingValues& wanted) {
    SettingValues before;
    for (auto it = wanted.cbegin(); it != wanted.cend(); ++it)
        if (m.known.values.contains(it.key()))
            before.insert(it.key(), m.known.values.value(it.key()));
    return before;
}

void RecordSighting(ModuleContext& m, SightingKind how) {
    Sighting s;
    s.how = how;
    s.place = PlaceOf(m);
    s.place.serial = ReplyText(m.Identification, 6, 8);
    s.place.id = TwoDigits(ReplyAt(m.Identification, 3), ReplyAt(m.Identification, 4));
    m.observer().moduleSighted(s);
}

void RecordSurveyed(ModuleContext& m, const SurveyModule& found) {
    // CH #2 of a Wiegand module is a second address of a module, not a module of its own.
    if (found.isCh2()) return;
    Sighting s;
    s.how = SightingKind::Survey;
    s.place = {found.type, found.serial, found.id, found.lineIndex, m.portName()};
    s.version = found.version;
    m.observer().moduleSighted(s);
}

void RecordPlanRow(ModuleContext& m, const PlanItem& item, const PlanOutcome& outcome) {
    PlanRowRecord r;
    r.place = {item.row.type, item.row.serial, item.id, item.lineIndex, m.portName()};
    r.plan = m.Plan;
    r.row = outcome.row;
    r.foundAt = outcome.foundAt;
    r.before = outcome.before;
    r.after = outcome.after;
    r.outcome = outcome.outcome;
    r.verified = outcome.verified;
    r.failed = outcome.failed();
    m.observer().planRowDone(r);
}
