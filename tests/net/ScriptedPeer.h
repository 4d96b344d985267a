#pragma once

#include "net/UnitServerConnection.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A TCP peer on a loopback address and a free port that plays a script on
// each connection it accepts, one connection after the other. What the
// client sent is kept in Received, one entry per line read by the script.
class TScriptedPeer {
public:
    // index counts the accepted connections from 0.
    using TScript = std::function<void(TServerConnection& peer, int index)>;

    TScriptedPeer(const std::string& address, TScript script);
    ~TScriptedPeer();

    std::uint16_t Port() const { return FPort; }
    int Connections() const { return FConnections.load(); }

    // Reads a line and records it.
    std::string Expect(TServerConnection& peer);
    std::vector<std::string> Received() const;

private:
    void Serve();

    TScript Script;
    int Listener = -1;
    std::uint16_t FPort = 0;
    std::atomic<int> FConnections{0};
    std::thread Worker;
    mutable std::mutex Lock;
    std::vector<std::string> FReceived; // guarded by Lock
};
