#include "FaultRelay.h"

#include "LoopbackSockets.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto PollStep = 50ms;
constexpr auto QuietBeforeDrop = 200ms;
constexpr auto LongestSwallow = 5s;

// Takes and loses what `from` sends until it has been quiet for a moment.
void Swallow(int from) {
    char buffer[16384];
    const auto until = Clock::now() + LongestSwallow;
    pollfd socket{from, POLLIN, 0};
    while (Clock::now() < until &&
           ::poll(&socket, 1, static_cast<int>(QuietBeforeDrop.count())) > 0)
        if (::recv(from, buffer, sizeof buffer, 0) <= 0)
            return;
}

} // namespace

TFault::TLocator AtPattern(std::string pattern, int occurrence, std::ptrdiff_t offset) {
    // Each armed copy counts for itself, never searches the same bytes twice,
    // and keeps a point it found that lies beyond the bytes seen so far.
    return
        [pattern = std::move(pattern), occurrence, offset, found = 0, searchFrom = std::size_t{0},
         point = std::string::npos](const std::string& seen) mutable {
            while (point == std::string::npos) {
                const std::size_t at = seen.find(pattern, searchFrom);
                if (at == std::string::npos) {
                    if (seen.size() >= pattern.size())
                        searchFrom = std::max(searchFrom, seen.size() - pattern.size() + 1);
                    break;
                }
                searchFrom = at + 1;
                if (++found == occurrence)
                    point = static_cast<std::size_t>(
                        std::max<std::ptrdiff_t>(static_cast<std::ptrdiff_t>(at) + offset, 0));
            }
            return point;
        };
}

TFaultRelay::TFaultRelay(const std::string& address, std::string targetAddress,
                         std::uint16_t targetPort, std::uint16_t port)
    : TargetAddress(std::move(targetAddress)), TargetPort(targetPort) {
    Listener = Listen(address, port, 64);
    if (Listener < 0)
        throw std::runtime_error("cannot listen on " + address);
    FPort = LocalPort(Listener);
    Acceptor = std::thread([this] { Accept(); });
}

TFaultRelay::~TFaultRelay() {
    Stopping = true;
    ::shutdown(Listener, SHUT_RDWR); // wakes the accept
    Acceptor.join();
    for (auto& worker : Workers)
        worker.join();
    ::close(Listener);
}

void TFaultRelay::FaultConnection(int index, TFault fault) {
    std::lock_guard guard(Lock);
    Armed[index] = std::move(fault);
}

bool TFaultRelay::TakeFault(int index, TFault& fault) {
    std::lock_guard guard(Lock);
    const auto armed = Armed.find(index);
    if (armed == Armed.end())
        return false;
    fault = std::move(armed->second);
    Armed.erase(armed);
    return true;
}

void TFaultRelay::Accept() {
    for (;;) {
        // Close-on-exec: a program started meanwhile (a server restarted by a
        // benchmark) would otherwise hold a dropped connection open.
        const int client = ::accept4(Listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            return;
        const int index = FConnections++;
        Workers.emplace_back([this, index, client] { Relay(index, client); });
    }
}

void TFaultRelay::Relay(int index, int client) {
    const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in target = Endpoint(TargetAddress, TargetPort);
    // A target that is down (a server being restarted) refuses: so does the relay.
    if (::connect(server, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
        ::close(server);
        ::close(client);
        return;
    }
    bool armed = false;
    TFault fault;
    std::string seen; // of the fault's flow, since it was armed
    char buffer[16384];
    const int ends[2] = {client, server}; // the sender of each flow
    while (!Stopping) {
        if (!armed && TakeFault(index, fault)) {
            armed = true;
            seen.clear();
        }
        pollfd sockets[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
        if (::poll(sockets, 2, static_cast<int>(PollStep.count())) <= 0)
            continue;
        bool closed = false;
        for (int flow = 0; flow < 2 && !closed; ++flow) {
            if (sockets[flow].revents == 0)
                continue;
            const int from = ends[flow];
            const int to = ends[1 - flow];
            const ssize_t got = ::recv(from, buffer, sizeof buffer, 0);
            if (got <= 0) {
                closed = true;
                break;
            }
            std::size_t forward = static_cast<std::size_t>(got);
            if (armed && flow == static_cast<int>(fault.Flow)) {
                const std::size_t before = seen.size();
                seen.append(buffer, forward);
                const std::size_t at = fault.At(seen);
                if (at != std::string::npos && at <= seen.size()) {
                    armed = false;
                    const std::size_t keep = at > before ? at - before : 0;
                    SendAll(to, buffer, keep);
                    ++FFaults;
                    if (fault.Kind == TFaultKind::SwallowThenDrop)
                        Swallow(from);
                    if (fault.Kind != TFaultKind::Stall) {
                        closed = true;
                        break;
                    }
                    for (const auto until = Clock::now() + fault.Stall;
                         !Stopping && Clock::now() < until;)
                        std::this_thread::sleep_for(PollStep);
                    // The rest of this read goes on once the stall is over.
                    std::copy(buffer + keep, buffer + forward, buffer);
                    forward -= keep;
                }
            }
            if (!SendAll(to, buffer, forward))
                closed = true;
        }
        if (closed)
            break;
    }
    ::close(server);
    ::close(client);
}
