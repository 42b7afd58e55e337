#include "engine/survey.h"

#include <QElapsedTimer>

#include "engine/findmodule.h"
#include "engine/modulecontext.h"
#include "engine/observer.h"
#include "engine/operation.h"
#include "engine/records.h"
#include "engine/surveyestimate.h"
#include "link/linesettings.h"

namespace {

enum class Answer { None, Garbled, Verified };

// One identification query: nothing at all, bytes that do not verify, or the 16-byte reply.
Answer Ask(ModuleContext& m, const QString& id) {
    if (AskIdentification(m, id)) return Answer::Verified;
    return m.link.RxPos > 0 ? Answer::Garbled : Answer::None;
}

struct Pair {
    int lineIndex;
    ModuleType type;
};

// One run of the survey on the context's link.
class Surveyor {
  public:
    Surveyor(ModuleContext& m, const SurveyPlan& plan, const SurveyHooks& hooks)
        : m_(m),
          plan_(plan),
          hooks_(hooks),
          ids_(SurveyIds(plan)),
          estimate_(static_cast<int>(SurveyLines(plan).size() * SurveyTypes(plan).size()),
                    static_cast<int>(ids_.size())) {
        for (int lineIndex : SurveyLines(plan))
            for (ModuleType type : SurveyTypes(plan)) pairs_.append({lineIndex, type});
    }

    SurveyResult run() {
        m_.Linked = 0;
        m_.PortNo = plan_.portNo;
        QList<Pair> answering;
        for (const Pair& p : pairs_) {
            if (stopAsked() || !open(p)) break;
            QElapsedTimer clock;
            clock.start();
            Answer probe = Answer::None;
            for (int t = 0; t < std::max(1, plan_.probeTries) && probe == Answer::None; ++t) {
                if (stopAsked()) break;
                probe = Ask(m_, QStringLiteral("00"));
            }
            m_.link.ClosePort();
            if (result_.stopped) break;
            estimate_.probed(probe != Answer::None, clock.elapsed());
            if (probe == Answer::None)
                ++result_.skipped;
            else
                answering.append(p);
            report(p, 0, true);
        }
        for (const Pair& p : answering) {
            if (result_.stopped || result_.portFailed || !open(p)) break;
            askIds(p);
            m_.link.ClosePort();
        }
        m_.Linked = 0;
        return result_;
    }

  private:
    bool stopAsked() {
        if (!result_.stopped && hooks_.stop && hooks_.stop()) result_.stopped = true;
        return result_.stopped;
    }

    bool open(const Pair& p) {
        m_.selectType(p.type);
        m_.BaudIndex = p.lineIndex;
        m_.BaudText = LineSettings::text(p.lineIndex);
        if (!m_.link.OpenPort(plan_.portNo, m_.BaudText)) {
            result_.portFailed = true;
            return false;
        }
        m_.observer().scanLine(p.lineIndex);
        m_.observer().pump();
        return true;
    }

    void report(const Pair& p, int id, bool probing) {
        if (!hooks_.progress) return;
        SurveyProgress s;
        s.lineIndex = p.lineIndex;
        s.type = p.type;
        s.id = id;
        s.done = estimate_.stepsDone();
        s.total = estimate_.stepsKnown();
        s.msLeft = estimate_.msLeft();
        s.percent = estimate_.percent();
        s.probing = probing;
        hooks_.progress(s);
    }

    void emitFound(const SurveyModule& found) {
        result_.modules << found;
        RecordSurveyed(m_, found);
        if (hooks_.found) hooks_.found(found);
    }

    // The module whose CH #2 has this serial number, among those of the type found so far.
    QString ch2Owner(ModuleType type, const QString& serial) const {
        for (const SurveyModule& f : result_.modules)
            if (f.type == type && !f.isCh2() && f.settings.wiegand.ch2Serial == serial)
                return f.serial;
        for (const SurveyModule& f : held_)
            if (f.type == type && f.settings.wiegand.ch2Serial == serial) return f.serial;
        return {};
    }

    // Version (and CH #2's place on a Wiegand module), or the whole read-back. A Wiegand
    // unit is asked its version first even for the read-back: CH #2 answers none, and is not
    // to be read back as a module of its own.
    void readFound(SurveyModule& found, const QByteArray& identification) {
        if (IsWiegand(found.type) || !plan_.readSettings) askVersion(found);
        if (IsWiegand(found.type) && found.version.isEmpty()) return;
        if (plan_.readSettings) readBack(found, identification);
    }

    void askVersion(SurveyModule& found) {
        m_.ModuleId = TwoDigitText(found.id);
        for (int t = 0; t < 2 && found.version.isEmpty(); ++t) {
            Pause(100);
            if (SendCommand(m_, QStringLiteral("V")))
                found.version = ReplyText(m_.link.LastReply, 6, 8);
        }
        if (found.version.isEmpty() || !IsWiegand(found.type) || plan_.readSettings) return;
        Pause(50);
        if (SendCommand(m_, QStringLiteral("N"))) {
            const QByteArray& r = m_.link.LastReply;
            const int id = TwoDigits(ReplyAt(r, 3), ReplyAt(r, 4));
            if (id > 0) found.settings.wiegand.ch2Id = id;
            found.settings.wiegand.ch2Serial = ReplyText(r, 6, 8);
        }
    }

    void readBack(SurveyModule& found, const QByteArray& identification) {
        // The read-back opens the port on its own.
        m_.link.ClosePort();
        ReadBack rb;
        found.settingsRead = ReadModule(m_, identification, rb).ok();
        if (!rb.version.isEmpty() || found.version.isEmpty()) found.version = rb.version;
        found.settings = rb.settings;
        m_.Linked = 0;
        if (!m_.link.OpenPort(plan_.portNo, m_.BaudText)) result_.portFailed = true;
    }

    void askIds(const Pair& p) {
        for (int id : ids_) {
            if (stopAsked() || result_.portFailed) break;
            QElapsedTimer clock;
            clock.start();
            const QString idText = TwoDigitText(id);
            Answer a = Ask(m_, idText);
            for (int t = 1; t < plan_.collisionTries && a == Answer::Garbled; ++t) {
                if (stopAsked()) break;
                a = Ask(m_, idText);
            }
            m_.observer().pump();
            if (a == Answer::Verified) {
                found(p, id);
            } else if (a == Answer::Garbled && !result_.stopped) {
                result_.collisions << SurveyCollision{p.type, id, p.lineIndex};
            }
            estimate_.asked(a == Answer::Verified, clock.elapsed());
            report(p, id, false);
        }
        // What answered without a version and turned out to be nobody's CH #2 is a module, read
        // back now if the plan asks for it.
        for (int i = 0; i < held_.size(); ++i) {
            SurveyModule& f = held_[i];
            f.ch2Of = ch2Owner(f.type, f.serial);
            if (!f.isCh2() && plan_.readSettings && !result_.portFailed && !stopAsked())
                readBack(f, heldIdentifications_.at(i));
            emitFound(f);
        }
        held_.clear();
        heldIdentifications_.clear();
    }

    void found(const Pair& p, int id) {
        const QByteArray identification = m_.link.LastReply;
        const QString serial = ReplyText(identification, 6, 8);
        // A line that does not carry parity (a pseudo-terminal) lets a module answer at two
        // line settings: the same type, ID and serial number is one module.
        for (SurveyModule& f : result_.modules) {
            if (f.type == p.type && f.id == id && f.serial == serial) {
                f.lineIndexes << p.lineIndex;
                return;
            }
        }
        SurveyModule found;
        found.type = p.type;
        found.id = id;
        found.lineIndex = p.lineIndex;
        found.lineIndexes = {p.lineIndex};
        found.serial = serial;
        if (IsWiegand(p.type)) {
            found.ch2Of = ch2Owner(p.type, serial);
            if (found.isCh2()) return emitFound(found);
        }
        readFound(found, identification);
        // CH #2 answers no version: it waits for the module whose CH #2 it may be.
        if (IsWiegand(p.type) && found.version.isEmpty()) {
            held_ << found;
            heldIdentifications_ << identification;
            return;
        }
        emitFound(found);
    }

    ModuleContext& m_;
    const SurveyPlan& plan_;
    const SurveyHooks& hooks_;
    const QList<int> ids_;
    QList<Pair> pairs_;
    SurveyEstimate estimate_;
    SurveyResult result_;
    QList<SurveyModule> held_;
    QList<QByteArray> heldIdentifications_;
};

}  // namespace

QList<int> SurveyLines(const SurveyPlan& plan) {
    if (!plan.lines.isEmpty()) return plan.lines;
    QList<int> all;
    for (int j = 0; j < LineSettings::kListed; ++j) all << j;
    return all;
}

QList<ModuleType> SurveyTypes(const SurveyPlan& plan) {
    if (!plan.types.isEmpty()) return plan.types;
    return QList<ModuleType>(std::begin(kAllModuleTypes), std::end(kAllModuleTypes));
}

QList<int> SurveyIds(const SurveyPlan& plan) {
    if (!plan.ids.isEmpty()) return plan.ids;
    QList<int> all;
    for (int id = 1; id <= 99; ++id) all << id;
    return all;
}

SurveyResult RunSurvey(ModuleContext& m, const SurveyPlan& plan, const SurveyHooks& hooks) {
    return Surveyor(m, plan, hooks).run();
}
