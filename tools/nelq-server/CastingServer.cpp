#include "CastingServer.h"

#include "AsyncConnection.h"
#include "CastStore.h"
#include "HttpListener.h"
#include "Session.h"

#include "net/LineFields.h"
#include "net/NelqExceptions.h"
#include "net/WireUnits.h"

#include <asio.hpp>

#include <atomic>
#include <map>
#include <thread>

namespace {

constexpr const char* Greeting = "NELQ casting server";

enum class TRole { Filmer, Viewer };

// How long accepting pauses after a failure (out of descriptors, most
// likely), rather than trying again at once for as long as it lasts.
constexpr auto AcceptPause = std::chrono::milliseconds(250);

const char* RoleName(TRole role) {
    return role == TRole::Filmer ? "filmer" : "viewer";
}

// The refusal a connection gets when no slot is free for it.
std::string NoRoomLine(TRole role) {
    return RefusalLine("REFUSED", role == TRole::Filmer
                                      ? "The server is full. Try again later."
                                      : "The server has no room for more viewers. Try again later.");
}

// The address to listen on: a literal address, else the host name's first
// IPv4 address (what "localhost" means to most clients), else its first one.
asio::ip::address ResolveBindAddress(asio::io_context& io, const std::string& name) {
    asio::error_code error;
    const auto literal = asio::ip::make_address(name, error);
    if (!error)
        return literal;
    asio::ip::tcp::resolver resolver(io);
    const auto results = resolver.resolve(name, "", error);
    if (error || results.empty())
        throw std::invalid_argument("cannot resolve the bind address " + name + ": " +
                                    (error ? error.message() : std::string("no address")));
    for (const auto& entry : results)
        if (entry.endpoint().address().is_v4())
            return entry.endpoint().address();
    return results.begin()->endpoint().address();
}

void Listen(asio::ip::tcp::acceptor& acceptor, const asio::ip::address& address,
            std::uint16_t port) {
    const asio::ip::tcp::endpoint endpoint(address, port);
    asio::error_code error;
    acceptor.open(endpoint.protocol(), error);
    if (!error)
        acceptor.set_option(asio::socket_base::reuse_address(true), error);
    if (!error)
        acceptor.bind(endpoint, error);
    if (!error)
        acceptor.listen(asio::socket_base::max_listen_connections, error);
    if (error)
        throw std::runtime_error("cannot listen on " + address.to_string() + ":" +
                                 std::to_string(port) + ": " + error.message());
}

// The listening sockets, bound when made.
struct TListeners {
    TListeners(asio::io_context& io, const TServerOptions& options)
        : Address(ResolveBindAddress(io, options.BindAddress)), Filmers(io), Viewers(io), Web(io) {
        Listen(Filmers, Address, options.FilmerPort);
        Listen(Viewers, Address, options.ViewerPort);
        if (options.HttpPort)
            Listen(Web, Address, *options.HttpPort);
    }

    const asio::ip::address Address;
    asio::ip::tcp::acceptor Filmers;
    asio::ip::tcp::acceptor Viewers;
    asio::ip::tcp::acceptor Web; // handed to the web listener once the store is open
};

} // namespace

struct TCastingServer::TState {
    TState(TServerOptions options, TServerLog log);

    asio::awaitable<void> Accept(asio::ip::tcp::acceptor& acceptor, TRole role);
    void Launch(asio::ip::tcp::socket socket, TRole role);
    bool HasRoom(TRole role) const; // caller holds SessionLock
    asio::awaitable<void> Serve(std::shared_ptr<TAsyncConnection> connection, TRole role);
    asio::awaitable<void> Greet(TAsyncConnection& connection, TRole role, const std::string& peer);
    void Forget(const TAsyncConnection& connection);

    TServerOptions Options;
    TServerLog Log;
    std::atomic<bool> Stopping{false};

    asio::io_context Io;
    TListeners Listeners; // before the store: a bad address leaves nothing on disk
    asio::strand<asio::io_context::executor_type> Accepting = asio::make_strand(Io);
    std::vector<std::thread> Threads;

    TCastStore Store;
    TSessionContext Context{Store, Options, Log, Stopping};
    std::optional<std::uint16_t> WebPort;
    std::unique_ptr<THttpListener> Web;

    std::mutex SessionLock;
    // guarded by SessionLock: every connection being served, and its role
    std::map<const TAsyncConnection*, std::pair<std::shared_ptr<TAsyncConnection>, TRole>> Sessions;
    std::size_t Viewers = 0; // guarded by SessionLock
};

TCastingServer::TState::TState(TServerOptions options, TServerLog log)
    : Options(std::move(options)), Log(std::move(log)), Listeners(Io, Options),
      Store(Options.DataDirectory) {
    if (Listeners.Web.is_open())
        WebPort = Listeners.Web.local_endpoint().port();
}

asio::awaitable<void> TCastingServer::TState::Accept(asio::ip::tcp::acceptor& acceptor,
                                                     TRole role) {
    asio::steady_timer pause(Accepting);
    for (;;) {
        asio::error_code error;
        // Each connection is served on a strand of its own.
        asio::ip::tcp::socket socket = co_await acceptor.async_accept(
            asio::make_strand(Io), asio::redirect_error(asio::use_awaitable, error));
        if (error == asio::error::operation_aborted || Stopping)
            co_return;
        if (!error) {
            Launch(std::move(socket), role);
            continue;
        }
        Log(std::string("cannot accept a ") + RoleName(role) + ": " + error.message());
        pause.expires_after(AcceptPause);
        co_await pause.async_wait(asio::redirect_error(asio::use_awaitable, error));
    }
}

bool TCastingServer::TState::HasRoom(TRole role) const {
    if (Sessions.size() >= Options.MaxConnections)
        return false;
    if (role == TRole::Filmer)
        return true;
    const std::size_t viewerSlots =
        Options.MaxConnections - std::min(Options.FilmerSlots, Options.MaxConnections);
    return Viewers < viewerSlots;
}

void TCastingServer::TState::Launch(asio::ip::tcp::socket socket, TRole role) {
    std::shared_ptr<TAsyncConnection> connection;
    {
        std::lock_guard guard(SessionLock);
        if (Stopping)
            return;
        if (!HasRoom(role)) {
            Log(std::string(RoleName(role)) +
                " refused: " + std::to_string(Sessions.size()) + " connections open");
            // Greeting and verdict at once: the client reads the greeting, says
            // hello and finds the reason waiting. A fresh socket takes these few
            // bytes without blocking.
            const std::string reply = Wire::Line(Greeting) + NoRoomLine(role);
            asio::error_code ignored;
            asio::write(socket, asio::buffer(reply), ignored);
            socket.shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
            return; // the socket closes as it goes out of scope
        }
        connection = std::make_shared<TAsyncConnection>(std::move(socket));
        Sessions.emplace(connection.get(), std::pair(connection, role));
        if (role == TRole::Viewer)
            ++Viewers;
    }
    asio::co_spawn(connection->Executor(), Serve(connection, role), asio::detached);
}

void TCastingServer::TState::Forget(const TAsyncConnection& connection) {
    std::lock_guard guard(SessionLock);
    const auto found = Sessions.find(&connection);
    if (found == Sessions.end())
        return;
    if (found->second.second == TRole::Viewer)
        --Viewers;
    Sessions.erase(found);
}

asio::awaitable<void> TCastingServer::TState::Greet(TAsyncConnection& connection, TRole role,
                                                    const std::string& peer) {
    co_await connection.Write(Wire::Line(Greeting));
    const std::string hello = co_await connection.ReadLine();
    const bool filmer = role == TRole::Filmer;
    std::string reason;
    if (LineField(hello, 1) != (filmer ? "2016" : "1016"))
        reason = filmer ? "This port serves filmers (role 2016) only."
                        : "This port serves viewers (role 1016) only.";
    else if (filmer && Options.RelayFrom) // an edge's casts come from its origin alone
        reason = "This server relays the casts of another one and takes no filmers.";
    if (!reason.empty()) {
        co_await connection.Write(RefusalLine("REFUSED", reason));
        Log(peer + ": hello refused: " + reason);
        co_return;
    }
    // Goes with the session's first message (a viewer's welcome), or ahead
    // of its first wait for the peer.
    connection.WriteLater(Wire::Line("OK"));
    if (filmer) {
        co_await RunFilmerSession(connection, Context, peer, [&connection] {
            connection.SetDeadline(TAsyncConnection::TClock::duration::max(), nullptr);
        });
    } else {
        // A viewer's login is typed by a person: from here on only the
        // generous idle deadline applies.
        connection.SetDeadline(Options.ViewerIdleTimeout, "idle for too long");
        co_await RunViewerSession(connection, Context, peer);
    }
}

asio::awaitable<void> TCastingServer::TState::Serve(std::shared_ptr<TAsyncConnection> connection,
                                                    TRole role) {
    const std::string peer = connection->PeerAddress();
    const std::string who = peer + " " + RoleName(role);
    Log(who + ": connected");
    connection->SetDeadline(Options.LoginTimeout, "no login in time");
    asio::co_spawn(connection->Executor(), connection->WatchDeadline(), asio::detached);
    std::string ending;
    try {
        co_await Greet(*connection, role, peer);
        ending = ": disconnected";
    } catch (const std::exception& error) {
        const char* expired = connection->Expired();
        ending = std::string(": connection ended: ") + (expired ? expired : error.what());
    }
    Forget(*connection); // its slot is free by the time the log says it ended
    Log(who + ending);   // before the peer sees the close
    connection->Finish();
}

TCastingServer::TCastingServer(TServerOptions options, TServerLog log)
    : State(std::make_unique<TState>(std::move(options), std::move(log))) {}

TCastingServer::~TCastingServer() {
    Stop();
}

void TCastingServer::Start() {
    TState& state = *State;
    asio::co_spawn(state.Accepting, state.Accept(state.Listeners.Filmers, TRole::Filmer),
                   asio::detached);
    asio::co_spawn(state.Accepting, state.Accept(state.Listeners.Viewers, TRole::Viewer),
                   asio::detached);
    for (std::size_t n = 0; n < state.Options.Threads; ++n)
        state.Threads.emplace_back([&state] { state.Io.run(); });
    const std::string address = state.Listeners.Address.to_string();
    state.Log("listening for filmers on " + address + ":" + std::to_string(FilmerPort()) +
              " and for viewers on " + address + ":" + std::to_string(ViewerPort()) + " (" +
              std::to_string(state.Threads.size()) + " threads)");
    if (state.WebPort) {
        state.Web = std::make_unique<THttpListener>(
            state.Listeners.Web.release(),
            THttpSite{state.Store, address, ViewerPort(), state.Options.Viewers, state.Log});
        state.Log("serving the web page on http://" +
                  (state.Listeners.Address.is_v6() ? "[" + address + "]" : address) + ":" +
                  std::to_string(*state.WebPort) + "/");
    }
}

void TCastingServer::Stop() {
    TState& state = *State;
    if (state.Stopping.exchange(true))
        return;
    asio::post(state.Accepting, [&state] {
        asio::error_code ignored;
        state.Listeners.Filmers.close(ignored);
        state.Listeners.Viewers.close(ignored);
    });
    state.Web.reset();
    {
        std::lock_guard guard(state.SessionLock);
        for (const auto& [key, session] : state.Sessions)
            session.first->Close();
    }
    state.Store.WakeAll(); // sessions waiting for news see that the server stops
    // The threads return once every session has ended.
    for (auto& thread : state.Threads)
        thread.join();
    state.Threads.clear();
}

std::uint16_t TCastingServer::FilmerPort() const {
    return State->Listeners.Filmers.local_endpoint().port();
}

std::uint16_t TCastingServer::ViewerPort() const {
    return State->Listeners.Viewers.local_endpoint().port();
}

std::optional<std::uint16_t> TCastingServer::HttpPort() const {
    return State->WebPort;
}

TCastStore& TCastingServer::Store() {
    return State->Store;
}

std::vector<std::string> TCastingServer::CastNames() const {
    return State->Store.Names();
}

bool TCastingServer::DeleteCast(const std::string& name) {
    const bool deleted = State->Store.Delete(name);
    State->Log(deleted ? "operator deleted " + name : "operator: no game named " + name);
    return deleted;
}
