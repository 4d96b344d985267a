#include "playback/CastAssembler.h"

#include "demo/UnitRecording.h"
#include "playback/AssemblyError.h"
#include "playback/AudioLength.h"
#include "playback/CompletedSections.h"
#include "playback/ReceivedDemoPart.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <limits>

namespace {

constexpr const char* RecordingsFolder = "NELQ/recordings/";

// Clocks are 32-bit on every time line; a section that would overflow one is
// refused instead of wrapping the cast's time.
std::int32_t CheckedClock(std::int64_t ms, std::int32_t section, const char* line) {
    if (ms < 0 || ms > std::numeric_limits<std::int32_t>::max())
        throw EAssemblyError("Section " + std::to_string(section) + " takes the cast's " + line +
                             " time beyond what it can hold");
    return static_cast<std::int32_t>(ms);
}

void RequireDirectory(const std::string& directory, const char* name) {
    if (directory.empty())
        throw EAssemblyError(std::string("No ") + name + " is set for assembling the cast");
}

} // namespace

void TCastAssembler::BeginRun(const TAssemblySettings& settings) {
    CloseRecording();
    RequireDirectory(settings.CastDirectory, "cast directory");
    if (!settings.AudioOnly)
        RequireDirectory(settings.GameDirectory, "game directory");
    FSettings = settings;
    FDemoClock = 0;
    FAudioClock = 0;
    FDemoStartSection = -1;
    FLastCompletedSection = -1;
    FStreamsEnded = false;
    FDemoEndTime.Clear();
    FAudioEndTime.Clear();
    FDemoStarts.Clear();
}

std::string TCastAssembler::SectionPath(const char* format, std::int32_t section) const {
    char name[32];
    std::snprintf(name, sizeof name, format, section);
    return FSettings.CastDirectory + name;
}

void TCastAssembler::SectionComplete(std::int32_t section, std::int32_t tag) {
    CheckTableSection(section);
    // A section assembled twice would repeat its packets in the recording.
    if (section <= FLastCompletedSection)
        throw EAssemblyError("Section " + std::to_string(section) + " completed after section " +
                             std::to_string(FLastCompletedSection) +
                             "; sections must complete in rising order");
    const std::int32_t audioMs = AudioLengthMs(SectionPath("audio_%d.ogg", section));
    const std::int32_t audioClock =
        CheckedClock(std::int64_t{FAudioClock} + audioMs, section, "audio");

    if (!FSettings.AudioOnly)
        RebuildDemoPart(section, audioClock);
    if (FSettings.Online)
        AppendCompletedSection(FSettings.CastDirectory, section, tag);

    FAudioClock = audioClock;
    FAudioEndTime.Set(section, audioClock);
    // Set before playback starts: the audio player reads up to this section.
    FLastCompletedSection = section;
    if (section == std::int64_t{FSettings.StartSection} + 2)
        StartPlaybackAtStart();
}

void TCastAssembler::RebuildDemoPart(std::int32_t section, std::int32_t audioEndMs) {
    try {
        TFileStream part(SectionPath("demo_%d.rec", section), TFileStream::TMode::OpenRead);
        if (part.Size() > 0) {
            AppendDemoPart(section, part);
            return;
        }
        // A fake section: the recording being rebuilt has ended.
        CloseRecording();
        FDemoEndTime.Set(section, audioEndMs);
        FDemoStartSection = -1;
    } catch (...) {
        // The recording stays a complete one up to the last good section;
        // the next start point begins a new one.
        try {
            CloseRecording();
        } catch (...) {
            // The failure that brought us here is the one to report.
        }
        FDemoStartSection = -1;
        throw;
    }
}

void TCastAssembler::AppendDemoPart(std::int32_t section, TStream& part) {
    const std::string what = "The demo part of section " + std::to_string(section);
    const bool beginsRecording = FDemoStartSection == -1;
    std::vector<std::uint8_t> head;
    if (beginsRecording)
        head = UnpackRecordingHead(part, what);
    TMemoryStream packets;
    UnpackPacketStream(part, packets, what);

    // Demo time of a new recording starts where the audio stands.
    const std::int64_t base = beginsRecording ? FAudioClock : FDemoClock;
    const std::int32_t demoClock =
        CheckedClock(base + MeasureDemoTime(packets.Memory(), packets.ByteSize()), section, "demo");

    if (beginsRecording) {
        OpenRecording(section, head);
        FDemoStartSection = section;
        FDemoStarts.Add(section, FAudioClock);
        if (ShowBufferLabel)
            ShowBufferLabel("Waiting for next buffer section...");
    } else if (ShowBufferLabel) {
        ShowBufferLabel("Waiting for next section...");
    }
    FRecording->Append(packets);
    FDemoClock = demoClock;
    FDemoEndTime.Set(section, demoClock);
}

void TCastAssembler::OpenRecording(std::int32_t section, const std::vector<std::uint8_t>& head) {
    CloseRecording();
    const std::string folder = FSettings.GameDirectory + RecordingsFolder;
    std::filesystem::create_directories(folder);
    char name[32];
    std::snprintf(name, sizeof name, "nelqdemo%d.rec", section);
    FRecording = std::make_unique<TRebuiltRecording>(folder + name, head);
}

void TCastAssembler::CloseRecording() {
    const std::unique_ptr<TRebuiltRecording> recording = std::move(FRecording);
    if (recording)
        recording->Finish();
}

void TCastAssembler::Finish() {
    // Forgotten first: a section that still arrives must not be appended to
    // the recording closed here.
    FDemoStartSection = -1;
    FLastCompletedSection = -1;
    CloseRecording();
}

void TCastAssembler::StreamsEndedHandler() {
    std::exception_ptr closeFailure;
    try {
        CloseRecording();
    } catch (...) {
        closeFailure = std::current_exception();
    }
    // Ended even if the last write failed: nothing more will arrive to wait for.
    FStreamsEnded = true;
    if (FSettings.Online && FLastCompletedSection < std::int64_t{FSettings.StartSection} + 2) {
        if (FLastCompletedSection >= FSettings.StartSection)
            StartPlaybackAtStart();
        else if (ReportNothingToPlay)
            ReportNothingToPlay("The cast ended before any of its sections arrived, so there is "
                                "nothing to play.");
    }
    if (closeFailure)
        std::rethrow_exception(closeFailure);
}

void TCastAssembler::StartPlaybackAtStart() {
    if (StartPlayback)
        StartPlayback(FSettings.StartSection);
}
