#include "WinePrefix.h"

#include "BuildTree.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TWinePrefix MakePrefix() {
    TWinePrefix prefix;
    prefix.Directory = BuildTreePath("wine-prefix");
    setenv("WINEPREFIX", prefix.Directory.c_str(), 1);
    setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
    setenv("WINEDEBUG", "-all", 1);
    std::string output;
    if (RunInWinePrefix("command -v wine", output) != 0) {
        prefix.Problem = "no wine (scripts/install-deps --wine installs it)";
        return prefix;
    }
    prefix.Wine = output.substr(0, output.find('\n'));
    // The mark is made last: a boot cut short is done again.
    if (RunInWinePrefix("flock '" + prefix.Directory +
                            ".lock' sh -c 'test -e \"$WINEPREFIX/made\" || "
                            "{ env -u DISPLAY wineboot --init && wineserver --wait && "
                            "touch \"$WINEPREFIX/made\"; }'",
                        output) != 0)
        prefix.Problem = "wineboot --init failed: " + output;
    return prefix;
}

} // namespace

const TWinePrefix& BuildTreeWinePrefix() {
    static const TWinePrefix prefix = MakePrefix();
    return prefix;
}

TWineSession::TWineSession(TUse use) : Use(use) {
    const std::string path = BuildTreeWinePrefix().Directory + ".session";
    Lock = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (Lock >= 0)
        ::flock(Lock, Use == TUse::Shared ? LOCK_SH : LOCK_EX);
    std::string output;
    // A wineserver lingering after the last test would lend its display.
    if (Use == TUse::WithoutDisplay)
        RunInWinePrefix("wineserver -k; wineserver --wait", output);
}

TWineSession::~TWineSession() {
    std::string output;
    if (Use == TUse::WithoutDisplay)
        RunInWinePrefix("wineserver -k; wineserver --wait", output);
    if (Lock >= 0)
        ::close(Lock);
}

int RunInWinePrefix(const std::string& command, std::string& output) {
    output.clear();
    FILE* pipe = ::popen(("{ " + command + "; } 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return -1;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, n);
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
