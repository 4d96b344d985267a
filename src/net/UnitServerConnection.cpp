#include "net/UnitServerConnection.h"

#include "net/AbortableResolve.h"
#include "net/DeadPaths.h"
#include "net/NelqExceptions.h"
#include "net/SocketFailure.h"
#include "net/WireUnits.h"

#include <asio.hpp>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <exception>
#include <istream>
#include <ostream>

namespace {

constexpr std::size_t ReceiveSize = 65536;

std::string DurationText(std::chrono::milliseconds duration) {
    if (duration.count() % 1000 == 0)
        return std::to_string(duration.count() / 1000) + " seconds";
    return std::to_string(duration.count()) + " ms";
}

} // namespace

// Blocking operations never run the context, so every connection can share
// one; a context each would cost every connection three more descriptors.
static asio::io_context& SharedContext() {
    static asio::io_context context;
    return context;
}

struct TServerConnection::TSocket {
    asio::ip::tcp::socket Socket{SharedContext()};
};

TServerConnection::TServerConnection() : Socket(std::make_unique<TSocket>()) {}

TServerConnection::~TServerConnection() {
    CloseHandle();
}

void TServerConnection::Register(int handle) {
    std::lock_guard guard(HandleLock);
    if (Aborted)
        throw ENelqConnectionError("Connection closed.");
    Handle = handle;
}

void TServerConnection::Connect(const std::string& host, std::uint16_t port) {
    CloseHandle();
    Input.clear();
    InputBegin = 0;
    Output.clear();
    BrokenReason.clear();
    // CloseSocket cannot reach into a name lookup, so the lookup asks for it.
    const auto endpoints = ResolveAbortable(host, port, [this] {
        std::lock_guard guard(HandleLock);
        return Aborted;
    });
    asio::error_code error = asio::error::host_not_found;
    for (const auto& endpoint : endpoints) {
        // Close-on-exec from the start: a program the client starts (the game)
        // must not hold the connection open after the client has closed it.
        const int handle = ::socket(endpoint.protocol().family(), SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (handle < 0) {
            error = asio::error_code(errno, asio::system_category());
            continue;
        }
        Socket->Socket.assign(endpoint.protocol(), handle, error);
        if (error) {
            ::close(handle);
            continue;
        }
        Register(Socket->Socket.native_handle());
        Socket->Socket.connect(endpoint, error);
        if (!error)
            break;
        CloseHandle();
    }
    if (error || !Socket->Socket.is_open())
        throw ENelqConnectionError("Cannot connect to " + host + ":" + std::to_string(port) + ": " +
                                   error.message());
    Register(Socket->Socket.native_handle()); // fails if CloseSocket came meanwhile
    Socket->Socket.set_option(asio::ip::tcp::no_delay(true), error);
    LimitDeadPaths(Socket->Socket.native_handle());
    if (OnConnected)
        OnConnected();
}

void TServerConnection::Adopt(int acceptedSocket) {
    CloseHandle();
    sockaddr_storage address{};
    socklen_t length = sizeof(address);
    ::getsockname(acceptedSocket, reinterpret_cast<sockaddr*>(&address), &length);
    const auto protocol = address.ss_family == AF_INET6 ? asio::ip::tcp::v6() : asio::ip::tcp::v4();
    try {
        Socket->Socket.assign(protocol, acceptedSocket);
    } catch (...) {
        ::close(acceptedSocket); // not ours to keep once it could not be taken over
        throw;
    }
    Register(acceptedSocket);
    asio::error_code error;
    Socket->Socket.set_option(asio::ip::tcp::no_delay(true), error);
    LimitDeadPaths(acceptedSocket);
}

bool TServerConnection::IsConnected() const {
    return Socket->Socket.is_open();
}

void TServerConnection::CloseHandle() {
    std::lock_guard guard(HandleLock);
    Handle = -1;
    asio::error_code ignored;
    Socket->Socket.close(ignored);
}

void TServerConnection::Disconnect() {
    if (!IsConnected())
        return;
    try {
        Flush();
    } catch (const ENelqConnectionError&) {
        // The peer is gone already; closing is all that is left.
    }
    asio::error_code ignored;
    Socket->Socket.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    CloseHandle();
    if (OnDisconnected)
        OnDisconnected();
}

void TServerConnection::CloseSocket() {
    std::lock_guard guard(HandleLock);
    Aborted = true;
    if (Handle >= 0)
        ::shutdown(Handle, SHUT_RDWR);
}

std::string TServerConnection::PeerAddress() const {
    asio::error_code error;
    const auto endpoint = Socket->Socket.remote_endpoint(error);
    if (error)
        return "(unknown)";
    return endpoint.address().to_string() + ":" + std::to_string(endpoint.port());
}

void TServerConnection::Fill() {
    Flush();
    if (InputBegin > 0) {
        Input.erase(Input.begin(), Input.begin() + static_cast<std::ptrdiff_t>(InputBegin));
        InputBegin = 0;
    }
    if (!IsConnected())
        throw ENelqConnectionError("Not connected.");
    AwaitReady(POLLIN);
    const std::size_t kept = Input.size();
    Input.resize(kept + ReceiveSize);
    asio::error_code error;
    const std::size_t got =
        Socket->Socket.read_some(asio::buffer(Input.data() + kept, ReceiveSize), error);
    Input.resize(kept + got);
    if (error)
        ThrowConnectionFailure(error);
}

void TServerConnection::CheckNotBroken() const {
    if (!BrokenReason.empty())
        throw ENelqConnectionError(BrokenReason);
}

std::string TServerConnection::ReadLine() {
    CheckNotBroken(); // buffered input must not hide a failed send
    std::size_t scanned = 0;
    for (;;) {
        const std::string_view pending(Input.data() + InputBegin, Input.size() - InputBegin);
        Wire::TLineScan scan = Wire::ScanLine(pending, scanned);
        if (scan.Found) {
            InputBegin += scan.Next;
            return std::move(scan.Line);
        }
        scanned = pending.size();
        Fill(); // moves the pending bytes to the front
    }
}

void TServerConnection::ReadExact(char* target, std::size_t size) {
    CheckNotBroken();
    while (size > 0) {
        if (InputBegin == Input.size())
            Fill();
        const std::size_t take = std::min(size, Input.size() - InputBegin);
        std::copy_n(Input.data() + InputBegin, take, target);
        InputBegin += take;
        target += take;
        size -= take;
    }
}

std::int32_t TServerConnection::ReadInt32() {
    std::array<char, 4> bytes;
    ReadExact(bytes.data(), bytes.size());
    return Wire::DecodeInt32(bytes.data());
}

std::vector<std::string> TServerConnection::ReadLines(std::int32_t maxLines) {
    const std::int32_t count = ReadInt32();
    if (count < 0 || count > maxLines)
        throw ENelqProtocolError("A list of " + std::to_string(count) + " lines, " +
                                 std::to_string(maxLines) + " allowed.");
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i)
        lines.push_back(ReadLine());
    return lines;
}

std::int32_t TServerConnection::ReadCounted(std::ostream& target, std::int32_t maxCount) {
    const std::int32_t count = ReadInt32();
    Wire::CheckBlockCount(count, maxCount);
    std::array<char, MaxChunk> chunk;
    std::int32_t left = count;
    while (left > 0) {
        const auto take = static_cast<std::size_t>(std::min(left, MaxChunk));
        ReadExact(chunk.data(), take);
        target.write(chunk.data(), static_cast<std::streamsize>(take));
        if (!target)
            throw ENelqException("Cannot write the received data.");
        left -= static_cast<std::int32_t>(take);
    }
    return count;
}

void TServerConnection::Send(const void* data, std::size_t size) {
    CheckNotBroken();
    const auto* bytes = static_cast<const char*>(data);
    Output.insert(Output.end(), bytes, bytes + size);
    if (BatchDepth == 0 || Output.size() >= static_cast<std::size_t>(MaxChunk))
        Flush();
}

void TServerConnection::Flush() {
    CheckNotBroken();
    if (Output.empty())
        return;
    if (!IsConnected())
        throw ENelqConnectionError("Not connected.");
    try {
        WriteOutput();
    } catch (const ENelqConnectionError& failure) {
        Output.clear();
        BrokenReason = failure.what(); // later writes must not pretend to succeed
        throw;
    }
    Output.clear();
}

void TServerConnection::WriteOutput() {
    asio::error_code error;
    if (IdleTimeout.count() == 0) {
        asio::write(Socket->Socket, asio::buffer(Output), error);
        if (error)
            ThrowConnectionFailure(error);
        return;
    }
    // Non-blocking sends, so that a peer that takes nothing is noticed.
    const int handle = Socket->Socket.native_handle();
    std::size_t done = 0;
    while (done < Output.size()) {
        AwaitReady(POLLOUT);
        const ssize_t sent =
            ::send(handle, Output.data() + done, Output.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent >= 0) {
            done += static_cast<std::size_t>(sent);
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            ThrowConnectionFailure(asio::error_code(errno, asio::system_category()));
    }
}

void TServerConnection::AwaitReady(short events) {
    if (IdleTimeout.count() == 0)
        return;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + IdleTimeout;
    pollfd socket{Socket->Socket.native_handle(), events, 0};
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        const int ready = ::poll(&socket, 1, static_cast<int>(std::max<long long>(left, 0)));
        if (ready > 0)
            return; // readable, writable, or failed: the read or write tells which
        if (ready == 0) {
            // The peer is taken for dead: nothing later may use the connection.
            BrokenReason =
                (events == POLLIN ? "Nothing received for " : "Nothing could be sent for ") +
                DurationText(IdleTimeout) + ".";
            throw ENelqConnectionError(BrokenReason);
        }
        if (errno != EINTR)
            ThrowConnectionFailure(asio::error_code(errno, asio::system_category()));
    }
}

void TServerConnection::WriteLine(std::string_view text) {
    TBatch batch(*this);
    Send(text.data(), text.size());
    Send("\r\n", 2);
    batch.Commit();
}

void TServerConnection::WriteInt32(std::int32_t value) {
    const auto bytes = Wire::EncodeInt32(value);
    Send(bytes.data(), bytes.size());
}

void TServerConnection::WriteCounted(std::istream& source, std::int32_t count) {
    if (count < 0)
        throw ENelqException("Invalid block size " + std::to_string(count) + ".");
    TBatch batch(*this);
    WriteInt32(count);
    std::array<char, MaxChunk> chunk;
    std::int32_t left = count;
    while (left > 0) {
        const auto take = std::min(left, MaxChunk);
        source.read(chunk.data(), take);
        if (source.gcount() != take)
            throw ENelqException("Cannot read the data to send.");
        Send(chunk.data(), static_cast<std::size_t>(take));
        left -= take;
    }
    batch.Commit();
}

TServerConnection::TBatch::TBatch(TServerConnection& connection)
    : Connection(connection), Unwinding(std::uncaught_exceptions()) {
    ++Connection.BatchDepth;
}

void TServerConnection::TBatch::Commit() {
    if (Closed)
        return;
    Closed = true;
    if (--Connection.BatchDepth == 0)
        Connection.Flush();
}

TServerConnection::TBatch::~TBatch() {
    if (Closed)
        return;
    if (std::uncaught_exceptions() > Unwinding) {
        // Half a message must not reach the peer: the connection is done for.
        Connection.Output.clear();
        Connection.BrokenReason = "A message could not be completed.";
    }
    if (--Connection.BatchDepth > 0)
        return;
    try {
        Connection.Flush();
    } catch (const ENelqConnectionError&) {
        // Kept as BrokenReason: the next read or write on this connection raises it.
    }
}
