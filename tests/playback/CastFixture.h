#pragma once

#include "ToneOgg.h"

#include "TestSupport.h"
#include "playback/CastAssembler.h"

#include <cstdint>
#include <string>
#include <vector>

// A cast store and a game directory in a fresh temporary directory, filled
// the way the viewer thread fills them: real Ogg Vorbis audio parts and demo
// parts built from generated recordings, stored whole where a rebuilt
// recording begins and from their body offset on elsewhere.
class TCastFixture {
public:
    TCastFixture();

    std::string CastDirectory() const { return FRoot.WithSeparator() + "streams/GAME/"; }
    std::string GameDirectory() const { return FRoot.WithSeparator() + "game/"; }
    std::string RebuiltPath(std::int32_t section) const;
    std::string DemoPartPath(std::int32_t section) const;
    std::string AudioPath(std::int32_t section) const;
    // Every file under the temporary root, relative to it.
    std::vector<std::string> AllFiles() const;

    TAssemblySettings Settings(std::int32_t startSection, bool online = true) const;

    // A section of `audioMs` audio whose demo part comes from a new recording of
    // `demoMs`; returns the recording's packet stream.
    std::string StoreSection(std::int32_t section, bool whole, std::uint32_t demoMs = 3000,
                             std::int32_t audioMs = 3000);
    // A fake section: empty demo part.
    void StoreFakeSection(std::int32_t section, std::int32_t audioMs = 3000);
    void StoreAudio(std::int32_t section, std::int32_t audioMs);

    // The head of the recording a section was built from.
    std::string RecordingHead(std::int32_t section) const;

private:
    TTempDir FRoot;
};

// An assembler whose hooks record what they were asked to do.
struct TProbedAssembler {
    TProbedAssembler();
    TCastAssembler Assembler;
    std::vector<std::int32_t> PlaybackStarts;
    std::vector<std::string> BufferLabels;
    std::vector<std::string> Reports;
    std::vector<std::string> SectionFailures;
};

