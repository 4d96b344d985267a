#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct TDeliveryFigures {
    int Sections = 0; // kept from the filmer's work directory
    int IdenticalAtServer = 0;
    std::vector<int> IdenticalAtViewer; // per viewer cast directory
    std::int64_t CommentaryMs = 0;      // of every kept section
    std::int64_t CommentaryLostMs = 0;  // of the sections that did not reach the server intact
    // Audio after the last cut: after "Stop Recording" no section is made for
    // it, so it never belongs to the cast and is not counted as lost.
    std::int64_t AfterLastSectionMs = 0;
    std::vector<std::string> Differences; // one line per part that differs
};

// Compares the filmer's kept section files with the parts the server stored
// ("section_N.part0" / "part1") and the files each viewer downloaded from
// section 0 on ("demo_N.rec", "audio_N.ogg").
TDeliveryFigures CheckDelivery(const std::filesystem::path& kept,
                               const std::filesystem::path& serverCast,
                               const std::vector<std::filesystem::path>& viewerCasts);
