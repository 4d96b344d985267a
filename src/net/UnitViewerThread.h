#pragma once

#include "net/UnitViewerConnection.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// The viewer's download thread: lists the games on a server and the sections
// of one game, requests the cast from a start section on and appends every
// received stream to "demo_%d.rec" / "audio_%d.ogg" in the cast directory
// (streams directory + game name). A dropped connection is resumed where the
// files end. The main window drives it through the locked properties and the
// state, and hears from it through the events below, each run on the main
// thread while the thread waits.
class TViewerThread : public TViewerConnectionThread {
public:
    static constexpr std::int32_t MaxStreams = 3;
    static constexpr std::int32_t LastSection = 1024; // the cast tables hold 1025 sections
    static constexpr std::int32_t MaxGames = 4096;
    static constexpr std::int32_t MaxStreamLength = 512 * 1024 * 1024;
    // The server sends a keep-alive every second while it waits: this much
    // silence means the path is dead.
    static constexpr std::chrono::seconds DefaultReadTimeout{60};

    TViewerThread(SyncContext& sync, std::string clientVersion, std::string recordingsDirectory,
                  std::string streamsDirectory, std::string host,
                  std::uint16_t port = ViewerRole.Port);

    // Before Start: the state loop's tick and the pause before a reconnection.
    void SetTimings(std::chrono::milliseconds loopInterval,
                    std::chrono::milliseconds reconnectPause);
    // Before Start: how long a read may wait without a byte arriving before
    // the connection is given up and the transfer resumed on a new one; 0
    // waits for ever.
    void SetReadTimeout(std::chrono::milliseconds timeout) { Connection.SetIdleTimeout(timeout); }

    // Locked properties, callable from any thread (the other three are inherited).
    std::int32_t GetStartSection() const;
    void SetStartSection(std::int32_t section);
    bool GetAudioOnly() const;
    void SetAudioOnly(bool audioOnly);
    std::string GetGameName() const;
    void SetGameName(const std::string& name);

    const std::string RecordingsDirectory; // kept for the window; the thread does not use it
    const std::string StreamsDirectory;    // ends in a path delimiter

    // The events besides OnStatus and OnAuthRequired; unassigned ones are skipped.
    std::function<void(const std::vector<std::string>& games)> OnGameList;
    std::function<void(const std::vector<std::string>& sections)> OnSectionList;
    // slot -1: a transfer is being resumed.
    std::function<void(std::int32_t slot, std::int32_t section, std::int32_t type,
                       std::int32_t received, std::int32_t length)>
        OnProgress;
    std::function<void(std::int32_t section, std::int32_t demoTag)> OnSectionComplete;
    std::function<void()> OnStreamsEnded;

protected:
    std::chrono::milliseconds PauseBeforeAttempt(bool firstAttempt) const override;
    void BeginAttempt(bool firstAttempt) override;
    void TransferResuming() override;
    TAttemptEnd CommandLoop() override;
    void EndAttempt() override;

private:
    struct TStreamSlot {
        std::uint8_t Type = 0; // 0 demo, 1 audio
        std::int32_t DemoTag = 0;
        std::int32_t Length = 0;
        std::int32_t Received = 0; // the size of the local file
        std::string Path;
        std::fstream File;
        bool Opened = false; // the file was created for the section now being received
        bool Ended = false;
    };

    // What one pass of the state loop leads to.
    enum class TStep { Continue, EndThread };

    TStep RunState(std::uint8_t state);
    void ListGames();
    void ListSections();
    TStep Request();
    TStep ReadSectionHeader();
    void ReadStreamHeader(TStreamSlot& slot);
    void OpenSlotFile(TStreamSlot& slot);
    void ReadBlockMessage();
    void AppendData(std::int32_t index);
    void EndStream(std::int32_t index);
    TStreamSlot& OpenSlot(std::int32_t index);
    TStep EndOfCast(const std::string& message);

    std::string CastDirectory() const;
    bool CastNameRefused();
    void Progress(std::int32_t index);
    void CloseSlotFiles();

    std::chrono::milliseconds LoopInterval{250};
    std::chrono::milliseconds ReconnectPause{4000};

    mutable std::mutex StartSectionLock;
    std::int32_t FStartSection = 0; // guarded by StartSectionLock
    mutable std::mutex AudioOnlyLock;
    bool FAudioOnly = false; // guarded by AudioOnlyLock
    mutable std::mutex GameNameLock;
    std::string FGameName; // guarded by GameNameLock

    // Thread only (handlers read them while the thread waits in their call).
    std::vector<std::string> Games;
    std::vector<std::string> Sections;
    std::int32_t CurrentSection = -1;
    std::int32_t StreamCount = 0;
    std::int32_t OpenStreams = 0;
    std::array<TStreamSlot, MaxStreams> Slots;
};
