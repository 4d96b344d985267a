#pragma once

#include "demo/UnitStreams.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

// The demo part of a section, the payload that travels to the server and the
// viewers. All integers little-endian:
//
//   offset 0     4 bytes      DurationMs of the recording
//   offset 4     1024 bytes   info comma text, a zero byte, then blanks
//   offset 1028  4 bytes      HeadLength: size of the compressed head, 0 when
//                             the section is not a start point
//   offset 1032  HeadLength   the recording head as one bzip2 stream
//   1032 + HeadLength ...     the packet stream as one bzip2 stream, to the end
//
// The body offset is 1032 + HeadLength; an empty demo part (0 bytes) marks a
// fake section and has body offset 0. Code that only needs to locate the
// parts (the casting server) uses ReadDemoPartHeader / DemoPartBodyOffset.

inline constexpr std::size_t DemoPartInfoOffset = 4;
inline constexpr std::size_t DemoPartInfoSize = 1024;
inline constexpr std::size_t DemoPartHeadLengthOffset = 1028;
inline constexpr std::size_t DemoPartHeadOffset = 1032;

class EDemoPartError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TDemoPartHeader {
    std::uint32_t DurationMs = 0;
    std::string InfoText; // up to the zero byte
    std::uint32_t HeadLength = 0;
    std::int64_t BodyOffset = 0; // DemoPartHeadOffset + HeadLength; 0 for an empty part
    std::int64_t Size = 0;       // of the whole part
};

// Reads the fixed fields of the demo part at the stream's start and leaves the
// stream at the compressed head. An empty part gives all zeros; a part shorter
// than its fixed fields or its head raises EDemoPartError.
TDemoPartHeader ReadDemoPartHeader(TStream& part);
TDemoPartHeader ReadDemoPartHeader(const std::string& path);
std::int64_t DemoPartBodyOffset(const std::string& path);

// The info field: the comma text (cut after the last whole item that fits in
// 1023 bytes), a zero byte, blanks up to 1024 bytes.
std::string MakeInfoField(const std::string& commaText);

// Builds the demo part of a recording at `targetPath`, with the head when the
// section is a start point. Adds the recording's duration to runningTotalMs
// once its head has been read; returns the demo part's body offset.
std::int64_t BuildSection(const std::string& recordingPath, const std::string& targetPath,
                          bool startPoint, std::int64_t& runningTotalMs);

// Creates or truncates "dummydemo.dat" in workDirectory (which ends in a
// separator) and returns its path: the empty demo part of a fake section.
std::string DummyDemoPart(const std::string& workDirectory);
