#include "ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

TChildProcess::TChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                             const std::string& logPath, const std::string& outputPath) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    if (!outputPath.empty())
        posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int failed = posix_spawn(&Pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed)
        throw std::runtime_error("cannot start " + program);
}

TChildProcess::~TChildProcess() {
    Stop();
}

double TChildProcess::CpuSeconds() const {
    std::ifstream stat("/proc/" + std::to_string(Pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // Fields after the command name, which ends at the last ')'.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long user = 0;
    unsigned long system = 0;
    for (int index = 3; fields >> field; ++index) {
        if (index == 14)
            user = std::stoul(field);
        if (index == 15) {
            system = std::stoul(field);
            break;
        }
    }
    return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long TChildProcess::StatusKb(const std::string& field) const {
    std::ifstream status("/proc/" + std::to_string(Pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(field.size()));
    return 0;
}

long TChildProcess::PeakMemoryKb() const {
    return StatusKb("VmHWM:");
}

long TChildProcess::ResidentKb() const {
    return StatusKb("VmRSS:");
}

void TChildProcess::Stop() {
    if (Pid <= 0)
        return;
    ::kill(Pid, SIGTERM);
    Wait();
}

bool TChildProcess::Reaped(int options) {
    int status = 0;
    if (Pid <= 0 || ::waitpid(Pid, &status, options) != Pid)
        return Pid <= 0;
    Pid = -1;
    ExitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return true;
}

bool TChildProcess::Running() {
    return !Reaped(WNOHANG);
}

int TChildProcess::Wait() {
    Reaped(0);
    return ExitStatus;
}
