#pragma once

#include "WaitUntil.h"

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

// A program run by a test: started with its own working directory, its
// standard output and error caught in files, polled or waited for with a
// deadline, and killed if it is still running when the test ends.
class TChildProcess {
public:
    TChildProcess(const std::vector<std::string>& argv, const std::string& workingDirectory,
                  const std::string& outputPrefix);
    ~TChildProcess();
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;

    bool Running();
    void Signal(int signal);
    // The exit status, or -1 when it did not end in time (or ended by a signal).
    int Wait(std::chrono::seconds deadline);
    std::string Output() const;
    std::string Errors() const;

private:
    void Reap(int status);

    pid_t FPid = -1;
    int FStatus = -1;
    std::string FOutputPath, FErrorPath;
};
