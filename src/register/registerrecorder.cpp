#include "register/registerrecorder.h"

#include "engine/modulecontext.h"
#include "engine/records.h"
#include "link/linesettings.h"
#include "register/registerwriter.h"
#include "text/messagetable.h"

namespace {

QString English(int row) {
    QString text = MessageTable::text(row, Languages::kEnglish);
    // "Module find ok. (COM": the window completes it with the port; the register has its own.
    if (text.endsWith(QLatin1String(" (COM"))) text.chop(5);
    return text;
}

// The type's settings of a set of values: the ID and line setting have columns of their own.
SettingValues TypeSettings(SettingValues values) {
    values.remove(QStringLiteral("id"));
    values.remove(QStringLiteral("line"));
    return values;
}

// "id=03 line=19200,e,8,1 interface=RS485 32" as a commissioning report writes it; a word
// without "=" belongs to the value before it.
SettingValues ValuesOfDescription(const QString& text) {
    SettingValues out;
    QString key;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const int eq = word.indexOf(QLatin1Char('='));
        if (eq > 0) {
            key = word.left(eq);
            out.insert(key, word.mid(eq + 1));
        } else if (!key.isEmpty()) {
            out[key] += QLatin1Char(' ') + word;
        }
    }
    return out;
}

QString TestOperation(LiveTest test) {
    switch (test) {
        case LiveTest::DidoTest:
            return English(71);
        case LiveTest::CardTest:
            return English(93);
        case LiveTest::DidoCheck:
            return QStringLiteral("I/O check");
    }
    return QString();
}

}  // namespace

RegisterRecorder::RegisterRecorder(RegisterWriter& writer, RecordSource source,
                                   const ModuleContext* context)
    : writer_(writer), source_(source), context_(context) {}

RegisterEntry RegisterRecorder::entry(const ModulePlace& place, const QString& kind) const {
    RegisterEntry e;
    e.uuid = QUuid::createUuid();
    e.time = QDateTime::currentDateTimeUtc();
    e.source = SourceName(source_);
    e.kind = kind;
    e.site = writer_.site();
    if (place.type) e.module.type = QString::fromStdString(ModuleTypeName(*place.type));
    e.module.serial = place.serial;
    e.module.port = place.port;
    e.module.id = place.id;
    if (place.lineIndex >= 0) e.module.line = LineSettings::text(place.lineIndex);
    return e;
}

void RegisterRecorder::post(RegisterEntry e) {
    // A module is known by its type and serial number: without both there is nothing to file.
    if (e.module.type.isEmpty() || e.module.serial.isEmpty()) return;
    writer_.post(std::move(e));
}

void RegisterRecorder::moduleSighted(const Sighting& s) {
    static const char* const kinds[] = {"scan", "link", "survey"};
    RegisterEntry e = entry(s.place, QLatin1String(kinds[static_cast<int>(s.how)]));
    e.operation = s.how == SightingKind::Scan   ? English(11)
                  : s.how == SightingKind::Link ? English(14)
                                                : QStringLiteral("Bus survey");
    e.module.version = s.version;
    e.outcomeRow = 15;
    e.outcome = English(15);
    e.ok = true;
    post(std::move(e));
}

void RegisterRecorder::moduleRead(const ReadRecord& r) {
    RegisterEntry e = entry(r.place, QStringLiteral("read"));
    e.operation = English(22);
    e.module.version = r.version;
    e.module.ch2Serial = r.ch2Serial;
    e.module.settings = TypeSettings(r.settings);
    e.after = r.settings;
    if (!r.wanted.isEmpty()) e.wanted = r.wanted;
    e.verified = r.verified();
    e.outcomeRow = r.outcome.row;
    e.outcome = English(r.outcome.row);
    e.ok = r.outcome.ok();
    post(std::move(e));
}

void RegisterRecorder::operationDone(const OperationRecord& r) {
    RegisterEntry e = entry(r.place, QStringLiteral("operation"));
    e.operation = English(r.nameRow);
    if (!r.wanted.isEmpty()) {
        e.before = r.before;
        e.wanted = r.wanted;
        e.after = r.after;
        // Set, but not yet confirmed by a read-back.
        e.verified = false;
    }
    e.module.settings = TypeSettings(r.after);
    // Where the module answers now: a new ID or line setting (factory default among them).
    if (r.after.contains(QStringLiteral("id")))
        e.module.id = r.after.value(QStringLiteral("id")).toInt();
    if (r.after.contains(QStringLiteral("line")))
        e.module.line = r.after.value(QStringLiteral("line"));
    e.detail = r.sent;
    e.outcomeRow = r.outcome.row;
    e.outcome = English(r.outcome.row);
    e.ok = r.outcome.ok();
    post(std::move(e));
}

void RegisterRecorder::planRowDone(const PlanRowRecord& r) {
    RegisterEntry e = entry(r.place, QStringLiteral("apply"));
    e.operation = QStringLiteral("apply row %1").arg(r.row);
    e.before = ValuesOfDescription(r.before);
    if (!r.after.isEmpty()) e.after = ValuesOfDescription(r.after);
    if (r.verified && e.after) e.module.settings = TypeSettings(*e.after);
    e.detail = r.foundAt;
    e.outcome = r.outcome;
    e.ok = !r.failed;
    e.verified = r.verified;
    e.planName = r.plan.fileName;
    e.planHash = r.plan.sha256;
    post(std::move(e));
}

void RegisterRecorder::testEnded(const TestSummary& s) {
    if (!context_) return;
    RegisterEntry e = entry(PlaceOf(*context_), QStringLiteral("test"));
    if (s.ended.isValid()) e.time = s.ended.toUTC();
    e.operation = TestOperation(s.test);
    RegisterTestRun run;
    run.test = TestName(s.test);
    run.ending = EndingName(s.end);
    run.started = s.started.isValid() ? s.started.toUTC() : e.time;
    run.ended = e.time;
    run.cycles = s.cycles;
    run.failures = s.failures;
    run.verdict = TestVerdict(s);
    if (s.test != LiveTest::CardTest) run.inputChanges = s.inputChanges;
    if (s.test == LiveTest::DidoCheck) {
        std::array<QString, 16> verdicts;
        for (int i = 0; i < 16; ++i) verdicts[i] = ChannelVerdictName(s.verdicts[i]);
        run.verdicts = verdicts;
        run.follows = s.follows;
    }
    run.cards = s.cards;
    e.outcome = run.verdict;
    e.ok = run.verdict == QLatin1String("passed");
    e.test = run;
    post(std::move(e));
}

void RegisterRecorder::moduleReplaced(const ReplacementRecord& r) {
    // The new module's entry first: the old one's names it, and it must be known by then.
    RegisterEntry added = entry(r.replacement, QStringLiteral("replaces"));
    if (!r.site.isEmpty()) added.site = r.site;
    added.operation = QStringLiteral("Replace module");
    added.module.settings = r.settings;
    added.after = r.settings;
    if (r.replacement.id >= 0)
        added.after->insert(QStringLiteral("id"), TwoDigitText(r.replacement.id));
    if (r.replacement.lineIndex >= 0)
        added.after->insert(QStringLiteral("line"), LineSettings::text(r.replacement.lineIndex));
    added.relatedType = added.module.type;
    added.relatedSerial = r.replaced.serial;
    added.outcome = QStringLiteral("replaces ") + r.replaced.serial;
    added.ok = true;
    added.verified = true;
    // The old module is not where it was: its entry tells nothing of a place.
    RegisterEntry removed = entry({r.replaced.type, r.replaced.serial, -1, -1, QString()},
                                  QStringLiteral("replaced-by"));
    removed.time = added.time;
    if (!r.site.isEmpty()) removed.site = r.site;
    removed.operation = added.operation;
    removed.relatedType = added.module.type;
    removed.relatedSerial = r.replacement.serial;
    removed.outcome = QStringLiteral("replaced by ") + r.replacement.serial;
    removed.ok = true;
    post(std::move(added));
    post(std::move(removed));
}

RecorderAttachment::RecorderAttachment(ModuleContext& context, RegisterWriter& writer,
                                       RecordSource source)
    : context_(context), recorder_(writer, source, &context) {
    context_.addRecorder(&recorder_);
}

RecorderAttachment::~RecorderAttachment() {
    context_.removeRecorder(&recorder_);
}

void RegisterRecorder::pointChecked(const CheckoutRecord& r) {
    RegisterEntry e = entry(r.place, QStringLiteral("checkout"));
    // A point that did not pass says what it ended as.
    e.operation =
        QStringLiteral("Checkout ") + r.point + (r.ended ? QStringLiteral(" ended") : QString());
    e.detail = r.label;
    e.outcome = r.detail.isEmpty() ? r.state : r.state + QStringLiteral(": ") + r.detail;
    e.ok = r.passed;
    post(std::move(e));
}
