#include "sim/simmodule.h"

#include <cstdio>

#include "link/frame.h"

namespace {

bool IsPrintable(const std::string& s) {
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u > 0x7E) return false;
    }
    return true;
}

bool IsDecimal(const std::string& s) {
    if (s.empty()) return false;
    for (const char c : s) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

bool IsChannelText(const std::string& s) {
    if (s.size() != 16) return false;
    for (const char c : s) {
        if (c != '0' && c != '1') return false;
    }
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Two hex characters as 0..255, or -1.
int HexPair(const std::string& s, size_t at) {
    const int hi = HexDigit(s[at]);
    const int lo = HexDigit(s[at + 1]);
    return (hi < 0 || lo < 0) ? -1 : hi * 16 + lo;
}

std::string TwoDigits(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

std::string LineCode(int index) {
    const QChar c = LineSettings::code(index);
    return c.isNull() ? std::string("?") : std::string(1, c.toLatin1());
}

int LineIndexOfCode(const std::string& args) {
    if (args.size() != 1) return -1;
    return LineSettings::indexOfCode(QChar::fromLatin1(args[0]));
}

template <typename T>
void KeepBounded(T& container, size_t limit) {
    while (container.size() > limit) container.erase(container.begin());
}

std::string DefaultSerial(ModuleType type, int unit) {
    switch (type) {
        case ModuleType::RQ3016:
            return "16000001";
        case ModuleType::RQ3020:
            return "20000001";
        case ModuleType::RQ3030:
            return "30000001";
        case ModuleType::RQ3040:
            return "40000001";
        case ModuleType::RQ3050S:
            return unit == 2 ? "50000002" : "50000001";
        case ModuleType::RQ3050K:
            return unit == 2 ? "51000002" : "51000001";
    }
    return "00000000";
}

}  // namespace

CardEvent CardEvent::Card(std::string hex8, int length) {
    CardEvent e;
    e.form = length == 18 ? Form::Card18 : Form::Card17;
    e.card = std::move(hex8);
    return e;
}

CardEvent CardEvent::KeyInput(std::string keys) {
    CardEvent e;
    e.form = Form::Key;
    e.keys = std::move(keys);
    return e;
}

CardEvent CardEvent::CardAndKey(std::string hex8, std::string keys) {
    CardEvent e;
    e.form = Form::CardWithKey;
    e.card = std::move(hex8);
    e.keys = std::move(keys);
    return e;
}

CardEvent CardEvent::Wide(std::string text16) {
    CardEvent e;
    e.form = Form::Wide26;
    e.card = std::move(text16);
    return e;
}

bool CardEvent::isValid() const {
    if (!IsPrintable(card) || !IsPrintable(keys)) return false;
    // A reply must stay well inside the tool's receive buffer.
    if (keys.size() > 200) return false;
    switch (form) {
        case Form::Card17:
        case Form::Card18:
            return card.size() == 8 && keys.empty();
        case Form::Key:
            return card.empty() && !keys.empty();
        case Form::CardWithKey:
            return card.size() == 8 && !keys.empty();
        case Form::Wide26:
            return card.size() == 16 && keys.empty();
    }
    return false;
}

std::string CardEvent::replyData(int channel) const {
    const std::string ch(1, channel == 2 ? '2' : '1');
    switch (form) {
        case Form::Card17:
            return ch + card;
        case Form::Card18:
            return ch + "C" + card;
        case Form::Key:
            return ch + "K" + keys;
        case Form::CardWithKey:
            return ch + "C" + card + "K" + keys;
        case Form::Wide26:
            return ch + "C" + card;
    }
    return ch;
}

std::string CardEvent::describe() const {
    switch (form) {
        case Form::Card17:
            return "card " + card;
        case Form::Card18:
            return "card " + card + " (18 bytes)";
        case Form::Key:
            return "key " + keys;
        case Form::CardWithKey:
            return "card " + card + " with key " + keys;
        case Form::Wide26:
            return "wide " + card;
    }
    return {};
}

SimModule::SimModule(ModuleType type) : serial(DefaultSerial(type, 1)), type_(type) {
    if (IsWiegand(type)) ch2Serial = DefaultSerial(type, 2);
    if (type == ModuleType::RQ3040) portLineIndex = 5;
}

LineConfig SimModule::lineConfig() const {
    return ParseLineSetting(LineSettings::text(lineIndex)).value_or(LineConfig{});
}

std::string SimModule::header(int unitId, char letter) const {
    return std::string(1, prefix()) + TwoDigits(unitId) + letter;
}

std::optional<std::string> SimModule::handleFrame(const std::string& text,
                                                  std::chrono::steady_clock::time_point now) {
    now_ = now;
    if (text.size() < 4 || text[0] != prefix()) return std::nullopt;
    const std::string idText = text.substr(1, 2);
    if (!IsDecimal(idText)) return std::nullopt;
    const int addressed = std::stoi(idText);
    const char letter = text[3];
    const std::string args = text.substr(4);

    // The scan asks everyone at ID 00; the answer names the module's own ID.
    if (addressed == 0) {
        if (letter == 'B' && args.empty()) return header(id, 'B') + serial;
        return std::nullopt;
    }
    if (addressed == id) return handleOwn(letter, args);
    if (IsWiegand(type_) && addressed == ch2Id && args.empty()) {
        if (letter == 'F') return replyFromQueue(2, ch2Id);
        // CH #2 is a unit on the bus of its own: it answers the identification query too.
        if (letter == 'B') return header(ch2Id, letter) + ch2Serial;
    }
    return std::nullopt;
}

std::optional<std::string> SimModule::handleOwn(char letter, const std::string& args) {
    switch (letter) {
        case 'B':
            if (args.empty()) return header(id, letter) + serial;
            return std::nullopt;
        case 'V':
            if (args.empty()) return header(id, letter) + version;
            return std::nullopt;
        case 'C': {
            if (args.size() != 10 || !IsDecimal(args.substr(8))) return std::nullopt;
            const int newId = std::stoi(args.substr(8));
            if (newId < 1 || newId > 99) return std::nullopt;
            const std::string who = args.substr(0, 8);
            const std::string ack = header(id, letter);
            if (who == serial) {
                id = newId;
            } else if (IsWiegand(type_) && who == ch2Serial) {
                ch2Id = newId;
            } else {
                return std::nullopt;
            }
            return ack;
        }
        case 'E': {
            const int index = LineIndexOfCode(args);
            if (index < 0) return std::nullopt;
            const std::string ack = header(id, letter);
            lineIndex = index;
            return ack;
        }
        default:
            return handleType(letter, args);
    }
}

std::optional<std::string> SimModule::handleType(char letter, const std::string& args) {
    const std::string h = header(id, letter);
    switch (type_) {
        case ModuleType::RQ3016:
            if (letter == 'G') {
                if (args.empty()) return h + diMode;
                if (args == "H" || args == "S") {
                    diMode = args[0];
                    return h;
                }
            } else if (letter == 'A') {
                if (args.empty()) return h + noNc;
                if (IsChannelText(args)) {
                    noNc = args;
                    return h;
                }
            } else if (letter == 'I') {
                if (IsChannelText(args)) outputs = args;
                if (args.empty() || IsChannelText(args)) return h + currentInputs();
            }
            return std::nullopt;

        case ModuleType::RQ3020:
            if (letter == 'F' && args.empty()) return h + status;
            if (letter == 'G' || letter == 'H') {
                printed.push_back({letter, args});
                KeepBounded(printed, kMaxKept);
                return h;
            }
            return std::nullopt;

        case ModuleType::RQ3030:
        case ModuleType::RQ3040:
            if (letter == 'K') {
                if (args.empty()) return h + LineCode(portLineIndex);
                const int index = LineIndexOfCode(args);
                if (index < 0) return std::nullopt;
                portLineIndex = index;
                return h;
            }
            if (letter == 'F' && args.empty()) return h + status;
            if (letter == 'Z' && args == "i") {
                // Every setting back to the factory's: the module answers at ID 01 and, from
                // the next command on, at 19200,e,8,1, as the other types do after their
                // factory sequence.
                id = 1;
                lineIndex = LineSettings::kDefaultIndex;
                if (type_ == ModuleType::RQ3030) {
                    portLineIndex = 2;
                    runMode = 0;
                } else {
                    portLineIndex = 5;
                    txOnDelay = 15;
                    txOffDelay = 10;
                }
                return h;
            }
            if (type_ == ModuleType::RQ3030) {
                if (letter == 'A') {
                    if (args.empty()) return h + std::to_string(runMode);
                    if (args.size() == 1 && args[0] >= '0' && args[0] <= '2') {
                        runMode = args[0] - '0';
                        return h;
                    }
                } else if (letter == 'G') {
                    records.push_back(args);
                    KeepBounded(records, kMaxKept);
                    return h;
                }
            } else if (letter == 'A') {
                if (args.empty()) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "%02X%02X", txOnDelay & 0xFF, txOffDelay & 0xFF);
                    return h + buf;
                }
                if (args.size() == 4) {
                    const int on = HexPair(args, 0);
                    const int off = HexPair(args, 2);
                    if (on >= 1 && off >= 1) {
                        txOnDelay = on;
                        txOffDelay = off;
                        return h;
                    }
                }
            }
            return std::nullopt;

        case ModuleType::RQ3050S:
        case ModuleType::RQ3050K:
            if (letter == 'N' && args.empty()) return header(ch2Id, letter) + ch2Serial;
            if (letter == 'F' && args.empty()) return replyFromQueue(1, id);
            if (letter == 'A') {
                if (args.empty()) return h + "00" + std::to_string(interfaceDigit);
                if (args.size() == 3 && args.compare(0, 2, "00") == 0 && args[2] >= '0' &&
                    args[2] <= '3') {
                    interfaceDigit = args[2] - '0';
                    return h;
                }
            }
            if (letter == 'L' && type_ == ModuleType::RQ3050K) {
                if (args.empty()) return h + TwoDigits(keyNumber);
                if (args.size() == 2 && IsDecimal(args) && std::stoi(args) <= 16) {
                    keyNumber = std::stoi(args);
                    return h;
                }
            }
            return std::nullopt;
    }
    return std::nullopt;
}

std::string SimModule::replyFromQueue(int channel, int unitId) {
    std::deque<CardEvent>& q = queues_[channel - 1];
    std::string reply = header(unitId, 'F');
    if (q.empty()) return reply;
    reply += q.front().replyData(channel);
    q.pop_front();
    return reply;
}

std::string SimModule::currentInputs() {
    switch (inputMode) {
        case InputMode::FollowOutputs:
            inputs = outputs;
            break;
        case InputMode::Fixed:
            break;
        case InputMode::Walking:
            inputs.assign(16, '0');
            inputs[static_cast<size_t>(walkStep_ % 16)] = '1';
            walkStep_ = (walkStep_ + 1) % 16;
            break;
    }
    // The fixed pattern stays as set: the harness acts on what reaches it.
    return wiring.empty() ? inputs : wiring.apply(inputs, now_);
}

void SimModule::handleRaw(const std::string& bytes) {
    if (type_ != ModuleType::RQ3040) return;
    rawReceived += bytes;
    if (rawReceived.size() > kMaxRawKept) {
        rawReceived.erase(0, rawReceived.size() - kMaxRawKept);
    }
}

bool SimModule::queueEvent(int channel, const CardEvent& event) {
    if (!IsWiegand(type_) || (channel != 1 && channel != 2) || !event.isValid()) return false;
    std::deque<CardEvent>& q = queues_[channel - 1];
    if (q.size() >= kMaxKept) return false;
    q.push_back(event);
    return true;
}

std::string SimModule::describeState() const {
    std::string s;
    auto line = [&s](const std::string& name, const std::string& value) {
        s += name + ": " + value + "\n";
    };
    line("type", ModuleTypeName(type_));
    line("serial", serial);
    line("id", TwoDigits(id));
    line("line", LineCode(lineIndex) + " (" + LineSettings::text(lineIndex).toStdString() + ")");
    line("version", version);
    switch (type_) {
        case ModuleType::RQ3016: {
            static const char* const kModes[] = {"follow outputs", "fixed", "walking"};
            line("di mode", std::string(1, diMode) + (diMode == 'H' ? " (hold)" : " (normal)"));
            line("no/nc", noNc);
            line("outputs", outputs);
            line("inputs", inputs + " (" + kModes[static_cast<int>(inputMode)] + ")");
            line("wiring", wiring.describe());
            break;
        }
        case ModuleType::RQ3020:
            line("status", std::string(1, status));
            line("printed", std::to_string(printed.size()));
            for (const PrintJob& job : printed) {
                s += std::string("  ") + (job.kind == 'G' ? "text " : "code ") + job.text + "\n";
            }
            break;
        case ModuleType::RQ3030:
            line("status", std::string(1, status));
            line("port", LineCode(portLineIndex) + " (" +
                             LineSettings::text(portLineIndex).toStdString() + ")");
            line("run mode", std::to_string(runMode));
            line("records", std::to_string(records.size()));
            for (const std::string& r : records) s += "  " + r + "\n";
            break;
        case ModuleType::RQ3040:
            line("status", std::string(1, status));
            line("port", LineCode(portLineIndex) + " (" +
                             LineSettings::text(portLineIndex).toStdString() + ")");
            line("tx on delay", std::to_string(txOnDelay));
            line("tx off delay", std::to_string(txOffDelay));
            line("raw received", wire::RenderBytes(rawReceived));
            break;
        case ModuleType::RQ3050S:
        case ModuleType::RQ3050K:
            line("ch2 id", TwoDigits(ch2Id));
            line("ch2 serial", ch2Serial);
            line("interface", std::to_string(interfaceDigit));
            if (type_ == ModuleType::RQ3050K) line("key number", TwoDigits(keyNumber));
            for (int ch = 1; ch <= 2; ++ch) {
                line("queue ch" + std::to_string(ch), std::to_string(queues_[ch - 1].size()));
                for (const CardEvent& e : queues_[ch - 1]) s += "  " + e.describe() + "\n";
            }
            break;
    }
    return s;
}
