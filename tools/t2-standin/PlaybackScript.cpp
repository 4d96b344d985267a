#include "PlaybackScript.h"

namespace {

constexpr std::int64_t ProgressStepMs = 500;
constexpr double PausedBelow = 0.2;

} // namespace

TPlaybackScript::TPlaybackScript(std::string modDirectory, TInstructionHandler onInstruction)
    : FModDirectory(std::move(modDirectory)), FOnInstruction(std::move(onInstruction)) {}

void TPlaybackScript::Start() {
    WriteGameFile(FModDirectory + "demoprog.txt", DemoProgressText(FLastDemoProgress));
    Update(0);
}

void TPlaybackScript::Update(std::int64_t demoTimeMs) {
    if (!FLastDemoProgress || *FLastDemoProgress == 0 ||
        demoTimeMs > *FLastDemoProgress + ProgressStepMs) {
        CheckSyncFile();
        FLastDemoProgress = demoTimeMs;
        WriteGameFile(FModDirectory + "demoprog.txt", DemoProgressText(demoTimeMs));
    } else if (FTimeScale < PausedBelow) {
        CheckSyncFile();
    }
}

void TPlaybackScript::CheckSyncFile() {
    const TSyncInstruction instruction =
        ParseAudioSync(ReadGameFile(FModDirectory + "audiosync.txt"));
    if (instruction.Number <= 0 || instruction.Number == FLastSyncCount)
        return;
    FLastSyncCount = instruction.Number;
    if (!instruction.Speed)
        return;
    FTimeScale = *instruction.Speed;
    FStatus = instruction.Status;
    FOnInstruction(instruction);
}
