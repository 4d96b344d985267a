#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// A program the benchmark starts, measures and stops.
class TChildProcess {
public:
    // Starts `program` with `arguments`; its stderr goes to `logPath`, its
    // stdout to `outputPath` when one is given.
    TChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                  const std::string& logPath, const std::string& outputPath = "");
    ~TChildProcess(); // stops it if still running
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;

    double CpuSeconds() const; // user + system time so far
    long PeakMemoryKb() const; // VmHWM
    long ResidentKb() const;   // VmRSS now
    void Stop();               // SIGTERM, then waits
    bool Running();            // false once it has exited
    int Wait();                // until it exits; its exit status, -1 when a signal ended it

private:
    long StatusKb(const std::string& field) const; // a "Vm…:" line of /proc/PID/status

    bool Reaped(int waitOptions); // true once it has exited and been waited for

    pid_t Pid = -1;
    int ExitStatus = -1;
};
