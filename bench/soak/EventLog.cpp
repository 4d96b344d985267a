#include "EventLog.h"

#include "SteadyNanoseconds.h"

TEventLog::TEventLog(const std::string& path) : File(path, std::ios::app) {}

void TEventLog::Add(TSoakEvent kind) {
    const std::int64_t now = SteadyNanoseconds();
    std::lock_guard guard(Lock);
    File << static_cast<int>(kind) << ' ' << now << std::endl;
}

std::vector<TTimedEvent> ReadEventLog(const std::string& path) {
    std::vector<TTimedEvent> events;
    std::ifstream file(path);
    int kind = 0;
    std::int64_t at = 0;
    while (file >> kind >> at)
        events.push_back({static_cast<TSoakEvent>(kind), at});
    return events;
}
