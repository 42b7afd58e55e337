#pragma once
// The small command language of quillon-sim, typed on its standard input or listed in an
// event file: queue card and key inputs, set inputs and status characters, change settings
// and faults, print the state. "module SERIAL ..." addresses one module of a bus by its serial
// number; without it a command is for the bus's first module. help() lists every command.

#include <cstdint>
#include <string>
#include <vector>

#include "sim/modulehost.h"

class SimConsole {
  public:
    struct Result {
        bool ok = true;      // false: the line was not understood or did not fit the module
        bool quit = false;   // "quit"
        std::string output;  // what to show, may be several lines, each ending in "\n"
    };

    explicit SimConsole(ModuleHost& host) : host_(host) {}

    Result run(const std::string& line);
    static std::string help();

  private:
    Result runOn(SimModule& m, const std::vector<std::string>& words);
    ModuleHost& host_;
    uint32_t nextCard_ = 0x00027CBB;  // "card CH next" counts up from here
};

// Sets one fault by the name used on the command line ("drop", "delay", "wrong-checksum",
// ...; see FaultHelp()). Switches ("wrong-checksum", "lower-checksum") take no value or
// "on"/"off". False with a reason for an unknown name or a bad value.
bool ApplyFault(FaultConfig& faults, const std::string& name, const std::string& value,
                std::string* error);
bool IsFaultSwitch(const std::string& name);
bool IsFaultName(const std::string& name);
// Lines describing the faults, for --help and "help".
std::string FaultHelp(const std::string& lead);

// A decimal number in [lo, hi], the whole text; false otherwise.
bool ParseInt(const std::string& text, long long lo, long long hi, long long* value);
// A line-setting code "0".."D" or one of the fourteen texts such as "19200,e,8,1"; -1 if none.
int ParseLineIndex(const std::string& text);
