#pragma once
// One simulated field module: its state and its answers to command frames.
//
// handleFrame() takes the text of one checksum-verified command frame (the bytes between 0x09
// and the checksum) and returns the reply text (type prefix, two-digit ID of the answering
// unit, command letter, data), or nothing where a module stays silent: another type prefix,
// another ID, an unknown command, malformed arguments. Framing, timing and faults belong to
// ModuleHost.
//
// Replies that the tool reads carry their data from position 6 of the frame (position 1 is
// the 0x0A); commands that only set something, and "B"/"V" aside, are acknowledged with the
// bare header (an 8-byte frame). Decisions where a module could behave either way:
// - "C" with a serial number that is neither the module's nor (Wiegand) CH #2's is not for
//   this unit: no reply, nothing changes, so the tool never reports a change that did not
//   happen. The acknowledgement carries the ID the command was addressed to.
// - "E" changes the line setting right after the reply has been built: the reply goes out at
//   the old setting, the next command has to come at the new one.
// - A Wiegand module whose CH #2 ID equals its own ID answers as CH #1.
// - CH #2 answers "B" (with its own serial number) and "F" at its ID, nothing else.

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "link/linesettings.h"
#include "link/moduletype.h"
#include "sim/wiring.h"

// A card or key input that "F" reports, in one of the reply forms the tool decodes.
// Reply layout (n = frame length; position 6 carries the channel digit):
//   Card17       n = 17, card (8 characters) at 7..14
//   Card18       n = 18, "C" at 7, card at 8..15
//   Key          "K" at 7, the keys from 8 to n-3 (a key text of 7 characters makes n = 17,
//                which the tool reads as a card; the simulator sends it as it is)
//   CardWithKey  "C" at 7, card at 8..15, "K" at 16, the keys from 17 (n = 19 + keys; 7 keys
//                make n = 26, which the tool reads as the 16-character form)
//   Wide26       n = 26, "C" at 7, 16 characters at 8..23
struct CardEvent {
    enum class Form { Card17, Card18, Key, CardWithKey, Wide26 };
    Form form = Form::Card17;
    std::string card;  // 8 characters; 16 for Wide26
    std::string keys;  // Key and CardWithKey

    static CardEvent Card(std::string hex8, int length = 17);
    static CardEvent KeyInput(std::string keys);
    static CardEvent CardAndKey(std::string hex8, std::string keys);
    static CardEvent Wide(std::string text16);
    // True when the fields fit the form: printable ASCII, the right lengths, keys not empty.
    bool isValid() const;
    // The reply data from position 6 on, for the given channel (1 or 2).
    std::string replyData(int channel) const;
    std::string describe() const;
};

// Where the inputs of the DI/DO module come from.
enum class InputMode {
    FollowOutputs,  // each output wired to its input, as on a test bench
    Fixed,          // the pattern in `inputs`, as set
    Walking,        // one active input that moves on by one at every "I"
};

// A print request of the printer interface: 'G' a text, 'H' printer codes.
struct PrintJob {
    char kind = 'G';
    std::string text;
    bool operator==(const PrintJob& o) const { return kind == o.kind && text == o.text; }
};

class SimModule {
  public:
    // A module with the factory settings of its type and a serial number of its own.
    explicit SimModule(ModuleType type);

    ModuleType type() const { return type_; }
    char prefix() const { return ModuleTypePrefix(type_); }

    // The reply text to one command text heard at `now`, or nothing.
    std::optional<std::string> handleFrame(
        const std::string& text,
        std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now());
    // Bytes that arrived outside any frame; the repeater keeps them.
    void handleRaw(const std::string& bytes);

    // Queues an input for channel 1 or 2 of a Wiegand module. False (nothing queued) for
    // another type, another channel or an event that does not fit its form.
    bool queueEvent(int channel, const CardEvent& event);
    const std::deque<CardEvent>& queue(int channel) const { return queues_[channel == 2 ? 1 : 0]; }

    // The line setting the module listens and answers at.
    LineConfig lineConfig() const;

    // Several lines, one setting each, for the program's "state" command.
    std::string describeState() const;

    // The module's state. Serial numbers and the version are 8 characters; IDs 1..99;
    // line-setting indexes 0..13 (codes "0".."D").
    std::string serial;
    int id = 1;
    int lineIndex = LineSettings::kDefaultIndex;
    std::string version = "01.20-36";

    // RQ-3016
    char diMode = 'H';  // 'H' hold, 'S' normal
    std::string noNc = std::string(16, '0');
    std::string outputs = std::string(16, '0');
    std::string inputs = std::string(16, '0');
    InputMode inputMode = InputMode::FollowOutputs;
    // Faults of the harness between outputs and inputs, on top of the input mode.
    Wiring wiring;

    // RQ-3020, RQ-3030, RQ-3040
    char status = 'O';
    std::vector<PrintJob> printed;     // RQ-3020, oldest first
    std::vector<std::string> records;  // RQ-3030 data records, oldest first

    // RQ-3030, RQ-3040: the module's own port
    int portLineIndex = 2;
    int runMode = 0;          // RQ-3030
    int txOnDelay = 15;       // RQ-3040, 1..255 (x 0.1 ms)
    int txOffDelay = 10;      // RQ-3040
    std::string rawReceived;  // RQ-3040: bytes outside frames, the newest kept

    // RQ-3050S, RQ-3050K
    int ch2Id = 5;
    std::string ch2Serial;
    int interfaceDigit = 1;  // 0..3: "RS485 24", "RS485 32", "RS485 40", "RS485 64"
    int keyNumber = 4;       // RQ-3050K, 0..16

    // Upper bounds of what the module keeps, so a long session cannot grow without limit.
    static constexpr size_t kMaxKept = 10000;
    static constexpr size_t kMaxRawKept = 65536;

  private:
    std::optional<std::string> handleOwn(char letter, const std::string& args);
    std::optional<std::string> handleType(char letter, const std::string& args);
    std::string header(int unitId, char letter) const;
    std::string replyFromQueue(int channel, int unitId);
    std::string currentInputs();

    ModuleType type_;
    std::chrono::steady_clock::time_point now_;
    std::deque<CardEvent> queues_[2];
    int walkStep_ = 0;
};
