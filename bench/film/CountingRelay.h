#pragma once

#include <cstdint>
#include <string>

// A TCP relay between the filmer and the casting server, run as a process of
// its own so that its work is not counted as the client's. It forwards every
// connection on `port` from `listenAddress` to `serverAddress` and writes one
// line per event to `logPath`, with steady-clock times in nanoseconds:
//   D <time> <payload bytes> <wire bytes>      bytes from the filmer
//   T <time> <section> <demo size> <audio size> a section announced
// The log file appears once the relay listens.
int RunCountingRelay(const std::string& listenAddress, const std::string& serverAddress,
                     std::uint16_t port, const std::string& logPath);
