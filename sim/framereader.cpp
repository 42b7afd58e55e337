#include "sim/framereader.h"

std::optional<FrameReader::Event> FrameReader::feed(uint8_t byte) {
    const char c = static_cast<char>(byte);
    if (byte == wire::kCommandStart) {
        std::optional<Event> cut;
        if (state_ == State::InFrame) {
            cut = Event{Event::Kind::Cut, {}, std::string(1, '\x09') + body_};
        }
        state_ = State::InFrame;
        body_.clear();
        return cut;
    }
    switch (state_) {
        case State::Idle:
            return Event{Event::Kind::Raw, {}, std::string(1, c)};
        case State::Skipping:
            if (byte == wire::kFrameEnd) state_ = State::Idle;
            return std::nullopt;
        case State::InFrame:
            break;
    }
    if (byte != wire::kFrameEnd) {
        if (body_.size() >= kMaxFrameBody) {
            Event e{Event::Kind::Overlong, {}, std::string(1, '\x09') + body_ + c};
            body_.clear();
            state_ = State::Skipping;
            return e;
        }
        body_.push_back(c);
        return std::nullopt;
    }
    state_ = State::Idle;
    const std::string frame = std::string(1, '\x09') + body_ + '\x0D';
    std::string body;
    body.swap(body_);
    if (body.size() < 2) return Event{Event::Kind::BadChecksum, {}, frame};
    const std::string text = body.substr(0, body.size() - 2);
    if (body.compare(body.size() - 2, 2, ByteToHex(XorChecksum(text))) != 0) {
        return Event{Event::Kind::BadChecksum, {}, frame};
    }
    return Event{Event::Kind::Frame, text, frame};
}

void FrameReader::reset() {
    state_ = State::Idle;
    body_.clear();
}
