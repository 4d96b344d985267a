#include "CastingServer.h"

#include "CastStore.h"
#include "HttpListener.h"
#include "Session.h"

#include "net/LineFields.h"
#include "net/NelqExceptions.h"
#include "net/UnitServerConnection.h"

#include <asio.hpp>

#include <algorithm>
#include <atomic>
#include <list>
#include <thread>

namespace {

constexpr const char* Greeting = "NELQ casting server";

enum class TRole { Filmer, Viewer };

using Clock = std::chrono::steady_clock;
constexpr auto WatchInterval = std::chrono::milliseconds(250);

struct TSessionThread {
    explicit TSessionThread(TRole role) : Role(role) {}

    void MarkActive() { LastActive = Clock::now().time_since_epoch().count(); }
    Clock::duration IdleFor() const {
        return Clock::now() - Clock::time_point(Clock::duration(LastActive.load()));
    }

    const TRole Role;
    TServerConnection Connection;
    std::thread Thread;
    std::atomic<bool> Done{false};
    const Clock::time_point Accepted = Clock::now();
    std::atomic<bool> LoggedIn{false}; // past the steps the login deadline covers
    std::atomic<Clock::rep> LastActive{Clock::now().time_since_epoch().count()};
    std::atomic<const char*> Expired{nullptr}; // why the watchdog closed it
};

// The reason line a connection gets when no slot is free for it.
std::string Refusal(TRole role) {
    return JoinFields(
        {"REFUSED", role == TRole::Filmer
                        ? "The server is full. Try again later."
                        : "The server has no room for more viewers. Try again later."});
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

    void Accept(asio::ip::tcp::acceptor& acceptor, TRole role);
    void Launch(asio::ip::tcp::socket socket, TRole role);
    bool HasRoom(TRole role) const; // caller holds SessionLock
    void Serve(TSessionThread& session);
    void Reap();  // joins finished sessions; caller holds SessionLock
    void Watch(); // closes connections past their deadlines, every WatchInterval

    TServerOptions Options;
    TServerLog Log;
    std::atomic<bool> Stopping{false};

    asio::io_context Io;
    TListeners Listeners; // before the store: a bad address leaves nothing on disk
    asio::steady_timer Watchdog{Io};
    std::thread AcceptThread;

    TCastStore Store;
    TSessionContext Context{Store, Options, Log, Stopping};
    std::optional<std::uint16_t> WebPort;
    std::unique_ptr<THttpListener> Web;

    std::mutex SessionLock;
    std::list<TSessionThread> Sessions; // guarded by SessionLock
};

TCastingServer::TState::TState(TServerOptions options, TServerLog log)
    : Options(std::move(options)), Log(std::move(log)), Listeners(Io, Options),
      Store(Options.DataDirectory) {
    if (Listeners.Web.is_open())
        WebPort = Listeners.Web.local_endpoint().port();
}

void TCastingServer::TState::Accept(asio::ip::tcp::acceptor& acceptor, TRole role) {
    acceptor.async_accept(
        [this, &acceptor, role](asio::error_code error, asio::ip::tcp::socket socket) {
            if (error == asio::error::operation_aborted || Stopping)
                return;
            if (!error)
                Launch(std::move(socket), role);
            Accept(acceptor, role);
        });
}

void TCastingServer::TState::Watch() {
    Watchdog.expires_after(WatchInterval);
    Watchdog.async_wait([this](asio::error_code error) {
        if (error || Stopping)
            return;
        {
            std::lock_guard guard(SessionLock);
            for (auto& session : Sessions) {
                const char* expired = nullptr;
                if (!session.LoggedIn && Clock::now() - session.Accepted > Options.LoginTimeout)
                    expired = "no login in time";
                else if (session.LoggedIn && session.Role == TRole::Viewer &&
                         session.IdleFor() > Options.ViewerIdleTimeout)
                    expired = "idle for too long";
                if (expired && !session.Expired) {
                    session.Expired = expired;
                    session.Connection.CloseSocket(); // its thread logs the end
                }
            }
        }
        Watch();
    });
}

void TCastingServer::TState::Reap() {
    Sessions.remove_if([](TSessionThread& session) {
        if (!session.Done)
            return false;
        session.Thread.join();
        return true;
    });
}

bool TCastingServer::TState::HasRoom(TRole role) const {
    if (Sessions.size() >= Options.MaxConnections)
        return false;
    if (role == TRole::Filmer)
        return true;
    const std::size_t viewerSlots =
        Options.MaxConnections - std::min(Options.FilmerSlots, Options.MaxConnections);
    const auto viewers = std::count_if(Sessions.begin(), Sessions.end(), [](const auto& session) {
        return session.Role == TRole::Viewer;
    });
    return static_cast<std::size_t>(viewers) < viewerSlots;
}

void TCastingServer::TState::Launch(asio::ip::tcp::socket socket, TRole role) {
    std::lock_guard guard(SessionLock);
    Reap();
    if (!HasRoom(role)) {
        Log(std::string(role == TRole::Filmer ? "filmer" : "viewer") +
            " refused: " + std::to_string(Sessions.size()) + " connections open");
        // Greeting and verdict at once: the client reads the greeting, says
        // hello and finds the reason waiting. A fresh socket takes these few
        // bytes without blocking.
        const std::string reply = std::string(Greeting) + "\r\n" + Refusal(role) + "\r\n";
        asio::error_code ignored;
        asio::write(socket, asio::buffer(reply), ignored);
        socket.shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
        return; // the socket closes as it goes out of scope
    }
    TSessionThread& session = Sessions.emplace_back(role);
    try {
        session.Connection.Adopt(socket.release());
        session.Thread = std::thread([this, &session] { Serve(session); });
    } catch (const std::exception& error) {
        Log(std::string("connection dropped: ") + error.what()); // out of descriptors or threads
        Sessions.pop_back();
    }
}

void TCastingServer::TState::Serve(TSessionThread& session) {
    TServerConnection& connection = session.Connection;
    const std::string peer = connection.PeerAddress();
    const bool filmer = session.Role == TRole::Filmer;
    Log(peer + (filmer ? " filmer" : " viewer") + ": connected");
    try {
        connection.WriteLine(Greeting);
        const std::string hello = connection.ReadLine();
        const char* expected = filmer ? "2016" : "1016";
        std::string reason;
        if (LineField(hello, 1) != expected)
            reason = filmer ? "This port serves filmers (role 2016) only."
                            : "This port serves viewers (role 1016) only.";
        else if (filmer && Options.RelayFrom) // an edge's casts come from its origin alone
            reason = "This server relays the casts of another one and takes no filmers.";
        if (!reason.empty()) {
            connection.WriteLine(JoinFields({"REFUSED", reason}));
            Log(peer + ": hello refused: " + reason);
        } else {
            connection.WriteLine("OK");
            if (filmer) {
                RunFilmerSession(connection, Context, peer,
                                 [&session] { session.LoggedIn = true; });
            } else {
                // A viewer's login is typed by a person: from here on only
                // the generous idle deadline applies.
                session.MarkActive();
                session.LoggedIn = true;
                RunViewerSession(connection, Context, peer, [&session] { session.MarkActive(); });
            }
        }
        connection.Disconnect();
        Log(peer + (filmer ? " filmer" : " viewer") + ": disconnected");
    } catch (const std::exception& error) {
        const char* expired = session.Expired;
        Log(peer + (filmer ? " filmer" : " viewer") +
            ": connection ended: " + (expired ? std::string(expired) : std::string(error.what())));
    }
    connection.Disconnect();
    session.Done = true;
}

TCastingServer::TCastingServer(TServerOptions options, TServerLog log)
    : State(std::make_unique<TState>(std::move(options), std::move(log))) {}

TCastingServer::~TCastingServer() {
    Stop();
}

void TCastingServer::Start() {
    State->Accept(State->Listeners.Filmers, TRole::Filmer);
    State->Accept(State->Listeners.Viewers, TRole::Viewer);
    State->Watch();
    State->AcceptThread = std::thread([this] { State->Io.run(); });
    const std::string address = State->Listeners.Address.to_string();
    State->Log("listening for filmers on " + address + ":" + std::to_string(FilmerPort()) +
               " and for viewers on " + address + ":" + std::to_string(ViewerPort()));
    if (State->WebPort) {
        State->Web = std::make_unique<THttpListener>(
            State->Listeners.Web.release(),
            THttpSite{State->Store, address, ViewerPort(), State->Options.Viewers, State->Log});
        State->Log("serving the web page on http://" +
                   (State->Listeners.Address.is_v6() ? "[" + address + "]" : address) + ":" +
                   std::to_string(*State->WebPort) + "/");
    }
}

void TCastingServer::Stop() {
    if (State->Stopping.exchange(true))
        return;
    asio::post(State->Io, [this] {
        asio::error_code ignored;
        State->Listeners.Filmers.close(ignored);
        State->Listeners.Viewers.close(ignored);
        State->Watchdog.cancel();
    });
    if (State->AcceptThread.joinable())
        State->AcceptThread.join();
    State->Web.reset();
    State->Store.WakeAll();
    std::lock_guard guard(State->SessionLock);
    for (auto& session : State->Sessions)
        session.Connection.CloseSocket();
    for (auto& session : State->Sessions)
        session.Thread.join();
    State->Sessions.clear();
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
