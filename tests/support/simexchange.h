#pragma once
// Helpers for tests that talk to a simulated module without a port: one command in, the reply
// bytes out, and checks on reply positions (counted from 1 at the 0x0A).

#include <string>

#include "link/linesettings.h"
#include "sim/modulehost.h"

namespace simtest {

// The module's own line setting, so that the command is heard.
LineConfig LineOf(const SimModule& m);

// Writes the framed command text to the host at `at` and returns every reply byte that
// becomes due (all of them, however late).
std::string Exchange(ModuleHost& host, const std::string& text, SimTime at = SimClock::now());
// The same on a line of the given configuration.
std::string ExchangeOn(ModuleHost& host, const std::string& text, const LineConfig& line,
                       SimTime at = SimClock::now());

// Characters from position `from` to `to` of a reply frame (1-based, inclusive); empty when
// the frame is shorter.
std::string Positions(const std::string& frame, int from, int to);

bool Verifies(const std::string& frame);

}  // namespace simtest
