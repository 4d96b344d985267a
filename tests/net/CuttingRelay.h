#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

// A TCP relay on a loopback address and a free port that forwards each
// connection it accepts to a target, one connection after the other. The
// first connection is cut (both sides closed) in the middle of a message: a
// given number of bytes after the start of the n-th "BLOCK" line the client sent.
class TCuttingRelay {
public:
    TCuttingRelay(const std::string& address, std::string targetAddress, std::uint16_t targetPort,
                  int cutInBlock, std::size_t bytesIntoBlock);
    ~TCuttingRelay();

    std::uint16_t Port() const { return FPort; }
    bool HasCut() const { return FCut.load(); }

private:
    void Serve();
    // Forwards until either side closes, or the cut point when `cut` is set.
    void Relay(int client, int server, bool cut);
    // Where the cut falls in what the client sent so far; npos while unknown.
    std::size_t CutPoint(const std::string& upstream) const;

    const std::string TargetAddress;
    const std::uint16_t TargetPort;
    const int CutInBlock;
    const std::size_t BytesIntoBlock;
    int Listener = -1;
    std::uint16_t FPort = 0;
    std::atomic<bool> Stopping{false};
    std::atomic<bool> FCut{false};
    std::thread Worker;
};
