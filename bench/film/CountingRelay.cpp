#include "CountingRelay.h"

#include "FilmerStreamParser.h"
#include "LoopbackSockets.h"
#include "SteadyNanoseconds.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

class TEventLog {
public:
    explicit TEventLog(std::FILE* file) : File(file) {}

    void Data(std::int64_t time, std::size_t payload, std::size_t wire) {
        std::lock_guard guard(Lock);
        std::fprintf(File, "D %" PRId64 " %zu %zu\n", time, payload, wire);
        std::fflush(File);
    }

    void Announce(std::int64_t time, const TFilmerStreamParser::TAnnounce& announce) {
        std::lock_guard guard(Lock);
        std::fprintf(File, "T %" PRId64 " %d %d %d\n", time, announce.Section, announce.DemoSize,
                     announce.AudioSize);
        std::fflush(File);
    }

private:
    std::mutex Lock;
    std::FILE* File;
};

// Both sockets of one relayed connection; whichever direction ends first
// shuts both, so the other direction ends too.
struct TLink {
    TLink(int filmer, int server) : Filmer(filmer), Server(server) {}
    TLink(const TLink&) = delete;
    TLink& operator=(const TLink&) = delete;
    const int Filmer;
    const int Server;
    ~TLink() {
        ::close(Filmer);
        ::close(Server);
    }
    void ShutDown() const {
        ::shutdown(Filmer, SHUT_RDWR);
        ::shutdown(Server, SHUT_RDWR);
    }
};

void ForwardUpload(std::shared_ptr<TLink> link, TEventLog& log) {
    TFilmerStreamParser parser;
    std::vector<TFilmerStreamParser::TAnnounce> announced;
    std::vector<char> chunk(65536);
    for (;;) {
        const ssize_t got = ::recv(link->Filmer, chunk.data(), chunk.size(), 0);
        if (got <= 0)
            break;
        const std::int64_t now = SteadyNanoseconds();
        const auto size = static_cast<std::size_t>(got);
        announced.clear();
        log.Data(now, parser.Feed(chunk.data(), size, announced), size);
        for (const auto& announce : announced)
            log.Announce(now, announce);
        if (!SendAll(link->Server, chunk.data(), size))
            break;
    }
    link->ShutDown();
}

void ForwardReplies(std::shared_ptr<TLink> link) {
    std::vector<char> chunk(4096);
    for (;;) {
        const ssize_t got = ::recv(link->Server, chunk.data(), chunk.size(), 0);
        if (got <= 0 || !SendAll(link->Filmer, chunk.data(), static_cast<std::size_t>(got)))
            break;
    }
    link->ShutDown();
}

} // namespace

int RunCountingRelay(const std::string& listenAddress, const std::string& serverAddress,
                     std::uint16_t port, const std::string& logPath) {
    const int listener = Listen(listenAddress, port, 16);
    if (listener < 0) {
        std::perror("relay: cannot listen");
        return 1;
    }
    std::FILE* file = std::fopen(logPath.c_str(), "w");
    if (!file) {
        std::perror("relay: cannot write the log");
        return 1;
    }
    TEventLog log(file);
    const sockaddr_in server = Endpoint(serverAddress, port);
    for (;;) {
        const int filmer = ::accept(listener, nullptr, nullptr);
        if (filmer < 0)
            return 1;
        const int upstream = ::socket(AF_INET, SOCK_STREAM, 0);
        auto link = std::make_shared<TLink>(filmer, upstream);
        // A server that is down is seen by the client as a refused connection.
        if (::connect(upstream, reinterpret_cast<const sockaddr*>(&server), sizeof(server)) != 0)
            continue;
        std::thread(ForwardUpload, link, std::ref(log)).detach();
        std::thread(ForwardReplies, link).detach();
    }
}
