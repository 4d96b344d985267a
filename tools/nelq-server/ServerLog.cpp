#include "ServerLog.h"
#include "UtcText.h"

std::string UtcStamp(std::time_t time) {
    return UtcText(time, "%Y-%m-%d %H:%M:%S");
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
