#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// The casting protocol's units as bytes, for blocking and event-driven
// connections alike: CR LF lines of at most MaxLineLength bytes, big-endian
// 32-bit integers, and counted blocks (a count, then that many bytes).
namespace Wire {

inline constexpr std::size_t MaxLineLength = 16384;
// Counted blocks are read and written in pieces this size: a block cut short
// leaves no piece of it half taken.
inline constexpr std::int32_t MaxChunk = 32768;

std::array<char, 4> EncodeInt32(std::int32_t value);
std::int32_t DecodeInt32(const char* bytes); // the 4 bytes EncodeInt32 makes

// A line as it goes on the wire.
std::string Line(std::string_view text);
// Appends a unit to a message being put together.
void AppendInt32(std::string& message, std::int32_t value);
void AppendLine(std::string& message, std::string_view text);

// Looks for a whole line in the bytes received so far (from `begin`), having
// already scanned `scanned` of them without an LF. Returns the line without
// its CR LF and sets `next` past it; none while more bytes are needed.
// Raises ENelqConnectionError for a line over MaxLineLength, as soon as the
// bytes received show one.
struct TLineScan {
    bool Found = false;
    std::string Line;
    std::size_t Next = 0;
};
TLineScan ScanLine(std::string_view pending, std::size_t scanned);

// Checks a received block count before any byte of it is read.
void CheckBlockCount(std::int32_t count, std::int32_t maxCount);

} // namespace Wire
