#include "ReferenceRelay.h"

#include "LoopbackSockets.h"

#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

struct TRelay {
    std::mutex Lock;
    std::condition_variable Grown;
    std::vector<char> Data; // guarded by Lock
    bool Ended = false;     // guarded by Lock

    void ReadFilmer(int socket) {
        std::vector<char> chunk(65536);
        for (;;) {
            const ssize_t got = ::recv(socket, chunk.data(), chunk.size(), 0);
            std::lock_guard guard(Lock);
            if (got <= 0) {
                Ended = true;
                Grown.notify_all();
                break;
            }
            Data.insert(Data.end(), chunk.begin(), chunk.begin() + got);
            Grown.notify_all();
        }
        ::close(socket);
    }

    void FeedViewer(int socket) {
        std::size_t sent = 0;
        std::vector<char> pending;
        for (;;) {
            {
                std::unique_lock guard(Lock);
                Grown.wait(guard, [&] { return Data.size() > sent || Ended; });
                if (Data.size() == sent)
                    break;
                pending.assign(Data.begin() + static_cast<std::ptrdiff_t>(sent), Data.end());
            }
            if (::send(socket, pending.data(), pending.size(), MSG_NOSIGNAL) !=
                static_cast<ssize_t>(pending.size()))
                break;
            sent += pending.size();
        }
        ::close(socket);
    }
};

} // namespace

int RunReferenceRelay(const std::string& address, std::uint16_t port) {
    const int listener = Listen(address, port, 512);
    if (listener < 0)
        return 1;
    TRelay relay;
    for (;;) {
        const int socket = ::accept(listener, nullptr, nullptr);
        if (socket < 0)
            return 1;
        char role = 0;
        if (::recv(socket, &role, 1, MSG_WAITALL) != 1) {
            ::close(socket);
            continue;
        }
        if (role == 'F')
            std::thread([&relay, socket] { relay.ReadFilmer(socket); }).detach();
        else
            std::thread([&relay, socket] { relay.FeedViewer(socket); }).detach();
    }
}

int ConnectToRelay(const std::string& address, std::uint16_t port, char role) {
    const sockaddr_in endpoint = Endpoint(address, port);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
        if (::connect(socket, reinterpret_cast<const sockaddr*>(&endpoint), sizeof(endpoint)) ==
            0) {
            ::send(socket, &role, 1, MSG_NOSIGNAL);
            return socket;
        }
        ::close(socket);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    throw std::runtime_error("the reference relay does not answer");
}
