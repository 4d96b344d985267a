#include "platform/PrivateRuntimeDirectory.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string AbsoluteEnv(const char* name) {
    const char* value = std::getenv(name);
    return value && *value == '/' ? std::string(value) : std::string();
}

} // namespace

std::string PrivateRuntimeDirectory() {
    std::string directory = AbsoluteEnv("XDG_RUNTIME_DIR");
    if (!directory.empty()) {
        directory += "/nelq-client";
    } else {
        // /tmp is shared: the user's id keeps the name apart, the checks below keep it private.
        const std::string temporary = AbsoluteEnv("TMPDIR");
        directory = (temporary.empty() ? std::string("/tmp") : temporary) + "/nelq-client-" +
                    std::to_string(::geteuid());
    }
    ::mkdir(directory.c_str(), 0700);
    struct stat status {};
    if (::lstat(directory.c_str(), &status) != 0 || !S_ISDIR(status.st_mode) ||
        status.st_uid != ::geteuid())
        return {};
    if ((status.st_mode & 077) != 0 && ::chmod(directory.c_str(), 0700) != 0)
        return {};
    return directory;
}
