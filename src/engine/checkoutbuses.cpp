#include "engine/checkoutbuses.h"

#include <QDateTime>
#include <QEventLoop>
#include <QSet>

#include "engine/modulecontext.h"

void StartBusCheckout(BusRunner& runner, const QList<CheckoutBus>& buses,
                      const BusCheckoutHooks& hooks) {
    BusCheckoutHooks shared = hooks;
    // Every bus counts its times from one moment.
    if (shared.each.startedAtMs <= 0) shared.each.startedAtMs = QDateTime::currentMSecsSinceEpoch();
    runner.start([&runner, buses, shared](ModuleContext& m, int bus) {
        OpenFailure failure;
        QObject::connect(&m.link, &Link::portOpenResult, &m.link,
                         [&failure](int, const OpenFailure& f) {
                             if (f.reason != OpenFailure::Reason::None) failure = f;
                         });
        CheckoutHooks h = shared.each;
        if (shared.stop) h.stop = [stop = shared.stop] { return stop->load(); };
        if (shared.changed)
            h.changed = [&runner, bus, shared](const PointStatus& p) {
                runner.post([bus, p, shared] { shared.changed(bus, p); });
            };
        if (shared.roundDone)
            h.roundDone = [&runner, bus, shared](int round, qint64 ms) {
                runner.post([bus, round, ms, shared] { shared.roundDone(bus, round, ms); });
            };
        const CheckoutResult result = RunCheckout(m, buses.value(bus), h);
        if (shared.ended) {
            const OpenFailure why = result.portFailed ? failure : OpenFailure{};
            runner.post([bus, result, why, shared] { shared.ended(bus, result, why); });
        }
    });
}

void RunBusCheckout(BusRunner& runner, const QList<CheckoutBus>& buses,
                    const BusCheckoutHooks& hooks) {
    QEventLoop loop;
    QObject::connect(&runner, &BusRunner::finished, &loop, &QEventLoop::quit);
    StartBusCheckout(runner, buses, hooks);
    if (runner.running()) loop.exec();
}

QList<CheckoutBus> PlaceCheckout(const QList<SurveyResult>& surveys, const QList<int>& portNos,
                                 const QList<CheckoutPoint>& expected,
                                 QList<PointStatus>* missing) {
    QList<CheckoutBus> buses;
    QList<SurveyModule> all;
    for (const SurveyResult& s : surveys) all << s.modules;
    const QList<CheckoutPoint> points = expected.isEmpty() ? PointsOfModules(all) : expected;
    QSet<QString> placed;
    for (int b = 0; b < surveys.size(); ++b) {
        CheckoutBus bus;
        bus.portNo = portNos.value(b, 1);
        for (const SurveyModule& s : surveys.at(b).modules) {
            if (s.isCh2() || placed.contains(s.serial)) continue;
            bool wanted = false;
            for (const CheckoutPoint& p : points)
                if (p.serial == s.serial && p.type == s.type) wanted = true;
            if (!wanted) continue;
            placed.insert(s.serial);
            CheckoutModule mod;
            mod.type = s.type;
            mod.serial = s.serial;
            mod.id = s.id;
            mod.lineIndex = s.lineIndex;
            if (IsWiegand(s.type)) {
                mod.ch2Id = s.settings.wiegand.ch2Id.value_or(0);
                // CH #2 found at its own ID says where it answers, read-back or not.
                for (const SurveyModule& c : surveys.at(b).modules)
                    if (c.isCh2() && c.ch2Of == s.serial) mod.ch2Id = c.id;
            }
            bus.modules << mod;
            for (const CheckoutPoint& p : points)
                if (p.serial == s.serial) bus.points << p;
        }
        buses << bus;
    }
    if (missing) {
        for (const CheckoutPoint& p : points) {
            if (placed.contains(p.serial)) continue;
            PointStatus st;
            st.point = p;
            st.state = PointState::ModuleSilent;
            missing->append(st);
        }
    }
    return buses;
}
