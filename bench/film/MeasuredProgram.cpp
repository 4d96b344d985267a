#include "MeasuredProgram.h"

#include "SteadyNanoseconds.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

extern char** environ;

namespace {

double Seconds(const timeval& time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

// Hands every complete line read from `pipe` to `onLine`.
void ReadLines(int pipe, const std::function<void(const std::string&, std::int64_t)>& onLine) {
    std::string pending;
    char chunk[4096];
    for (;;) {
        const ssize_t got = ::read(pipe, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        const std::int64_t now = SteadyNanoseconds();
        pending.append(chunk, static_cast<std::size_t>(got));
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
            if (onLine)
                onLine(pending.substr(0, end), now);
            pending.erase(0, end + 1);
        }
    }
}

} // namespace

TProgramResult RunProgram(const std::vector<std::string>& arguments,
                          const std::string& errorLogPath,
                          const std::function<void(const std::string&, std::int64_t)>& onLine) {
    std::vector<char*> argv;
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    int output[2];
    if (::pipe2(output, O_CLOEXEC) != 0)
        throw std::runtime_error("cannot make a pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, errorLogPath.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    pid_t child = 0;
    const int failed = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(output[1]);
    if (failed) {
        ::close(output[0]);
        throw std::runtime_error("cannot start " + arguments[0]);
    }
    ReadLines(output[0], onLine);
    ::close(output[0]);

    int status = 0;
    rusage usage{};
    while (::wait4(child, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    return {Seconds(usage.ru_utime) + Seconds(usage.ru_stime),
            WIFEXITED(status) && WEXITSTATUS(status) == 0};
}
