#include "FuzzSupport.h"
#include "FuzzTargets.h"

#include "playback/CastAssembler.h"

#include <filesystem>
#include <stdexcept>

namespace fs = std::filesystem;

// The demo parts of a cast as the viewer thread stored them, sections 0, 1,
// ... one per part, assembled online into rebuilt recordings in the game
// directory. The time line may only grow, and nothing is written outside
// the cast and the game's recordings.
void FuzzCastAssembly(const std::uint8_t* data, std::size_t size) {
    const auto parts = SplitParts(AsText(data, size), 8);
    TScratchDir scratch;
    const std::string cast = scratch / "streams/GAME/";
    const std::string game = scratch / "game/";
    fs::create_directories(cast);
    fs::create_directories(game);
    for (std::size_t section = 0; section < parts.size(); ++section) {
        WriteFile(cast + "demo_" + std::to_string(section) + ".rec", parts[section]);
        WriteFile(cast + "audio_" + std::to_string(section) + ".ogg", "");
    }

    TCastAssembler assembler;
    int starts = 0;
    assembler.StartPlayback = [&starts](std::int32_t) { ++starts; };
    assembler.ShowBufferLabel = [](const std::string&) {};
    assembler.ReportNothingToPlay = [](const std::string&) {};
    assembler.ReportSectionFailure = [](const std::string&) {};
    assembler.BeginRun({cast, game, 0, false, true});
    std::int32_t demoClock = 0;
    for (std::size_t section = 0; section < parts.size(); ++section) {
        try {
            assembler.SectionComplete(static_cast<std::int32_t>(section), 1032);
        } catch (const std::runtime_error&) {
            continue;
        }
        FuzzCheck(assembler.DemoClock() >= demoClock, "the demo clock ran backwards");
        demoClock = assembler.DemoClock();
    }
    try {
        assembler.StreamsEndedHandler();
        assembler.Finish();
    } catch (const std::runtime_error&) {
    }
    FuzzCheck(starts <= 1, "playback started more than once");
    CheckWrittenOnlyInside(scratch.Path(), {"streams/GAME", "game/NELQ/recordings"});
}
