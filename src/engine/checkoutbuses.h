#pragma once
// A site checkout of several buses at once, on the survey's bus workers: each bus runs
// RunCheckout in its own thread; the changes of its points and its end reach the runner's
// thread as queued calls, in the order they happened on that bus.

#include <QList>
#include <atomic>
#include <functional>

#include "engine/buses.h"
#include "engine/checkout.h"

struct BusCheckoutHooks {
    std::function<void(int bus, const PointStatus&)> changed;
    std::function<void(int bus, int round, qint64 ms)> roundDone;
    // A bus's run has ended; `failure` says why its port did not open when it did not.
    std::function<void(int bus, const CheckoutResult&, const OpenFailure& failure)> ended;
    const std::atomic<bool>* stop = nullptr;
    // untilDone, the chatter limit, silentAfter and the start time every bus shares.
    CheckoutHooks each;
};

void StartBusCheckout(BusRunner& runner, const QList<CheckoutBus>& buses,
                      const BusCheckoutHooks& hooks);
// The same, running the calling thread's event loop until every bus has ended.
void RunBusCheckout(BusRunner& runner, const QList<CheckoutBus>& buses,
                    const BusCheckoutHooks& hooks);

// Places the expected points on the buses whose survey found their module (by serial number),
// with each module's place; CH #2 entries give their module's CH #2 ID. Points whose module no
// bus found go to `missing`, as "module silent". Without expected points every point of every
// module found is expected.
QList<CheckoutBus> PlaceCheckout(const QList<SurveyResult>& surveys, const QList<int>& portNos,
                                 const QList<CheckoutPoint>& expected, QList<PointStatus>* missing);
