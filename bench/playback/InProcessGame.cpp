#include "InProcessGame.h"

#include <filesystem>

TInProcessGame::TInProcessGame(std::string gameDirectory, double drift)
    : FGameDirectory(std::move(gameDirectory)), FDrift(drift) {}

void TInProcessGame::Launch(std::int32_t demoNumber) {
    const std::string mod = FGameDirectory + "NELQ/";
    std::filesystem::remove(mod + "demoprog.txt");
    FRecording = std::make_unique<TGrowingRecording>(mod + "recordings/nelqdemo" +
                                                     std::to_string(demoNumber) + ".rec");
    FRecording->Poll();
    FScript = std::make_unique<TPlaybackScript>(mod, [](const TSyncInstruction&) {});
    FClock = std::make_unique<TDemoClock>(FDrift);
    FScript->Start();
    FLastFrame = TClock::now();
    ++FLaunches;
}

void TInProcessGame::Frame() {
    if (!FRecording)
        return;
    const TClock::time_point now = TClock::now();
    FRecording->Poll();
    FClock->SetSpeed(FScript->TimeScale());
    FClock->Advance(std::chrono::duration<double>(now - FLastFrame).count(),
                    FRecording->AvailableDemoTimeMs());
    FLastFrame = now;
    FScript->Update(FClock->PlayedMs());
    if (FClock->PlayedMs() >= FRecording->AvailableDemoTimeMs() && FRecording->BodyEnded()) {
        // The game quits at the end of its demo.
        FRecording.reset();
        FScript.reset();
    }
}
