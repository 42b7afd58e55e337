#include "sim/wiring.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {

// A whole decimal number from lo to hi.
bool Number(const std::string& text, int lo, int hi, int* value) {
    if (text.empty() || text.size() > 3 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const int v = std::atoi(text.c_str());
    if (v < lo || v > hi) return false;
    *value = v;
    return true;
}

std::string Hz(double hz) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", hz);
    return buf;
}

}  // namespace

std::string Wiring::apply(const std::string& wired,
                          std::chrono::steady_clock::time_point now) const {
    std::string in = wired;
    in.resize(16, '0');
    for (const Fault& f : faults) {
        const size_t k = static_cast<size_t>(f.input - 1);
        switch (f.kind) {
            case Fault::Kind::Open:
                in.assign(16, '0');
                break;
            case Fault::Kind::StuckOn:
                in[k] = '1';
                break;
            case Fault::Kind::StuckOff:
                in[k] = '0';
                break;
            case Fault::Kind::Cross:
                in[k] = wired.size() == 16 ? wired[static_cast<size_t>(f.output - 1)] : '0';
                break;
            case Fault::Kind::Chatter: {
                // On for the first half of every period of 1/hz seconds.
                const double s = std::chrono::duration<double>(now.time_since_epoch()).count();
                const long long halves = static_cast<long long>(s * f.hz * 2.0);
                in[k] = (halves % 2 == 0) ? '1' : '0';
                break;
            }
        }
    }
    return in;
}

std::string Wiring::describe() const {
    if (faults.empty()) return "none";
    std::string s;
    for (const Fault& f : faults) {
        if (!s.empty()) s += ",";
        switch (f.kind) {
            case Fault::Kind::Open:
                s += "open";
                break;
            case Fault::Kind::StuckOn:
                s += "stuck-on:" + std::to_string(f.input);
                break;
            case Fault::Kind::StuckOff:
                s += "stuck-off:" + std::to_string(f.input);
                break;
            case Fault::Kind::Cross:
                s += "cross:" + std::to_string(f.input) + "=" + std::to_string(f.output);
                break;
            case Fault::Kind::Chatter:
                s += "chatter:" + std::to_string(f.input) + ":" + Hz(f.hz);
                break;
        }
    }
    return s;
}

std::optional<Wiring> ParseWiring(const std::string& list, std::string* error) {
    Wiring w;
    if (list == "none") return w;
    auto fail = [error](const std::string& part, const std::string& why) -> std::optional<Wiring> {
        if (error) *error = "\"" + part + "\": " + why;
        return std::nullopt;
    };
    std::istringstream in(list);
    std::string part;
    bool any = false;
    while (std::getline(in, part, ',')) {
        any = true;
        Wiring::Fault f;
        using Kind = Wiring::Fault::Kind;
        const size_t colon = part.find(':');
        const std::string name = part.substr(0, colon);
        const std::string rest =
            colon == std::string::npos ? std::string() : part.substr(colon + 1);
        if (name == "open") {
            if (colon != std::string::npos) return fail(part, "open takes no input");
            f.kind = Kind::Open;
        } else if (name == "stuck-on" || name == "stuck-off") {
            f.kind = name == "stuck-on" ? Kind::StuckOn : Kind::StuckOff;
            if (!Number(rest, 1, 16, &f.input)) return fail(part, name + ":K with K from 1 to 16");
        } else if (name == "cross") {
            f.kind = Kind::Cross;
            const size_t eq = rest.find('=');
            if (eq == std::string::npos || !Number(rest.substr(0, eq), 1, 16, &f.input) ||
                !Number(rest.substr(eq + 1), 1, 16, &f.output))
                return fail(part, "cross:K=J with input K and output J from 1 to 16");
        } else if (name == "chatter") {
            f.kind = Kind::Chatter;
            const size_t second = rest.find(':');
            char* end = nullptr;
            const std::string hz =
                second == std::string::npos ? std::string() : rest.substr(second + 1);
            f.hz = std::strtod(hz.c_str(), &end);
            if (second == std::string::npos || !Number(rest.substr(0, second), 1, 16, &f.input) ||
                hz.empty() || *end != '\0' || !(f.hz > 0 && f.hz <= 100))
                return fail(part, "chatter:K:HZ with K from 1 to 16 and HZ above 0, at most 100");
        } else {
            return fail(part, "stuck-on:K, stuck-off:K, cross:K=J, chatter:K:HZ or open");
        }
        w.faults.push_back(f);
    }
    if (!any || (!list.empty() && list.back() == ','))
        return fail(list, "a comma-separated list of faults, or none");
    return w;
}

std::string WiringHelp(const std::string& lead) {
    return lead + "stuck-on:K     input K always on\n" + lead +
           "stuck-off:K    input K always off\n" + lead +
           "cross:K=J      input K follows output J instead of output K\n" + lead +
           "chatter:K:HZ   input K goes on and off HZ times a second, whatever else\n" + lead +
           "open           every input off (the harness unplugged)\n";
}
