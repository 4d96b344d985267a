#include "WirePeer.h"

#include "FuzzSupport.h"

#include "platform/PumpedSyncContext.h"
#include "platform/Thread.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <future>
#include <string>
#include <thread>

namespace {

sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

// Closing with a reset leaves no TIME_WAIT behind: thousands of inputs a
// minute would otherwise use up the loopback's ports.
void CloseAtOnce(int socket) {
    const linger reset{1, 0};
    ::setsockopt(socket, SOL_SOCKET, SO_LINGER, &reset, sizeof(reset));
    ::close(socket);
}

} // namespace

TLoopbackListener::TLoopbackListener() {
    Handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof(address);
    if (Handle < 0 || ::bind(Handle, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(Handle, 4) != 0 ||
        ::getsockname(Handle, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        FuzzFailure("cannot listen on loopback");
    FPort = ntohs(address.sin_port);
}

TLoopbackListener::~TLoopbackListener() {
    ::close(Handle);
}

int TLoopbackListener::Accept(std::chrono::milliseconds limit) {
    pollfd ready{Handle, POLLIN, 0};
    if (::poll(&ready, 1, static_cast<int>(limit.count())) != 1)
        return -1;
    return ::accept4(Handle, nullptr, nullptr, SOCK_CLOEXEC);
}

TSocketPair::TSocketPair() {
    // One listener for all inputs: thousands of inputs a minute need no
    // port each.
    static TLoopbackListener listener;
    // libFuzzer's timer signal (its -timeout) interrupts a connect now and
    // then; and an end that both sides shut before the code under test
    // closed it still waits in TIME_WAIT, so that at thousands of inputs a
    // second the free ports may run out for a moment. Both pass: try again.
    const sockaddr_in address = Loopback(listener.Port());
    int error = 0;
    for (int attempt = 0; attempt < 200; ++attempt) {
        Far = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (Far >= 0 &&
            ::connect(Far, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0)
            break;
        error = errno;
        if (Far >= 0)
            ::close(Far);
        Far = -1;
        if (error != EINTR && error != EADDRNOTAVAIL && error != EAGAIN)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (Far < 0)
        FuzzFailure(std::string("cannot connect on loopback: ") + std::strerror(error));
    // The code under test closes its end first: a reset instead of a FIN
    // leaves no TIME_WAIT holding a port for a minute.
    const linger reset{1, 0};
    ::setsockopt(Far, SOL_SOCKET, SO_LINGER, &reset, sizeof(reset));
    Near = listener.Accept(std::chrono::seconds(10));
    if (Near < 0)
        FuzzFailure("cannot accept on loopback");
}

TSocketPair::~TSocketPair() {
    if (Near >= 0)
        CloseAtOnce(Near);
    if (Far >= 0)
        ::close(Far);
}

bool FeedAndDrain(int socket, std::string_view bytes, std::chrono::milliseconds quiet) {
    char sink[65536];
    bool sending = true;
    for (;;) {
        if (sending && bytes.empty()) {
            ::shutdown(socket, SHUT_WR);
            sending = false;
        }
        pollfd ready{socket, static_cast<short>(POLLIN | (sending ? POLLOUT : 0)), 0};
        const int waited = ::poll(&ready, 1, sending ? -1 : static_cast<int>(quiet.count()));
        if (waited < 0 && errno == EINTR)
            continue;
        if (waited <= 0)
            return false;
        if (ready.revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t got = ::recv(socket, sink, sizeof(sink), MSG_DONTWAIT);
            if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR))
                return true;
        }
        if (sending && (ready.revents & POLLOUT)) {
            const ssize_t sent =
                ::send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent < 0 && errno != EAGAIN && errno != EINTR)
                return true;
            if (sent > 0)
                bytes.remove_prefix(static_cast<std::size_t>(sent));
        }
    }
}

bool ServeOneConnection(TLoopbackListener& listener, std::string_view bytes,
                        std::chrono::milliseconds limit, std::chrono::milliseconds quiet) {
    const int socket = listener.Accept(limit);
    if (socket < 0)
        return false;
    FeedAndDrain(socket, bytes, quiet);
    CloseAtOnce(socket);
    return true;
}

void ServeConnectionThread(TThread& thread, PumpedSyncContext& sync, TLoopbackListener& listener,
                           std::string_view bytes) {
    using namespace std::chrono_literals;
    // A thread that waits for its user (a viewer offered no game) reads no
    // more: a short silence ends the exchange.
    auto server = std::async(std::launch::async, [&listener, bytes] {
        return ServeOneConnection(listener, bytes, 5s, 300ms);
    });
    sync.PumpUntil([&] { return server.wait_for(0s) == std::future_status::ready; }, 60s);
    thread.Stop();
    FuzzCheck(server.wait_for(0s) == std::future_status::ready, "the exchange never ended");
}
