#include "LoopbackSockets.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

sockaddr_in Endpoint(const std::string& address, std::uint16_t port) {
    sockaddr_in endpoint{};
    endpoint.sin_family = AF_INET;
    endpoint.sin_port = htons(port);
    ::inet_pton(AF_INET, address.c_str(), &endpoint.sin_addr);
    return endpoint;
}

int Listen(const std::string& address, std::uint16_t port, int backlog) {
    // Close-on-exec: a program a test or benchmark starts must not keep it open.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // A relay started again at once must get its port back.
    const int reuse = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof(reuse));
    const sockaddr_in local = Endpoint(address, port);
    if (::bind(listener, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0 ||
        ::listen(listener, backlog) != 0) {
        ::close(listener);
        return -1;
    }
    return listener;
}

std::uint16_t LocalPort(int socket) {
    sockaddr_in local{};
    socklen_t length = sizeof(local);
    ::getsockname(socket, reinterpret_cast<sockaddr*>(&local), &length);
    return ntohs(local.sin_port);
}

bool SendAll(int socket, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t sent = ::send(socket, data, size, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}
