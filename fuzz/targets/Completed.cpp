#include "FuzzSupport.h"
#include "FuzzTargets.h"

#include "playback/CompletedSections.h"
#include "playback/OfflineViewing.h"

#include <stdexcept>

// "completed.dat" of a cast directory, which an archive from anyone may
// carry: offline viewing reads it, and online viewing appends to it.
void FuzzCompleted(const std::uint8_t* data, std::size_t size) {
    TScratchDir scratch;
    const std::string cast = scratch.Path().string() + "/";
    WriteFile(cast + CompletedFileName, AsText(data, size));
    try {
        LoadCompletedSections(cast);
    } catch (const std::runtime_error&) {
    }
    std::vector<std::string> before;
    try {
        before = LoadCompletedLines(cast);
    } catch (const std::runtime_error&) {
        FuzzCheck(size > MaxCompletedFileBytes, "a list within the cap was refused");
        return;
    }
    FuzzCheck(size <= MaxCompletedFileBytes, "a list over the cap was read");

    AppendCompletedSection(cast, 1024, 7);
    const std::vector<std::string> after = LoadCompletedLines(cast);
    FuzzCheck(!after.empty() && after.back() == CompletedSectionLine(1024, 7),
              "the appended section is not the last line");
    FuzzCheck(after.size() >= before.size(), "appending lost lines");
}
