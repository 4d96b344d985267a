#include "demo/UnitSectionCutter.h"

#include "demo/UnitDemoPart.h"
#include "platform/FileFinality.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace {

bool HasRecExtension(const std::string& name) {
    if (name.size() < 4)
        return false;
    std::string extension = name.substr(name.size() - 4);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".rec";
}

std::string SectionFile(const std::string& directory, const char* pattern, std::int32_t n) {
    char name[64];
    std::snprintf(name, sizeof name, pattern, n);
    return directory + name;
}

} // namespace

TSectionCutter::TSectionCutter(std::string recordingsDirectory, std::string workDirectory,
                               int sectionStep, TAudioCutHandler onAudioCut)
    : FRecordingsDirectory(std::move(recordingsDirectory)),
      FWorkDirectory(std::move(workDirectory)), FSectionStep(sectionStep),
      FOnAudioCut(std::move(onAudioCut)) {
    if (sectionStep < 1 || sectionStep > 6)
        throw std::invalid_argument("Section step must be 1 to 6");
    if (!FOnAudioCut)
        throw std::invalid_argument("The section cutter needs an audio cut handler");
}

// Sorted, so that detection does not depend on the order the directory lists in.
std::vector<std::string> TSectionCutter::RecordingNames() const {
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator it(FRecordingsDirectory, error), end;
         !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        // A directory named like a recording would never become final. An
        // entry that cannot be examined (gone meanwhile) is skipped alone.
        std::error_code entryError;
        if (HasRecExtension(name) && !it->is_directory(entryError) && !entryError)
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void TSectionCutter::SnapshotRecordings() {
    for (const std::string& name : RecordingNames())
        FKnownRecordings.insert(name);
}

std::string TSectionCutter::NextRecording() {
    {
        std::lock_guard guard(FPendingLock);
        if (!FPendingName.empty())
            return std::exchange(FPendingName, std::string());
    }
    for (const std::string& name : RecordingNames()) {
        if (FKnownRecordings.count(name) == 0) {
            std::lock_guard guard(FPendingLock);
            FAllowFake = false;
            return name;
        }
    }
    return {};
}

void TSectionCutter::AppendEntry(const std::string& entry) {
    std::lock_guard guard(FQueueLock);
    FQueue.push_back(entry);
}

bool TSectionCutter::HasEnded(const std::string& lastEntry) const {
    return lastEntry.empty() || (lastEntry != FakeEntry && IsFinal(lastEntry));
}

void TSectionCutter::DetectRecordings() {
    const std::string name = NextRecording();
    if (!name.empty() && IsAccepting()) {
        FEndCounter = 0;
        if (FDemoCount == 0)
            FRunningTotalMs = 0;
        // Only this name: a recording that appeared in the same pass is still
        // new and is queued in a later pass.
        const bool fake = name == FakeEntry;
        if (!fake)
            FKnownRecordings.insert(name);
        AppendEntry(fake ? name : FRecordingsDirectory + name);
        FOnAudioCut(FDemoCount);
        ++FDemoCount;
        return;
    }

    std::optional<std::string> last;
    {
        std::lock_guard guard(FQueueLock);
        if (!FQueue.empty())
            last = FQueue.back();
    }
    // The file test runs outside the lock; only this thread appends or takes
    // entries, so the copy stays the last entry.
    if (last && HasEnded(*last)) {
        if (++FEndCounter == 2) {
            FOnAudioCut(FDemoCount);
            {
                std::lock_guard guard(FPendingLock);
                FAllowFake = true;
            }
            QueueFake(FakeEntry);
        }
    } else {
        FEndCounter = 0;
    }
}

bool TSectionCutter::IsReady(const std::string& entry) const {
    if (entry.empty())
        return true;
    std::error_code error;
    return entry != FakeEntry && IsFinal(entry) && std::filesystem::exists(entry + ".log", error);
}

std::optional<TSectionCutter::TSectionParts> TSectionCutter::PrepareSection(std::int32_t n) {
    const std::string audioPart = SectionFile(FWorkDirectory, "stream_%d.ogg", n);
    std::optional<std::string> first;
    {
        std::lock_guard guard(FQueueLock);
        if (!FQueue.empty())
            first = FQueue.front();
    }
    // Tested outside the lock: the main thread only ever turns a "FAKE" entry
    // into empty text, and a "FAKE" entry is never taken here.
    if (!first || !IsReady(*first) || !IsFinal(audioPart))
        return std::nullopt;
    {
        std::lock_guard guard(FQueueLock);
        FQueue.pop_front();
    }

    if (first->empty()) {
        FFirstRealSection = -1;
        return TSectionParts{DummyDemoPart(FWorkDirectory), audioPart, 0};
    }
    if (FFirstRealSection == -1)
        FFirstRealSection = n;
    const bool startPoint = (n - FFirstRealSection) % FSectionStep == 0;
    const std::string demoPart = SectionFile(FWorkDirectory, "stream_%d.rec", n);
    try {
        const std::int64_t bodyOffset = BuildSection(*first, demoPart, startPoint, FRunningTotalMs);
        return TSectionParts{demoPart, audioPart, bodyOffset};
    } catch (const std::exception& error) {
        // The entry is gone with this error, so the message names the recording.
        throw std::runtime_error(std::filesystem::path(*first).filename().string() + ": " +
                                 error.what());
    }
}

bool TSectionCutter::QueueEmpty() const {
    std::lock_guard guard(FQueueLock);
    return FQueue.empty();
}

void TSectionCutter::QueueFake(const std::string& name) {
    if (!IsAccepting())
        return;
    std::lock_guard guard(FPendingLock);
    if (FAllowFake)
        FPendingName = name;
}

void TSectionCutter::ReleaseFake() {
    std::lock_guard guard(FQueueLock);
    const auto fake = std::find(FQueue.begin(), FQueue.end(), FakeEntry);
    if (fake != FQueue.end())
        fake->clear();
}

void TSectionCutter::SetAccepting(bool accepting) {
    std::lock_guard guard(FAcceptingLock);
    FAccepting = accepting;
}

bool TSectionCutter::IsAccepting() const {
    std::lock_guard guard(FAcceptingLock);
    return FAccepting;
}

bool TSectionCutter::IsAllowFake() const {
    std::lock_guard guard(FPendingLock);
    return FAllowFake;
}

TSectionCutter::TQueuedWork TSectionCutter::QueuedWork(std::int32_t firstSection) const {
    const auto sizeOf = [](const std::string& path) -> std::int64_t {
        std::error_code error;
        const auto size = std::filesystem::file_size(path, error);
        return error ? 0 : static_cast<std::int64_t>(size);
    };
    TQueuedWork work;
    for (const std::string& entry : QueueEntries()) {
        if (!entry.empty() && entry != FakeEntry)
            work.Bytes += sizeOf(entry);
        work.Bytes += sizeOf(SectionFile(FWorkDirectory, "stream_%d.ogg", firstSection + work.Sections));
        ++work.Sections;
    }
    return work;
}

std::vector<std::string> TSectionCutter::QueueEntries() const {
    std::lock_guard guard(FQueueLock);
    return {FQueue.begin(), FQueue.end()};
}
