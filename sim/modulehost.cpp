#include "sim/modulehost.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

using std::chrono::milliseconds;
using std::chrono::nanoseconds;

bool FaultConfig::any() const {
    return dropShare > 0 || delayMs > 0 || delayMaxMs > 0 || (pauseAfterByte > 0 && pauseMs > 0) ||
           wrongChecksum || lowerCaseChecksum || noiseBytes > 0 || truncateTo > 0 ||
           oversizeTo > 0 || silenceAfter >= 0;
}

ModuleHost::ModuleHost(SimModule module, uint32_t seed) : rng_(seed) {
    modules_.push_back(std::move(module));
}

SimModule& ModuleHost::addModule(SimModule module) {
    modules_.push_back(std::move(module));
    return modules_.back();
}

void ModuleHost::unplugModule(size_t index) {
    if (unplugged_.size() < modules_.size()) unplugged_.resize(modules_.size(), false);
    if (index < unplugged_.size()) unplugged_[index] = true;
}

bool ModuleHost::hears(size_t index, const LineConfig& hostLine, LineMatch match) const {
    if (index < unplugged_.size() && unplugged_[index]) return false;
    return LineHeard(modules_[index].lineConfig(), hostLine, match);
}

bool LineHeard(const LineConfig& own, const LineConfig& hostLine, ModuleHost::LineMatch match) {
    switch (match) {
        case ModuleHost::LineMatch::Exact:
            return own == hostLine;
        case ModuleHost::LineMatch::BaudOnly:
            return own.baud == hostLine.baud;
        case ModuleHost::LineMatch::Always:
            return true;
    }
    return true;
}

std::string CollideFrames(const std::vector<std::string>& frames) {
    std::string mix;
    for (const std::string& f : frames) {
        if (f.size() > mix.size()) mix.resize(f.size(), '\0');
        for (size_t i = 0; i < f.size(); ++i) mix[i] = static_cast<char>(mix[i] | f[i]);
    }
    const size_t n = mix.size();
    if (n >= 4 &&
        wire::VerifyReplyBytes(reinterpret_cast<const uint8_t*>(mix.data()), static_cast<int>(n))) {
        // Identical replies would mix into a valid frame; the wire would not carry them clean.
        char& c = mix[n - 2];
        c = c == '0' ? '1' : '0';
    }
    return mix;
}

void ModuleHost::report(Event::Kind kind, const std::string& bytes) {
    if (onEvent) onEvent(Event{kind, bytes});
}

double ModuleHost::random01() {
    return static_cast<double>(rng_()) / 4294967296.0;
}

void ModuleHost::clearRecords() {
    received_.clear();
    raw_.clear();
}

void ModuleHost::flushRaw() {
    if (!garbled_.empty()) {
        report(Event::Kind::Garbled, garbled_);
        garbled_.clear();
    }
    if (rawChunk_.empty()) return;
    for (SimModule& m : modules_) m.handleRaw(rawChunk_);
    raw_ += rawChunk_;
    if (raw_.size() > SimModule::kMaxRawKept) raw_.erase(0, raw_.size() - SimModule::kMaxRawKept);
    report(Event::Kind::Raw, rawChunk_);
    rawChunk_.clear();
}

void ModuleHost::receive(const uint8_t* bytes, int count, SimTime now, const LineConfig& hostLine,
                         LineMatch match) {
    const nanoseconds inByte = pacing_ ? ByteTime(hostLine) : nanoseconds(0);
    for (int i = 0; i < count; ++i) {
        // Checked byte by byte: an "E" earlier in the same write has already moved the module.
        bool heard = false;
        for (size_t k = 0; k < modules_.size() && !heard; ++k) heard = hears(k, hostLine, match);
        if (!heard) {
            // At another rate the module sees garbage: whatever frame was under way is lost.
            if (!rawChunk_.empty()) flushRaw();
            reader_.reset();
            garbled_.push_back(static_cast<char>(bytes[i]));
            continue;
        }
        if (!garbled_.empty()) flushRaw();
        std::optional<FrameReader::Event> e = reader_.feed(bytes[i]);
        if (!e) continue;
        using K = FrameReader::Event::Kind;
        if (e->kind == K::Raw) {
            rawChunk_ += e->bytes;
            continue;
        }
        flushRaw();
        switch (e->kind) {
            case K::Frame:
                handleFrame(e->text, now + inByte * (i + 1), hostLine, match);
                break;
            case K::BadChecksum:
                report(Event::Kind::BadChecksum, e->bytes);
                break;
            case K::Overlong:
                report(Event::Kind::Overlong, e->bytes);
                break;
            case K::Cut:
                report(Event::Kind::Cut, e->bytes);
                break;
            case K::Raw:
                break;
        }
    }
    flushRaw();
}

void ModuleHost::handleFrame(const std::string& text, SimTime frameEnd, const LineConfig& hostLine,
                             LineMatch match) {
    received_.push_back(text);
    if (received_.size() > kMaxRecords) received_.pop_front();
    report(Event::Kind::Received, wire::BuildCommandFrame(text));

    // A module that has fallen silent does nothing more at all.
    if (faults_.silenceAfter >= 0 && answered_ >= faults_.silenceAfter) {
        report(Event::Kind::Silenced, {});
        return;
    }
    // The reply leaves at the line setting the command came in on, even after "E".
    // Every module at the host's line setting hears the frame and may reply.
    std::optional<nanoseconds> outByte;
    std::vector<std::string> replies;
    for (size_t k = 0; k < modules_.size(); ++k) {
        if (!hears(k, hostLine, match)) continue;
        SimModule& m = modules_[k];
        if (!outByte) outByte = pacing_ ? ByteTime(m.lineConfig()) : nanoseconds(0);
        std::optional<std::string> r = m.handleFrame(text, frameEnd);
        if (override_) r = override_(text, r);
        if (r) replies.push_back(std::move(*r));
    }
    if (replies.empty()) {
        report(Event::Kind::Unanswered, wire::BuildCommandFrame(text));
        return;
    }
    const std::optional<std::string> reply = replies.front();
    std::string frame = wire::BuildReplyFrame(*reply);
    if (replies.size() > 1) {
        std::vector<std::string> frames;
        for (const std::string& r : replies) frames.push_back(wire::BuildReplyFrame(r));
        frame = CollideFrames(frames);
        report(Event::Kind::Collided, frame);
    }

    ++answered_;

    const std::string letters = text.size() > 3 ? text.substr(3) : std::string();
    bool selected = faults_.times != 0 &&
                    letters.compare(0, faults_.onlyCommand.size(), faults_.onlyCommand) == 0;
    if (selected && faults_.times > 0) --faults_.times;
    if (!selected) {
        schedule(frame, frameEnd, outByte.value_or(nanoseconds(0)), milliseconds(0), 0,
                 milliseconds(0));
        return;
    }

    if (faults_.dropShare > 0 && random01() < faults_.dropShare) {
        report(Event::Kind::Dropped, frame);
        return;
    }
    if (faults_.oversizeTo > 0) {
        // Header, then filler up to the size, with a checksum that verifies.
        const size_t size = std::max<size_t>(static_cast<size_t>(faults_.oversizeTo), 8);
        std::string body = reply->substr(0, std::min<size_t>(4, reply->size()));
        while (body.size() + 4 < size) body.push_back(static_cast<char>('0' + body.size() % 10));
        frame = wire::BuildReplyFrame(body);
    }
    const size_t n = frame.size();
    if (faults_.wrongChecksum && n >= 4) {
        const uint8_t right =
            static_cast<uint8_t>(std::strtoul(frame.substr(n - 3, 2).c_str(), nullptr, 16));
        const std::string wrong = ByteToHex(static_cast<uint8_t>(right ^ 0x01));
        frame.replace(n - 3, 2, wrong);
    }
    if (faults_.lowerCaseChecksum && n >= 4) {
        for (size_t i = n - 3; i < n - 1; ++i) {
            frame[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(frame[i])));
        }
    }
    if (faults_.truncateTo > 0 && static_cast<size_t>(faults_.truncateTo) < frame.size()) {
        frame.resize(static_cast<size_t>(faults_.truncateTo));
    }
    if (faults_.noiseBytes > 0) {
        std::string noise;
        while (noise.size() < static_cast<size_t>(faults_.noiseBytes)) {
            const auto b = static_cast<uint8_t>(rng_() & 0xFF);
            if (b == wire::kReplyStart || b == wire::kFrameEnd) continue;
            noise.push_back(static_cast<char>(b));
        }
        frame = noise + frame;
    }
    int extra = faults_.delayMs;
    if (faults_.delayMaxMs > faults_.delayMs) {
        const int span = faults_.delayMaxMs - faults_.delayMs + 1;
        extra += static_cast<int>(rng_() % static_cast<uint32_t>(span));
    }
    const int pauseAfter = faults_.pauseMs > 0 ? faults_.pauseAfterByte : 0;
    schedule(frame, frameEnd, outByte.value_or(nanoseconds(0)), milliseconds(std::max(0, extra)),
             pauseAfter, milliseconds(faults_.pauseMs));
}

void ModuleHost::schedule(std::string bytes, SimTime frameEnd, nanoseconds byteTime,
                          milliseconds extraDelay, int pauseAfter, milliseconds pause) {
    if (bytes.empty()) return;
    SimTime start = frameEnd + milliseconds(baseDelayMs_) + extraDelay;
    // A module sends one reply after the other.
    if (!pending_.empty() && pending_.back().due > start) start = pending_.back().due;
    for (size_t i = 0; i < bytes.size(); ++i) {
        SimTime due = start + byteTime * static_cast<long long>(i + 1);
        if (pauseAfter > 0 && i >= static_cast<size_t>(pauseAfter)) due += pause;
        pending_.push_back({due, static_cast<uint8_t>(bytes[i]), i + 1 == bytes.size()});
    }
    report(Event::Kind::Scheduled, bytes);
}

int ModuleHost::takeDue(SimTime now, bool* endOfReply) {
    if (pending_.empty() || pending_.front().due > now) return -1;
    const Pending p = pending_.front();
    pending_.pop_front();
    if (endOfReply) *endOfReply = p.last;
    return p.byte;
}

std::optional<SimTime> ModuleHost::nextDue() const {
    if (pending_.empty()) return std::nullopt;
    return pending_.front().due;
}
