#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// A program the benchmark starts, measures and stops.
class TChildProcess {
public:
    // Starts `program` with `arguments`; its stderr goes to `logPath`.
    TChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                  const std::string& logPath);
    ~TChildProcess(); // stops it if still running

    double CpuSeconds() const; // user + system time so far
    long PeakMemoryKb() const; // VmHWM
    void Stop();               // SIGTERM, then waits

private:
    pid_t Pid = -1;
};
