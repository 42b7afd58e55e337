#pragma once
// Puts one or more SimModules on a line (a bus): reads command frames out of the bytes a host
// writes, lets each module hear them only when the host's line setting matches the module's,
// and schedules the reply bytes in
// time, with the module-like delay, optional pacing at the line's byte rate and the injected
// faults. No threads and no clock of its own: callers pass the time, which keeps it exact in
// tests; the virtual port and the pty host pass steady_clock::now().
//
// On a bus every module that hears a frame handles it. When two or more reply (ID 00, or two
// modules with one ID), their replies collide on the wire: the host sends one mixture, the
// byte-wise OR of the frames (the longest sets the length), with its checksum made wrong if
// the mixture happened to verify, so a collision never reads as a verified reply. Faults apply
// to whatever goes out.

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "sim/framereader.h"
#include "sim/simmodule.h"

using SimClock = std::chrono::steady_clock;
using SimTime = SimClock::time_point;

// Faults, each applied to the replies the filter selects (all by default). Random choices
// come from the host's generator, so a run is repeatable under one seed.
struct FaultConfig {
    double dropShare = 0.0;  // share of replies never sent, 0..1
    int delayMs = 0;         // extra delay before the reply
    int delayMaxMs = 0;      // above delayMs: the extra delay is random in delayMs..delayMaxMs
    int pauseAfterByte = 0;  // > 0: a pause between byte k and byte k+1 of what is sent
    int pauseMs = 0;
    bool wrongChecksum = false;      // checksum characters of another value
    bool lowerCaseChecksum = false;  // letters of the checksum in lower case (digits stay)
    int noiseBytes = 0;              // bytes of noise (never 0x0A or 0x0D) before the frame
    int truncateTo = 0;              // > 0: only the first k bytes of the frame are sent
    int oversizeTo = 0;              // > 0: a verified reply of this many bytes instead
    int silenceAfter = -1;           // >= 0: after this many answers the module falls silent
                                     // and no longer acts on commands

    // Filter: only replies to commands whose letters (after prefix and ID) begin with this
    // text get the faults above; empty selects all. silenceAfter ignores the filter.
    std::string onlyCommand;
    // How many selected replies get the faults; -1 for all of them.
    int times = -1;

    bool any() const;
};

class ModuleHost {
  public:
    enum class LineMatch {
        Exact,     // baud rate, parity, data and stop bits (the in-process port)
        BaudOnly,  // what a pseudo-terminal carries
        Always,    // a real device configured at the module's own setting
    };

    struct Event {
        enum class Kind {
            Received,     // a verified frame
            BadChecksum,  // a frame that failed its checksum: ignored
            Raw,          // bytes outside frames
            Overlong,     // an over-long frame: dropped
            Cut,          // a half frame cut by a new 0x09
            Garbled,      // bytes at another line setting: not understood
            Unanswered,   // a verified frame the module stays silent to
            Dropped,      // a reply withheld by the drop share (bytes: the reply)
            Silenced,     // a command ignored by a module fallen silent
            Scheduled,    // reply bytes queued (after faults)
            Collided,     // replies of several modules mixed on the wire (bytes: the mixture)
        };
        Kind kind;
        std::string bytes;
    };

    explicit ModuleHost(SimModule module, uint32_t seed = 1);

    // The first module of the bus: the one a single-module host carries.
    SimModule& module() { return modules_.front(); }
    const SimModule& module() const { return modules_.front(); }
    // Another module on the same line; returns it for its state (references stay valid).
    SimModule& addModule(SimModule module);
    size_t moduleCount() const { return modules_.size(); }
    // Module `index` leaves the line, as an unplugged module: it hears nothing from now on
    // (its state stays readable).
    void unplugModule(size_t index);
    SimModule& module(size_t index) { return modules_.at(index); }
    const SimModule& module(size_t index) const { return modules_.at(index); }
    FaultConfig& faults() { return faults_; }

    void setSeed(uint32_t seed) { rng_.seed(seed); }
    // Time from the end of a command to the first reply byte; 5 ms unless set.
    void setBaseDelayMs(int ms) { baseDelayMs_ = ms; }
    int baseDelayMs() const { return baseDelayMs_; }
    // Bytes at the line's real rate: 10 bits a byte without parity, 11 with.
    void setPacing(bool on) { pacing_ = on; }
    bool pacing() const { return pacing_; }

    // A hook for tests that need a reply no module gives: it receives each command text the
    // module heard and the module's reply text (nothing when silent) and returns the reply
    // text to send instead (nothing for silence). Faults apply to what it returns.
    using ReplyOverride = std::function<std::optional<std::string>(
        const std::string& command, const std::optional<std::string>& reply)>;
    void setReplyOverride(ReplyOverride hook) { override_ = std::move(hook); }

    // Bytes the host wrote at `now`, on a line set to `hostLine`.
    void receive(const uint8_t* bytes, int count, SimTime now, const LineConfig& hostLine,
                 LineMatch match);
    void receive(const std::string& bytes, SimTime now, const LineConfig& hostLine,
                 LineMatch match) {
        receive(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int>(bytes.size()), now,
                hostLine, match);
    }

    // The next reply byte when it is due at `now`, otherwise -1. endOfReply tells that the
    // byte is the last one of a reply.
    int takeDue(SimTime now, bool* endOfReply = nullptr);
    std::optional<SimTime> nextDue() const;
    bool hasPending() const { return !pending_.empty(); }
    // Forgets every reply byte not yet taken.
    void dropPending() { pending_.clear(); }

    // Verified command texts heard, oldest first (any address), and bytes outside frames.
    std::vector<std::string> receivedCommands() const {
        return {received_.begin(), received_.end()};
    }
    const std::string& rawBytes() const { return raw_; }
    void clearRecords();

    // Called for every event, for the program's log.
    std::function<void(const Event&)> onEvent;

    static constexpr size_t kMaxRecords = 100000;

  private:
    struct Pending {
        SimTime due;
        uint8_t byte;
        bool last;
    };
    void handleFrame(const std::string& text, SimTime frameEnd, const LineConfig& hostLine,
                     LineMatch match);
    void schedule(std::string bytes, SimTime frameEnd, std::chrono::nanoseconds byteTime,
                  std::chrono::milliseconds extraDelay, int pauseAfter,
                  std::chrono::milliseconds pause);
    void report(Event::Kind kind, const std::string& bytes);
    void flushRaw();
    double random01();

    bool hears(size_t index, const LineConfig& hostLine, LineMatch match) const;

    std::deque<SimModule> modules_;
    std::vector<bool> unplugged_;
    FaultConfig faults_;
    FrameReader reader_;
    std::mt19937 rng_;
    int baseDelayMs_ = 5;
    bool pacing_ = false;
    ReplyOverride override_;
    std::deque<Pending> pending_;
    std::deque<std::string> received_;
    std::string raw_;
    std::string rawChunk_;
    std::string garbled_;
    int answered_ = 0;
};

// True when a module at `own` hears a host at `hostLine` under `match`.
bool LineHeard(const LineConfig& own, const LineConfig& hostLine, ModuleHost::LineMatch match);

// What the wire carries when several reply frames go out at once: the byte-wise OR, as long as
// the longest, and never a frame that verifies.
std::string CollideFrames(const std::vector<std::string>& frames);
