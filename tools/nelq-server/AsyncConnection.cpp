#include "AsyncConnection.h"

#include "net/DeadPaths.h"
#include "net/NelqExceptions.h"
#include "net/SocketFailure.h"
#include "net/WireUnits.h"

#include <sys/socket.h>
#include <sys/uio.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <ostream>

namespace {

using asio::redirect_error;
using asio::use_awaitable;

std::error_code LastError() {
    return {errno, std::system_category()};
}

bool WouldBlock() {
    return errno == EAGAIN || errno == EWOULDBLOCK;
}

} // namespace

TAsyncConnection::TAsyncConnection(asio::ip::tcp::socket socket)
    : Socket(std::move(socket)), Timer(Socket.get_executor()) {
    asio::error_code ignored;
    Socket.set_option(asio::ip::tcp::no_delay(true), ignored);
    Socket.native_non_blocking(true, ignored);
    LimitDeadPaths(Socket.native_handle());
}

std::string TAsyncConnection::PeerAddress() const {
    asio::error_code error;
    const auto endpoint = Socket.remote_endpoint(error);
    if (error)
        return "(unknown)";
    return endpoint.address().to_string() + ":" + std::to_string(endpoint.port());
}

// Waits until the socket can be read, then takes what it holds. Received
// bytes pass through one buffer per thread: an idle viewer holds no buffer
// of its own, only what it sent and was not read yet.
asio::awaitable<void> TAsyncConnection::Fill() {
    if (!Later.empty()) // the peer may wait for it before it says more
        co_await Write(std::vector<asio::const_buffer>{});
    if (InputBegin > 0) {
        Input.erase(0, InputBegin);
        InputBegin = 0;
    }
    thread_local std::array<char, 65536> received;
    for (;;) {
        asio::error_code error;
        co_await Socket.async_wait(asio::socket_base::wait_read,
                                   redirect_error(use_awaitable, error));
        if (error)
            ThrowConnectionFailure(error);
        const std::size_t got = Socket.read_some(asio::buffer(received), error);
        if (error == asio::error::would_block)
            continue;
        if (error)
            ThrowConnectionFailure(error);
        Input.append(received.data(), got);
        co_return;
    }
}

asio::awaitable<std::string> TAsyncConnection::ReadLine() {
    std::size_t scanned = 0;
    for (;;) {
        const std::string_view pending(Input.data() + InputBegin, Input.size() - InputBegin);
        Wire::TLineScan scan = Wire::ScanLine(pending, scanned);
        if (scan.Found) {
            InputBegin += scan.Next;
            co_return std::move(scan.Line);
        }
        scanned = pending.size();
        co_await Fill(); // moves the pending bytes to the front
    }
}

asio::awaitable<std::int32_t> TAsyncConnection::ReadInt32() {
    while (Input.size() - InputBegin < 4)
        co_await Fill();
    const std::int32_t value = Wire::DecodeInt32(Input.data() + InputBegin);
    InputBegin += 4;
    co_return value;
}

asio::awaitable<std::int32_t> TAsyncConnection::ReadCounted(std::ostream& target,
                                                            std::int32_t maxCount) {
    const std::int32_t count = co_await ReadInt32();
    Wire::CheckBlockCount(count, maxCount);
    std::int32_t left = count;
    while (left > 0) {
        const auto take = static_cast<std::size_t>(std::min(left, Wire::MaxChunk));
        while (Input.size() - InputBegin < take)
            co_await Fill();
        target.write(Input.data() + InputBegin, static_cast<std::streamsize>(take));
        if (!target)
            throw ENelqException("Cannot write the received data.");
        InputBegin += take;
        left -= static_cast<std::int32_t>(take);
    }
    co_return count;
}

asio::awaitable<void> TAsyncConnection::AwaitWritable() {
    asio::error_code error;
    co_await Socket.async_wait(asio::socket_base::wait_write, redirect_error(use_awaitable, error));
    if (error)
        ThrowConnectionFailure(error);
}

asio::awaitable<void> TAsyncConnection::Write(std::vector<asio::const_buffer> pieces) {
    std::vector<iovec> left;
    left.reserve(pieces.size() + 1);
    if (!Later.empty())
        left.push_back({Later.data(), Later.size()});
    for (const auto& piece : pieces)
        if (piece.size() > 0)
            left.push_back({const_cast<void*>(piece.data()), piece.size()});
    std::size_t first = 0;
    while (first < left.size()) {
        msghdr message{};
        message.msg_iov = left.data() + first;
        message.msg_iovlen = left.size() - first;
        const ssize_t sent = ::sendmsg(Socket.native_handle(), &message, MSG_NOSIGNAL);
        if (sent < 0) {
            if (WouldBlock())
                co_await AwaitWritable();
            else if (errno != EINTR)
                ThrowConnectionFailure(LastError());
            continue;
        }
        for (auto done = static_cast<std::size_t>(sent); done > 0;) {
            iovec& piece = left[first];
            const std::size_t taken = std::min(done, piece.iov_len);
            piece.iov_base = static_cast<char*>(piece.iov_base) + taken;
            piece.iov_len -= taken;
            done -= taken;
            if (piece.iov_len == 0)
                ++first;
        }
    }
    Later.clear();
}

asio::awaitable<void> TAsyncConnection::Write(const std::string& message) {
    return Write(std::vector<asio::const_buffer>{asio::buffer(message)});
}

void TAsyncConnection::SetDeadline(TClock::duration span, const char* reason) {
    Span = span;
    Reason = reason;
    Deadline = span == TClock::duration::max() ? TClock::time_point::max() : TClock::now() + span;
    if (Deadline < Timer.expiry())
        Timer.expires_at(Deadline); // the watcher wakes and waits for the nearer one
}

void TAsyncConnection::Touch() {
    if (Span != TClock::duration::max())
        Deadline = TClock::now() + Span;
}

asio::awaitable<void> TAsyncConnection::WatchDeadline() {
    const auto self = shared_from_this();
    while (!Closed) {
        Timer.expires_at(Deadline);
        asio::error_code ignored;
        co_await Timer.async_wait(redirect_error(use_awaitable, ignored));
        if (!Closed && TClock::now() >= Deadline) {
            FExpired = Reason;
            Shutdown(); // the session's read or write fails and it logs the end
            co_return;
        }
    }
}

// Like a peer's close: what was received can still be read, then the
// connection reads as closed and every write fails.
void TAsyncConnection::Shutdown() {
    asio::error_code ignored;
    Socket.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
}

void TAsyncConnection::Finish() {
    Closed = true;
    Timer.cancel();
    Shutdown();
    asio::error_code ignored;
    Socket.close(ignored);
}

void TAsyncConnection::Close() {
    asio::post(Socket.get_executor(), [self = shared_from_this()] { self->Shutdown(); });
}
