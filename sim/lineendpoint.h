#pragma once
// Puts a ModuleHost on a real file descriptor: the master side of a new pseudo-terminal, or a
// serial device. Single-threaded: step() waits on the line (and on one more descriptor, the
// program's standard input) at most until the next reply byte falls due.
//
// On a pseudo-terminal the module hears the tool only when the baud rate the tool set on the
// slave equals the module's own: tcgetattr() on the master returns the slave's settings on
// Linux (parity does not travel; the kernel clears PARENB on ptys). When the tool closes the
// slave, the master reports POLLHUP and reads fail with EIO until the slave is opened again;
// the endpoint then drops what it had still to send, gives the slave the settings of a new pty
// again (a tool that was killed leaves its own behind) and, rather than spin on the hang-up,
// waits until the slave is opened again (told by inotify on Linux) or 20 ms have passed.
// Bytes that the tool wrote just before closing (and that nothing answers) are taken at the
// baud rate of that open, even when the tool has already put back the slave's previous
// settings by the time they are read. On a serial device the line runs at the module's line
// setting and is set anew after the reply to "E" has gone out.

#include <termios.h>

#include <deque>
#include <functional>
#include <string>

#include "sim/modulehost.h"

class LineEndpoint {
  public:
    explicit LineEndpoint(ModuleHost& host);
    ~LineEndpoint();
    LineEndpoint(const LineEndpoint&) = delete;
    LineEndpoint& operator=(const LineEndpoint&) = delete;

    bool openPty(std::string* error);
    bool openDevice(const std::string& path, std::string* error);
    // A symbolic link at `path` to the pty's slave; an existing link there is replaced, any
    // other file is left alone and the call fails. Removed again by the destructor.
    bool placeLink(const std::string& path, std::string* error);

    const std::string& slavePath() const { return slavePath_; }
    bool isOpen() const { return fd_ >= 0; }

    // One round: sends what is due, waits up to maxWaitMs for input on the line or on
    // extraFd (-1 for none), takes in what came and sends what fell due meanwhile. Returns
    // true when extraFd is readable (or at its end).
    bool step(int maxWaitMs, int extraFd = -1);

    // The baud rate the tool set on the slave (pty), or the device's rate; 0 when unknown.
    int hostBaud() const;

    // Called with the bytes of each reply once they are written.
    std::function<void(const std::string& bytes)> onSent;
    // Called when the tool closes the pty's slave.
    std::function<void()> onHangUp;

  private:
    void sendDue();
    void hangUp();
    // Whether no one has the pty's slave open, waiting up to `waitMs` for it to be closed.
    bool slaveClosed(int waitMs = 0) const;
    // The baud rate that bytes just read came at, given the poll events of that read.
    int receivedAt(short revents);
    bool configureDevice(const LineConfig& line, std::string* error);
    // Waits up to `waitMs` for extraFd while the slave is closed; returns whether extraFd is
    // readable. Ends early, and ends the pause, when the slave is opened again.
    bool waitPaused(int waitMs, int extraFd);
    // After the open watch fired: whether the slave is open again (the pause is then over).
    bool reopenedDuringPause();

    ModuleHost& host_;
    int fd_ = -1;
    bool device_ = false;
    std::string slavePath_;
    std::string linkPath_;
    std::string out_;          // taken from the host, not yet written
    std::deque<size_t> ends_;  // offsets in out_ where a reply ends
    std::string current_;      // written bytes of the reply under way, for onSent
    LineConfig deviceLine_;
    SimTime pauseUntil_{};
    bool connected_ = false;
    int sessionBaud_ = 0;  // the slave's baud rate at the first bytes since it was opened
    // The settings of the new pty, put back on the slave at every hang-up.
    termios freshTermios_{};
    bool fresh_ = false;
    // Reports each open of the pty's slave (inotify; -1 where there is none).
    int openWatch_ = -1;
    // How long a change of the slave's settings may precede the hang-up of a close.
    static constexpr int kCloseGraceMs = 20;
};
