#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <string>

// Small socket helpers of the test peers and relays that stand in for a
// server or sit between the client and one.

sockaddr_in Endpoint(const std::string& address, std::uint16_t port);

// A listening socket on `address` (port 0: a free one, see LocalPort), or -1
// when it cannot listen.
int Listen(const std::string& address, std::uint16_t port, int backlog);

std::uint16_t LocalPort(int socket);

// Sends every byte; false once the peer has gone.
bool SendAll(int socket, const char* data, std::size_t size);
