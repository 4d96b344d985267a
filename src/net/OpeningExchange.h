#pragma once

#include <cstdint>
#include <string>

class TServerConnection;

// What a role says in its hello line and where it connects.
struct TConnectionRole {
    std::uint16_t Port;
    const char* RoleCode;
};

inline constexpr TConnectionRole FilmerRole{28200, "2016"};
inline constexpr TConnectionRole ViewerRole{28100, "1016"};

// A server's answer that either lets the client go on or refuses it for good.
struct TVerdict {
    bool Accepted = false;
    std::string Reason; // second field of a refusal
};

// Reads the first field of a reply line: "OK" accepts, anything else refuses.
TVerdict ReadVerdict(TServerConnection& connection);

// The hello line (client version TAB role code), without its line end.
std::string HelloLine(const std::string& clientVersion, const char* roleCode);

// On a fresh connection: reads the greeting (any content), sends the hello line
// (client version TAB role code) and reads the verdict.
TVerdict RunOpeningExchange(TServerConnection& connection, const std::string& clientVersion,
                            const char* roleCode);
