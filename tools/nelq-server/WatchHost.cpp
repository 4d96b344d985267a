#include "WatchHost.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint16_t DefaultViewerPort = 28100;
constexpr std::size_t MaxHostName = 253;

// A binary address of either family, for comparing.
struct TAddress {
    int Family = AF_UNSPEC;
    unsigned char Bytes[16] = {};

    bool operator==(const TAddress& other) const {
        return Family == other.Family && std::memcmp(Bytes, other.Bytes, sizeof Bytes) == 0;
    }
};

std::optional<TAddress> ParseAddress(const std::string& text) {
    TAddress address;
    if (::inet_pton(AF_INET, text.c_str(), address.Bytes) == 1)
        address.Family = AF_INET;
    else if (::inet_pton(AF_INET6, text.c_str(), address.Bytes) == 1)
        address.Family = AF_INET6;
    else
        return std::nullopt;
    return address;
}

bool Unspecified(const TAddress& address) {
    const std::size_t size = address.Family == AF_INET ? 4 : 16;
    return std::all_of(address.Bytes, address.Bytes + size, [](unsigned char b) { return b == 0; });
}

// The name of a Host header without its port: a DNS name, an IPv4 address
// or a bracketed IPv6 address; none for anything else.
std::optional<std::string> HostName(const std::string& header) {
    std::string name = header;
    if (!name.empty() && name[0] == '[') {
        const std::size_t close = name.find(']');
        if (close == std::string::npos)
            return std::nullopt;
        name = name.substr(1, close - 1);
        return ParseAddress(name) ? std::optional(name) : std::nullopt;
    }
    name = name.substr(0, name.find(':'));
    const bool plain = std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '.';
    });
    if (name.empty() || name.size() > MaxHostName || !plain)
        return std::nullopt;
    return name;
}

bool ResolvesTo(const std::string& name, const TAddress& bound) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* results = nullptr;
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &results) != 0)
        return false;
    bool found = false;
    for (const addrinfo* entry = results; entry && !found; entry = entry->ai_next) {
        TAddress address;
        address.Family = entry->ai_family;
        if (entry->ai_family == AF_INET)
            std::memcpy(address.Bytes,
                        &reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr, 4);
        else if (entry->ai_family == AF_INET6)
            std::memcpy(address.Bytes,
                        &reinterpret_cast<const sockaddr_in6*>(entry->ai_addr)->sin6_addr, 16);
        found = address == bound;
    }
    ::freeaddrinfo(results);
    return found;
}

std::string Bracketed(const std::string& name) {
    return name.find(':') == std::string::npos ? name : "[" + name + "]";
}

} // namespace

std::string WatchHost(const std::optional<std::string>& hostHeader, const std::string& bindAddress,
                      std::uint16_t viewerPort) {
    std::string host = bindAddress;
    const auto bound = ParseAddress(bindAddress);
    if (const auto name = hostHeader ? HostName(*hostHeader) : std::nullopt; name && bound) {
        const auto literal = ParseAddress(*name);
        if (Unspecified(*bound) || (literal ? *literal == *bound : ResolvesTo(*name, *bound)))
            host = *name;
    }
    host = Bracketed(host);
    return viewerPort == DefaultViewerPort ? host : host + ":" + std::to_string(viewerPort);
}
