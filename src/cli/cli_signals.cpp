// quillon-cli: Ctrl-C, SIGTERM and SIGHUP. A continuous run (a live test, a survey, apply)
// hears the first as a stop and ends its step; otherwise, and at a second one, the program
// ends at once, but only after the site register has written what is queued (for at most
// kRegisterGraceMs). The handler itself only writes a byte to a pipe: a thread of its own
// reads it and does the rest.

#include <fcntl.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <cerrno>
#include <mutex>
#include <thread>

#include "cli/cli.h"

namespace cli {

namespace {

int g_wake[2] = {-1, -1};
// Held while the writer is used at the end (by the program or by the thread), and while a file
// is replaced (ExitHold).
std::mutex& Gate() {
    static std::mutex gate;
    return gate;
}
RegisterWriter* g_writer = nullptr;  // under Gate()

void SayUnwritten(int left) {
    if (left > 0)
        std::fprintf(stderr, "quillon-cli: %d event(s) not written to the site register\n", left);
}

[[noreturn]] void EndNow() {
    std::lock_guard<std::mutex> lock(Gate());
    if (g_writer) SayUnwritten(g_writer->finish(kRegisterGraceMs));
    _exit(kInterrupted);
}

}  // namespace

void OnInterrupt(int) {
    if (g_interrupted || !g_continuous) {
        const char byte = 1;
        // Without the thread (or the pipe), nothing better than to end here.
        if (g_wake[1] < 0 || write(g_wake[1], &byte, 1) != 1) _exit(kInterrupted);
    }
    g_interrupted = 1;
}

void InstallSignals() {
    if (pipe2(g_wake, O_CLOEXEC) != 0) g_wake[0] = g_wake[1] = -1;
    if (g_wake[0] >= 0) {
        std::thread([] {
            char byte = 0;
            while (read(g_wake[0], &byte, 1) < 0 && errno == EINTR) {
            }
            EndNow();
        }).detach();
    }
    struct sigaction sa = {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &sa, nullptr);
}

void WatchRegister(RegisterWriter* writer) {
    std::lock_guard<std::mutex> lock(Gate());
    g_writer = writer;
}

void FinishRegister(std::unique_ptr<RegisterWriter>& writer) {
    if (!writer) return;
    std::lock_guard<std::mutex> lock(Gate());
    // A finished command lets the writer take its time (a register another program holds
    // locked); once interrupted, even while it waits, it ends soon.
    QElapsedTimer waited;
    waited.start();
    while (!writer->flush(50))
        if (waited.elapsed() >= (g_interrupted ? kRegisterGraceMs : 30000)) break;
    SayUnwritten(writer->finish(0));
    g_writer = nullptr;
    writer.reset();
}

ExitHold::ExitHold() {
    Gate().lock();
}

ExitHold::~ExitHold() {
    Gate().unlock();
}

}  // namespace cli
