#include "ChildProcess.h"

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string ReadText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

} // namespace

TChildProcess::TChildProcess(const std::vector<std::string>& argv,
                             const std::string& workingDirectory, const std::string& outputPrefix)
    : FOutputPath(outputPrefix + ".out"), FErrorPath(outputPrefix + ".err") {
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    FPid = fork();
    if (FPid < 0)
        throw std::runtime_error("fork failed");
    if (FPid == 0) {
        // Only async-signal-safe calls between fork and exec.
        const int out = open(FOutputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(FErrorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
            chdir(workingDirectory.c_str()) != 0)
            _exit(127);
        execv(args[0], args.data());
        _exit(127);
    }
}

TChildProcess::~TChildProcess() {
    if (FPid > 0) {
        kill(FPid, SIGKILL);
        waitpid(FPid, nullptr, 0);
    }
}

void TChildProcess::Reap(int status) {
    FPid = -1;
    FStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool TChildProcess::Running() {
    if (FPid <= 0)
        return false;
    int status = 0;
    if (waitpid(FPid, &status, WNOHANG) == FPid)
        Reap(status);
    return FPid > 0;
}

void TChildProcess::Signal(int signal) {
    if (FPid > 0)
        kill(FPid, signal);
}

int TChildProcess::Wait(std::chrono::seconds deadline) {
    WaitUntil([this] { return !Running(); }, deadline);
    return FPid > 0 ? -1 : FStatus;
}

std::string TChildProcess::Output() const {
    return ReadText(FOutputPath);
}
std::string TChildProcess::Errors() const {
    return ReadText(FErrorPath);
}
