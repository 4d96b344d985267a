#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct TProgramResult {
    double CpuSeconds = 0;  // user + system, taken when the program is reaped
    bool Succeeded = false; // exit status 0
};

// Runs `program` (looked up in PATH) to its end. Each line it prints on
// standard output goes to `onLine` with the steady-clock time it was read at;
// standard error goes to `errorLogPath`.
TProgramResult
RunProgram(const std::vector<std::string>& arguments, const std::string& errorLogPath,
           const std::function<void(const std::string& line, std::int64_t timeNs)>& onLine = {});
