#pragma once

#include "demo/UnitDemoStartList.h"
#include "playback/RebuiltRecording.h"
#include "playback/SectionTimeTable.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// What one viewing run assembles from, fixed when it begins.
struct TAssemblySettings {
    std::string CastDirectory; // holds "demo_%d.rec", "audio_%d.ogg"; ends in a separator
    std::string GameDirectory; // the game's GameData; ends in a separator
    std::int32_t StartSection = 0;
    bool AudioOnly = false; // the demo parts are neither read nor rebuilt
    // A viewer thread feeds the cast: "completed.dat" is kept, and a cast that
    // ends early starts playback itself. Offline viewing replays without both.
    bool Online = false;
};

// The main window's section assembly: each completed section's demo part is
// appended to a rebuilt recording under GameDirectory + "NELQ/recordings/",
// its demo and audio time go into the time tables, and the third section (or
// the end of a shorter cast) starts playback.
//
// A section is assembled all or nothing. A demo part that cannot be used is
// final for that section: it is reported once, the section plays without it
// (the recording it belonged to is closed, complete up to the last good
// section, and the parts after it wait for the next one that begins a
// recording) and the section completes. What still raises (EAssemblyError or
// a file error: a section out of order or range, audio that is missing,
// "completed.dat" that cannot be written) leaves the recording, the list, the
// clocks and the tables as they were, so the same section may be tried again.
class TCastAssembler {
public:
    TCastAssembler() = default;
    // Finishes an open rebuilt recording; errors then go unreported.
    ~TCastAssembler() = default;
    TCastAssembler(const TCastAssembler&) = delete;
    TCastAssembler& operator=(const TCastAssembler&) = delete;

    // Starts playback at a section, restarts the audio device and enables
    // the synchronisation timer.
    std::function<void(std::int32_t section)> StartPlayback;
    // Shows a text on the "Viewing" page's buffer label.
    std::function<void(const std::string& text)> ShowBufferLabel;
    // Tells the viewer that the cast ended before any section was assembled,
    // in place of starting playback on a section that is not there.
    std::function<void(const std::string& message)> ReportNothingToPlay;
    // A section completed without its demo part; the message names the
    // section and why.
    std::function<void(const std::string& message)> ReportSectionFailure;

    // A new viewing run from a chosen start point, or offline viewing: closes
    // a rebuilt recording still open, then clears the clocks, the tables and
    // the demo start list.
    void BeginRun(const TAssemblySettings& settings);

    // All streams of a section have arrived. Sections come in rising order
    // within a run; numbers outside 0 to 1024 are refused before anything
    // changes.
    void SectionComplete(std::int32_t section, std::int32_t tag);
    // The cast has no more sections.
    void StreamsEndedHandler();
    // Tear-down: finishes and closes the rebuilt recording, if open (its
    // write errors are raised), and ends the run: no recording is being
    // rebuilt and no section is completed until the next BeginRun.
    void Finish();

    const TAssemblySettings& Settings() const { return FSettings; }
    std::int32_t StartSection() const { return FSettings.StartSection; }
    std::int32_t DemoClock() const { return FDemoClock; }
    std::int32_t AudioClock() const { return FAudioClock; }
    std::int32_t DemoStartSection() const { return FDemoStartSection; }
    std::int32_t LastCompletedSection() const { return FLastCompletedSection; }
    bool StreamsEnded() const { return FStreamsEnded; }
    bool RecordingOpen() const { return FRecording != nullptr; }
    const TSectionTimeTable& DemoEndTime() const { return FDemoEndTime; }
    const TSectionTimeTable& AudioEndTime() const { return FAudioEndTime; }
    // Synchronisation removes an entry once the game has been started on it.
    TListDemoStarts& DemoStarts() { return FDemoStarts; }

private:
    // What a section's demo part does to the rebuilt recording, worked out
    // before anything changes.
    struct TDemoPlan {
        enum class TKind { None, EndsRecording, BeginsRecording, Continues, Skipped };
        TKind Kind = TKind::None;
        std::vector<std::uint8_t> Head; // BeginsRecording
        TMemoryStream Packets;          // BeginsRecording, Continues
        std::int32_t DemoClockAfter = 0;
        std::string Failure; // Skipped: why; empty for a part of an abandoned recording
    };

    void CheckSectionOrder(std::int32_t section) const;
    std::string SectionPath(const char* format, std::int32_t section) const;
    void PlanDemoPart(std::int32_t section, TDemoPlan& plan) const;
    void PlanPackets(std::int32_t section, TStream& part, TDemoPlan& plan) const;
    // Never raises: a recording that cannot be written skips the part.
    // audioEndMs: the audio clock once this section is counted.
    void CommitDemoPart(std::int32_t section, TDemoPlan& plan, std::int32_t audioEndMs);
    void WriteDemoPart(std::int32_t section, TDemoPlan& plan);
    // Ends the recording being rebuilt; a failure to finish it is added to `failure`.
    void EndRecording(std::string& failure);
    void OpenRecording(std::int32_t section, const std::vector<std::uint8_t>& head);
    void CloseRecording();
    void StartPlaybackAtStart();

    TAssemblySettings FSettings;
    std::int32_t FDemoClock = 0;
    std::int32_t FAudioClock = 0;
    std::int32_t FDemoStartSection = -1;
    std::int32_t FLastCompletedSection = -1;
    bool FStreamsEnded = false;
    bool FRunActive = false;
    // A failure abandoned the recording being rebuilt: its later parts, which
    // carry no head, are skipped without a word until one begins a recording.
    bool FAbandonedRecording = false;
    TSectionTimeTable FDemoEndTime;
    TSectionTimeTable FAudioEndTime;
    TListDemoStarts FDemoStarts;
    std::unique_ptr<TRebuiltRecording> FRecording;
};
