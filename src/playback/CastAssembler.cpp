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
    FRunActive = true;
    FAbandonedRecording = false;
    FDemoEndTime.Clear();
    FAudioEndTime.Clear();
    FDemoStarts.Clear();
}

std::string TCastAssembler::SectionPath(const char* format, std::int32_t section) const {
    char name[32];
    std::snprintf(name, sizeof name, format, section);
    return FSettings.CastDirectory + name;
}

void TCastAssembler::CheckSectionOrder(std::int32_t section) const {
    CheckTableSection(section);
    if (!FRunActive)
        throw EAssemblyError("Section " + std::to_string(section) +
                             " completed outside a viewing run");
    // A section assembled twice would repeat its packets in the recording.
    if (section <= FLastCompletedSection)
        throw EAssemblyError("Section " + std::to_string(section) + " completed after section " +
                             std::to_string(FLastCompletedSection) +
                             "; sections must complete in rising order");
}

void TCastAssembler::SectionComplete(std::int32_t section, std::int32_t tag) {
    // Everything that can fail is worked out first; nothing has changed yet.
    CheckSectionOrder(section);
    const std::int32_t audioMs = AudioLengthMs(SectionPath("audio_%d.ogg", section));
    const std::int32_t audioClock =
        CheckedClock(std::int64_t{FAudioClock} + audioMs, section, "audio");
    TDemoPlan demo;
    if (!FSettings.AudioOnly)
        PlanDemoPart(section, demo);

    // The list is replaced in one rename: if that fails, nothing has changed
    // and the section may be tried again.
    if (FSettings.Online)
        AppendCompletedSection(FSettings.CastDirectory, section, tag);
    CommitDemoPart(section, demo, audioClock);
    FAudioClock = audioClock;
    FAudioEndTime.Set(section, audioClock);
    // Set before playback starts: the audio player reads up to this section.
    FLastCompletedSection = section;

    if (!demo.Failure.empty() && ReportSectionFailure)
        ReportSectionFailure("Section " + std::to_string(section) +
                             " plays without its demo part: " + demo.Failure);
    if (section == std::int64_t{FSettings.StartSection} + 2)
        StartPlaybackAtStart();
}

void TCastAssembler::PlanDemoPart(std::int32_t section, TDemoPlan& plan) const {
    using TKind = TDemoPlan::TKind;
    try {
        TFileStream part(SectionPath("demo_%d.rec", section), TFileStream::TMode::OpenRead);
        if (part.Size() == 0) {
            // A fake section: the recording being rebuilt has ended.
            plan.Kind = TKind::EndsRecording;
            return;
        }
        if (FDemoStartSection != -1) {
            PlanPackets(section, part, plan);
            plan.Kind = TKind::Continues;
            return;
        }
        try {
            plan.Head =
                UnpackRecordingHead(part, "The demo part of section " + std::to_string(section));
            PlanPackets(section, part, plan);
            plan.Kind = TKind::BeginsRecording;
        } catch (const EAssemblyError&) {
            if (!FAbandonedRecording || !IsBareBzip2(part))
                throw;
            // The rest of a recording already given up: not a failure of its own.
            plan.Kind = TKind::Skipped;
        }
    } catch (const std::exception& error) {
        plan.Kind = TKind::Skipped;
        plan.Failure = error.what();
    }
}

void TCastAssembler::PlanPackets(std::int32_t section, TStream& part, TDemoPlan& plan) const {
    UnpackPacketStream(part, plan.Packets, "The demo part of section " + std::to_string(section));
    // Demo time of a new recording starts where the audio stands.
    const std::int64_t base = FDemoStartSection == -1 ? FAudioClock : FDemoClock;
    plan.DemoClockAfter = CheckedClock(
        base + MeasureDemoTime(plan.Packets.Memory(), plan.Packets.ByteSize()), section, "demo");
}

void TCastAssembler::CommitDemoPart(std::int32_t section, TDemoPlan& plan,
                                    std::int32_t audioEndMs) {
    using TKind = TDemoPlan::TKind;
    if (plan.Kind == TKind::None)
        return;
    if (plan.Kind == TKind::BeginsRecording || plan.Kind == TKind::Continues) {
        try {
            WriteDemoPart(section, plan);
            return;
        } catch (const std::exception& error) {
            plan.Kind = TKind::Skipped;
            plan.Failure = error.what();
        }
    }
    // No packets of this section reach the game: its demo time is counted as
    // for a fake section.
    EndRecording(plan.Failure);
    FDemoEndTime.Set(section, audioEndMs);
    FDemoStartSection = -1;
    FAbandonedRecording = plan.Kind == TKind::Skipped;
}

void TCastAssembler::WriteDemoPart(std::int32_t section, TDemoPlan& plan) {
    const bool begins = plan.Kind == TDemoPlan::TKind::BeginsRecording;
    if (begins)
        OpenRecording(section, plan.Head);
    FRecording->Append(plan.Packets);
    if (begins) {
        FDemoStartSection = section;
        FDemoStarts.Add(section, FAudioClock);
    }
    FAbandonedRecording = false;
    FDemoClock = plan.DemoClockAfter;
    FDemoEndTime.Set(section, plan.DemoClockAfter);
    if (ShowBufferLabel)
        ShowBufferLabel(begins ? "Waiting for next buffer section..."
                               : "Waiting for next section...");
}

void TCastAssembler::EndRecording(std::string& failure) {
    try {
        CloseRecording();
    } catch (const std::exception& error) {
        failure += (failure.empty() ? "" : " ") + std::string(error.what());
    }
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
    FRunActive = false;
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
