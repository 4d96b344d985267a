#pragma once

#include <asio.hpp>

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

// One accepted connection, served by coroutines on the connection's own
// strand, with the protocol's units on the wire. Every operation raises
// ENelqConnectionError when the connection fails or has been closed.
//
// A deadline closes the connection when it passes; Touch moves an idle
// deadline on. All but Close must run on the connection's strand.
class TAsyncConnection : public std::enable_shared_from_this<TAsyncConnection> {
public:
    using TClock = std::chrono::steady_clock;
    // `socket` was accepted on a strand of its own.
    explicit TAsyncConnection(asio::ip::tcp::socket socket);

    asio::any_io_executor Executor() { return Socket.get_executor(); }
    std::string PeerAddress() const;

    // Whether received bytes wait to be read (a read would not wait).
    bool HasInput() const { return Input.size() > InputBegin; }
    asio::awaitable<std::string> ReadLine();
    asio::awaitable<std::int32_t> ReadInt32();
    // Reads a count and appends that many bytes to `target`; returns the count.
    // A negative count or one above `maxCount` is refused before any byte is read.
    asio::awaitable<std::int32_t> ReadCounted(std::ostream& target, std::int32_t maxCount);

    // Sends the pieces in order, as one message: a viewer's blocks go out
    // straight from the cast's shared pages.
    asio::awaitable<void> Write(std::vector<asio::const_buffer> pieces);
    asio::awaitable<void> Write(const std::string& message);
    // Sends `message` ahead of the next write, or before the next read waits
    // for the peer: where the protocol says two things in a row, one write.
    void WriteLater(const std::string& message) { Later += message; }
    bool HoldsWrites() const { return !Later.empty(); }

    // Closes the connection `span` from now (none: TClock::duration::max())
    // and, when it does, names `reason` as the connection's end.
    void SetDeadline(TClock::duration span, const char* reason);
    // Moves the deadline `span` on from now: the connection did something.
    void Touch();
    // Why the deadline closed the connection; null while it has not.
    const char* Expired() const { return FExpired; }

    // Watches the deadline until the connection closes; spawn it once.
    asio::awaitable<void> WatchDeadline();
    // Sends nothing more and closes (the end of a session).
    void Finish();
    // From any thread: shuts the connection down, so that its session reads
    // what was sent before and then fails on its next read or write.
    void Close();

private:
    asio::awaitable<void> Fill();
    asio::awaitable<void> AwaitWritable();
    void Shutdown();

    asio::ip::tcp::socket Socket;
    std::string Input;
    std::string Later; // what WriteLater holds for the next write
    std::size_t InputBegin = 0;
    asio::steady_timer Timer;
    TClock::time_point Deadline = TClock::time_point::max();
    TClock::duration Span = TClock::duration::max();
    const char* Reason = nullptr;
    const char* FExpired = nullptr;
    bool Closed = false;
};
