#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The reference the server is measured against: the least a relay can do,
// one event-driven thread that copies one filmer's bytes to every viewer's
// socket as they come, with no protocol, no files and no pacing. What the
// filmer sent is kept once and shared by every viewer's writes. A
// connection's first byte says what it is: 'F' for the filmer, 'V' for a viewer.
int RunReferenceRelay(const std::string& address, std::uint16_t port);

// As many bytes as the server's viewers were sent in each of the filmer's
// passes, a pass a second, through the reference relay, to viewers that
// drain their sockets (one event-driven thread for all of them); returns
// the number of viewers that received all of them.
int RunRelayLoad(const std::string& address, std::uint16_t port, int viewers,
                 const std::vector<std::int64_t>& passBytes);
