#pragma once

#include <atomic>
#include <filesystem>
#include <thread>

// Keeps every section file the filmer makes ("stream_%d.rec", "stream_%d.ogg"
// in its work directory) as a hard link in `keep`: the filmer deletes them
// once delivered, and a link holds the file's final content. A file made
// again under the same name replaces the kept one.
class TSectionKeeper {
public:
    TSectionKeeper(std::filesystem::path work, std::filesystem::path keep);
    ~TSectionKeeper();
    TSectionKeeper(const TSectionKeeper&) = delete;
    TSectionKeeper& operator=(const TSectionKeeper&) = delete;

private:
    void Poll() const;

    const std::filesystem::path Work;
    const std::filesystem::path Keep;
    std::atomic<bool> Stopping{false};
    std::thread Poller;
};
