#pragma once
// The DI/DO module: its settings (DI mode and the NO/NC flags of the 16 inputs), their
// read-back, the operations that set them, the continuous DI/DO test and its factory steps.

#include <QString>
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

// "G" then "A"; false when either is not answered.
bool ReadDidoSettings(ModuleContext& m, DidoSettings& out);

Outcome SetDiMode(ModuleContext& m, DiMode mode);
Outcome SetNoNc(ModuleContext& m, const Channels& normallyClosed);

// About 20 times a second: "I" with the outputs as `outputs` gives them at the moment of
// sending; a 24-byte reply hands its 16 input states to `inputs`.
ContinuousEnd RunDidoTest(ModuleContext& m, const std::function<Channels()>& outputs,
                          const std::function<void(const Channels&)>& inputs,
                          const std::function<bool()>& stopRequested);

std::vector<FactoryStep> DidoFactorySteps();
