#include "app/UnitLinkProtocol.h"

#include "app/UnitNELQGlobal.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;
extern const std::string_view CastMimeTypeText;

namespace fs = std::filesystem;

namespace {

constexpr const char* LinkMimeType = "x-scheme-handler/nelq";
// ".qmx" cast archives; the type a package defines, and a checkout's client
// defines for its user.
constexpr const char* CastMimeType = "application/x-nelq-cast";
constexpr const char* CastMimeTypeFile = "nelq-client.xml";

// Runs a program found on the PATH with the client's environment and returns
// what it wrote to its standard output; none when it cannot be run or fails.
std::optional<std::string> RunProgram(std::vector<std::string> words) {
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0)
        return std::nullopt;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    const int spawned = ::posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);

    std::string output;
    if (spawned == 0) {
        char buffer[512];
        for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof buffer)) != 0;) {
            if (n > 0)
                output.append(buffer, static_cast<std::size_t>(n));
            else if (errno != EINTR)
                break;
        }
    }
    ::close(pipeEnds[0]);
    if (spawned != 0)
        return std::nullopt;
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return output;
}

// The user's data directory with a trailing separator; empty without one.
std::string DataHome() {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome && *dataHome == '/')
        return IncludeTrailingSeparator(dataHome);
    const char* home = std::getenv("HOME");
    if (!home || !*home)
        return {};
    return IncludeTrailingSeparator(home) + ".local/share/";
}

// Whether one of the system's data directories defines the cast type (the
// package installed).
bool SystemDefinesCastType() {
    const char* dirs = std::getenv("XDG_DATA_DIRS");
    const std::string list = dirs && *dirs ? dirs : "/usr/local/share:/usr/share";
    std::size_t begin = 0;
    while (begin <= list.size()) {
        const std::size_t end = std::min(list.find(':', begin), list.size());
        std::error_code ec;
        if (end > begin && fs::exists(fs::path(list.substr(begin, end - begin)) / "mime/packages" /
                                          CastMimeTypeFile,
                                      ec))
            return true;
        begin = end + 1;
    }
    return false;
}

// Teaches the user's desktop what a ".qmx" is, unless the system knows.
void DefineCastTypeForTheUser(const std::string& dataHome) {
    if (SystemDefinesCastType())
        return;
    const std::string packages = dataHome + "mime/packages/";
    std::error_code ec;
    fs::create_directories(packages, ec);
    std::ofstream out(packages + CastMimeTypeFile, std::ios::binary | std::ios::trunc);
    out << CastMimeTypeText;
    out.close();
    if (ec || !out)
        return;
    RunProgram({"update-mime-database", dataHome + "mime"});
}

// The executable as one argument of an Exec line: quoted as the desktop entry
// format asks, then with its backslashes escaped once more for the file and
// "%" doubled; none when it cannot be written there safely.
std::optional<std::string> ExecArgument(const std::string& executable) {
    std::string argument = "\"";
    for (const char c : executable) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return std::nullopt;
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            argument += '\\';
        argument += c;
    }
    argument += '"';

    std::string inFile;
    for (const char c : argument) {
        if (c == '\\' || c == '%')
            inFile += c;
        inFile += c;
    }
    return inFile;
}

bool WriteDesktopEntry(const std::string& path, const std::string& execArgument) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=NELQ Client Software\n"
           "Comment=Opens nelq:// cast links and .qmx cast archives\n"
           "Exec="
        << execArgument
        << " %u\n"
           "Terminal=false\n"
           "NoDisplay=true\n"
           "MimeType="
        << LinkMimeType << ';' << CastMimeType << ";\n";
    out.close();
    return static_cast<bool>(out);
}

} // namespace

void RegisterLinkProtocol(const std::string& executable) {
    const std::optional<std::string> current =
        RunProgram({"xdg-mime", "query", "default", LinkMimeType});
    if (!current || current->find_first_not_of(" \t\r\n") != std::string::npos)
        return;

    // Asked before the entry exists, which would answer for itself.
    const std::optional<std::string> castHandler =
        RunProgram({"xdg-mime", "query", "default", CastMimeType});
    const std::optional<std::string> exec = ExecArgument(executable);
    const std::string dataHome = DataHome();
    if (!exec || dataHome.empty())
        return;
    const std::string directory = dataHome + "applications/";
    std::error_code ec;
    fs::create_directories(directory, ec);
    if (ec || !WriteDesktopEntry(directory + LinkHandlerEntry, *exec))
        return;
    RunProgram({"xdg-mime", "default", LinkHandlerEntry, LinkMimeType});
    // Archives only where no program of the user's or a package's opens them.
    if (castHandler && castHandler->find_first_not_of(" \t\r\n") == std::string::npos) {
        DefineCastTypeForTheUser(dataHome);
        RunProgram({"xdg-mime", "default", LinkHandlerEntry, CastMimeType});
    }
    Trace(1, "Registered the nelq link and cast archive handler");
}
