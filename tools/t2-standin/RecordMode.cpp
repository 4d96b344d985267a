#include "RecordMode.h"

#include "RecordingFileWriter.h"
#include "RecordingGenerator.h"

#include "demo/UnitRecording.h"
#include "demo/UnitRecordingInfo.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <stdexcept>
#include <thread>

namespace {

using TClock = std::chrono::steady_clock;

// How often a recording in progress grows.
constexpr std::chrono::milliseconds PieceInterval(200);

std::chrono::duration<double> Seconds(double seconds) {
    return std::chrono::duration<double>(seconds);
}

// Without --info: the game's facts, the time remaining counting down.
std::string DefaultInfoText(std::int64_t remainingMs) {
    return "Time Remaining,Map\n" + FormatRunningTotal(remainingMs) + ",Katabatic";
}

void RecordOne(const std::string& directory, const TGeneratorOptions& generator, double seconds,
               const std::string& infoText, std::ostream& finished) {
    TGeneratedRecording bytes = GenerateRecordingBytes(generator);
    // The game learns the duration only when the recording ends.
    std::fill_n(bytes.Head.begin() + RecordingDurationOffset, 4, 0);

    TRecordingFileWriter file(directory);
    const TClock::time_point start = TClock::now();
    const auto length = Seconds(seconds);
    file.Append(bytes.Head.data(), bytes.Head.size());
    std::size_t written = 0;
    while (written < bytes.Body.size()) {
        std::this_thread::sleep_for(PieceInterval);
        const double done = std::min(1.0, (TClock::now() - start) / length);
        const auto due = static_cast<std::size_t>(std::llround(done * bytes.Body.size()));
        if (due > written) {
            file.Append(bytes.Body.data() + written, due - written);
            written = due;
        }
    }
    std::this_thread::sleep_until(start + std::chrono::duration_cast<TClock::duration>(length));
    file.Close(generator.DurationMs);
    WriteInfoFile(file.Path(), infoText);
    finished << file.Path() << std::endl;
}

} // namespace

void RunRecordMode(const TRecordOptions& options, std::ostream& finished) {
    if (!std::filesystem::is_directory(options.Directory))
        throw std::runtime_error("no recordings directory " + options.Directory);
    const auto durationMs = static_cast<std::uint32_t>(std::llround(options.Seconds * 1000));
    for (int i = 0; i < options.Recordings; ++i) {
        if (i > 0)
            std::this_thread::sleep_for(Seconds(options.GapSeconds));
        TGeneratorOptions generator;
        generator.DurationMs = durationMs;
        generator.Seed = static_cast<std::uint64_t>(i) + 1;
        const std::int64_t remainingMs = static_cast<std::int64_t>(options.Recordings - i) *
                                         static_cast<std::int64_t>(durationMs);
        RecordOne(options.Directory, generator, options.Seconds,
                  options.InfoText.value_or(DefaultInfoText(remainingMs)), finished);
    }
}
