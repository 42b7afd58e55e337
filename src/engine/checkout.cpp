#include "engine/checkout.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QSet>
#include <QThread>
#include <optional>

#include "engine/carddecoder.h"
#include "engine/dido.h"
#include "engine/findmodule.h"
#include "engine/modulecontext.h"
#include "engine/operation.h"
#include "engine/records.h"
#include "link/linesettings.h"

QString PointStateName(PointState state) {
    switch (state) {
        case PointState::Waiting:
            return QStringLiteral("waiting");
        case PointState::SeenOn:
            return QStringLiteral("seen on");
        case PointState::SeenOff:
            return QStringLiteral("seen off");
        case PointState::Passed:
            return QStringLiteral("passed");
        case PointState::Chattering:
            return QStringLiteral("chattering");
        case PointState::ModuleSilent:
            return QStringLiteral("module silent");
        case PointState::PortFailed:
            return QStringLiteral("port failed");
    }
    return {};
}

bool CheckoutResult::done() const {
    for (const PointStatus& p : points)
        if (!p.ok()) return false;
    return true;
}

namespace {

// The state a point shows while its module answers.
PointState ProgressState(const PointStatus& p) {
    if (p.chattered) return PointState::Chattering;
    if (p.passed) return PointState::Passed;
    if (p.seenOn) return PointState::SeenOn;
    if (p.seenOff) return PointState::SeenOff;
    return PointState::Waiting;
}

class Checkout {
  public:
    Checkout(ModuleContext& m, const CheckoutBus& bus, const CheckoutHooks& hooks)
        : m_(m), bus_(bus), hooks_(hooks) {
        startedAt_ =
            hooks.startedAtMs > 0 ? hooks.startedAtMs : QDateTime::currentMSecsSinceEpoch();
        for (const CheckoutPoint& p : bus.points) {
            PointStatus s;
            s.point = p;
            result_.points << s;
        }
        // The modules in the order given, those of one line setting together, so that a round
        // reopens the port only where the line setting changes.
        QList<CheckoutModule> modules = bus.modules;
        std::stable_sort(modules.begin(), modules.end(),
                         [](const CheckoutModule& a, const CheckoutModule& b) {
                             return a.lineIndex < b.lineIndex;
                         });
        for (const CheckoutModule& mod : modules) {
            Unit u;
            u.mod = mod;
            u.chatter = ChatterDetector(16, hooks.chatterLimit);
            for (int i = 0; i < result_.points.size(); ++i) {
                const CheckoutPoint& p = result_.points.at(i).point;
                if (p.serial != mod.serial) continue;
                u.points << i;
                if (p.point.startsWith(QLatin1String("DI")))
                    u.di[p.point.mid(2).toInt() - 1] = i;
                else if (p.point == QLatin1String("CH1"))
                    u.ch[0] = i;
                else if (p.point == QLatin1String("CH2"))
                    u.ch[1] = i;
                else if (p.point == QLatin1String("KEYS"))
                    u.keys = i;
                else
                    u.answers = i;
            }
            units_ << u;
        }
    }

    CheckoutResult run() {
        m_.Linked = 0;
        m_.PortNo = bus_.portNo;
        // A bus without a module of the checkout has nothing to ask.
        if (units_.isEmpty()) return result_;
        // The worker's own events are few: looked at now and then rather than at every byte, so
        // that the link sleeps on the port between bytes and eight buses cost little CPU.
        QElapsedTimer pumped;
        pumped.start();
        m_.link.setEventPump([&pumped] {
            if (pumped.elapsed() < 50) return;
            pumped.restart();
            QCoreApplication::processEvents();
        });
        const CheckoutResult r = rounds();
        m_.link.setEventPump({});
        return r;
    }

    CheckoutResult rounds() {
        if (!open(units_.first().mod.lineIndex)) {
            result_.portFailed = true;
            for (int i = 0; i < result_.points.size(); ++i) set(i, PointState::PortFailed);
            return result_;
        }
        bool portLost = false;
        while (!stopAsked()) {
            const qint64 roundStart = now();
            bool anyAnswered = false;
            for (Unit& u : units_) {
                if (stopAsked()) break;
                if (openLine_ != u.mod.lineIndex) {
                    m_.link.ClosePort();
                    if (!open(u.mod.lineIndex)) break;
                }
                anyAnswered = ask(u) || anyAnswered;
            }
            if (result_.stopped) break;
            ++result_.rounds;
            if (hooks_.roundDone) hooks_.roundDone(result_.rounds, now() - roundStart);
            if (hooks_.untilDone && result_.done()) break;
            if (anyAnswered) {
                portLost = false;
                continue;
            }
            // Nothing on the bus answered: the adapter may have gone. The port is opened anew
            // (a device plugged back in comes back); while it does not open, the bus's points
            // say so and it is tried again every second.
            m_.link.ClosePort();
            openLine_ = -1;
            if (open(units_.first().mod.lineIndex)) continue;
            if (!portLost) {
                for (Unit& u : units_) u.silent = true;
                for (int i = 0; i < result_.points.size(); ++i) set(i, PointState::PortFailed);
            }
            portLost = true;
            for (int t = 0; t < 20 && !stopAsked(); ++t) QThread::msleep(50);
        }
        m_.link.ClosePort();
        for (const PointStatus& p : result_.points)
            if (!p.ok()) record(p, true);
        return result_;
    }

  private:
    struct Unit {
        CheckoutModule mod;
        QList<int> points;
        int di[16] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
        int ch[2] = {-1, -1};
        int keys = -1;
        int answers = -1;
        int missed = 0;
        bool silent = false;
        std::optional<Channels> inputs;
        ChatterDetector chatter;
    };

    qint64 now() const { return QDateTime::currentMSecsSinceEpoch() - startedAt_; }

    bool stopAsked() {
        if (!result_.stopped && hooks_.stop && hooks_.stop()) result_.stopped = true;
        return result_.stopped;
    }

    bool open(int lineIndex) {
        openLine_ = -1;
        if (!m_.link.OpenPort(bus_.portNo, LineSettings::text(lineIndex))) return false;
        openLine_ = lineIndex;
        m_.BaudIndex = lineIndex;
        m_.BaudText = LineSettings::text(lineIndex);
        return true;
    }

    // Shows `state` for point i; a pass or a fault also goes to the recorders.
    void set(int i, PointState state, const QString& detail = {}) {
        if (i < 0) return;
        PointStatus& p = result_.points[i];
        if (p.state == state && detail.isEmpty()) return;
        p.state = state;
        p.ms = now();
        if (!detail.isEmpty()) p.detail = detail;
        if (hooks_.changed) hooks_.changed(p);
        if (state == PointState::Waiting || state == PointState::SeenOn ||
            state == PointState::SeenOff)
            return;
        // A pass is filed once, not again when its module rejoins.
        if (state == PointState::Passed && passFiled_.contains(i)) return;
        if (state == PointState::Passed) passFiled_.insert(i);
        record(p, false);
    }

    // A pass or a fault, or the state a point ended in, to the recorders.
    void record(const PointStatus& p, bool ended) {
        CheckoutRecord r;
        const Unit* u = unitOf(p.point.serial);
        r.place.type = p.point.type;
        r.place.serial = p.point.serial;
        if (u) {
            r.place.id = u->mod.id;
            r.place.lineIndex = u->mod.lineIndex;
        }
        r.place.port = m_.portName();
        r.point = p.point.point;
        r.label = p.point.label;
        r.state = PointStateName(p.state);
        r.passed = p.state == PointState::Passed;
        r.detail = p.detail;
        r.ended = ended;
        m_.observer().pointChecked(r);
    }

    const Unit* unitOf(const QString& serial) const {
        for (const Unit& u : units_)
            if (u.mod.serial == serial) return &u;
        return nullptr;
    }

    void pass(Unit& u, int i, const QString& detail = {}) {
        if (i < 0) return;
        PointStatus& p = result_.points[i];
        const bool first = !p.passed;
        if (first) {
            p.passed = true;
            p.passedMs = now();
        }
        if (!u.silent && (first || p.state != ProgressState(p)))
            set(i, ProgressState(p), first ? detail : QString());
    }

    // One input of a readable reply.
    void seen(Unit& u, int k, bool on) {
        const int i = u.di[k];
        if (i < 0) return;
        PointStatus& p = result_.points[i];
        (on ? p.seenOn : p.seenOff) = true;
        if (p.seenOn && p.seenOff)
            pass(u, i);
        else
            set(i, ProgressState(p));
    }

    void inputsRead(Unit& u, const Channels& now) {
        const qint64 ms = this->now();
        for (int k = 0; k < 16; ++k) {
            if (u.inputs && (*u.inputs)[k] == now[k]) continue;
            if (u.inputs) {
                u.chatter.change(k, ms);
                const int i = u.di[k];
                if (i >= 0 && u.chatter.flagged(k) && !result_.points[i].chattered) {
                    result_.points[i].chattered = true;
                    set(i, PointState::Chattering,
                        QStringLiteral("%1 changes in 1 s").arg(u.chatter.peak(k)));
                }
            }
            seen(u, k, now[k]);
        }
        u.inputs = now;
    }

    void cardRead(Unit& u, int channel) {
        const QByteArray& r = m_.link.LastReply;
        const std::optional<CardFields> f =
            DecodeCardFields(std::string(r.constData(), static_cast<size_t>(r.size())));
        if (!f) return;
        const QString text = QString::fromStdString(PanelTextOf(*f));
        if (f->form != CardFields::Form::Key) pass(u, u.ch[channel - 1], text);
        if (f->form == CardFields::Form::Key ||
            (f->form == CardFields::Form::CardWithKey && !f->keys.empty()))
            pass(u, u.keys, text);
    }

    // Asks the module once; true when it answered.
    bool ask(Unit& u) {
        m_.selectType(u.mod.type);
        m_.ModuleId = TwoDigitText(u.mod.id);
        if (u.mod.type == ModuleType::RQ3016) {
            if (!SendCommand(m_, QStringLiteral("I"))) return missed(u);
            answered(u);
            // A reply without sixteen readable inputs is an answer, never a change.
            if (const std::optional<Channels> inputs = InputsOfReply(m_.link.LastReply))
                inputsRead(u, *inputs);
        } else if (IsWiegand(u.mod.type)) {
            bool any = false;
            if (SendCommand(m_, QStringLiteral("F"))) {
                any = true;
                answered(u);
                cardRead(u, 1);
            }
            if (u.mod.ch2Id > 0 && !stopAsked() &&
                m_.link.Transact(m_.TypePrefix + TwoDigitText(u.mod.ch2Id) + QStringLiteral("F"))) {
                any = true;
                answered(u);
                cardRead(u, 2);
            }
            if (!any) return missed(u);
        } else {
            if (!AskIdentification(m_, m_.ModuleId)) return missed(u);
            answered(u);
        }
        return true;
    }

    void answered(Unit& u) {
        u.missed = 0;
        if (u.silent) {
            u.silent = false;
            for (int i : u.points) set(i, ProgressState(result_.points.at(i)));
        }
        pass(u, u.answers);
    }

    bool missed(Unit& u) {
        if (++u.missed >= hooks_.silentAfter && !u.silent) {
            u.silent = true;
            for (int i : u.points) set(i, PointState::ModuleSilent);
        }
        return false;
    }

    ModuleContext& m_;
    const CheckoutBus& bus_;
    const CheckoutHooks& hooks_;
    CheckoutResult result_;
    QList<Unit> units_;
    qint64 startedAt_ = 0;
    int openLine_ = -1;
    QSet<int> passFiled_;
};

}  // namespace

CheckoutResult RunCheckout(ModuleContext& m, const CheckoutBus& bus, const CheckoutHooks& hooks) {
    return Checkout(m, bus, hooks).run();
}
