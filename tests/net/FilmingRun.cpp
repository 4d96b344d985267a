#include "FilmingRun.h"

#include "RecordingGenerator.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr std::chrono::milliseconds Patience = 60s;

} // namespace

TFilming::TFilming(const std::string& host, std::uint16_t port, std::int32_t rate,
                   std::int32_t step, const std::string& password) {
    std::string recordings = Recordings.WithSeparator();
    recordings.pop_back(); // the thread adds the separator itself
    Thread =
        MakeOwnedThread<TFilmerThread>(Sync, "1.0.0.47", host, recordings, Work.WithSeparator(),
                                       password, FilmedGame, rate, step, port);
    Thread->SetPassInterval(20ms);
    Thread->OnStatus = [this](const std::string& text) { Statuses.push_back(text); };
    Thread->OnBytesSent = [this](std::int32_t bytes) { Bytes.push_back(bytes); };
    Thread->OnAudioCut = [this](std::int32_t section) { Cuts.push_back(section); };
}

bool TFilming::Until(const std::function<bool()>& done) {
    return Sync.PumpUntil(
        [&] {
            if (OnPump)
                OnPump();
            return done();
        },
        Patience);
}

bool TFilming::UntilCuts(const std::vector<std::int32_t>& cuts) {
    return Until([&] {
        return Cuts.size() >= cuts.size() && std::equal(cuts.begin(), cuts.end(), Cuts.begin());
    });
}

bool TFilming::UntilFinished() {
    return Until([&] { return Thread->Finished(); });
}

bool TFilming::HasStatus(const std::string& text) const {
    return std::find(Statuses.begin(), Statuses.end(), text) != Statuses.end();
}

void TFilming::AddRecording(const std::string& name, std::uint32_t durationMs, std::uint64_t seed) {
    TGeneratorOptions options;
    options.DurationMs = durationMs;
    options.InitialBlockLength = 64;
    options.Seed = seed;
    options.InfoText = "Time Remaining,Map\n10:00,Katabatic";
    GenerateRecording(Staging / name, options);
    fs::rename(Staging / (name + ".log"), Recordings / (name + ".log"));
    fs::rename(Staging / name, Recordings / name);
}

void TFilming::AddDamagedRecording(const std::string& name) {
    WriteBytes(Recordings / (name + ".log"), "Time Remaining,Map\n10:00,Katabatic");
    WriteBytes(Recordings / name, "cut off");
}

void TFilming::AddAudio(std::int32_t section, const std::string& bytes) {
    const std::string name = "stream_" + std::to_string(section) + ".ogg";
    WriteBytes(Staging / name, bytes);
    fs::rename(Staging / name, Work / name);
}

void FilmTwoRecordings(TFilming& filming) {
    for (std::size_t n = 0; n < AudioSizes.size(); ++n)
        filming.AddAudio(static_cast<std::int32_t>(n),
                         RandomBytes(AudioSizes[n], static_cast<unsigned>(n)));
    filming.Thread->Start();
    filming.Thread->QueueFake();
    ASSERT_TRUE(filming.UntilCuts({0}));
    filming.AddRecording("first.rec", 1100, 11);
    ASSERT_TRUE(filming.UntilCuts({0, 1}));
    filming.Thread->ReleaseFake();
    // Two passes after the recording is final the audio is cut for the fake
    // that follows, and once more when that fake is queued.
    ASSERT_TRUE(filming.UntilCuts({0, 1, 2, 2}));
    filming.AddRecording("second.rec", 1300, 12);
    ASSERT_TRUE(filming.UntilCuts({0, 1, 2, 2, 3}));
    filming.Thread->ReleaseFake();
    ASSERT_TRUE(filming.UntilCuts({0, 1, 2, 2, 3, 4, 4}));
    filming.Thread->SetAccepting(false);
    filming.Thread->ReleaseFake();
    ASSERT_TRUE(filming.UntilFinished());
}

fs::path CastDirectory(const TServerHarness& server) {
    return server.DataDirectory / FilmedGame;
}

bool UntilCompletedOn(TFilming& filming, const TServerHarness& server) {
    return filming.Until([&] { return fs::exists(CastDirectory(server) / "completed"); });
}

std::map<std::string, std::string> FilesOf(const fs::path& directory) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(directory))
        if (entry.path().filename() != "generation") // drawn anew for every cast
            files[entry.path().filename().string()] = ReadBytes(entry.path().string());
    return files;
}
