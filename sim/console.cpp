#include "sim/console.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace {

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

bool IsPrintableText(const std::string& s) {
    for (const char c : s) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) {
            return false;
        }
    }
    return true;
}

SimConsole::Result Fail(const std::string& why) {
    return {false, false, why + "\n"};
}
SimConsole::Result Done(const std::string& what) {
    return {true, false, what + "\n"};
}

struct FaultName {
    const char* name;
    const char* value;
    const char* text;
};

const FaultName kFaults[] = {
    {"drop", "SHARE", "drop this share of replies (0 to 1)"},
    {"delay", "MS", "delay every reply by MS more"},
    {"delay-max", "MS", "make the extra delay random between --delay and MS"},
    {"pause-after", "N", "pause after the N-th byte of a reply (with pause)"},
    {"pause", "MS", "length of that pause"},
    {"wrong-checksum", "", "send checksum characters of a wrong value"},
    {"lower-checksum", "", "send the checksum's letters in lower case"},
    {"noise", "N", "send N bytes of noise before the reply"},
    {"truncate", "N", "send only the first N bytes of a reply"},
    {"oversize", "N", "answer with a verified reply of N bytes (e.g. 2000)"},
    {"silent-after", "N", "answer N commands, then fall silent"},
    {"only", "LETTERS", "apply faults only to commands starting with LETTERS"},
    {"times", "N", "apply the faults to N replies only"},
};

}  // namespace

bool ParseInt(const std::string& text, long long lo, long long hi, long long* value) {
    if (text.empty() || text.size() > 12) return false;
    size_t i = 0;
    if (text[0] == '-') i = 1;
    if (i == text.size()) return false;
    for (size_t k = i; k < text.size(); ++k) {
        if (text[k] < '0' || text[k] > '9') return false;
    }
    const long long v = std::stoll(text);
    if (v < lo || v > hi) return false;
    *value = v;
    return true;
}

int ParseLineIndex(const std::string& text) {
    if (text.size() == 1) return LineSettings::indexOfCode(QChar::fromLatin1(text[0]));
    for (int i = 0; i < LineSettings::kCount; ++i) {
        if (QString::fromStdString(text).compare(LineSettings::text(i), Qt::CaseInsensitive) == 0) {
            return i;
        }
    }
    return -1;
}

bool IsFaultName(const std::string& name) {
    for (const FaultName& f : kFaults) {
        if (name == f.name) return true;
    }
    return false;
}

bool IsFaultSwitch(const std::string& name) {
    return name == "wrong-checksum" || name == "lower-checksum";
}

std::string FaultHelp(const std::string& lead) {
    std::string s;
    for (const FaultName& f : kFaults) {
        std::string head = lead + f.name;
        if (*f.value) head += std::string(" ") + f.value;
        if (head.size() < 24) head.append(24 - head.size(), ' ');
        s += head + " " + f.text + "\n";
    }
    return s;
}

bool ApplyFault(FaultConfig& f, const std::string& name, const std::string& value,
                std::string* error) {
    auto bad = [&](const std::string& why) {
        if (error) *error = name + ": " + why;
        return false;
    };
    if (IsFaultSwitch(name)) {
        bool on = true;
        if (value == "off" || value == "0")
            on = false;
        else if (!value.empty() && value != "on" && value != "1")
            return bad("on or off");
        (name == "wrong-checksum" ? f.wrongChecksum : f.lowerCaseChecksum) = on;
        return true;
    }
    if (name == "drop") {
        char* end = nullptr;
        const double share = std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || !(share >= 0.0 && share <= 1.0)) {
            return bad("a share from 0 to 1");
        }
        f.dropShare = share;
        return true;
    }
    if (name == "only") {
        if (!IsPrintableText(value)) return bad("printable letters");
        f.onlyCommand = value;
        return true;
    }
    long long v = 0;
    const long long kMaxMs = 600000;
    if (name == "delay" || name == "delay-max" || name == "pause") {
        if (!ParseInt(value, 0, kMaxMs, &v)) return bad("milliseconds, 0 to 600000");
        (name == "delay"   ? f.delayMs
         : name == "pause" ? f.pauseMs
                           : f.delayMaxMs) = static_cast<int>(v);
        return true;
    }
    if (name == "pause-after" || name == "noise" || name == "truncate" || name == "oversize") {
        if (!ParseInt(value, 0, 100000, &v)) return bad("a count, 0 to 100000");
        int& field = name == "pause-after" ? f.pauseAfterByte
                     : name == "noise"     ? f.noiseBytes
                     : name == "truncate"  ? f.truncateTo
                                           : f.oversizeTo;
        field = static_cast<int>(v);
        return true;
    }
    if (name == "silent-after" || name == "times") {
        if (!ParseInt(value, -1, 1000000000, &v)) return bad("a count, or -1 for none");
        (name == "times" ? f.times : f.silenceAfter) = static_cast<int>(v);
        return true;
    }
    return bad("unknown fault");
}

std::string SimConsole::help() {
    return "Commands:\n"
           "  card CH HEX8 [18]       queue a card on channel 1 or 2 (17-byte reply, or 18)\n"
           "  card CH next            queue the next card number (counting from 00027CBB)\n"
           "  key CH KEYS             queue key input (e.g. key 2 1234)\n"
           "  cardkey CH HEX8 KEYS    queue a card with keys (20 bytes and longer)\n"
           "  wide CH TEXT16          queue a 16-character card (26-byte reply)\n"
           "  input K 0|1             set input K (1..16) of the DI/DO module; fixes the inputs\n"
           "  inputs PATTERN16        set all 16 inputs, e.g. inputs 1000000000000001\n"
           "  inputs follow|walk      inputs follow the outputs, or one input walks along\n"
           "  wiring LIST|none        faults of the harness between outputs and inputs:\n" +
           WiringHelp("                            ") +
           "                          (comma-separated; wiring alone shows them)\n"
           "  status C                status character (printer: O P E N B F; others: O = ok)\n"
           "  id N | ch2id N          module ID, CH #2 ID (1..99)\n"
           "  serial S | ch2serial S  serial numbers (8 characters)\n"
           "  line CODE|TEXT          the module's line setting, e.g. line 5 or line 9600,n,8,1\n"
           "  fault NAME [VALUE]      set a fault (names below); fault clear removes all\n"
           "  state                   print the module's state and faults\n"
           "  module SERIAL COMMAND   a command above for the module of the bus with that\n"
           "                          serial number, e.g. module 16000301 inputs follow\n"
           "  help                    this list\n"
           "  quit                    end the simulator\n"
           "Faults:\n" +
           FaultHelp("  ");
}

SimConsole::Result SimConsole::run(const std::string& line) {
    std::vector<std::string> w = Words(line);
    if (w.empty() || w[0][0] == '#') return {};
    if (w[0] != "module") return runOn(host_.module(), w);
    // "module SERIAL COMMAND ...": the command for the module of the bus with that serial
    // number (CH #2's serial number names its module too).
    if (w.size() < 3) return Fail("usage: module SERIAL COMMAND ...");
    for (size_t i = 0; i < host_.moduleCount(); ++i) {
        SimModule& m = host_.module(i);
        if (m.serial == w[1] || (IsWiegand(m.type()) && m.ch2Serial == w[1])) {
            const std::string serial = w[1];
            w.erase(w.begin(), w.begin() + 2);
            if (w[0] == "module" || w[0] == "quit" || w[0] == "exit" || w[0] == "fault" ||
                w[0] == "help")
                return Fail("module " + serial + ": " + w[0] + " is not a command of a module");
            Result r = runOn(m, w);
            if (!r.output.empty()) r.output = "module " + serial + ": " + r.output;
            return r;
        }
    }
    return Fail("module: no module on the bus has the serial number " + w[1]);
}

SimConsole::Result SimConsole::runOn(SimModule& m, const std::vector<std::string>& w) {
    const std::string& cmd = w[0];
    long long n = 0;

    if (cmd == "help") return {true, false, help()};
    if (cmd == "quit" || cmd == "exit") return {true, true, {}};
    if (cmd == "state") {
        std::string s = m.describeState();
        const FaultConfig& f = host_.faults();
        if (f.any()) {
            char buf[512];
            std::snprintf(buf, sizeof buf,
                          "faults: drop %.2f, delay %d..%d ms, pause %d ms after byte %d, "
                          "wrong checksum %d, lower-case checksum %d, noise %d, truncate %d, "
                          "oversize %d, silent after %d, only \"%s\", times %d\n",
                          f.dropShare, f.delayMs, std::max(f.delayMs, f.delayMaxMs), f.pauseMs,
                          f.pauseAfterByte, f.wrongChecksum, f.lowerCaseChecksum, f.noiseBytes,
                          f.truncateTo, f.oversizeTo, f.silenceAfter, f.onlyCommand.c_str(),
                          f.times);
            s += buf;
        } else {
            s += "faults: none\n";
        }
        return {true, false, s};
    }

    if (cmd == "card" || cmd == "key" || cmd == "cardkey" || cmd == "wide") {
        if (!IsWiegand(m.type())) return Fail(cmd + ": only the Wiegand modules read cards");
        if (w.size() < 3 || !ParseInt(w[1], 1, 2, &n)) {
            return Fail("usage: " + cmd + " CH ... (CH is 1 or 2)");
        }
        CardEvent e;
        if (cmd == "card") {
            std::string hex = w[2];
            if (hex == "next") {
                char buf[16];
                std::snprintf(buf, sizeof buf, "%08X", nextCard_++);
                hex = buf;
            }
            const bool eighteen = w.size() > 3 && w[3] == "18";
            if (w.size() > 4 || (w.size() == 4 && !eighteen)) {
                return Fail("usage: card CH HEX8 [18]");
            }
            e = CardEvent::Card(hex, eighteen ? 18 : 17);
        } else if (cmd == "key") {
            if (w.size() != 3) return Fail("usage: key CH KEYS");
            e = CardEvent::KeyInput(w[2]);
        } else if (cmd == "cardkey") {
            if (w.size() != 4) return Fail("usage: cardkey CH HEX8 KEYS");
            e = CardEvent::CardAndKey(w[2], w[3]);
        } else {
            if (w.size() != 3) return Fail("usage: wide CH TEXT16");
            e = CardEvent::Wide(w[2]);
        }
        if (!m.queueEvent(static_cast<int>(n), e)) {
            return Fail(cmd +
                        ": does not fit (cards have 8 characters, wide ones 16, keys at "
                        "least one)");
        }
        return Done("queued on CH #" + std::to_string(n) + ": " + e.describe());
    }

    if (cmd == "input" || cmd == "inputs") {
        if (m.type() != ModuleType::RQ3016) return Fail(cmd + ": only the DI/DO module has inputs");
        if (cmd == "input") {
            long long v = 0;
            if (w.size() != 3 || !ParseInt(w[1], 1, 16, &n) || !ParseInt(w[2], 0, 1, &v)) {
                return Fail("usage: input K 0|1 (K is 1..16)");
            }
            // Start from what the inputs show now.
            if (m.inputMode == InputMode::FollowOutputs) m.inputs = m.outputs;
            m.inputMode = InputMode::Fixed;
            m.inputs[static_cast<size_t>(n - 1)] = v ? '1' : '0';
            return Done("inputs " + m.inputs);
        }
        if (w.size() != 2) return Fail("usage: inputs PATTERN16|follow|walk");
        if (w[1] == "follow") {
            m.inputMode = InputMode::FollowOutputs;
            return Done("inputs follow the outputs");
        }
        if (w[1] == "walk") {
            m.inputMode = InputMode::Walking;
            return Done("one input walks along");
        }
        if (w[1].size() != 16 || w[1].find_first_not_of("01") != std::string::npos) {
            return Fail("inputs: 16 characters 0 or 1");
        }
        m.inputMode = InputMode::Fixed;
        m.inputs = w[1];
        return Done("inputs " + m.inputs);
    }

    if (cmd == "wiring") {
        if (m.type() != ModuleType::RQ3016) return Fail("wiring: only the DI/DO module has inputs");
        if (w.size() == 1) return Done("wiring " + m.wiring.describe());
        if (w.size() != 2) return Fail("usage: wiring LIST|none (comma-separated, no blanks)");
        std::string error;
        const std::optional<Wiring> wiring = ParseWiring(w[1], &error);
        if (!wiring) return Fail("wiring: " + error);
        m.wiring = *wiring;
        return Done("wiring " + m.wiring.describe());
    }

    if (cmd == "status") {
        if (m.type() != ModuleType::RQ3020 && m.type() != ModuleType::RQ3030 &&
            m.type() != ModuleType::RQ3040) {
            return Fail("status: this module type reports no status");
        }
        if (w.size() != 2 || w[1].size() != 1 || !IsPrintableText(w[1])) {
            return Fail("usage: status C (one character)");
        }
        m.status = w[1][0];
        return Done(std::string("status ") + m.status);
    }

    if (cmd == "id" || cmd == "ch2id") {
        if (cmd == "ch2id" && !IsWiegand(m.type())) return Fail("ch2id: only the Wiegand modules");
        if (w.size() != 2 || !ParseInt(w[1], 1, 99, &n)) return Fail("usage: " + cmd + " 1..99");
        (cmd == "id" ? m.id : m.ch2Id) = static_cast<int>(n);
        return Done(cmd + " " + w[1]);
    }
    if (cmd == "serial" || cmd == "ch2serial") {
        if (cmd == "ch2serial" && !IsWiegand(m.type())) {
            return Fail("ch2serial: only the Wiegand modules");
        }
        if (w.size() != 2 || w[1].size() != 8) return Fail("usage: " + cmd + " S (8 characters)");
        (cmd == "serial" ? m.serial : m.ch2Serial) = w[1];
        return Done(cmd + " " + w[1]);
    }
    if (cmd == "line") {
        const int index = w.size() == 2 ? ParseLineIndex(w[1]) : -1;
        if (index < 0) return Fail("usage: line CODE (0..D) or a text such as 19200,e,8,1");
        m.lineIndex = index;
        return Done("line " + LineSettings::text(index).toStdString());
    }
    if (cmd == "fault") {
        if (w.size() == 2 && w[1] == "clear") {
            host_.faults() = FaultConfig{};
            return Done("faults cleared");
        }
        if (w.size() < 2 || w.size() > 3) return Fail("usage: fault NAME [VALUE] | fault clear");
        std::string error;
        if (!IsFaultName(w[1]) || (!IsFaultSwitch(w[1]) && w.size() != 3) ||
            !ApplyFault(host_.faults(), w[1], w.size() == 3 ? w[2] : std::string(), &error)) {
            return Fail(error.empty() ? "fault: unknown or incomplete, see help" : error);
        }
        return Done("fault " + w[1] + (w.size() == 3 ? " " + w[2] : std::string()));
    }
    return Fail("unknown command \"" + cmd + "\"; type help");
}
