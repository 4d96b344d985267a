#include "SleepingThreads.h"

#include "WaitUntil.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

// The state letter of /proc/self/task/ID/stat: after the name, which is in
// parentheses and may itself hold them.
char ThreadState(const std::filesystem::path& task) {
    std::ifstream file(task / "stat");
    std::stringstream text;
    text << file.rdbuf();
    const std::string stat = text.str();
    const auto nameEnd = stat.rfind(')');
    return nameEnd == std::string::npos || nameEnd + 2 >= stat.size() ? '?' : stat[nameEnd + 2];
}

bool OtherThreadsSleep() {
    const std::string self = std::to_string(gettid());
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
        // A thread that ended meanwhile has no state left and sleeps no more.
        const char state = ThreadState(task.path());
        if (task.path().filename() != self && state != 'S' && state != '?')
            return false;
    }
    return !error;
}

} // namespace

bool WaitUntilOtherThreadsSleep(std::chrono::milliseconds deadline) {
    return WaitUntil(OtherThreadsSleep, deadline);
}
