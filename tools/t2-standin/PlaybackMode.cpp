#include "PlaybackMode.h"

#include "DemoClock.h"
#include "GameFiles.h"
#include "GameWindow.h"
#include "GrowingRecording.h"
#include "PlaybackScript.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>

namespace {

using TClock = std::chrono::steady_clock;

// How long a freshly started game waits for the recording's head to arrive.
constexpr std::chrono::seconds HeadDeadline(10);
// One time step of the game loop.
constexpr int FrameMs = 10;

double SecondsBetween(TClock::time_point from, TClock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

std::string StatusLine(std::int64_t demoTimeMs, const TPlaybackScript& script) {
    char line[128];
    std::snprintf(line, sizeof line, "%lld.%03lld s   speed %.3f   %s",
                  static_cast<long long>(demoTimeMs / 1000),
                  static_cast<long long>(demoTimeMs % 1000), script.TimeScale(),
                  script.Status().c_str());
    return line;
}

// playDemo: the demo must exist inside the mod directory and its head must
// arrive in time.
std::unique_ptr<TGrowingRecording> LoadDemo(const std::string& demoPath, TGameWindow& window) {
    const TClock::time_point deadline = TClock::now() + HeadDeadline;
    for (;;) {
        try {
            auto recording = std::make_unique<TGrowingRecording>(demoPath);
            while (true) {
                recording->Poll();
                if (recording->HeadComplete())
                    return recording;
                if (TClock::now() > deadline || !window.HandleEvents())
                    return nullptr;
                window.WaitForEvents(50);
            }
        } catch (const ERecordingReadError&) {
            if (TClock::now() > deadline || !window.HandleEvents())
                throw;
            window.WaitForEvents(50);
        }
    }
}

bool IsInsideModDirectory(const std::string& file) {
    const std::filesystem::path path(file);
    // On Windows "/etc/x" and "C:x" are not absolute, yet lie outside too.
    if (path.has_root_path())
        return false;
    for (const auto& part : path)
        if (part == "..")
            return false;
    return true;
}

} // namespace

int RunPlaybackMode(const TPlaybackOptions& options, std::ostream& log) {
    TGameWindow window;
    const std::string modDirectory = options.Mod + "/";
    const std::string scriptPath = modDirectory + "scripts/TrainingGui.cs";
    if (!std::filesystem::is_regular_file(scriptPath))
        throw std::runtime_error("no start script " + scriptPath +
                                 " (the working directory must be the game directory)");
    const std::string demoFile = DemoFileOfStartScript(ReadGameFile(scriptPath));
    const std::string demoPath = modDirectory + demoFile;

    std::unique_ptr<TGrowingRecording> recording;
    std::string reason = "it lies outside the mod directory";
    if (IsInsideModDirectory(demoFile)) {
        reason = "its head did not arrive in time";
        try {
            recording = LoadDemo(demoPath, window);
        } catch (const ERecordingReadError& error) {
            reason = error.what();
        }
    }
    if (!recording) {
        std::fprintf(stderr,
                     "t2-standin: Playback Failed: Demo playback failed for file '%s'. (%s)\n",
                     demoFile.c_str(), reason.c_str());
        return 1;
    }
    log << "playing " << demoPath << std::endl;

    // Instructions are told once the update that took them has also written
    // its progress, so whoever reads the log finds both files settled.
    std::string taken;
    TPlaybackScript script(modDirectory, [&taken](const TSyncInstruction& instruction) {
        char line[64];
        std::snprintf(line, sizeof line, "audiosync %.0f: speed %.3f ", instruction.Number,
                      *instruction.Speed);
        taken += line + instruction.Status + "\n";
    });
    const auto tellTaken = [&] {
        if (!taken.empty())
            log << taken << std::flush;
        taken.clear();
    };
    TDemoClock clock(options.ClockDrift);
    script.Start();
    tellTaken();

    TClock::time_point last = TClock::now();
    TClock::time_point lastArrival = last;
    while (window.HandleEvents()) {
        window.WaitForEvents(FrameMs);
        const TClock::time_point now = TClock::now();
        // A pause for buffering may last as long as the download takes.
        if (recording->Poll() || script.TimeScale() < 0.2)
            lastArrival = now;
        clock.SetSpeed(script.TimeScale());
        clock.Advance(SecondsBetween(last, now), recording->AvailableDemoTimeMs());
        last = now;
        script.Update(clock.PlayedMs());
        tellTaken();
        window.Show(StatusLine(clock.PlayedMs(), script));

        const bool allPlayed = clock.PlayedMs() >= recording->AvailableDemoTimeMs();
        const bool idle = SecondsBetween(lastArrival, now) >= options.IdleEndSeconds;
        if (allPlayed && (recording->BodyEnded() || idle)) {
            log << "demo complete at " << clock.PlayedMs() << " ms" << std::endl;
            return 0;
        }
    }
    log << "window closed at " << clock.PlayedMs() << " ms" << std::endl;
    return 0;
}
