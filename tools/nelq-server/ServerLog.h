#pragma once

#include <ctime>
#include <mutex>
#include <ostream>
#include <string>

// "YYYY-MM-DD HH:MM:SS" in UTC; safe from any thread.
std::string UtcStamp(std::time_t time);

// The server's log: timestamped lines written whole from any thread.
class TServerLogWriter {
public:
    explicit TServerLogWriter(std::ostream& log) : Log(log) {}

    void operator()(const std::string& line);
    // Writes `text` to `out` between log lines (both may go to one terminal).
    void Print(std::ostream& out, const std::string& text);

private:
    std::mutex Lock;
    std::ostream& Log; // guarded by Lock
};
