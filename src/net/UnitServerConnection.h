#pragma once

#include "net/DeadPaths.h"
#include "net/WireUnits.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// One TCP connection with the casting-server protocol's units on the wire:
// CR LF lines, big-endian 32-bit integers and counted blocks. Every operation
// blocks until done and raises ENelqConnectionError when the connection fails.
//
// A path that dies silently (a router reboot, a lost NAT entry, a peer that
// lost power) is noticed within about DeadPathLimit: every connection asks
// the kernel for keep-alive probes and gives up on data left unacknowledged
// that long. SetIdleTimeout bounds each read and write that waits on the peer.
//
// The thread that owns the connection does all reads and writes; any other
// thread may only call CloseSocket, which makes a blocked read fail at once.
class TServerConnection {
public:
    static constexpr std::size_t MaxLineLength = Wire::MaxLineLength;
    static constexpr std::int32_t MaxChunk = Wire::MaxChunk; // counted blocks go out in pieces this size
    static constexpr std::int32_t AnyCount = std::numeric_limits<std::int32_t>::max();
    static constexpr std::chrono::seconds DeadPathLimit = ::DeadPathLimit;

    TServerConnection();
    ~TServerConnection();
    TServerConnection(const TServerConnection&) = delete;
    TServerConnection& operator=(const TServerConnection&) = delete;

    // Opens the connection (the system's connect time-out applies) and fires OnConnected.
    void Connect(const std::string& host, std::uint16_t port);
    // Takes over a socket that a listener accepted (the server side); the
    // socket is closed when that fails.
    void Adopt(int acceptedSocket);

    std::string ReadLine();
    void WriteLine(std::string_view text);
    std::int32_t ReadInt32();
    // Reads a count and that many lines (a list reply); a negative count or
    // one above `maxLines` is refused before any line is read.
    std::vector<std::string> ReadLines(std::int32_t maxLines);
    void WriteInt32(std::int32_t value);

    // Sends count, then `count` bytes taken from `source` at its position.
    void WriteCounted(std::istream& source, std::int32_t count);
    // Reads a count and appends that many bytes to `target`; returns the count.
    // A negative count or one above `maxCount` is refused before any byte is read.
    std::int32_t ReadCounted(std::ostream& target, std::int32_t maxCount = AnyCount);

    // A read that waits longer than this for its first byte, or a write that
    // waits this long for room, fails the connection; zero waits for ever.
    void SetIdleTimeout(std::chrono::milliseconds timeout) { IdleTimeout = timeout; }

    bool IsConnected() const;
    // Orderly close; fires OnDisconnected when a connection was open.
    void Disconnect();
    // From any thread: shuts the socket down without a notification. The
    // connection stays unusable afterwards; it is meant for stopping its thread.
    void CloseSocket();

    // Writes made while a batch is open leave in one send when the outermost
    // batch commits; Commit raises the send's error. A batch left by an
    // exception discards its half message and breaks the connection. One that
    // closes without Commit still sends, and the next read or write on the
    // connection reports a failure (a destructor must not throw).
    class TBatch {
    public:
        explicit TBatch(TServerConnection& connection);
        ~TBatch();
        TBatch(const TBatch&) = delete;
        TBatch& operator=(const TBatch&) = delete;

        void Commit();

    private:
        TServerConnection& Connection;
        const int Unwinding; // exceptions in flight when the batch opened
        bool Closed = false;
    };

    std::string PeerAddress() const;

    std::function<void()> OnConnected;
    std::function<void()> OnDisconnected;

private:
    struct TSocket;

    void Send(const void* data, std::size_t size);
    void Flush();
    void WriteOutput();
    void CheckNotBroken() const; // raises the failure of an earlier send
    void Fill();                 // receives more bytes into the input buffer
    void ReadExact(char* target, std::size_t size);
    void Register(int handle);
    // Waits until the socket can be read (POLLIN) or written (POLLOUT), at
    // most IdleTimeout; raises when that passes first.
    void AwaitReady(short events);
    void CloseHandle();

    std::unique_ptr<TSocket> Socket;
    std::vector<char> Input;
    std::size_t InputBegin = 0;
    std::vector<char> Output;
    int BatchDepth = 0;
    std::string BrokenReason; // a batched send failed: every later write fails too
    std::chrono::milliseconds IdleTimeout{0};

    mutable std::mutex HandleLock;
    int Handle = -1;      // guarded by HandleLock: what CloseSocket shuts down
    bool Aborted = false; // guarded by HandleLock: CloseSocket was called
};
