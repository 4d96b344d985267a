#pragma once

#include <string>
#include <vector>

struct TTimedRun {
    double Seconds = 0;    // wall time from start to exit
    long PeakKiB = 0;      // largest resident set of the program or any child it waited for
    double CpuSeconds = 0; // user and system time of the program and its children
};

// Runs the program argv[0] (a path) to its end; throws std::runtime_error
// when it cannot start or does not exit with status 0.
TTimedRun RunTimed(const std::vector<std::string>& argv);
