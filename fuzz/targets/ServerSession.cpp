#include "FuzzSupport.h"
#include "FuzzTargets.h"
#include "WirePeer.h"

#include "CastStore.h"
#include "Session.h"
#include "net/UnitServerConnection.h"

#include <atomic>
#include <stdexcept>
#include <thread>

using namespace std::chrono_literals;

namespace {

using TRunSession = void (*)(TServerConnection&, const TSessionContext&, const std::string&,
                             const std::function<void()>&);

// One session on its own thread, as the server runs it, fed `bytes` after
// the hello. A session still waiting once the bytes are gone (a viewer of a
// live cast) is stopped as the server's shutdown stops it.
void RunSession(TRunSession session, TCastStore& store, const TServerOptions& options,
                std::string_view bytes) {
    TSocketPair pair;
    TServerConnection connection;
    connection.Adopt(pair.Far);
    pair.Far = -1;
    std::atomic<bool> stopping{false};
    const TServerLog log = [](const std::string&) {};
    const TSessionContext context{store, options, log, stopping};
    std::thread server([&] {
        try {
            session(connection, context, "127.0.0.1", [] {});
        } catch (const std::runtime_error&) {
            // The session's own error: the server logs it and drops the connection.
        }
        connection.Disconnect();
    });
    if (!FeedAndDrain(pair.Near, bytes, 300ms)) {
        stopping = true;
        store.WakeAll();
        connection.CloseSocket();
    }
    server.join();
}

} // namespace

// The server's sessions under a stranger's commands: a filmer's (the first
// part), then a viewer's (the second) of the same store. Nothing may be
// written outside the data directory.
void FuzzServerSession(const std::uint8_t* data, std::size_t size) {
    const auto parts = SplitParts(AsText(data, size), 2);
    TScratchDir scratch;
    TServerOptions options;
    options.DataDirectory = scratch.Path() / "jail/jail/jail/data";
    std::filesystem::create_directories(options.DataDirectory);
    TCastStore store(options.DataDirectory);

    RunSession(RunFilmerSession, store, options, parts[0]);
    if (parts.size() > 1)
        RunSession(RunViewerSession, store, options, parts[1]);
    CheckWrittenOnlyInside(scratch.Path(), {"jail/jail/jail/data"});
}
