#include "support/simexchange.h"

#include "link/frame.h"

namespace simtest {

LineConfig LineOf(const SimModule& m) {
    return m.lineConfig();
}

std::string ExchangeOn(ModuleHost& host, const std::string& text, const LineConfig& line,
                       SimTime at) {
    host.receive(wire::BuildCommandFrame(text), at, line, ModuleHost::LineMatch::Exact);
    std::string out;
    while (const std::optional<SimTime> due = host.nextDue()) {
        out.push_back(static_cast<char>(host.takeDue(*due)));
    }
    return out;
}

std::string Exchange(ModuleHost& host, const std::string& text, SimTime at) {
    return ExchangeOn(host, text, LineOf(host.module()), at);
}

std::string Positions(const std::string& frame, int from, int to) {
    if (from < 1 || to < from || static_cast<size_t>(to) > frame.size()) return {};
    return frame.substr(static_cast<size_t>(from - 1), static_cast<size_t>(to - from + 1));
}

bool Verifies(const std::string& frame) {
    return wire::VerifyReplyBytes(reinterpret_cast<const uint8_t*>(frame.data()),
                                  static_cast<int>(frame.size()));
}

}  // namespace simtest
