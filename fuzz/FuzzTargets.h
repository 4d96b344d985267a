#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// One entry point of the program per harness, each fed one input the way the
// program meets it. The fuzzers call one each; the regression test calls
// them all through FuzzTargets().

using TFuzzEntry = void (*)(const std::uint8_t* data, std::size_t size);

void FuzzRecording(const std::uint8_t* data, std::size_t size);
void FuzzInfoFile(const std::uint8_t* data, std::size_t size);
void FuzzCommaText(const std::uint8_t* data, std::size_t size);
void FuzzDemoPart(const std::uint8_t* data, std::size_t size);
void FuzzPeVersion(const std::uint8_t* data, std::size_t size);
void FuzzWineRegistry(const std::uint8_t* data, std::size_t size);
void FuzzConnection(const std::uint8_t* data, std::size_t size);
void FuzzFilmerThread(const std::uint8_t* data, std::size_t size);
void FuzzViewerThread(const std::uint8_t* data, std::size_t size);
void FuzzServerSession(const std::uint8_t* data, std::size_t size);
void FuzzCastAssembly(const std::uint8_t* data, std::size_t size);
void FuzzCompleted(const std::uint8_t* data, std::size_t size);
void FuzzCastArchive(const std::uint8_t* data, std::size_t size);
void FuzzPlaylist(const std::uint8_t* data, std::size_t size);
void FuzzMp3(const std::uint8_t* data, std::size_t size);
void FuzzVorbis(const std::uint8_t* data, std::size_t size);
void FuzzSettings(const std::uint8_t* data, std::size_t size);

struct TFuzzTarget {
    std::string_view Name; // as under fuzz/corpus/ and fuzz/regressions/
    TFuzzEntry Entry;
};

// The targets this build holds (the settings file's needs Qt).
const std::vector<TFuzzTarget>& FuzzTargets();
