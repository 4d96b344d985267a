#include "app/UnitGameScripts.h"

#include "app/UnitTextLines.h"
#include "platform/TextLines.h"

#include <filesystem>
#include <stdexcept>
#include <string_view>

namespace fs = std::filesystem;

// Built from src/app/scripts.
extern const std::string_view RecordingsScriptText;
extern const std::string_view ExecDemoScriptText;

const std::vector<std::string>& GSStringListRecordings() {
    static const std::vector<std::string> lines = SplitLines(std::string(RecordingsScriptText));
    return lines;
}

const std::vector<std::string>& GSStringListExecDemo() {
    static const std::vector<std::string> lines = SplitLines(std::string(ExecDemoScriptText));
    return lines;
}

std::string DemoFileLine(int demoNumber) {
    return "%file = \"recordings/nelqdemo" + std::to_string(demoNumber) + ".rec\";";
}

void PrepareGameLaunch(const std::string& gameDirectory, int playbackDemoNumber) {
    const std::string scripts = gameDirectory + "NELQ/scripts/";
    std::error_code ec;
    fs::create_directories(scripts, ec);
    if (ec)
        throw std::runtime_error("Cannot create \"" + scripts + "\": " + ec.message());

    const std::string progress = gameDirectory + "NELQ/demoprog.txt";
    fs::remove(progress, ec);
    if (ec)
        throw std::runtime_error("Cannot delete \"" + progress + "\": " + ec.message());

    WriteTextLines(scripts + "recordings.cs", GSStringListRecordings());
    std::vector<std::string> start = GSStringListExecDemo();
    start.at(DemoFileLineIndex) = DemoFileLine(playbackDemoNumber);
    WriteTextLines(scripts + "TrainingGui.cs", start);
}
