#include "ServerHarness.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <random>

namespace fs = std::filesystem;

TServerHarness::TServerHarness(const std::string& address, const std::string& name,
                               TServerOptions extra)
    : Address(address),
      Scratch(fs::temp_directory_path() / ("nelq-net-" + name + "-" + std::to_string(::getpid()))),
      DataDirectory(Scratch / "data"), Options(std::move(extra)) {
    fs::remove_all(Scratch);
    fs::create_directories(Scratch);
    Options.BindAddress = Address;
    Options.DataDirectory = DataDirectory;
    Options.FilmerPort = 0;
    Options.ViewerPort = 0;
    if (Options.HttpPort)
        Options.HttpPort = 0;
    Launch();
}

TServerHarness::~TServerHarness() {
    FServer.reset();
    fs::remove_all(Scratch);
}

void TServerHarness::Launch() {
    FServer = std::make_unique<TCastingServer>(Options, [this](const std::string& line) {
        std::lock_guard guard(LogLock);
        FLog.push_back(line);
    });
    FServer->Start();
    FFilmerPort = FServer->FilmerPort();
    FViewerPort = FServer->ViewerPort();
    FHttpPort = FServer->HttpPort();
}

void TServerHarness::Restart() {
    FServer.reset();
    Options.FilmerPort = FFilmerPort; // clients reconnect where they were
    Options.ViewerPort = FViewerPort;
    Options.HttpPort = FHttpPort;
    Launch();
}

bool TServerHarness::LogHas(const std::string& text) const {
    std::lock_guard guard(LogLock);
    return std::any_of(FLog.begin(), FLog.end(), [&](const std::string& line) {
        return line.find(text) != std::string::npos;
    });
}

std::vector<std::string> TServerHarness::Log() const {
    std::lock_guard guard(LogLock);
    return FLog;
}

std::unique_ptr<TServerConnection> TServerHarness::Filmer() {
    auto connection = std::make_unique<TServerConnection>();
    if (!ConnectAs(*connection, Address, FFilmerPort, "2016").Accepted)
        throw std::runtime_error("filmer hello refused");
    return connection;
}

std::unique_ptr<TServerConnection> TServerHarness::Viewer() {
    auto connection = std::make_unique<TServerConnection>();
    if (!ConnectAs(*connection, Address, FViewerPort, "1016").Accepted)
        throw std::runtime_error("viewer hello refused");
    connection->ReadLine(); // no login asked: any line but "AUTH"
    return connection;
}

std::unique_ptr<TServerConnection> TServerHarness::FilmerOf(const std::string& game,
                                                            const char* mode) {
    auto connection = Filmer();
    const TVerdict verdict = FilmerLogin(*connection, "", mode, game);
    if (!verdict.Accepted)
        throw std::runtime_error("filmer login refused: " + verdict.Reason);
    return connection;
}

namespace {

void PutLittleEndian(std::string& bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes += static_cast<char>(value >> (8 * i));
}

std::string RandomBytes(std::mt19937& random, int size) {
    std::string bytes(static_cast<std::size_t>(size), '\0');
    for (auto& byte : bytes)
        byte = static_cast<char>(random());
    return bytes;
}

} // namespace

std::string InfoText(int seed) {
    return "\"Time Remaining\",Map,Players," + std::to_string(20 - seed) + ":00,Katabatic," +
           std::to_string(seed);
}

TSectionParts MakeSection(int seed, bool fake, bool startPoint, int bodySize, int audioSize) {
    std::mt19937 random(static_cast<unsigned>(seed));
    TSectionParts parts;
    parts.Audio = RandomBytes(random, audioSize);
    if (fake)
        return parts;
    const std::string head = startPoint ? RandomBytes(random, 700 + seed) : std::string();
    PutLittleEndian(parts.Demo, 30000 + static_cast<std::uint32_t>(seed));
    std::string info = InfoText(seed);
    info += '\0';
    info.resize(1024, ' ');
    parts.Demo += info;
    PutLittleEndian(parts.Demo, static_cast<std::uint32_t>(head.size()));
    parts.Demo += head;
    parts.BodyOffset = static_cast<std::int32_t>(parts.Demo.size());
    parts.Demo += RandomBytes(random, bodySize);
    return parts;
}

TViewing ViewCast(TServerConnection& viewer, const std::string& game, std::int32_t start,
                  bool audioOnly) {
    TViewing viewing;
    SendRequest(viewer, game, start, start, audioOnly);
    for (;;) {
        TViewedSection section;
        section.Header = ReadSectionHeader(viewer);
        if (section.Header.Count < 0) {
            viewing.End = section.Header.Count;
            return viewing;
        }
        ReceiveSection(viewer, section.Header, section.Streams);
        viewing.Sections.push_back(std::move(section));
    }
}

std::string Int32Bytes(std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    return {static_cast<char>(bits >> 24), static_cast<char>(bits >> 16),
            static_cast<char>(bits >> 8), static_cast<char>(bits)};
}

std::string Line(const std::string& text) {
    return text + "\r\n";
}

namespace {

// A connected socket, or -1.
int ConnectSocket(const std::string& address, std::uint16_t port, int receiveBuffer = 0) {
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    if (receiveBuffer > 0)
        ::setsockopt(socket, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof(receiveBuffer));
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    ::inet_pton(AF_INET, address.c_str(), &remote.sin_addr);
    if (::connect(socket, reinterpret_cast<sockaddr*>(&remote), sizeof(remote)) != 0) {
        ::close(socket);
        return -1;
    }
    return socket;
}

// The server may close before taking everything: a failed send is fine.
void SendAll(int socket, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += static_cast<std::size_t>(n);
    }
}

} // namespace

TRawClient::TRawClient(const std::string& address, std::uint16_t port, int receiveBuffer)
    : Socket(ConnectSocket(address, port, receiveBuffer)) {
    if (Socket < 0)
        throw std::runtime_error("cannot connect to " + address);
}

TRawClient::~TRawClient() {
    ::close(Socket);
}

void TRawClient::Send(const std::string& bytes) {
    SendAll(Socket, bytes);
}

std::string TRawClient::Receive(std::size_t count) {
    std::string received;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    char buffer[4096];
    while (received.size() < count && !PeerClosed && std::chrono::steady_clock::now() < deadline) {
        pollfd wait{Socket, POLLIN, 0};
        if (::poll(&wait, 1, 100) <= 0)
            continue;
        const ssize_t n =
            ::recv(Socket, buffer, std::min(sizeof(buffer), count - received.size()), 0);
        if (n <= 0)
            PeerClosed = true;
        else
            received.append(buffer, static_cast<std::size_t>(n));
    }
    return received;
}

TRawExchange SendRaw(const std::string& address, std::uint16_t port, const std::string& bytes) {
    TRawExchange exchange;
    const int socket = ConnectSocket(address, port);
    if (socket < 0)
        return exchange;
    SendAll(socket, bytes);
    ::shutdown(socket, SHUT_WR);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    char buffer[4096];
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd wait{socket, POLLIN, 0};
        if (::poll(&wait, 1, 100) <= 0)
            continue;
        const ssize_t n = ::recv(socket, buffer, sizeof(buffer), 0);
        if (n <= 0) {
            exchange.Closed = true;
            break;
        }
        exchange.Reply.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(socket);
    return exchange;
}
