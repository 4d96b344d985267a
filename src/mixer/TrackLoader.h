#pragma once

#include "mixer/Mp3Decoder.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// Opens MP3 tracks on threads of their own: opening scans the whole file for
// its exact length, which on a long file or a slow disk would stall the
// window and the capture. The track comes back on the main thread, and only
// from the latest open.
class TTrackLoader {
public:
    // Runs a task later on the main thread; may be called from any thread.
    using TPost = std::function<void(std::function<void()>)>;
    // The open track, or none and the reason it cannot be played.
    using TOpened =
        std::function<void(std::unique_ptr<TMp3Decoder> track, const std::string& error)>;

    explicit TTrackLoader(TPost post);
    // An open under way runs to its end on its own thread and hands nothing back.
    ~TTrackLoader();

    TTrackLoader(const TTrackLoader&) = delete;
    TTrackLoader& operator=(const TTrackLoader&) = delete;

    // Main thread. Replaces any open under way.
    void Open(const std::string& path, TOpened opened);
    // Whatever is under way hands nothing back.
    void Cancel();
    bool Opening() const { return static_cast<bool>(FOpened); }

private:
    struct THandBack;
    void Opened(uint64_t open, std::unique_ptr<TMp3Decoder> track, const std::string& error);

    std::shared_ptr<THandBack> FHandBack;
    uint64_t FLatest = 0;
    TOpened FOpened; // of the latest open, until it has been handed back
};
