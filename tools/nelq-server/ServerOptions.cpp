#include "ServerOptions.h"
#include "ServerSecretFiles.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>
#include <thread>

const char* const ServerUsage =
    "usage: nelq-server --bind ADDRESS --data DIR\n"
    "                   [--film-password P | --film-password-file FILE]\n"
    "                   [--viewer USER:PASSWORD]... [--viewers-file FILE]...\n"
    "                   [--filmer-port N] [--viewer-port N] [--max-connections N]\n"
    "                   [--filmer-slots N] [--viewer-idle-timeout SECONDS]\n"
    "                   [--http-port N | --no-http] [--threads N]\n"
    "                   [--relay-from URL]\n"
    "       nelq-server --help | --version\n"
    "  --bind ADDRESS             address or host name to listen on\n"
    "  --data DIR                 where the casts are kept (created when missing)\n"
    "  --film-password P          password filmers must give (default: any)\n"
    "  --film-password-file FILE  the same, read from the file's first line\n"
    "  --viewer USER:PASSWORD     a viewer account; none: viewers need no login\n"
    "  --viewers-file FILE        viewer accounts, one USER:PASSWORD a line ('#': comment)\n"
    "  --filmer-port N            port for filmers (default 28200, 0: any free port)\n"
    "  --viewer-port N            port for viewers (default 28100, 0: any free port)\n"
    "  --max-connections N        connections served at once (default 20000)\n"
    "  --filmer-slots N           of those, kept for filmers only\n"
    "                             (default: a quarter, at most 256)\n"
    "  --viewer-idle-timeout S    close viewers idle this long (default 600 seconds)\n"
    "  --http-port N              port of the web page and archive downloads\n"
    "                             (default 28080, 0: any free port)\n"
    "  --no-http                  serve no web page\n"
    "  --threads N                threads serving filmers and viewers (default: one a core)\n"
    "  --relay-from URL           edge mode: serve the casts of the server at URL\n"
    "                             (its web address, or a cache in front of it);\n"
    "                             filmers are refused\n"
    "  --help                     show this text\n"
    "  --version                  show the version\n"
    "Password files must not be readable by other users (chmod o-r FILE).\n"
    "Commands on standard input: \"list\", \"delete GAME\", \"quit\".\n";

std::size_t DefaultServerThreads() {
    return std::max(1u, std::thread::hardware_concurrency());
}

namespace {

std::uint64_t ParseNumber(const std::string& option, const std::string& text, std::uint64_t min,
                          std::uint64_t max) {
    std::uint64_t value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size() || value < min ||
        value > max)
        throw std::invalid_argument(option + " needs a number from " + std::to_string(min) +
                                    " to " + std::to_string(max));
    return value;
}

// The origin's base URL, ending in "/" so that paths are appended to it.
std::string RelayUrl(std::string url) {
    if (!url.starts_with("http://") && !url.starts_with("https://"))
        throw std::invalid_argument("--relay-from needs an http:// or https:// URL");
    if (url.find_first_of(" \t\r\n?#", 0) != std::string::npos)
        throw std::invalid_argument("--relay-from takes a URL without spaces, query or fragment");
    if (!url.ends_with("/"))
        url += "/";
    return url;
}

} // namespace

TServerOptions ParseServerOptions(const std::vector<std::string>& arguments) {
    TServerOptions options;
    bool haveBind = false;
    bool haveFilmerSlots = false;
    bool haveFilmPassword = false;
    bool haveFilmPasswordFile = false;
    bool haveHttpPort = false;
    bool haveNoHttp = false;
    // Read after every --viewer, so that a user they also name is refused
    // wherever the options stand.
    std::vector<std::string> viewersFiles;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        if (option == "--help" || option == "-h") {
            options.Help = true;
            return options;
        }
        if (option == "--version") {
            options.Version = true;
            return options;
        }
        if (option == "--no-http") {
            haveNoHttp = true;
            options.HttpPort.reset();
            continue;
        }
        if (i + 1 >= arguments.size())
            throw std::invalid_argument("missing value for " + option);
        const std::string& value = arguments[++i];
        if (option == "--bind") {
            if (value.empty())
                throw std::invalid_argument("--bind needs an address or host name");
            options.BindAddress = value;
            haveBind = true;
        } else if (option == "--data") {
            options.DataDirectory = value;
        } else if (option == "--film-password") {
            options.FilmPassword = value;
            haveFilmPassword = true;
        } else if (option == "--film-password-file") {
            options.FilmPassword = ReadFilmPasswordFile(value);
            haveFilmPasswordFile = true;
        } else if (option == "--viewer") {
            const auto account = ParseViewerAccount(value);
            if (!account)
                throw std::invalid_argument("--viewer needs USER:PASSWORD (no TAB)");
            options.Viewers[account->first] = account->second;
        } else if (option == "--viewers-file") {
            viewersFiles.push_back(value);
        } else if (option == "--filmer-port") {
            options.FilmerPort = static_cast<std::uint16_t>(ParseNumber(option, value, 0, 65535));
        } else if (option == "--viewer-port") {
            options.ViewerPort = static_cast<std::uint16_t>(ParseNumber(option, value, 0, 65535));
        } else if (option == "--http-port") {
            options.HttpPort = static_cast<std::uint16_t>(ParseNumber(option, value, 0, 65535));
            haveHttpPort = true;
        } else if (option == "--relay-from") {
            options.RelayFrom = RelayUrl(value);
        } else if (option == "--max-connections") {
            options.MaxConnections = ParseNumber(option, value, 1, 100000);
        } else if (option == "--filmer-slots") {
            options.FilmerSlots = ParseNumber(option, value, 0, 100000);
            haveFilmerSlots = true;
        } else if (option == "--threads") {
            options.Threads = ParseNumber(option, value, 1, 256);
        } else if (option == "--viewer-idle-timeout") {
            options.ViewerIdleTimeout = std::chrono::seconds(ParseNumber(option, value, 1, 86400));
        } else {
            throw std::invalid_argument("unknown option " + option);
        }
    }
    if (haveHttpPort && haveNoHttp)
        throw std::invalid_argument("give --http-port or --no-http, not both");
    if (haveFilmPassword && haveFilmPasswordFile)
        throw std::invalid_argument("give --film-password or --film-password-file, not both");
    for (const auto& file : viewersFiles)
        AddViewersFile(file, options.Viewers);
    if (!haveBind || options.DataDirectory.empty())
        throw std::invalid_argument("--bind and --data are required");
    if (!haveFilmerSlots)
        options.FilmerSlots = std::min<std::size_t>((options.MaxConnections + 3) / 4, 256);
    if (options.FilmerSlots > options.MaxConnections)
        throw std::invalid_argument("--filmer-slots may not exceed --max-connections");
    return options;
}
