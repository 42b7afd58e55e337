#pragma once
// Faults of a loopback harness between the DI/DO module's outputs and its inputs, for the I/O
// check: an input stuck on or off, an input wired to another output, a chattering input, or
// the harness unplugged. Written as a comma-separated list:
//   stuck-on:K     input K always on           stuck-off:K    input K always off
//   cross:K=J      input K follows output J    chatter:K:HZ   input K goes on and off HZ
//   open           every input off                            times a second, whatever else
// The faults apply in the order written, on the inputs that the input mode gives (the
// outputs, when the inputs follow them).

#include <chrono>
#include <optional>
#include <string>
#include <vector>

struct Wiring {
    struct Fault {
        enum class Kind { StuckOn, StuckOff, Cross, Chatter, Open };
        Kind kind = Kind::Open;
        int input = 0;   // 1..16; 0 for Open
        int output = 0;  // Cross: 1..16
        double hz = 0;   // Chatter: 0 < hz <= 100
    };
    std::vector<Fault> faults;

    bool empty() const { return faults.empty(); }
    // The 16 inputs after the faults; `wired` is what reaches them through a sound harness.
    std::string apply(const std::string& wired, std::chrono::steady_clock::time_point now) const;
    // The list as it is written, or "none".
    std::string describe() const;
};

// The list ("none" for no faults); nothing, with the reason, when a part does not parse.
std::optional<Wiring> ParseWiring(const std::string& list, std::string* error);
// Lines describing the list, for --help and "help".
std::string WiringHelp(const std::string& lead);
