// quillon-sim: one simulated module on a pseudo-terminal or a serial device. See --help.

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "sim/simprogram.h"

namespace {

volatile std::sig_atomic_t gStop = 0;

void OnSignal(int) {
    gStop = 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    SimOptions options;
    std::string error;
    switch (ParseSimOptions(args, &options, &error)) {
        case ParseOutcome::Help:
            std::fputs(SimUsage().c_str(), stdout);
            return 0;
        case ParseOutcome::Error:
            std::fprintf(stderr, "quillon-sim: %s\n", error.c_str());
            return 2;
        case ParseOutcome::Run:
            break;
    }
    // Without SA_RESTART, so that a signal cuts the wait of the main loop short.
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return RunSim(options, &gStop, stdout, stderr);
}
