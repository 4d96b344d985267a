#include "FuzzSupport.h"
#include "FuzzTargets.h"
#include "WirePeer.h"

#include "AsyncConnection.h"
#include "CastStore.h"
#include "Session.h"

#include <asio.hpp>

#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>

using namespace std::chrono_literals;

namespace {

enum class TRole { Filmer, Viewer };

asio::awaitable<void> Serve(TRole role, std::shared_ptr<TAsyncConnection> connection,
                            const TSessionContext& context) {
    const std::function<void()> loggedIn = [] {};
    try {
        if (role == TRole::Filmer)
            co_await RunFilmerSession(*connection, context, "127.0.0.1", loggedIn);
        else
            co_await RunViewerSession(*connection, context, "127.0.0.1");
    } catch (const std::runtime_error&) {
        // The session's own error: the server logs it and drops the connection.
    }
    connection->Finish();
}

// One session on the connection's own strand, as the server runs it, fed
// `bytes` after the hello. A session still waiting once the bytes are gone
// (a viewer of a live cast) is stopped as the server's shutdown stops it.
void RunSession(TRole role, TCastStore& store, const TServerOptions& options,
                std::string_view bytes) {
    TSocketPair pair;
    asio::io_context io;
    asio::ip::tcp::socket socket(asio::make_strand(io));
    socket.assign(asio::ip::tcp::v4(), pair.Far);
    pair.Far = -1;
    auto connection = std::make_shared<TAsyncConnection>(std::move(socket));
    std::atomic<bool> stopping{false};
    const TServerLog log = [](const std::string&) {};
    const TSessionContext context{store, options, log, stopping};
    asio::co_spawn(connection->Executor(), Serve(role, connection, context), asio::detached);
    std::thread server([&io] { io.run(); });
    if (!FeedAndDrain(pair.Near, bytes, 300ms)) {
        stopping = true;
        store.WakeAll();
        connection->Close();
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

    RunSession(TRole::Filmer, store, options, parts[0]);
    if (parts.size() > 1)
        RunSession(TRole::Viewer, store, options, parts[1]);
    CheckWrittenOnlyInside(scratch.Path(), {"jail/jail/jail/data"});
}
