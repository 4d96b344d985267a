#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

// Turns the game's finished recordings into numbered sections, filling the
// stretches without a recording with fake sections. The filmer thread owns one
// per filming run: it calls DetectRecordings once per pass and PrepareSection
// when it is ready for the next section; the main window calls QueueFake,
// ReleaseFake, SetAccepting and IsAllowFake.
//
// The queue holds one entry per future section: a recording's full path (ready
// once the recording is final and its info file exists), "FAKE" (a fake
// section still collecting audio, never ready) or empty text (a fake section
// that is ready).
class TSectionCutter {
public:
    // Called on the filmer thread with the section number whose audio starts now.
    using TAudioCutHandler = std::function<void(std::int32_t section)>;

    // Parts of a prepared section.
    struct TSectionParts {
        std::string DemoPart;    // "stream_%d.rec", or "dummydemo.dat" for a fake section
        std::string AudioPart;   // "stream_%d.ogg"
        std::int64_t BodyOffset; // of the demo part; 0 for a fake section
    };

    static constexpr const char* FakeEntry = "FAKE";

    // Both directories end in a separator. sectionStep is 1 to 6.
    TSectionCutter(std::string recordingsDirectory, std::string workDirectory, int sectionStep,
                   TAudioCutHandler onAudioCut);

    // ---- filmer thread
    // Adds every "*.rec" name in the recordings directory to the known recordings.
    void SnapshotRecordings();
    // The pending name (cleared), else the first unknown recording (clearing
    // AllowFake), else empty text.
    std::string NextRecording();
    // One detection pass: queues a new recording or a fake section and cuts the audio.
    void DetectRecordings();
    // Section n, if its audio part is final and the first queue entry is ready:
    // takes the entry and makes the demo part. Errors while building leave the
    // entry taken.
    std::optional<TSectionParts> PrepareSection(std::int32_t n);
    bool QueueEmpty() const;

    // ---- main thread
    void QueueFake(const std::string& name = FakeEntry);
    // The first "FAKE" entry becomes ready.
    void ReleaseFake();
    void SetAccepting(bool accepting);
    bool IsAccepting() const;
    bool IsAllowFake() const;

    // The sections still queued and their bytes as they stand now: each
    // audio part written so far and, for want of the section that is not yet
    // built, each recording's own size. `firstSection` is the number the
    // first entry will get.
    struct TQueuedWork {
        std::int32_t Sections = 0;
        std::int64_t Bytes = 0;
    };
    TQueuedWork QueuedWork(std::int32_t firstSection) const;

    // ---- state, read on the filmer thread (and by tests)
    std::vector<std::string> QueueEntries() const;
    std::int32_t DemoCount() const { return FDemoCount; }
    std::int64_t RunningTotalMs() const { return FRunningTotalMs; }
    std::int32_t FirstRealSection() const { return FFirstRealSection; }

private:
    std::vector<std::string> RecordingNames() const;
    bool IsReady(const std::string& entry) const;
    bool HasEnded(const std::string& lastEntry) const;
    void AppendEntry(const std::string& entry);

    const std::string FRecordingsDirectory;
    const std::string FWorkDirectory;
    const int FSectionStep;
    const TAudioCutHandler FOnAudioCut;

    mutable std::mutex FQueueLock;
    // Written by the filmer thread (append, take) and the main thread (ReleaseFake).
    std::deque<std::string> FQueue; // guarded by FQueueLock

    mutable std::mutex FPendingLock;
    std::string FPendingName; // guarded by FPendingLock
    bool FAllowFake = true;   // guarded by FPendingLock

    mutable std::mutex FAcceptingLock;
    bool FAccepting = true; // guarded by FAcceptingLock

    // Filmer thread only.
    std::set<std::string> FKnownRecordings;
    std::int32_t FDemoCount = 0;
    std::int64_t FRunningTotalMs = 0;
    std::int32_t FFirstRealSection = -1;
    std::int64_t FEndCounter = 0;
};
