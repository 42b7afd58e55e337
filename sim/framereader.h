#pragma once
// Splits the byte stream a module hears into command frames (0x09, text, two checksum
// characters, 0x0D) and the bytes between them. A 0x09 always starts a new frame, so noise,
// a half frame or raw data never wedge the reader; a frame that grows past the longest
// command the tool can send is dropped and the reader waits for the next 0x09 or 0x0D.

#include <cstdint>
#include <optional>
#include <string>

#include "link/frame.h"

class FrameReader {
  public:
    struct Event {
        enum class Kind {
            Frame,        // a verified frame; text holds the command text
            BadChecksum,  // a complete frame whose checksum characters do not match
            Raw,          // one byte outside any frame
            Overlong,     // a frame longer than any command, dropped
            Cut,          // a half frame cut off by a new 0x09
        };
        Kind kind;
        std::string text;   // Frame: the command text
        std::string bytes;  // the bytes as received (the whole frame, the raw byte, ...)
    };

    // Longest text plus checksum between 0x09 and 0x0D that can be a command.
    static constexpr size_t kMaxFrameBody = wire::kMaxCommandText + 2;

    std::optional<Event> feed(uint8_t byte);
    // Forgets a half frame, e.g. when the line carried garbage.
    void reset();
    bool inFrame() const { return state_ == State::InFrame; }

  private:
    enum class State { Idle, InFrame, Skipping };
    State state_ = State::Idle;
    std::string body_;
};
