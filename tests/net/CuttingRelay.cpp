#include "CuttingRelay.h"

#include "LoopbackSockets.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

TCuttingRelay::TCuttingRelay(const std::string& address, std::string targetAddress,
                             std::uint16_t targetPort, int cutInBlock, std::size_t bytesIntoBlock)
    : TargetAddress(std::move(targetAddress)), TargetPort(targetPort), CutInBlock(cutInBlock),
      BytesIntoBlock(bytesIntoBlock) {
    Listener = Listen(address, 0, 8);
    if (Listener < 0)
        throw std::runtime_error("cannot listen on " + address);
    FPort = LocalPort(Listener);
    Worker = std::thread([this] { Serve(); });
}

TCuttingRelay::~TCuttingRelay() {
    Stopping = true;
    ::shutdown(Listener, SHUT_RDWR); // wakes the accept
    Worker.join();
    ::close(Listener);
}

void TCuttingRelay::Serve() {
    bool first = true;
    for (;;) {
        const int client = ::accept(Listener, nullptr, nullptr);
        if (client < 0)
            return;
        const int server = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in target = Endpoint(TargetAddress, TargetPort);
        if (::connect(server, reinterpret_cast<sockaddr*>(&target), sizeof(target)) == 0) {
            Relay(client, server, first);
            first = false;
        }
        ::close(server);
        ::close(client);
    }
}

std::size_t TCuttingRelay::CutPoint(const std::string& upstream) const {
    std::size_t block = 0;
    std::size_t searchFrom = 0;
    for (int found = 0; found < CutInBlock; ++found) {
        block = upstream.find("BLOCK\r\n", searchFrom);
        if (block == std::string::npos)
            return std::string::npos;
        searchFrom = block + 1;
    }
    return block + BytesIntoBlock;
}

void TCuttingRelay::Relay(int client, int server, bool cut) {
    std::string upstream; // what the client sent, searched for the cut point
    std::size_t cutAt = std::string::npos;
    char buffer[16384];
    while (!Stopping) {
        pollfd sockets[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
        if (::poll(sockets, 2, 50) <= 0)
            continue;
        for (int side = 0; side < 2; ++side) {
            if (sockets[side].revents == 0)
                continue;
            const int from = side == 0 ? client : server;
            const int to = side == 0 ? server : client;
            const ssize_t got = ::recv(from, buffer, sizeof buffer, 0);
            if (got <= 0)
                return;
            std::size_t forward = static_cast<std::size_t>(got);
            if (cut && side == 0) {
                const std::size_t before = upstream.size();
                upstream.append(buffer, forward);
                if (cutAt == std::string::npos)
                    cutAt = CutPoint(upstream);
                if (cutAt != std::string::npos && cutAt <= upstream.size()) {
                    SendAll(to, buffer, cutAt - before);
                    FCut = true;
                    return;
                }
            }
            if (!SendAll(to, buffer, forward))
                return;
        }
    }
}
