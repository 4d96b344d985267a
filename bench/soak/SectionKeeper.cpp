#include "SectionKeeper.h"

#include <sys/stat.h>

#include <chrono>
#include <regex>

namespace fs = std::filesystem;

namespace {

constexpr auto PollInterval = std::chrono::milliseconds(100);

ino_t Inode(const fs::path& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? status.st_ino : 0;
}

} // namespace

TSectionKeeper::TSectionKeeper(fs::path work, fs::path keep)
    : Work(std::move(work)), Keep(std::move(keep)) {
    fs::create_directories(Work);
    fs::create_directories(Keep);
    Poller = std::thread([this] {
        while (!Stopping) {
            Poll();
            std::this_thread::sleep_for(PollInterval);
        }
    });
}

TSectionKeeper::~TSectionKeeper() {
    Stopping = true;
    Poller.join();
    Poll(); // what the last interval made
}

void TSectionKeeper::Poll() const {
    static const std::regex SectionFile(R"(stream_\d+\.(rec|ogg))");
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(Work, error)) {
        const std::string name = entry.path().filename().string();
        if (!std::regex_match(name, SectionFile))
            continue;
        const fs::path kept = Keep / name;
        const ino_t made = Inode(entry.path());
        if (made == 0 || made == Inode(kept))
            continue;
        // Linked beside and renamed over the kept one: a file gone again in
        // between leaves the kept link as it was.
        const fs::path fresh = Keep / (name + ".new");
        fs::create_hard_link(entry.path(), fresh, error);
        if (!error)
            fs::rename(fresh, kept, error);
    }
}
