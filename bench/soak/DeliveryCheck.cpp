#include "DeliveryCheck.h"

#include "playback/AudioLength.h"

#include <fstream>
#include <iterator>
#include <optional>
#include <regex>
#include <set>

namespace fs = std::filesystem;

namespace {

// Where a demo part's head length lies and where its head begins.
constexpr std::size_t HeadLengthAt = 1028;
constexpr std::size_t HeadAt = 1032;

std::optional<std::string> Contents(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::set<int> KeptSections(const fs::path& kept) {
    static const std::regex AudioPart(R"(stream_(\d+)\.ogg)");
    std::set<int> sections;
    for (const auto& entry : fs::directory_iterator(kept)) {
        std::smatch match;
        const std::string name = entry.path().filename().string();
        if (std::regex_match(name, match, AudioPart))
            sections.insert(std::stoi(match[1]));
    }
    return sections;
}

struct TSection {
    std::string Demo; // empty for a section without a recording
    std::string Audio;
};

// What a viewer that started at section 0 holds of a demo part: all of it
// where a recording begins for the viewer, else the part from its body on.
std::string ViewerDemoPart(const std::string& demo, bool recordingBegins) {
    if (recordingBegins || demo.size() < HeadAt)
        return demo;
    const auto byte = [&](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(demo[HeadLengthAt + i]));
    };
    const std::size_t body = HeadAt + (byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24);
    return body <= demo.size() ? demo.substr(body) : std::string();
}

class TComparison {
public:
    explicit TComparison(std::vector<std::string>& differences) : Differences(differences) {}

    bool Same(const std::string& expected, const fs::path& path, int section) {
        const std::optional<std::string> got = Contents(path);
        if (got == expected)
            return true;
        Differences.push_back("section " + std::to_string(section) + ": " + path.string() +
                              (got ? " has " + std::to_string(got->size()) + " bytes, " +
                                         std::to_string(expected.size()) + " expected, and differs"
                                   : " is missing"));
        return false;
    }

private:
    std::vector<std::string>& Differences;
};

std::int64_t SafeAudioLengthMs(const fs::path& path) {
    try {
        return AudioLengthMs(path.string());
    } catch (const std::exception&) {
        return 0;
    }
}

} // namespace

TDeliveryFigures CheckDelivery(const fs::path& kept, const fs::path& serverCast,
                               const std::vector<fs::path>& viewerCasts) {
    TDeliveryFigures figures;
    figures.IdenticalAtViewer.assign(viewerCasts.size(), 0);
    TComparison compare(figures.Differences);
    bool previousDemoEmpty = true; // the viewers start at section 0
    const std::set<int> sections = KeptSections(kept);
    for (const int n : sections) {
        const std::string number = std::to_string(n);
        const fs::path audioPath = kept / ("stream_" + number + ".ogg");
        const bool afterLastSection = n == *sections.rbegin() &&
                                      !fs::exists(kept / ("stream_" + number + ".rec")) &&
                                      !fs::exists(serverCast / ("section_" + number + ".meta"));
        if (afterLastSection) {
            figures.AfterLastSectionMs = SafeAudioLengthMs(audioPath);
            continue;
        }
        const TSection section{Contents(kept / ("stream_" + number + ".rec")).value_or(""),
                               Contents(audioPath).value_or("")};
        ++figures.Sections;
        std::int64_t audioMs = 0;
        try {
            audioMs = AudioLengthMs(audioPath.string());
        } catch (const std::exception& error) {
            figures.Differences.push_back("section " + number + ": kept audio: " + error.what());
        }
        figures.CommentaryMs += audioMs;

        const bool demoAtServer =
            compare.Same(section.Demo, serverCast / ("section_" + number + ".part0"), n);
        const bool audioAtServer =
            compare.Same(section.Audio, serverCast / ("section_" + number + ".part1"), n);
        if (demoAtServer && audioAtServer)
            ++figures.IdenticalAtServer;
        else
            figures.CommentaryLostMs += audioMs;

        const std::string viewerDemo = ViewerDemoPart(section.Demo, previousDemoEmpty);
        for (std::size_t v = 0; v < viewerCasts.size(); ++v) {
            const bool demo =
                compare.Same(viewerDemo, viewerCasts[v] / ("demo_" + number + ".rec"), n);
            const bool audio =
                compare.Same(section.Audio, viewerCasts[v] / ("audio_" + number + ".ogg"), n);
            if (demo && audio)
                ++figures.IdenticalAtViewer[v];
        }
        previousDemoEmpty = section.Demo.empty();
    }
    return figures;
}
