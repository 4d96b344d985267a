#pragma once

#include "ServerOptions.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TCastStore;

// The casting server: a listener for filmers and one for viewers on the bound
// address, every connection served by events on a small pool of threads (a
// slow viewer holds no thread, and blocks nobody but itself), casts kept on
// disk in the data directory; and, unless turned off, a web listener on the
// same address with connections of its own.
class TCastingServer {
public:
    // Resolves the bind address and binds the ports, then opens the data
    // directory: std::invalid_argument for an address that does not resolve,
    // std::runtime_error for a port that cannot be bound, and nothing on disk
    // in either case.
    TCastingServer(TServerOptions options, TServerLog log);
    ~TCastingServer(); // stops

    // Starts accepting, and the pool's threads.
    void Start();
    // Shuts every connection and waits for all threads.
    void Stop();

    // The bound ports (useful when the options asked for port 0).
    std::uint16_t FilmerPort() const;
    std::uint16_t ViewerPort() const;
    // The web listener's port; none when it is turned off.
    std::optional<std::uint16_t> HttpPort() const;

    std::vector<std::string> CastNames() const;
    // For an edge's relay, which fills it as filmers do.
    TCastStore& Store();
    // The operator's deletion: viewers are told, the files go. False when unknown.
    bool DeleteCast(const std::string& name);

private:
    struct TState;
    std::unique_ptr<TState> State;
};
