#pragma once
// The site checkout: every module of a bus asked in turn, round after round, while the
// technician walks the building and works each point. An RQ-3016 is asked for its inputs with
// the bare "I" (which leaves its outputs as they are), a Wiegand module for the last card or
// key of both channels, any other module whether it answers. Each change of a point goes to the
// hooks as it happens; each pass and each fault also to the context's recorders.
//
// A DI point passes once it has been seen both on and off (the first reading counts); a CH
// point when a card was read there; KEYS when a key input arrived on either channel; ANSWERS
// when the module answered. A DI point that changes more often within a second than the
// chatter limit is chattering: a fault that stays for the rest of the run. A module that
// misses `silentAfter` rounds in a row is silent (its points say so) until it answers again.

#include <QList>
#include <QString>
#include <functional>

#include "engine/chatter.h"
#include "engine/checkoutpoints.h"

class ModuleContext;

enum class PointState { Waiting, SeenOn, SeenOff, Passed, Chattering, ModuleSilent, PortFailed };
// "waiting", "seen on", "seen off", "passed", "chattering", "module silent", "port failed".
QString PointStateName(PointState state);

// Where a module of the checkout answers.
struct CheckoutModule {
    ModuleType type = ModuleType::RQ3016;
    QString serial;
    int id = 1;
    int lineIndex = 5;
    int ch2Id = 0;  // CH #2 of a Wiegand module; 0: not known, not asked
};

struct CheckoutBus {
    int portNo = 1;
    QList<CheckoutModule> modules;
    // The points expected of these modules.
    QList<CheckoutPoint> points;
};

// One point as it is now.
struct PointStatus {
    CheckoutPoint point;
    PointState state = PointState::Waiting;
    bool seenOn = false;
    bool seenOff = false;
    bool passed = false;     // seen working at least once
    bool chattered = false;  // chattering at some moment of the run
    qint64 passedMs = -1;    // since the run started
    qint64 ms = 0;           // of the last change
    QString detail;          // the card read, the changes counted
    // Passed and never chattering: what the run counts as done.
    bool ok() const { return passed && !chattered; }
};

struct CheckoutHooks {
    // Each change of a point's state, in the order they happen.
    std::function<void(const PointStatus&)> changed;
    // Asked before each exchange; true ends the run.
    std::function<bool()> stop;
    // After each round, with its length.
    std::function<void(int round, qint64 ms)> roundDone;
    // Ends the bus's run once every point on it is ok.
    bool untilDone = false;
    int chatterLimit = ChatterDetector::kDefaultLimit;
    int silentAfter = 3;
    // Times count from here (QDateTime::currentMSecsSinceEpoch); 0: from the run's start.
    qint64 startedAtMs = 0;
};

struct CheckoutResult {
    QList<PointStatus> points;
    int rounds = 0;
    bool stopped = false;
    bool portFailed = false;  // the port did not open at the start
    bool done() const;        // every point ok
};

// While it runs, the link looks at the thread's events every 50 ms rather than at every byte
// (a worker's context, whose own pump it sets and clears again).
CheckoutResult RunCheckout(ModuleContext& m, const CheckoutBus& bus,
                           const CheckoutHooks& hooks = {});
