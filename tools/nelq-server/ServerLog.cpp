#include "ServerLog.h"

std::string UtcStamp(std::time_t time) {
    std::tm parts{};
    char stamp[32] = "";
    if (gmtime_r(&time, &parts))
        std::strftime(stamp, sizeof(stamp), "%Y-%m-%d %H:%M:%S", &parts);
    return stamp;
}

void TServerLogWriter::operator()(const std::string& line) {
    const std::string text = UtcStamp(std::time(nullptr)) + ' ' + line + '\n';
    std::lock_guard guard(Lock);
    Log << text << std::flush;
}

void TServerLogWriter::Print(std::ostream& out, const std::string& text) {
    std::lock_guard guard(Lock);
    out << text << std::flush;
}
