#include "CastingServer.h"

#include "CastStore.h"
#include "Session.h"

#include "net/LineFields.h"
#include "net/NelqExceptions.h"
#include "net/UnitServerConnection.h"

#include <asio.hpp>

#include <atomic>
#include <list>
#include <thread>

namespace {

constexpr const char* Greeting = "NELQ casting server";

enum class TRole { Filmer, Viewer };

using Clock = std::chrono::steady_clock;
constexpr auto WatchInterval = std::chrono::milliseconds(250);

struct TSessionThread {
    TServerConnection Connection;
    std::thread Thread;
    std::atomic<bool> Done{false};
    const Clock::time_point Accepted = Clock::now();
    std::atomic<bool> LoggedIn{false}; // past the steps the login deadline covers
};

} // namespace

struct TCastingServer::TState {
    TState(TServerOptions options, TServerLog log)
        : Options(std::move(options)), Log(std::move(log)), Store(Options.DataDirectory) {}

    void Accept(asio::ip::tcp::acceptor& acceptor, TRole role);
    void Launch(asio::ip::tcp::socket socket, TRole role);
    void Serve(TSessionThread& session, TRole role);
    void Reap();  // joins finished sessions; caller holds SessionLock
    void Watch(); // closes connections that missed the login deadline, every WatchInterval

    TServerOptions Options;
    TServerLog Log;
    TCastStore Store;
    std::atomic<bool> Stopping{false};
    TSessionContext Context{Store, Options, Log, Stopping};

    asio::io_context Io;
    asio::ip::tcp::acceptor FilmerAcceptor{Io};
    asio::ip::tcp::acceptor ViewerAcceptor{Io};
    asio::steady_timer Watchdog{Io};
    std::thread AcceptThread;

    std::mutex SessionLock;
    std::list<TSessionThread> Sessions; // guarded by SessionLock
};

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
            for (auto& session : Sessions)
                if (!session.LoggedIn && Clock::now() - session.Accepted > Options.LoginTimeout)
                    session.Connection.CloseSocket(); // its thread logs the end
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

void TCastingServer::TState::Launch(asio::ip::tcp::socket socket, TRole role) {
    std::lock_guard guard(SessionLock);
    Reap();
    if (Sessions.size() >= Options.MaxConnections) {
        Log("connection refused: " + std::to_string(Sessions.size()) + " connections open");
        return; // the socket closes as it goes out of scope
    }
    TSessionThread& session = Sessions.emplace_back();
    try {
        session.Connection.Adopt(socket.release());
        session.Thread = std::thread([this, &session, role] { Serve(session, role); });
    } catch (const std::exception& error) {
        Log(std::string("connection dropped: ") + error.what()); // out of descriptors or threads
        Sessions.pop_back();
    }
}

void TCastingServer::TState::Serve(TSessionThread& session, TRole role) {
    TServerConnection& connection = session.Connection;
    const std::string peer = connection.PeerAddress();
    const bool filmer = role == TRole::Filmer;
    Log(peer + (filmer ? " filmer" : " viewer") + ": connected");
    try {
        connection.WriteLine(Greeting);
        const std::string hello = connection.ReadLine();
        const char* expected = filmer ? "2016" : "1016";
        if (LineField(hello, 1) != expected) {
            const std::string reason = filmer ? "This port serves filmers (role 2016) only."
                                              : "This port serves viewers (role 1016) only.";
            connection.WriteLine(JoinFields({"REFUSED", reason}));
            Log(peer + ": hello refused: " + reason);
        } else {
            connection.WriteLine("OK");
            // A viewer's login is typed by a person: only the hello has a deadline.
            if (filmer) {
                RunFilmerSession(connection, Context, peer,
                                 [&session] { session.LoggedIn = true; });
            } else {
                session.LoggedIn = true;
                RunViewerSession(connection, Context, peer);
            }
        }
        connection.Disconnect();
        Log(peer + (filmer ? " filmer" : " viewer") + ": disconnected");
    } catch (const std::exception& error) {
        const bool late =
            !session.LoggedIn && Clock::now() - session.Accepted > Options.LoginTimeout;
        Log(peer + (filmer ? " filmer" : " viewer") + ": connection ended: " +
            (late ? std::string("no login in time") : std::string(error.what())));
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
    const auto address = asio::ip::make_address(State->Options.BindAddress);
    const auto listen = [&](asio::ip::tcp::acceptor& acceptor, std::uint16_t port) {
        const asio::ip::tcp::endpoint endpoint(address, port);
        acceptor.open(endpoint.protocol());
        acceptor.set_option(asio::socket_base::reuse_address(true));
        acceptor.bind(endpoint);
        acceptor.listen();
    };
    listen(State->FilmerAcceptor, State->Options.FilmerPort);
    listen(State->ViewerAcceptor, State->Options.ViewerPort);
    State->Accept(State->FilmerAcceptor, TRole::Filmer);
    State->Accept(State->ViewerAcceptor, TRole::Viewer);
    State->Watch();
    State->AcceptThread = std::thread([this] { State->Io.run(); });
    State->Log("listening for filmers on " + State->Options.BindAddress + ":" +
               std::to_string(FilmerPort()) + " and for viewers on " + State->Options.BindAddress +
               ":" + std::to_string(ViewerPort()));
}

void TCastingServer::Stop() {
    if (State->Stopping.exchange(true))
        return;
    asio::post(State->Io, [this] {
        asio::error_code ignored;
        State->FilmerAcceptor.close(ignored);
        State->ViewerAcceptor.close(ignored);
        State->Watchdog.cancel();
    });
    if (State->AcceptThread.joinable())
        State->AcceptThread.join();
    State->Store.WakeAll();
    std::lock_guard guard(State->SessionLock);
    for (auto& session : State->Sessions)
        session.Connection.CloseSocket();
    for (auto& session : State->Sessions)
        session.Thread.join();
    State->Sessions.clear();
}

std::uint16_t TCastingServer::FilmerPort() const {
    return State->FilmerAcceptor.local_endpoint().port();
}

std::uint16_t TCastingServer::ViewerPort() const {
    return State->ViewerAcceptor.local_endpoint().port();
}

std::vector<std::string> TCastingServer::CastNames() const {
    return State->Store.Names();
}

bool TCastingServer::DeleteCast(const std::string& name) {
    const bool deleted = State->Store.Delete(name);
    State->Log(deleted ? "operator deleted " + name : "operator: no game named " + name);
    return deleted;
}
