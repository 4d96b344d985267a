#pragma once

#include <chrono>
#include <cstdint>
#include <string_view>

class PumpedSyncContext;
class TThread;

// The far end of a connection under test: a loopback TCP peer that sends the
// fuzzer's bytes and swallows whatever comes back, so that neither side can
// block the other.

// A listening socket on 127.0.0.1 and a free port, closed with the object,
// which also drops a connection left waiting in its backlog.
class TLoopbackListener {
public:
    TLoopbackListener();
    ~TLoopbackListener();
    TLoopbackListener(const TLoopbackListener&) = delete;
    TLoopbackListener& operator=(const TLoopbackListener&) = delete;

    std::uint16_t Port() const { return FPort; }
    // The next connection, or -1 when none came within `limit`.
    int Accept(std::chrono::milliseconds limit);

private:
    int Handle = -1;
    std::uint16_t FPort = 0;
};

// Two connected loopback TCP sockets, as a listener and a client get them.
struct TSocketPair {
    TSocketPair();
    ~TSocketPair(); // closes what is still open
    TSocketPair(const TSocketPair&) = delete;
    TSocketPair& operator=(const TSocketPair&) = delete;

    int Near = -1; // the peer's end
    int Far = -1;  // the end the code under test takes over (set to -1 once it has)
};

// Sends `bytes` on `socket`, reading and dropping what arrives meanwhile,
// then ends the sending direction and keeps reading until the other end
// closes or `quiet` passes without a byte (the other end waits for
// something). True when the other end closed.
bool FeedAndDrain(int socket, std::string_view bytes, std::chrono::milliseconds quiet);

// Takes the next connection on `listener` (waiting at most `limit` for it)
// and feeds it as FeedAndDrain does; closes it at once afterwards. False
// when no connection came.
bool ServeOneConnection(TLoopbackListener& listener, std::string_view bytes,
                        std::chrono::milliseconds limit, std::chrono::milliseconds quiet);

// Serves the first connection of a started connection thread with `bytes`,
// running the thread's calls on this (main) thread meanwhile, then stops the
// thread as its owner does. Fails the input when the exchange never ends.
void ServeConnectionThread(TThread& thread, PumpedSyncContext& sync, TLoopbackListener& listener,
                           std::string_view bytes);
