#pragma once

#include "AudioLengthCache.h"

#include "PartMap.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

// Someone waiting for a cast's next change: a session's wait for news.
class TCastListener {
public:
    virtual ~TCastListener() = default;
    // Called once for each Listen that found no change yet, when the change
    // is told, from the thread that tells it: it must only hand the news on.
    virtual void Wake() = 0;

private:
    friend class TCast;
    static constexpr std::size_t NotListed = static_cast<std::size_t>(-1);
    std::size_t Slot = NotListed; // where the cast lists it; guarded by the cast's lock
};

// One part of a section as the filmer announced it, and how much of it is here.
struct TPartState {
    std::int32_t Kind = 0;
    std::int32_t Size = 0;
    std::int32_t BodyOffset = 0;
    std::int32_t Received = 0;
    bool Ended = false;

    bool SameAnnounce(const TPartState& other) const {
        return Kind == other.Kind && Size == other.Size && BodyOffset == other.BodyOffset;
    }
};

// Where the demo stream a viewer gets of a section begins in its stored part:
// the whole part where the viewer begins a recording (the start of its run,
// or after an empty demo part), else its body alone.
inline std::int32_t DemoStreamBase(const TPartState& demo, bool beginsRecording) {
    return beginsRecording || demo.Size == 0 ? 0 : demo.BodyOffset;
}

struct TSectionState {
    std::array<TPartState, 2> Parts; // 0 demo part, 1 audio part
    bool Complete() const { return Parts[0].Ended && Parts[1].Ended; }
};

struct TCastState {
    std::vector<TSectionState> Sections;
    bool Completed = false;
};

// What a viewer needs to know about one section, taken in one go.
struct TSectionView {
    bool Exists = false;
    TSectionState Section;
    std::int32_t PreviousDemoSize = 0; // -1 when there is no previous section
    bool Completed = false;
    bool Deleted = false;
    std::uint64_t Version = 0;
};

// One cast on disk: a directory holding, per section n, "section_n.part0"
// (demo part), "section_n.part1" (audio part) and "section_n.meta" (the
// announce and which parts have ended), plus "completed" once the filmer
// finished. One filmer writes; any number of viewers read and wait for news.
class TCast {
public:
    static constexpr std::int32_t LastSection = 1024;
    static constexpr std::int32_t MaxPartSize = 512 * 1024 * 1024;
    static constexpr std::int32_t DemoHeadSize = 1032; // duration, info text, head length

    TCast(std::string name, std::filesystem::path directory, std::string generation = {});

    // Reads what a previous run left; stops at the first section it cannot trust.
    void Load();

    const std::string Name;
    const std::filesystem::path Directory;
    const std::string Generation; // see CastGeneration.h
    TAudioLengthCache AudioLengths; // for the cast times of the section list

    std::filesystem::path PartPath(std::int32_t section, int part) const;

    // Filmer side. Announce checks a "TRANSMIT" and returns the resume offsets;
    // a section announced again gets what is here of it (all, once it ended).
    std::array<std::int32_t, 2> Announce(std::int32_t section,
                                         const std::array<TPartState, 2>& announced);
    // The part file of the announced section, opened for appending.
    std::ofstream OpenPart(std::int32_t section, int part) const;
    // Bytes a part of an announced section still lacks (0 once it has ended).
    std::int32_t Remaining(std::int32_t section, int part);
    // Received and EndPart hold their news back until PublishNews: a pass of
    // the filmer brings several blocks, and each waiting viewer is better
    // woken once for all of them (a crowd costs by the wake, not the byte).
    void Received(std::int32_t section, int part, std::int32_t bytes);
    void EndPart(std::int32_t section, int part);
    void PublishNews();
    void MarkCompleted();

    // Lets one filmer in. While another is attached, that one is shut (a
    // filmer that reconnected before we noticed its old connection die) and
    // the caller waits for news and tries again.
    struct TAttach {
        bool Attached = false;
        bool Deleted = false;
        std::uint64_t Version = 0;
    };
    TAttach AttachFilmer(const void* filmer, std::function<void()> shut);
    void DetachFilmer(const void* filmer);

    // Operator deletion: wakes every waiter and shuts the filmer out.
    void MarkDeleted();
    // Server shutdown: wakes every waiter.
    void WakeAll();

    TSectionView ViewSection(std::int32_t section) const;
    std::vector<TSectionState> Sections() const;
    bool HoldsSections() const;
    // The sections and whether the filmer finished, taken in one go.
    TCastState State() const;
    bool IsDeleted() const;

    // Viewers being sent this cast now, for the web page.
    void ViewerJoined() { ++FViewers; }
    void ViewerLeft() { --FViewers; }
    int Viewers() const { return FViewers; }

    // Wakes `listener` once, when the first change after `version` is told
    // (at once when there has been one). A listener waits for one change at
    // a time. Listing and unlisting take no allocation: thousands of viewers
    // do it every second.
    void Listen(std::uint64_t version, const std::shared_ptr<TCastListener>& listener) const;
    // Forgets a listener that no longer waits (a wake under way may still run).
    void Unlisten(TCastListener& listener) const;

    // A stored part of an announced section mapped for reading, shared by
    // everyone sending it; null when it cannot be mapped.
    std::shared_ptr<const TPartMap> PartForSending(std::int32_t section, int part) const;

private:
    std::filesystem::path MetaPath(std::int32_t section) const;
    void SaveMeta(std::int32_t section) const; // caller holds Lock
    // Counts a change and wakes the listeners once the guard is released.
    void Changed(std::unique_lock<std::mutex>& guard);
    void Wake(std::unique_lock<std::mutex>& guard);
    void HoldNews(); // caller holds Lock: counts a change that wakes no one yet
    void CheckNotDeleted() const; // caller holds Lock; no file may appear after deletion
    TSectionState& Announced(std::int32_t section); // caller holds Lock

    mutable std::mutex Lock;
    std::vector<TSectionState> FSections;  // guarded by Lock
    bool Completed = false;                // guarded by Lock
    bool Deleted = false;                  // guarded by Lock
    std::uint64_t Version = 0;             // guarded by Lock
    bool NewsHeld = false;                 // guarded by Lock
    const void* Filmer = nullptr;          // guarded by Lock
    std::function<void()> ShutFilmer;      // guarded by Lock
    // guarded by Lock; each knows its place, so that it leaves in one step
    mutable std::vector<std::shared_ptr<TCastListener>> Listeners;
    std::atomic<int> FViewers{0};

    mutable std::mutex PartsLock;
    // guarded by PartsLock: the parts being sent, mapped while someone sends them
    mutable std::map<std::pair<std::int32_t, int>, std::weak_ptr<const TPartMap>> SendingParts;
};
