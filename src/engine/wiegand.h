#pragma once
// The Wiegand interfaces (RQ-3050S, and RQ-3050K with a key number): CH #2's ID and serial
// number, the interface and the key number, their read-back and the operations that set them,
// the card read test of both channels and the factory steps.

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

#include "engine/continuous.h"
#include "engine/operation.h"

struct CardRead;
struct FactoryStep;

// What a read-back found; a query that was not answered leaves its part empty.
struct WiegandSettings {
    std::optional<int> ch2Id;
    std::optional<QString> ch2Serial;
    std::optional<int> interface;  // the digit the module reports (0..3 are listed)
    std::optional<int> keyNumber;  // RQ-3050K only
};

// The names of interfaces 0..3, as the page's list shows them: "RS485 24" ... "RS485 64".
const QStringList& InterfaceNames();

// "N", "A" and, with a key number, "L"; false when one is not answered or not decimal.
bool ReadWiegandSettings(ModuleContext& m, bool keyNumber, WiegandSettings& out);

// CH #2 takes ID `id`, addressed by its serial number, which "N" asks for anew in every try.
Outcome SetCh2Id(ModuleContext& m, int id);
// Interface 0..3 ("A00" + digit); any other index sends nothing.
Outcome SetInterface(ModuleContext& m, int index);
Outcome SetKeyNumber(ModuleContext& m, int keyNumber);

// Polls CH #1 at the module's ID and CH #2 at the ID `ch2Id` gives at each cycle, in turn,
// 30 ms apart; each reply that carries a card or key hands the panel text to `shown` with its
// channel (1 or 2), and its parts with the time to `read`. Only CH #2 failures count towards
// the limit. The summary (every card and key, the count per channel) goes to the observers at
// the end.
ContinuousEnd RunCardTest(ModuleContext& m, const std::function<int()>& ch2Id,
                          const std::function<void(int channel, const QString& text)>& shown,
                          const std::function<bool()>& stopRequested,
                          const std::function<void(const CardRead&)>& read = {});

std::vector<FactoryStep> WiegandFactorySteps(bool keyNumber);
