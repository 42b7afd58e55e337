#pragma once
// The quillon-sim program: its options, its event schedule and its main loop. main() only
// installs the signal handlers and calls RunSim().

#include <csignal>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "sim/modulehost.h"

// A console command run once at atMs after the start, and then every everyMs when that is
// above 0.
struct ScheduledCommand {
    long long atMs = 0;
    long long everyMs = 0;
    std::string command;
};

struct SimOptions {
    ModuleType type = ModuleType::RQ3016;
    int id = 1;
    std::string serial;  // empty: the type's default
    int lineIndex = LineSettings::kDefaultIndex;
    std::string version = "01.20-36";
    int ch2Id = 5;
    std::string ch2Serial;  // empty: the type's default
    char status = 'O';
    bool pty = true;
    std::string linkPath;
    std::string devicePath;
    FaultConfig faults;
    bool pace = false;
    int replyDelayMs = 5;
    uint32_t seed = 1;
    std::vector<ScheduledCommand> schedule;
    bool logFrames = true;
    // --wiring: faults of the DI/DO module's harness.
    Wiring wiring;
    // --module: the modules of a bus, in their order; empty for the one module above.
    std::vector<SimModule> busModules;

    // The module and its host as the options describe them (the first of a bus).
    SimModule makeModule() const;
};

enum class ParseOutcome { Run, Help, Error };

// Arguments without the program name. "--name value" and "--name=value" both work.
ParseOutcome ParseSimOptions(const std::vector<std::string>& args, SimOptions* options,
                             std::string* error);
std::string SimUsage();

// One --module value, "TYPE:ID[:SERIAL[:LINE]]"; `ordinal` (1, 2, ...) makes the default
// serial numbers of a bus differ. Nothing, with *error set, when it does not parse.
std::optional<SimModule> ParseBusModule(const std::string& text, int ordinal, std::string* error);

// An event file: one command a line, "AT_MS COMMAND" or "every MS COMMAND"; "#" comments.
bool ParseEventFile(const std::string& text, std::vector<ScheduledCommand>* out,
                    std::string* error);

// Runs until "quit", the end of an interactive standard input, or *stop becomes non-zero.
// Returns the exit status.
int RunSim(const SimOptions& options, const volatile std::sig_atomic_t* stop, std::FILE* out,
           std::FILE* err);
