#pragma once
// The DI/DO module: its settings (DI mode and the NO/NC flags of the 16 inputs), their
// read-back, the operations that set them, the continuous DI/DO test and its factory steps.

#include <QString>
#include <array>
#include <bitset>
#include <functional>
#include <optional>
#include <vector>

#include "engine/continuous.h"
#include "engine/operation.h"

struct FactoryStep;

// 'H' (hold) and 'S' (normal), the first and second entries of the page's list.
enum class DiMode { Hold, Normal };

// Bit k-1 stands for channel k.
using Channels = std::bitset<16>;

// What a read-back found; a query that was not answered leaves its part empty.
struct DidoSettings {
    std::optional<DiMode> mode;
    std::optional<Channels> normallyClosed;
};

// "1" or "0" for channels 1..16, channel 1 first.
QString ChannelText(const Channels& channels);
// The inverse of ChannelText: 16 characters of "0" or "1"; nothing for any other text.
std::optional<Channels> ChannelsOfText(const QString& text);
// The 16 characters from position `from` of a reply: "1" sets the channel.
Channels ChannelsAt(const QByteArray& reply, int from);

// The 16 input states of a reply to "I": a 24-byte frame whose positions 6 to 21 are all "0"
// or "1". Nothing for any other reply, so that no input is read from a garbled one.
std::optional<Channels> InputsOfReply(const QByteArray& reply);
// Adds the inputs that differ between `last` and `now` to `counts`; `last` becomes `now`.
void CountChanges(std::array<int, 16>& counts, std::optional<Channels>& last, const Channels& now);

// "G" then "A"; false when either is not answered.
bool ReadDidoSettings(ModuleContext& m, DidoSettings& out);

Outcome SetDiMode(ModuleContext& m, DiMode mode);
Outcome SetNoNc(ModuleContext& m, const Channels& normallyClosed);

// One exchange of the DI/DO test, as a timeline records it.
struct DidoCycle {
    qint64 ms = 0;                   // since the test started, when the exchange ended
    Channels outputs;                // as sent
    bool answered = false;           // a verified reply
    std::optional<Channels> inputs;  // the inputs of a readable reply (InputsOfReply)
};

// About 20 times a second: "I" with the outputs as `outputs` gives them at the moment of
// sending; a 24-byte reply hands its 16 input states to `inputs` ("1" sets an input, any
// other character clears it) and every exchange goes to `cycled`. The summary (cycles,
// failures, changes of each input between readable replies) goes to the observers at the end.
ContinuousEnd RunDidoTest(ModuleContext& m, const std::function<Channels()>& outputs,
                          const std::function<void(const Channels&)>& inputs,
                          const std::function<bool()>& stopRequested,
                          const std::function<void(const DidoCycle&)>& cycled = {});

std::vector<FactoryStep> DidoFactorySteps();
