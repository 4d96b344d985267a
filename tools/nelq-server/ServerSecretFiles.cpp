#include "ServerSecretFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A passwords file is a few lines; a bigger one is the wrong file (or a
// device that never ends).
constexpr std::size_t MaxSecretFileSize = 1 << 20;

[[noreturn]] void Refuse(const std::filesystem::path& path, const std::string& reason) {
    throw std::invalid_argument(path.string() + ": " + reason);
}

// Closes the descriptor whichever way the reading ends.
struct TDescriptor {
    int Fd;
    ~TDescriptor() {
        if (Fd >= 0)
            ::close(Fd);
    }
};

// The whole file. Refused when other users may read it; its group may, as
// a group is how a file is shared with a service's user.
std::string ReadSecretFile(const std::filesystem::path& path) {
    const TDescriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY)};
    if (file.Fd < 0)
        Refuse(path, std::string("cannot read: ") + std::strerror(errno));
    struct stat status {};
    if (::fstat(file.Fd, &status) != 0)
        Refuse(path, std::string("cannot read: ") + std::strerror(errno));
    if (S_ISDIR(status.st_mode))
        Refuse(path, "is a directory");
    if (status.st_mode & S_IROTH)
        Refuse(path,
               "is readable by other users; make it private with: chmod o-r " + path.string());
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(file.Fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            Refuse(path, std::string("cannot read: ") + std::strerror(errno));
        if (got == 0)
            return text;
        text.append(buffer, static_cast<std::size_t>(got));
        if (text.size() > MaxSecretFileSize)
            Refuse(path, "is larger than 1 MiB; not a passwords file");
    }
}

// The line from `at` without its end ("\n" or "\r\n"); `at` moves past it.
std::string_view NextLine(std::string_view text, std::size_t& at) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    std::string_view line = text.substr(at, end - at);
    at = end + 1;
    if (line.ends_with('\r'))
        line.remove_suffix(1);
    return line;
}

std::string AtLine(int number) {
    return "line " + std::to_string(number) + ": ";
}

} // namespace

std::optional<std::pair<std::string, std::string>> ParseViewerAccount(std::string_view text) {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || text.find('\t') != std::string_view::npos)
        return std::nullopt;
    return std::pair{std::string(text.substr(0, colon)), std::string(text.substr(colon + 1))};
}

std::string ReadFilmPasswordFile(const std::filesystem::path& path) {
    const std::string text = ReadSecretFile(path);
    std::size_t at = 0;
    const std::string_view password = NextLine(text, at);
    if (password.empty())
        Refuse(path, "the password (the file's first line) is empty");
    if (password.find('\t') != std::string_view::npos)
        Refuse(path, "the password may not hold a TAB");
    return std::string(password);
}

void AddViewersFile(const std::filesystem::path& path,
                    std::map<std::string, std::string>& accounts) {
    const std::string text = ReadSecretFile(path);
    int number = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::string_view line = NextLine(text, at);
        ++number;
        if (line.empty() || line.starts_with('#'))
            continue;
        const auto account = ParseViewerAccount(line);
        if (!account)
            Refuse(path, AtLine(number) + "expected USER:PASSWORD (no TAB)");
        if (!accounts.emplace(*account).second)
            Refuse(path, AtLine(number) + "user " + account->first + " is given twice");
    }
}
