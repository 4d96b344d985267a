#include "CastFixture.h"

#include "RecordingGenerator.h"
#include "demo/UnitCompression.h"
#include "demo/UnitDemoPart.h"
#include "demo/UnitRecording.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

std::string Numbered(const char* format, std::int32_t section) {
    char name[64];
    std::snprintf(name, sizeof name, format, section);
    return name;
}

} // namespace

TProbedAssembler::TProbedAssembler() {
    Assembler.StartPlayback = [this](std::int32_t section) { PlaybackStarts.push_back(section); };
    Assembler.ShowBufferLabel = [this](const std::string& text) { BufferLabels.push_back(text); };
    Assembler.ReportNothingToPlay = [this](const std::string& text) { Reports.push_back(text); };
    Assembler.ReportSectionFailure = [this](const std::string& text) {
        SectionFailures.push_back(text);
    };
}

TCastFixture::TCastFixture() {
    fs::create_directories(CastDirectory());
    fs::create_directories(GameDirectory());
}

std::string TCastFixture::RebuiltPath(std::int32_t section) const {
    return GameDirectory() + Numbered("NELQ/recordings/nelqdemo%d.rec", section);
}

std::string TCastFixture::DemoPartPath(std::int32_t section) const {
    return CastDirectory() + Numbered("demo_%d.rec", section);
}

std::string TCastFixture::AudioPath(std::int32_t section) const {
    return CastDirectory() + Numbered("audio_%d.ogg", section);
}

std::vector<std::string> TCastFixture::AllFiles() const {
    std::vector<std::string> files;
    const fs::path root = FRoot / "";
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files.push_back(fs::relative(entry.path(), root).string());
    std::sort(files.begin(), files.end());
    return files;
}

TAssemblySettings TCastFixture::Settings(std::int32_t startSection, bool online) const {
    TAssemblySettings settings;
    settings.CastDirectory = CastDirectory();
    settings.GameDirectory = GameDirectory();
    settings.StartSection = startSection;
    settings.Online = online;
    return settings;
}

void TCastFixture::StoreAudio(std::int32_t section, std::int32_t audioMs) {
    WriteOggFile(AudioPath(section), audioMs);
}

std::string TCastFixture::StoreSection(std::int32_t section, bool whole, std::uint32_t demoMs,
                                       std::int32_t audioMs) {
    const std::string recording = FRoot / Numbered("source_%d.rec", section);
    TGeneratorOptions options;
    options.DurationMs = demoMs;
    options.InitialBlockLength = 600 + static_cast<std::uint32_t>(section);
    options.Seed = static_cast<std::uint64_t>(section) + 7;
    GenerateRecording(recording, options);

    const std::string built = FRoot / Numbered("built_%d.part", section);
    std::int64_t runningTotal = 0;
    const std::int64_t bodyOffset = BuildSection(recording, built, true, runningTotal);
    const std::string part = ReadBytes(built);
    WriteBytes(DemoPartPath(section),
               whole ? part : part.substr(static_cast<std::size_t>(bodyOffset)));
    StoreAudio(section, audioMs);

    TFileStream file(recording, TFileStream::TMode::OpenRead);
    ReadRecordingHead(file);
    TMemoryStream packets;
    InflateRecordingBody(file, packets);
    return {reinterpret_cast<const char*>(packets.Memory()), packets.ByteSize()};
}

void TCastFixture::StoreFakeSection(std::int32_t section, std::int32_t audioMs) {
    WriteBytes(DemoPartPath(section), "");
    StoreAudio(section, audioMs);
}

std::string TCastFixture::RecordingHead(std::int32_t section) const {
    TFileStream file(FRoot / Numbered("source_%d.rec", section), TFileStream::TMode::OpenRead);
    return AsText(ReadRecordingHead(file).Bytes);
}
