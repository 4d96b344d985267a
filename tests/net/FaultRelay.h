#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The two directions of a relayed connection.
enum class TFlow { Upstream /* client to server */, Downstream };

enum class TFaultKind {
    Drop,            // forward up to the point, then close both sides
    SwallowThenDrop, // forward up to the point, then take and lose that flow's
                     // bytes until its sender goes quiet, then close both sides:
                     // what the sender had handed to its kernel never arrives
    Stall,           // forward up to the point, then move nothing either way for
                     // Stall with both sides open, then forward again
};

struct TFault {
    // Where in a flow's bytes the fault falls, counted from where the fault
    // was armed (for a connection not yet accepted: from its start), or
    // std::string::npos while the bytes seen so far do not tell yet. It is
    // asked again with more bytes each time some arrive.
    using TLocator = std::function<std::size_t(const std::string& seen)>;

    TFaultKind Kind = TFaultKind::Drop;
    TFlow Flow = TFlow::Upstream;
    TLocator At;
    std::chrono::milliseconds Stall{0};
};

// The `occurrence`-th appearance (from 1) of `pattern`, moved by `offset` bytes.
TFault::TLocator AtPattern(std::string pattern, int occurrence = 1, std::ptrdiff_t offset = 0);

// A TCP relay on a loopback address and a port (0: a free one) that forwards every
// connection it accepts to a target, each on a thread of its own, and injects
// at most one fault into each connection that one was armed for. Connections
// are counted from 0 in the order they were accepted.
class TFaultRelay {
public:
    TFaultRelay(const std::string& address, std::string targetAddress, std::uint16_t targetPort,
                std::uint16_t port = 0);
    ~TFaultRelay();
    TFaultRelay(const TFaultRelay&) = delete;
    TFaultRelay& operator=(const TFaultRelay&) = delete;

    std::uint16_t Port() const { return FPort; }

    // Arms a fault for the index-th connection (one not yet accepted, or a
    // live one: then only bytes that pass from now on are searched).
    void FaultConnection(int index, TFault fault);

    int Connections() const { return FConnections.load(); }
    int Faults() const { return FFaults.load(); }

private:
    void Accept();
    void Relay(int index, int client);
    // The fault armed for a connection, if any, taken once.
    bool TakeFault(int index, TFault& fault);

    const std::string TargetAddress;
    const std::uint16_t TargetPort;
    int Listener = -1;
    std::uint16_t FPort = 0;
    std::atomic<bool> Stopping{false};
    std::atomic<int> FConnections{0};
    std::atomic<int> FFaults{0};
    std::mutex Lock;
    std::map<int, TFault> Armed;      // guarded by Lock
    std::vector<std::thread> Workers; // the acceptor's own
    std::thread Acceptor;
};
