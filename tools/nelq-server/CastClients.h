#pragma once

// Scripted filmer and viewer peers that speak the client's side of the
// casting protocol one message at a time. The server's tests and the load
// benchmark drive the server with them; the real client uses its threads.

#include "net/OpeningExchange.h"
#include "net/UnitServerConnection.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The client version the scripted peers give in their hello.
inline constexpr const char* ScriptedClientVersion = "1.0.0.47";

// Connects and runs the opening exchange with the given role code.
TVerdict ConnectAs(TServerConnection& connection, const std::string& host, std::uint16_t port,
                   const char* roleCode);

// ---- filmer

struct TSectionParts {
    std::string Demo;
    std::int32_t BodyOffset = 0; // 0 for an empty demo part
    std::string Audio;
};

TVerdict FilmerLogin(TServerConnection& connection, const std::string& password,
                     const std::string& mode, const std::string& game);
// "TRANSMIT" and the two announces; returns the server's resume offsets.
std::array<std::int32_t, 2> AnnounceSection(TServerConnection& connection, std::int32_t section,
                                            const TSectionParts& parts);
void SendBlock(TServerConnection& connection, std::int32_t part, const std::string& bytes);
void EndPart(TServerConnection& connection, std::int32_t part);
// Announces and sends a whole section from the server's offsets on, in
// blocks of at most `blockSize` bytes, and ends both parts.
void UploadSection(TServerConnection& connection, std::int32_t section, const TSectionParts& parts,
                   std::int32_t blockSize = 10000);

// ---- viewer

struct TStreamHeader {
    std::int32_t Type = 0;
    std::int32_t Tag = 0;
    std::int32_t Length = 0;
};

// What came in place of a section header: the streams, or -1 (end) / -2 (deleted).
struct TSectionHeader {
    std::int32_t Count = 0;
    std::vector<TStreamHeader> Streams;
};

inline constexpr std::int32_t MaxListLines = 65536;

// Sends the one-line command and reads the count and that many lines.
std::vector<std::string> ListLines(TServerConnection& connection, const std::string& command);
std::string RequestLine(const std::string& game, std::int32_t start, std::int32_t current,
                        bool audioOnly);
void SendRequest(TServerConnection& connection, const std::string& game, std::int32_t start,
                 std::int32_t current, bool audioOnly);
// Reads a header, skipping keep-alives (a count of 0).
TSectionHeader ReadSectionHeader(TServerConnection& connection);
// Sends the resume offsets (the sizes of `streams`) and appends the blocks to
// `streams` until every stream has ended. `onUnit` runs after every message
// read (a block, an end or a keep-alive); returning false stops early.
bool ReceiveSection(TServerConnection& connection, const TSectionHeader& header,
                    std::vector<std::string>& streams, const std::function<bool()>& onUnit = {});
