#pragma once

#include "CastClients.h"
#include "CastingServer.h"

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// A casting server on its own loopback address and free ports, with a data
// directory inside a private scratch directory, and its log kept.
class TServerHarness {
public:
    explicit TServerHarness(const std::string& address, const std::string& name,
                            TServerOptions extra = {});
    ~TServerHarness();

    void Restart(); // a new server on the same data directory

    TCastingServer& Server() { return *FServer; }
    std::uint16_t FilmerPort() const { return FFilmerPort; }
    std::uint16_t ViewerPort() const { return FViewerPort; }
    std::optional<std::uint16_t> HttpPort() const { return FHttpPort; }
    bool LogHas(const std::string& text) const;
    std::vector<std::string> Log() const;

    // A filmer or viewer connection after an accepted hello.
    std::unique_ptr<TServerConnection> Filmer();
    std::unique_ptr<TServerConnection> Viewer();
    // A filmer logged in with `mode` to `game`.
    std::unique_ptr<TServerConnection> FilmerOf(const std::string& game, const char* mode = "NEW");

    const std::string Address;
    const std::filesystem::path Scratch; // only the data directory may appear here
    const std::filesystem::path DataDirectory;

private:
    void Launch();

    TServerOptions Options;
    std::unique_ptr<TCastingServer> FServer;
    std::uint16_t FFilmerPort = 0;
    std::uint16_t FViewerPort = 0;
    std::optional<std::uint16_t> FHttpPort;
    mutable std::mutex LogLock;
    std::vector<std::string> FLog; // guarded by LogLock
};

// Section parts as the filmer makes them: an empty demo part for a fake
// section, else duration, 1024 bytes of info text, head length, head, body.
TSectionParts MakeSection(int seed, bool fake, bool startPoint, int bodySize = 9000,
                          int audioSize = 5000);
std::string InfoText(int seed);

// What a viewer received of one section.
struct TViewedSection {
    TSectionHeader Header;
    std::vector<std::string> Streams;
};

struct TViewing {
    std::vector<TViewedSection> Sections;
    std::int32_t End = 0; // -1 or -2
};

// Requests and receives sections until the end of the cast or its deletion.
TViewing ViewCast(TServerConnection& viewer, const std::string& game, std::int32_t start,
                  bool audioOnly = false);

// A plain socket for hostile bytes: sends a blob, half-closes, and reads
// what the server says until it closes the connection.
struct TRawExchange {
    std::string Reply;
    bool Closed = false; // false: the server kept the connection open too long
};
TRawExchange SendRaw(const std::string& address, std::uint16_t port, const std::string& bytes);

// A plain client socket that sends what it is given and reads only when asked.
class TRawClient {
public:
    // `receiveBuffer` > 0 shrinks the receive buffer, so that the server's
    // writes soon block on a peer that does not read.
    TRawClient(const std::string& address, std::uint16_t port, int receiveBuffer = 0);
    ~TRawClient();
    TRawClient(const TRawClient&) = delete;
    TRawClient& operator=(const TRawClient&) = delete;

    void Send(const std::string& bytes);
    // Reads until `count` bytes came or the peer closed (then PeerClosed);
    // gives up after 30 s.
    std::string Receive(std::size_t count);
    bool PeerClosed = false;

private:
    int Socket = -1;
};

// Wire pieces for building hostile messages.
std::string Int32Bytes(std::int32_t value);
std::string Line(const std::string& text);
