#pragma once

#include <cstdint>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

enum class TSoakEvent {
    Drop,         // the relay dropped the client's connection
    Stall,        // the relay began to hold the client's connection still
    Restart,      // the server went down to be started again
    Progress,     // the client moved its cast on
    Reconnection, // the client connects again (said by the viewer, logged by the server for the
                  // filmer)
    End,          // the client's work was over
};

struct TTimedEvent {
    TSoakEvent Kind;
    std::int64_t AtNs; // steady clock, comparable between processes
};

// What happened to one client of the soak, one line per event, written as it
// happens: a process stopped from outside leaves its events behind. Safe to
// add to from any thread.
class TEventLog {
public:
    explicit TEventLog(const std::string& path);
    void Add(TSoakEvent kind);

private:
    std::mutex Lock;
    std::ofstream File; // guarded by Lock
};

std::vector<TTimedEvent> ReadEventLog(const std::string& path);
