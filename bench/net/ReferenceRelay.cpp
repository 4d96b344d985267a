#include "ReferenceRelay.h"

#include "LoopbackSockets.h"

#include <asio.hpp>

#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using asio::redirect_error;
using asio::use_awaitable;
using asio::ip::tcp;
using Clock = std::chrono::steady_clock;

// Everything runs on the one thread of Io: no locks.
struct TRelay {
    asio::io_context Io;
    std::vector<std::shared_ptr<const std::string>> Chunks; // as the filmer sent them
    bool Ended = false;
    std::vector<std::shared_ptr<asio::steady_timer>> Waiting; // viewers that sent everything

    void Grown() {
        for (const auto& timer : Waiting)
            timer->cancel();
        Waiting.clear();
    }

    asio::awaitable<void> ReadFilmer(tcp::socket socket) {
        for (;;) {
            auto chunk = std::make_shared<std::string>(65536, '\0');
            asio::error_code error;
            const std::size_t got = co_await socket.async_read_some(
                asio::buffer(*chunk), redirect_error(use_awaitable, error));
            if (error)
                break;
            chunk->resize(got);
            Chunks.push_back(std::move(chunk));
            Grown();
        }
        Ended = true;
        Grown();
    }

    asio::awaitable<void> FeedViewer(tcp::socket socket) {
        std::size_t next = 0;
        for (;;) {
            if (next < Chunks.size()) {
                std::vector<asio::const_buffer> pending;
                for (; next < Chunks.size(); ++next)
                    pending.push_back(asio::buffer(*Chunks[next]));
                asio::error_code error;
                co_await asio::async_write(socket, pending, redirect_error(use_awaitable, error));
                if (error)
                    co_return;
            } else if (Ended) {
                co_return;
            } else {
                auto timer = std::make_shared<asio::steady_timer>(Io, Clock::time_point::max());
                Waiting.push_back(timer);
                asio::error_code ignored;
                co_await timer->async_wait(redirect_error(use_awaitable, ignored));
            }
        }
    }

    asio::awaitable<void> Serve(tcp::socket socket) {
        char role = 0;
        asio::error_code error;
        co_await asio::async_read(socket, asio::buffer(&role, 1),
                                  redirect_error(use_awaitable, error));
        if (error)
            co_return;
        if (role == 'F')
            co_await ReadFilmer(std::move(socket));
        else
            co_await FeedViewer(std::move(socket));
    }

    asio::awaitable<void> Accept(tcp::acceptor& acceptor) {
        for (;;) {
            tcp::socket socket = co_await acceptor.async_accept(use_awaitable);
            asio::co_spawn(Io, Serve(std::move(socket)), asio::detached);
        }
    }
};

// A relay viewer: reads until the relay closes, counting. The bytes are
// thrown away, so every viewer reads into the same buffer.
asio::awaitable<void> Drain(tcp::socket socket, std::int64_t bytes, int& complete) {
    static std::array<char, 65536> discarded;
    std::int64_t got = 0;
    for (;;) {
        asio::error_code error;
        got += static_cast<std::int64_t>(co_await socket.async_read_some(
            asio::buffer(discarded), redirect_error(use_awaitable, error)));
        if (error)
            break;
    }
    if (got == bytes)
        ++complete;
}

asio::awaitable<void> ConnectViewers(asio::io_context& io, tcp::endpoint relay, int viewers,
                                     std::int64_t bytes, int& complete) {
    for (int v = 0; v < viewers; ++v) {
        tcp::socket socket(io);
        co_await socket.async_connect(relay, use_awaitable);
        const char role = 'V';
        co_await asio::async_write(socket, asio::buffer(&role, 1), use_awaitable);
        asio::co_spawn(io, Drain(std::move(socket), bytes, complete), asio::detached);
    }
}

// The filmer's side: each pass's bytes, a pass a second, as the server's filmer sends.
void FeedRelay(const std::string& address, std::uint16_t port,
               const std::vector<std::int64_t>& passBytes) {
    const sockaddr_in endpoint = Endpoint(address, port);
    const int filmer = ::socket(AF_INET, SOCK_STREAM, 0);
    if (::connect(filmer, reinterpret_cast<const sockaddr*>(&endpoint), sizeof(endpoint)) != 0)
        throw std::runtime_error("the reference relay does not take the filmer");
    SendAll(filmer, "F", 1);
    auto nextPass = Clock::now();
    for (const std::int64_t bytes : passBytes) {
        nextPass += std::chrono::seconds(1);
        std::this_thread::sleep_until(nextPass);
        if (bytes > 0) {
            const std::string chunk(static_cast<std::size_t>(bytes), 'x');
            SendAll(filmer, chunk.data(), chunk.size());
        }
    }
    ::close(filmer);
}

} // namespace

int RunReferenceRelay(const std::string& address, std::uint16_t port) {
    TRelay relay;
    tcp::acceptor acceptor(relay.Io);
    const tcp::endpoint endpoint(asio::ip::make_address(address), port);
    acceptor.open(endpoint.protocol());
    acceptor.set_option(asio::socket_base::reuse_address(true));
    acceptor.bind(endpoint);
    acceptor.listen(asio::socket_base::max_listen_connections);
    asio::co_spawn(relay.Io, relay.Accept(acceptor), asio::detached);
    relay.Io.run();
    return 1;
}

int RunRelayLoad(const std::string& address, std::uint16_t port, int viewers,
                 const std::vector<std::int64_t>& passBytes) {
    std::int64_t bytes = 0;
    for (const std::int64_t pass : passBytes)
        bytes += pass;
    asio::io_context io;
    const tcp::endpoint relay(asio::ip::make_address(address), port);
    int complete = 0;
    // The relay listens once its process has started.
    for (int attempt = 0;; ++attempt) {
        tcp::socket probe(io);
        asio::error_code error;
        probe.connect(relay, error);
        if (!error)
            break;
        if (attempt == 200)
            throw std::runtime_error("the reference relay does not answer");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    asio::co_spawn(io, ConnectViewers(io, relay, viewers, bytes, complete), asio::detached);
    // Every viewer gets the relay's bytes from the first on, whenever it joined.
    std::thread filmer([&] { FeedRelay(address, port, passBytes); });
    io.run();
    filmer.join();
    return complete;
}
