#pragma once

#include "playback/CastAssembler.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

// Playing a stored cast without a server: its "completed.dat" is read back
// and every listed section goes through the same assembly as online viewing.

class EOfflineError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One line of "completed.dat" after its header.
struct TCompletedSection {
    std::int32_t Section;
    std::int32_t Tag;
};

// The sections listed in the cast directory's "completed.dat", in order.
// Raises EOfflineError "Unable to locate any completed stream sections" when
// it is missing, and one naming the line for a line whose fields are not
// numbers, whose section lies outside 0 to 1024 or is not above the one
// before it. Empty lines are skipped. A file over the size cap of
// "completed.dat" is refused unread (EAssemblyError).
std::vector<TCompletedSection> LoadCompletedSections(const std::string& castDirectory);

// The sections offline viewing plays: at least two ("Insufficient sections to
// begin viewing" otherwise), each with its audio part and, unless the cast is
// played as audio only, its demo part. Everything is checked before anything
// is assembled, so a broken cast changes nothing.
std::vector<TCompletedSection> LoadPlayableCast(const std::string& castDirectory, bool audioOnly);

// Feeds the sections to the assembler as if they had just arrived: a new run
// starting at the first of them (settings.StartSection and Online are set
// here), then each section, then the end of the streams; playback starts at
// the third section as online. A cast of two sections (or one whose third
// listed section is not two after the first) starts playback once all are
// assembled, as the end of a short online cast does.
//
// streamsEnded stands in for the assembler's own handler where the caller's
// does more. afterSection(n) runs after the n-th section; it may run the window's pending
// events. If the assembler no longer holds that section afterwards, its run
// was finished or restarted meanwhile and the replay ends at once. If a
// section fails, the streams are still ended, closing the rebuilt recording,
// and the error is raised.
void ReplayCast(TCastAssembler& assembler, TAssemblySettings settings,
                const std::vector<TCompletedSection>& sections,
                const std::function<void(std::size_t replayed)>& afterSection,
                const std::function<void()>& streamsEnded = {});
