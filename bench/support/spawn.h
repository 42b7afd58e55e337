#pragma once
// Milliseconds from spawning a program to its exit, its output dropped: what a user waits for
// a command. Header-only, for the benchmarks that time quillon-cli.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QElapsedTimer>
#include <vector>

extern char** environ;

// -1 when the program cannot be started.
inline double Spawn(const std::vector<const char*>& argv) {
    std::vector<char*> args;
    for (const char* a : argv) args.push_back(const_cast<char*>(a));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    QElapsedTimer t;
    t.start();
    pid_t pid = 0;
    const bool started = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) == 0;
    int status = 0;
    if (started) waitpid(pid, &status, 0);
    const double ms = t.nsecsElapsed() / 1e6;
    posix_spawn_file_actions_destroy(&actions);
    return started ? ms : -1;
}
