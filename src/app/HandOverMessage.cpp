#include "app/HandOverMessage.h"

#include <algorithm>
#include <filesystem>

std::string HandOverMessage(const CommandLineRequest& request) {
    if (!request.LinkHost.empty())
        return LinkTo(request.LinkHost, request.LinkGame);
    if (request.PendingArchive.empty())
        return {};
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(request.PendingArchive, ec);
    return ec ? std::string() : absolute.string();
}

std::optional<CommandLineRequest> ReadHandOverMessage(std::string_view message) {
    if (message.size() > HandOverMessageLimit ||
        std::any_of(message.begin(), message.end(),
                    [](unsigned char c) { return c < 0x20 || c == 0x7f; }))
        return std::nullopt;
    CommandLineRequest request = ParseCommandLine({std::string(message)});
    if (!request.PendingArchive.empty() && request.PendingArchive.front() != '/')
        return std::nullopt;
    if (request.LinkHost.empty() && request.PendingArchive.empty())
        return std::nullopt;
    return request;
}
