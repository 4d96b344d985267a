#include "app/UnitLinks.h"

#include "app/UnitNELQGlobal.h"
#include "platform/AsciiText.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>

namespace {

std::string AsciiUpper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// The extension from the name's last dot, in lower case.
std::string LowerExtension(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    return AsciiLower(path.substr(dot));
}

// `text` with its %XX escapes decoded; none for a malformed escape.
std::optional<std::string> PercentDecoded(const std::string& text) {
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            decoded += text[i];
            continue;
        }
        if (i + 2 >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[i + 1])) ||
            !std::isxdigit(static_cast<unsigned char>(text[i + 2])))
            return std::nullopt;
        decoded += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
        i += 2;
    }
    return decoded;
}

// A web page must percent-encode a name with a space, and browsers hand the
// link on as written: the game is read decoded. A name whose escapes are
// malformed or decode to control characters is kept as written.
std::string LinkGameName(const std::string& written) {
    const std::optional<std::string> decoded = PercentDecoded(written);
    if (!decoded || std::any_of(decoded->begin(), decoded->end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
        }))
        return written;
    return *decoded;
}

// The host sits between the second and the third slash, exactly as written,
// and the game between the third and the fourth (or the end).
void ReadLink(const std::string& link, CommandLineRequest& request) {
    int slashes = 0;
    for (const char c : link) {
        if (c == '/') {
            if (++slashes == 4)
                break;
        } else if (slashes == 2) {
            request.LinkHost += c;
        } else if (slashes == 3) {
            request.LinkGame += c;
        }
    }
    request.LinkGame = AsciiUpper(LinkGameName(request.LinkGame));
    // A game without a host to ask for it means nothing.
    if (request.LinkHost.empty())
        request.LinkGame.clear();
}

// The local path a "file:" URL names (as desktops pass files to "%u"), with
// its escapes decoded; none for another host or a malformed escape.
std::optional<std::string> FileUrlPath(const std::string& url) {
    std::string rest = url.substr(7);
    if (AsciiLower(rest.substr(0, 9)) == "localhost")
        rest.erase(0, 9);
    if (rest.empty() || rest[0] != '/')
        return std::nullopt;
    return PercentDecoded(rest);
}

} // namespace

std::string LinkTo(const std::string& host, const std::string& game) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string link = "nelq://" + host + "/";
    for (const char c : game) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '-' || c == '.' || c == '_' || c == '~') {
            link += c;
        } else {
            link += '%';
            link += Hex[byte >> 4];
            link += Hex[byte & 0xF];
        }
    }
    return link + "/";
}

CommandLineRequest ParseCommandLine(const std::vector<std::string>& arguments) {
    std::string joined;
    for (std::size_t i = 0; i < arguments.size(); ++i)
        joined += (i == 0 ? "" : " ") + arguments[i];

    CommandLineRequest request;
    if (AsciiLower(joined.substr(0, 5)) == "nelq:") {
        ReadLink(joined, request);
        return request;
    }
    if (AsciiLower(joined.substr(0, 7)) == "file://") {
        const std::optional<std::string> path = FileUrlPath(joined);
        if (!path)
            return request;
        joined = *path;
    }
    std::error_code ec;
    if (LowerExtension(joined) == ".qmx" && std::filesystem::is_regular_file(joined, ec))
        request.PendingArchive = joined;
    return request;
}

int LinkGameIndex(const std::vector<std::string>& games, const std::string& linkGame) {
    if (linkGame.empty())
        return -1;
    const std::string wanted = AsciiLower(linkGame);
    for (std::size_t i = 0; i < games.size(); ++i)
        if (AsciiLower(games[i]) == wanted)
            return static_cast<int>(i);
    return -1;
}

std::optional<std::string> CommandLineInfo(const std::vector<std::string>& arguments) {
    if (arguments.empty())
        return std::nullopt;
    if (arguments[0] == "--version")
        return "nelq-client " + ClientVersion() + "\n" NELQ_LEGAL_COPYRIGHT "\n";
    if (arguments[0] != "--help")
        return std::nullopt;
    return "Usage: nelq-client [nelq://HOST/GAME/]\n"
           "  or:  nelq-client ARCHIVE.qmx\n"
           "  or:  nelq-client OPTION\n"
           "Films and views casts of Tribes 2 games.\n"
           "\n"
           "With a link, connects to the casting server HOST and opens its cast GAME;\n"
           "with a cast archive, plays it offline. Anything else on the command line\n"
           "is ignored.\n"
           "\n"
           "      --help     display this help and exit\n"
           "      --version  output version information and exit\n"
           "\n"
           "Settings are kept in $XDG_CONFIG_HOME/NELQ/NELQ.ini. NELQ_HOME names the\n"
           "directory for casts and filmed sections (by default a portable install's\n"
           "own directory, else $XDG_DATA_HOME/NELQ/).\n";
}
