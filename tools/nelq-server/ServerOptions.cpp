#include "ServerOptions.h"

#include <charconv>
#include <stdexcept>

const char* const ServerUsage =
    "usage: nelq-server --bind ADDRESS --data DIR [--film-password P] [--viewer USER:PASSWORD]...\n"
    "                   [--filmer-port N] [--viewer-port N] [--max-connections N]\n"
    "Commands on standard input: \"list\", \"delete GAME\", \"quit\".\n";

namespace {

std::uint64_t ParseNumber(const std::string& option, const std::string& text, std::uint64_t max) {
    std::uint64_t value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size() || value > max)
        throw std::invalid_argument(option + " needs a number up to " + std::to_string(max));
    return value;
}

} // namespace

TServerOptions ParseServerOptions(const std::vector<std::string>& arguments) {
    TServerOptions options;
    bool haveBind = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        if (i + 1 >= arguments.size())
            throw std::invalid_argument("missing value for " + option);
        const std::string& value = arguments[++i];
        if (option == "--bind") {
            options.BindAddress = value;
            haveBind = true;
        } else if (option == "--data") {
            options.DataDirectory = value;
        } else if (option == "--film-password") {
            options.FilmPassword = value;
        } else if (option == "--viewer") {
            const auto colon = value.find(':');
            if (colon == std::string::npos || colon == 0)
                throw std::invalid_argument("--viewer needs USER:PASSWORD");
            options.Viewers[value.substr(0, colon)] = value.substr(colon + 1);
        } else if (option == "--filmer-port") {
            options.FilmerPort = static_cast<std::uint16_t>(ParseNumber(option, value, 65535));
        } else if (option == "--viewer-port") {
            options.ViewerPort = static_cast<std::uint16_t>(ParseNumber(option, value, 65535));
        } else if (option == "--max-connections") {
            options.MaxConnections = ParseNumber(option, value, 100000);
        } else {
            throw std::invalid_argument("unknown option " + option);
        }
    }
    if (!haveBind || options.DataDirectory.empty())
        throw std::invalid_argument("--bind and --data are required");
    return options;
}
