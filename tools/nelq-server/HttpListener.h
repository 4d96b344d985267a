#pragma once

#include "CastStore.h"
#include "ServerOptions.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>

// What the web listener shows and links to.
struct THttpSite {
    TCastStore& Store;
    std::string BindAddress;  // as bound: the links' host when the browser's is not ours
    std::uint16_t ViewerPort; // as bound
    // The viewer accounts: when there are any, the web side asks for one
    // too, or it would show and hand out the casts they keep private.
    std::map<std::string, std::string> Viewers;
    TServerLog Log;
};

// The read-only web side of the server: "/" (the page of the casts),
// "/casts.json" (the same as JSON), "/casts/NAME.qmx" (a finished cast's
// archive) and each cast's sections for caches and other servers
// ("/casts/NAME/index.json", "/casts/NAME/N/demo", ".../audio"). GET and
// HEAD only; a fixed number of connections of its own, apart from the
// filmer and viewer slots, each on a thread of its own with a deadline, and
// requests capped in size by the library.
class THttpListener {
public:
    // Serves on `listeningSocket`, bound and listening; it is the listener's
    // from now on. Throws std::runtime_error when the library cannot start.
    THttpListener(int listeningSocket, THttpSite site);
    ~THttpListener(); // closes every connection and waits for their threads

    THttpListener(const THttpListener&) = delete;
    THttpListener& operator=(const THttpListener&) = delete;

    static constexpr unsigned MaxConnections = 64;
    static constexpr unsigned ConnectionTimeoutSeconds = 30;
    // Request line and headers must fit in this, with the library's own state.
    static constexpr std::size_t ConnectionMemory = 16 * 1024;

private:
    struct TState;
    std::unique_ptr<TState> State;
};
