#include "mixer/TrackLoader.h"

#include <mutex>
#include <thread>

// Shared with the open threads, which may outlive the loader.
struct TTrackLoader::THandBack {
    explicit THandBack(TTrackLoader* loader, TPost post) : Loader(loader), Post(std::move(post)) {}
    std::mutex Lock;
    TTrackLoader* Loader; // guarded by Lock; none once the loader is gone
    const TPost Post;
};

namespace {
struct TOpenResult {
    std::unique_ptr<TMp3Decoder> Track;
    std::string Error;
};
} // namespace

TTrackLoader::TTrackLoader(TPost post)
    : FHandBack(std::make_shared<THandBack>(this, std::move(post))) {}

TTrackLoader::~TTrackLoader() {
    std::lock_guard lock(FHandBack->Lock);
    FHandBack->Loader = nullptr;
}

void TTrackLoader::Open(const std::string& path, TOpened opened) {
    const uint64_t open = ++FLatest;
    FOpened = std::move(opened);
    std::thread([handBack = FHandBack, path, open] {
        auto result = std::make_shared<TOpenResult>();
        try {
            result->Track = std::make_unique<TMp3Decoder>(path);
        } catch (const std::exception& error) {
            result->Error = error.what();
        }
        // Posted under the lock, so the loader, and the window behind the
        // post, cannot go meanwhile.
        std::lock_guard lock(handBack->Lock);
        if (!handBack->Loader)
            return;
        handBack->Post([handBack, open, result] {
            // The loader goes only on this thread: found here, it stays for the call.
            TTrackLoader* loader = nullptr;
            {
                std::lock_guard lock(handBack->Lock);
                loader = handBack->Loader;
            }
            if (loader)
                loader->Opened(open, std::move(result->Track), result->Error);
        });
    }).detach();
}

void TTrackLoader::Cancel() {
    ++FLatest;
    FOpened = nullptr;
}

void TTrackLoader::Opened(uint64_t open, std::unique_ptr<TMp3Decoder> track,
                          const std::string& error) {
    if (open != FLatest || !FOpened)
        return;
    const TOpened opened = std::move(FOpened);
    FOpened = nullptr;
    opened(std::move(track), error);
}
