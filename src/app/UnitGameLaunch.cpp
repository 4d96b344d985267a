#include "app/UnitGameLaunch.h"

#include "app/UnitGameInstall.h"

#include <cstdlib>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

// Inside double quotes a backslash escapes only these, as in the shell.
bool EscapableInDoubleQuotes(char c) {
    return c == '"' || c == '\\' || c == '$' || c == '`' || c == '\n';
}

bool IsExecutableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

bool IsOnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    if (!path)
        return false;
    const std::string directories = path;
    std::size_t begin = 0;
    while (begin <= directories.size()) {
        std::size_t end = directories.find(':', begin);
        if (end == std::string::npos)
            end = directories.size();
        // An empty entry stands for the current directory, as in the shell.
        const std::string directory =
            end == begin ? std::string(".") : directories.substr(begin, end - begin);
        if (IsExecutableFile(directory + "/" + program))
            return true;
        begin = end + 1;
    }
    return false;
}

} // namespace

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false; // a word has begun, even an empty quoted one
    for (std::size_t i = 0; i < commandLine.size(); ++i) {
        const char c = commandLine[i];
        if (IsBlank(c)) {
            if (inWord)
                words.push_back(std::move(word));
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == '\\') {
            if (i + 1 < commandLine.size()) {
                if (commandLine[++i] != '\n')
                    word += commandLine[i];
            } else {
                word += c;
            }
        } else if (c == '\'') {
            const std::size_t close = commandLine.find('\'', i + 1);
            if (close == std::string::npos)
                throw std::invalid_argument("Unterminated ' in the command line: " + commandLine);
            word.append(commandLine, i + 1, close - i - 1);
            i = close;
        } else if (c == '"') {
            for (++i;; ++i) {
                if (i >= commandLine.size())
                    throw std::invalid_argument("Unterminated \" in the command line: " +
                                                commandLine);
                if (commandLine[i] == '"')
                    break;
                if (commandLine[i] == '\\' && i + 1 < commandLine.size() &&
                    EscapableInDoubleQuotes(commandLine[i + 1])) {
                    if (commandLine[++i] != '\n')
                        word += commandLine[i];
                } else {
                    word += commandLine[i];
                }
            }
        } else {
            word += c;
        }
    }
    if (inWord)
        words.push_back(std::move(word));
    return words;
}

std::string DefaultGameLauncher() {
    return IsOnPath("wine") ? "wine" : "";
}

std::optional<GameLaunchCommand> GameLaunchCommandFor(const std::string& launcher,
                                                      const std::string& gameDirectory) {
    std::vector<std::string> words = SplitCommandLine(launcher);
    if (words.empty())
        return std::nullopt;
    GameLaunchCommand command;
    command.Program = words.front();
    command.Arguments.assign(words.begin() + 1, words.end());
    command.Arguments.insert(command.Arguments.end(),
                             {gameDirectory + PlaybackExecutableName, "-nologin", "-mod", "NELQ"});
    command.WorkingDirectory = gameDirectory;
    return command;
}
