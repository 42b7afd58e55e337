#pragma once
// A far end on a real pseudo-terminal for tests of the link: the tool opens the slave path as a
// serial port; the peer reads the master in a thread of its own and answers each command frame
// with a scripted reply, chunk by chunk, with pauses.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class PtyPeer {
  public:
    struct Chunk {
        int delayMs = 0;    // pause before these bytes are written
        std::string bytes;  // written in one go
    };
    using Reply = std::vector<Chunk>;

    PtyPeer();
    ~PtyPeer();

    bool ok() const { return master_ >= 0; }
    const std::string& slavePath() const { return slavePath_; }
    int masterFd() const { return master_; }

    // The next command frame gets this reply; frames beyond the queued replies get none.
    void queueReply(Reply reply);
    // Answers every frame with a correct reply built from `text` at once.
    void answerAlways(const std::string& text);
    // Writes bytes to the tool now, unasked.
    void inject(const std::string& bytes);
    // Closes the master as a far end that hangs up, once the next frame has arrived.
    void hangUpOnNextFrame();

    // Every byte the tool has written so far.
    std::string received() const;
    // Waits until at least n bytes have arrived; false on time-out.
    bool waitReceived(size_t n, int timeoutMs) const;
    void clearReceived();

  private:
    void run();
    void writeAll(const std::string& bytes);

    int master_ = -1;
    std::string slavePath_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    mutable std::condition_variable cv_;
    std::string received_;
    std::deque<Reply> replies_;
    std::string always_;
    bool hangUp_ = false;
};
