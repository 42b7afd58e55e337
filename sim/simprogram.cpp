#include "sim/simprogram.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <fstream>
#include <sstream>

#include "link/frame.h"
#include "sim/console.h"
#include "sim/lineendpoint.h"

namespace {

bool IsPrintable(const std::string& s) {
    for (const char c : s) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) {
            return false;
        }
    }
    return true;
}

// Printable form of traffic for the log; very long frames are shortened.
std::string Render(const std::string& bytes) {
    constexpr size_t kShown = 120;
    if (bytes.size() <= kShown) return wire::RenderBytes(bytes);
    return wire::RenderBytes(bytes.substr(0, kShown)) + "... (" + std::to_string(bytes.size()) +
           " bytes)";
}

std::string Timestamp() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t t = system_clock::to_time_t(now);
    std::tm tm{};
    localtime_r(&t, &tm);
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", tm.tm_hour, tm.tm_min, tm.tm_sec,
                  static_cast<int>(ms));
    return buf;
}

}  // namespace

SimModule SimOptions::makeModule() const {
    if (!busModules.empty()) {
        SimModule first = busModules.front();
        first.wiring = wiring;
        return first;
    }
    SimModule m(type);
    m.id = id;
    if (!serial.empty()) m.serial = serial;
    m.lineIndex = lineIndex;
    m.version = version;
    m.ch2Id = ch2Id;
    if (!ch2Serial.empty()) m.ch2Serial = ch2Serial;
    m.status = status;
    m.wiring = wiring;
    return m;
}

std::optional<SimModule> ParseBusModule(const std::string& text, int ordinal, std::string* error) {
    auto fail = [error, &text](const std::string& why) -> std::optional<SimModule> {
        if (error) *error = "--module " + text + ": " + why;
        return std::nullopt;
    };
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, ':')) parts.push_back(part);
    if (!text.empty() && text.back() == ':') parts.push_back(std::string());
    if (parts.size() < 2 || parts.size() > 4) return fail("TYPE:ID[:SERIAL[:LINE]]");
    const std::optional<ModuleType> t = ParseModuleType(parts[0]);
    if (!t) return fail("unknown module type \"" + parts[0] + "\"");
    long long id = 0;
    if (!ParseInt(parts[1], 1, 99, &id)) return fail("an ID from 1 to 99");
    SimModule m(*t);
    m.id = static_cast<int>(id);
    // Modules of one type would otherwise share their default serial numbers.
    char tail[8];
    std::snprintf(tail, sizeof tail, "%02d%02d", m.id, ordinal % 100);
    m.serial = m.serial.substr(0, 4) + tail;
    if (IsWiegand(*t)) m.ch2Serial = m.ch2Serial.substr(0, 2) + "9" + m.serial.substr(3);
    if (parts.size() > 2 && !parts[2].empty()) {
        if (parts[2].size() != 8 || !IsPrintable(parts[2])) {
            return fail("a serial number of 8 printable characters");
        }
        m.serial = parts[2];
    }
    if (parts.size() > 3) {
        const int index = ParseLineIndex(parts[3]);
        if (index < 0) return fail("a line setting code 0..D");
        m.lineIndex = index;
    }
    return m;
}

std::string SimUsage() {
    return "Usage: quillon-sim [options]\n"
           "Simulates one field module of the Quillon family on a new pseudo-terminal (the\n"
           "default) or on a serial device, for the tool or other host software to talk to.\n"
           "\n"
           "Module:\n"
           "  --type TYPE            RQ-3016 (default), RQ-3020, RQ-3030, RQ-3040, RQ-3050S,\n"
           "                         RQ-3050K (also written 3016, rq3050k, ...)\n"
           "  --id N                 the module's ID, 1..99 (default 1)\n"
           "  --serial S             serial number, 8 characters (default by type)\n"
           "  --line L               line setting: a code 0..D or a text such as 19200,e,8,1\n"
           "                         (default 5 = 19200,e,8,1)\n"
           "  --version-text T       firmware version, 8 characters (default 01.20-36)\n"
           "  --ch2-id N             Wiegand: CH #2 ID, 1..99 (default 5)\n"
           "  --ch2-serial S         Wiegand: CH #2 serial number, 8 characters\n"
           "  --status C             printer, controller link, repeater: status character\n"
           "  --module TYPE:ID[:SERIAL[:LINE]]\n"
           "                         a module on a bus (repeatable, instead of --type, --id,\n"
           "                         --serial and --line): every module answers its ID and\n"
           "                         ID 00 at its own line setting (code 0..D); replies of\n"
           "                         several modules to one frame collide. Console commands\n"
           "                         address the first module\n"
           "\n"
           "Line:\n"
           "  --pty                  open a pseudo-terminal and print its path (default); the\n"
           "                         module answers only when the tool sets its baud rate\n"
           "  --link PATH            also place a symbolic link to it at PATH\n"
           "  --device PATH          run on a real serial device at the module's line setting\n"
           "  --reply-delay MS       the module's time to answer (default 5)\n"
           "  --pace                 send reply bytes at the line's real rate (10 bits a byte,\n"
           "                         11 with parity)\n"
           "\n"
           "Wiring (RQ-3016): --wiring LIST, faults of a loopback harness between outputs and\n"
           "inputs, comma-separated, on top of the input mode (the inputs follow the outputs):\n" +
           WiringHelp("  ") +
           "\n"
           "Faults (random choices repeat under one --seed):\n" +
           FaultHelp("  --") +
           "  --seed N               seed of the fault generator (default 1)\n"
           "\n"
           "Events:\n"
           "  --card-every MS        Wiegand: a new card on CH #1 every MS milliseconds\n"
           "  --events FILE          commands to run at given times, one a line:\n"
           "                         \"MS COMMAND\" once, \"every MS COMMAND\" repeatedly\n"
           "                         (e.g. \"500 card 1 00027CBB\", \"every 2000 key 2 12\");\n"
           "                         on a bus, \"1500 module 50000003 card 1 00027CBB\"\n"
           "                         names the module by its serial number\n"
           "  --quiet                no log of frames\n"
           "  --help                 this text\n"
           "\n"
           "Output: the first line reads \"pty: PATH\" (or \"device: PATH\"); then one line\n"
           "per frame, with a time stamp: RX for what the module heard, TX for what it sent,\n"
           "in traffic notation ([09] for byte 0x09 and so on).\n"
           "\n" +
           SimConsole::help() +
           "\n"
           "Standard input takes these commands while the simulator runs; the end of an\n"
           "interactive input ends it, the end of a redirected one does not. SIGINT and\n"
           "SIGTERM end it cleanly (the link is removed).\n";
}

bool ParseEventFile(const std::string& text, std::vector<ScheduledCommand>* out,
                    std::string* error) {
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        std::istringstream words(line);
        std::string first;
        if (!(words >> first) || first[0] == '#') continue;
        ScheduledCommand c;
        long long ms = 0;
        std::string when = first;
        const bool every = first == "every";
        if (every && !(words >> when)) when.clear();
        if (!ParseInt(when, every ? 1 : 0, 86400000LL, &ms)) {
            if (error) *error = "line " + std::to_string(number) + ": expected MS or every MS";
            return false;
        }
        c.atMs = ms;
        c.everyMs = every ? ms : 0;
        std::getline(words >> std::ws, c.command);
        if (c.command.empty()) {
            if (error) *error = "line " + std::to_string(number) + ": no command";
            return false;
        }
        out->push_back(c);
    }
    return true;
}

ParseOutcome ParseSimOptions(const std::vector<std::string>& args, SimOptions* o,
                             std::string* error) {
    auto fail = [error](const std::string& why) {
        if (error) *error = why;
        return ParseOutcome::Error;
    };
    long long cardEvery = 0;
    bool ptyAsked = false;
    bool singleModule = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool hasValue = false;
        if (name.rfind("--", 0) != 0) return fail("unexpected argument \"" + name + "\"");
        name.erase(0, 2);
        if (const size_t eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.erase(eq);
            hasValue = true;
        }
        const bool isSwitch = name == "help" || name == "pty" || name == "pace" ||
                              name == "quiet" || IsFaultSwitch(name);
        if (!isSwitch && !hasValue) {
            if (i + 1 >= args.size()) return fail("--" + name + " needs a value");
            value = args[++i];
        }
        long long n = 0;
        if (name == "help") return ParseOutcome::Help;
        if (name == "type" || name == "id" || name == "serial" || name == "line") {
            singleModule = true;
        }
        if (name == "module") {
            std::string why;
            const std::optional<SimModule> m =
                ParseBusModule(value, static_cast<int>(o->busModules.size()) + 1, &why);
            if (!m) return fail(why);
            o->busModules.push_back(*m);
        } else if (name == "type") {
            const std::optional<ModuleType> t = ParseModuleType(value);
            if (!t) return fail("--type: unknown module type \"" + value + "\"");
            o->type = *t;
        } else if (name == "id" || name == "ch2-id") {
            if (!ParseInt(value, 1, 99, &n)) return fail("--" + name + ": an ID from 1 to 99");
            (name == "id" ? o->id : o->ch2Id) = static_cast<int>(n);
        } else if (name == "serial" || name == "ch2-serial" || name == "version-text") {
            if (value.size() != 8 || !IsPrintable(value)) {
                return fail("--" + name + ": 8 printable characters");
            }
            (name == "serial"       ? o->serial
             : name == "ch2-serial" ? o->ch2Serial
                                    : o->version) = value;
        } else if (name == "line") {
            const int index = ParseLineIndex(value);
            if (index < 0) return fail("--line: a code 0..D or a text such as 19200,e,8,1");
            o->lineIndex = index;
        } else if (name == "status") {
            if (value.size() != 1 || !IsPrintable(value)) return fail("--status: one character");
            o->status = value[0];
        } else if (name == "pty") {
            ptyAsked = true;
        } else if (name == "link") {
            if (value.empty()) return fail("--link: a path");
            o->linkPath = value;
        } else if (name == "device") {
            if (value.empty()) return fail("--device: a path");
            o->devicePath = value;
        } else if (name == "reply-delay") {
            if (!ParseInt(value, 0, 600000, &n)) return fail("--reply-delay: milliseconds");
            o->replyDelayMs = static_cast<int>(n);
        } else if (name == "pace") {
            o->pace = true;
        } else if (name == "quiet") {
            o->logFrames = false;
        } else if (name == "seed") {
            if (!ParseInt(value, 0, 4294967295LL, &n)) return fail("--seed: 0 to 4294967295");
            o->seed = static_cast<uint32_t>(n);
        } else if (name == "card-every") {
            if (!ParseInt(value, 1, 86400000LL, &cardEvery)) {
                return fail("--card-every: milliseconds above 0");
            }
        } else if (name == "events") {
            std::ifstream in(value);
            if (!in) return fail("--events: cannot read " + value);
            std::stringstream text;
            text << in.rdbuf();
            std::string why;
            if (!ParseEventFile(text.str(), &o->schedule, &why)) {
                return fail("--events " + value + ": " + why);
            }
        } else if (name == "wiring") {
            std::string why;
            const std::optional<Wiring> wiring = ParseWiring(value, &why);
            if (!wiring) return fail("--wiring: " + why);
            o->wiring = *wiring;
        } else if (IsFaultName(name)) {
            std::string why;
            if (!ApplyFault(o->faults, name, value, &why)) return fail("--" + why);
        } else {
            return fail("unknown option --" + name + " (see --help)");
        }
    }
    if (!o->devicePath.empty() && ptyAsked) return fail("--pty and --device exclude each other");
    if (!o->devicePath.empty() && !o->linkPath.empty()) {
        return fail("--link goes with --pty, not with --device");
    }
    o->pty = o->devicePath.empty();
    if (singleModule && !o->busModules.empty()) {
        return fail("--module replaces --type, --id, --serial and --line");
    }
    if (!o->busModules.empty()) o->type = o->busModules.front().type();
    if (!o->wiring.empty() && o->type != ModuleType::RQ3016)
        return fail("--wiring: only the DI/DO module (RQ-3016) has inputs");
    if (cardEvery > 0) {
        if (!IsWiegand(o->type)) return fail("--card-every: only the Wiegand modules read cards");
        o->schedule.push_back({cardEvery, cardEvery, "card 1 next"});
    }
    return ParseOutcome::Run;
}

int RunSim(const SimOptions& options, const volatile std::sig_atomic_t* stop, std::FILE* out,
           std::FILE* err) {
    ModuleHost host(options.makeModule(), options.seed);
    for (size_t i = 1; i < options.busModules.size(); ++i) host.addModule(options.busModules[i]);
    host.faults() = options.faults;
    host.setBaseDelayMs(options.replyDelayMs);
    host.setPacing(options.pace);
    SimConsole console(host);

    auto log = [&](const char* dir, const std::string& text) {
        std::fprintf(out, "%s %s %s\n", Timestamp().c_str(), dir, text.c_str());
        std::fflush(out);
    };
    if (options.logFrames) {
        host.onEvent = [&](const ModuleHost::Event& e) {
            using K = ModuleHost::Event::Kind;
            switch (e.kind) {
                case K::Received:
                    log("RX", Render(e.bytes));
                    break;
                case K::BadChecksum:
                    log("RX", Render(e.bytes) + "  (bad checksum, ignored)");
                    break;
                case K::Raw:
                    log("RX", Render(e.bytes) + "  (outside frames)");
                    break;
                case K::Overlong:
                    log("RX", Render(e.bytes) + "  (too long, dropped)");
                    break;
                case K::Cut:
                    log("RX", Render(e.bytes) + "  (cut off by a new frame)");
                    break;
                case K::Garbled:
                    log("RX", Render(e.bytes) + "  (at another line setting, not understood)");
                    break;
                case K::Unanswered:
                    log("--", "no reply");
                    break;
                case K::Dropped:
                    log("--", "reply withheld by a fault: " + Render(e.bytes));
                    break;
                case K::Silenced:
                    log("--", "fallen silent (fault): ignored");
                    break;
                case K::Collided:
                    log("--", "replies of several modules collided");
                    break;
                case K::Scheduled:
                    break;
            }
        };
    }

    LineEndpoint line(host);
    std::string error;
    if (options.pty) {
        if (!line.openPty(&error)) {
            std::fprintf(err, "quillon-sim: %s\n", error.c_str());
            return 1;
        }
        std::fprintf(out, "pty: %s\n", line.slavePath().c_str());
        if (!options.linkPath.empty()) {
            if (!line.placeLink(options.linkPath, &error)) {
                std::fprintf(err, "quillon-sim: %s\n", error.c_str());
                return 1;
            }
            std::fprintf(out, "link: %s\n", options.linkPath.c_str());
        }
    } else {
        if (!line.openDevice(options.devicePath, &error)) {
            std::fprintf(err, "quillon-sim: %s\n", error.c_str());
            return 1;
        }
        std::fprintf(out, "device: %s\n", options.devicePath.c_str());
    }
    for (size_t i = 0; i < host.moduleCount(); ++i) {
        const SimModule& m = host.module(i);
        std::fprintf(out, "%s ID %02d serial %s at %s%s\n", ModuleTypeName(m.type()).c_str(), m.id,
                     m.serial.c_str(), LineSettings::text(m.lineIndex).toStdString().c_str(),
                     options.pty ? " (the tool's baud rate must match; ptys carry no parity)" : "");
    }
    std::fflush(out);
    if (options.logFrames) {
        line.onSent = [&](const std::string& bytes) { log("TX", Render(bytes)); };
        line.onHangUp = [&] { log("--", "the tool closed the port"); };
    }

    // Standard input: commands, read without blocking the line.
    int inFd = STDIN_FILENO;
    const bool interactive = isatty(inFd) == 1;
    if (fcntl(inFd, F_GETFL) < 0) inFd = -1;
    if (inFd >= 0) fcntl(inFd, F_SETFL, fcntl(inFd, F_GETFL) | O_NONBLOCK);
    std::string pending;

    using Ms = std::chrono::milliseconds;
    const SimTime start = SimClock::now();
    std::vector<SimTime> next;
    for (const ScheduledCommand& c : options.schedule) next.push_back(start + Ms(c.atMs));

    auto runCommand = [&](const std::string& text, bool fromSchedule) {
        const SimConsole::Result r = console.run(text);
        if (!r.output.empty()) {
            std::string shown = r.output;
            if (fromSchedule) shown = "[" + text + "] " + shown;
            std::fputs(shown.c_str(), r.ok ? out : err);
            std::fflush(r.ok ? out : err);
        }
        return !r.quit;
    };

    bool running = true;
    while (running && !(stop && *stop)) {
        int wait = 100;
        const SimTime now = SimClock::now();
        for (size_t i = 0; i < next.size(); ++i) {
            if (options.schedule[i].command.empty()) continue;
            if (next[i] <= now) {
                running = runCommand(options.schedule[i].command, true) && running;
                if (options.schedule[i].everyMs > 0) {
                    next[i] += Ms(options.schedule[i].everyMs);
                    if (next[i] <= now) next[i] = now + Ms(options.schedule[i].everyMs);
                } else {
                    next[i] = SimTime::max();
                }
            }
            if (next[i] != SimTime::max()) {
                const auto until = std::chrono::duration_cast<Ms>(next[i] - now).count();
                wait = static_cast<int>(std::clamp<long long>(until, 0, wait));
            }
        }
        if (!running) break;
        if (!line.step(wait, inFd)) continue;
        char buf[1024];
        const ssize_t n = read(inFd, buf, sizeof buf);
        if (n > 0) {
            pending.append(buf, static_cast<size_t>(n));
            for (size_t nl; running && (nl = pending.find('\n')) != std::string::npos;) {
                const std::string text = pending.substr(0, nl);
                pending.erase(0, nl + 1);
                running = runCommand(text, false);
            }
            if (pending.size() > 4096) pending.clear();  // no line is that long
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            // End of input: an interactive user is done; a redirected input just ends.
            if (interactive && n == 0) running = false;
            inFd = -1;
        }
    }
    if (inFd >= 0) fcntl(inFd, F_SETFL, fcntl(inFd, F_GETFL) & ~O_NONBLOCK);
    std::fprintf(out, "quillon-sim: stopped\n");
    std::fflush(out);
    return 0;
}
