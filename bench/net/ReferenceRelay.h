#pragma once

#include <cstdint>
#include <string>

// The reference the server is measured against: the least a relay can do,
// a process that copies one filmer's bytes to every viewer's socket as they
// come, with no protocol, no files and no pacing. A connection's first byte
// says what it is: 'F' for the filmer, 'V' for a viewer.
int RunReferenceRelay(const std::string& address, std::uint16_t port);

// Client side of the reference: the filmer's bytes and a viewer that drains.
int ConnectToRelay(const std::string& address, std::uint16_t port, char role);
