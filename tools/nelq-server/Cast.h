#pragma once

#include "AudioLengthCache.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

class TServerConnection;

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
    void Received(std::int32_t section, int part, std::int32_t bytes);
    void EndPart(std::int32_t section, int part);
    void MarkCompleted();

    // Lets one filmer in: an older filmer connection is shut and waited for.
    bool AttachFilmer(TServerConnection& connection);
    void DetachFilmer(TServerConnection& connection);

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
    // Waits until something changed after `version`, or `timeout` passed.
    void WaitForChange(std::uint64_t version, std::chrono::milliseconds timeout) const;

private:
    std::filesystem::path MetaPath(std::int32_t section) const;
    void SaveMeta(std::int32_t section) const; // caller holds Lock
    void Changed();                            // caller holds Lock
    void CheckNotDeleted() const; // caller holds Lock; no file may appear after deletion
    TSectionState& Announced(std::int32_t section); // caller holds Lock

    mutable std::mutex Lock;
    mutable std::condition_variable News;
    std::vector<TSectionState> FSections; // guarded by Lock
    bool Completed = false;               // guarded by Lock
    bool Deleted = false;                 // guarded by Lock
    std::uint64_t Version = 0;            // guarded by Lock
    TServerConnection* Filmer = nullptr;  // guarded by Lock
    std::atomic<int> FViewers{0};
};
