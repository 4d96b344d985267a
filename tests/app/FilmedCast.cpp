#include "FilmedCast.h"

#include "CastFixture.h"
#include "RecordingGenerator.h"
#include "ServerHarness.h"
#include "TestSupport.h"
#include "demo/UnitDemoPart.h"
#include "demo/UnitRecording.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace {

constexpr std::uint32_t SectionDemoMs = 2000;
constexpr std::int32_t SectionAudioMs = 1000;

std::string Quoted(int number) {
    return "\"" + std::to_string(number) + "\"";
}

// A filmer connection once the server answers, which a freshly started
// server program may take a moment to do.
void ConnectFilmer(TServerConnection& filmer, const std::string& address) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
        try {
            ASSERT_TRUE(ConnectAs(filmer, address, FilmerRole.Port, FilmerRole.RoleCode).Accepted);
            return;
        } catch (const std::exception& error) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << error.what();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
}

} // namespace

TFilmedCast::TFilmedCast(const std::string& workDirectory, const std::vector<TSectionKind>& kinds) {
    std::filesystem::create_directories(workDirectory);
    for (std::size_t n = 0; n < kinds.size(); ++n) {
        const std::string base = workDirectory + "/section_" + std::to_string(n);
        TFilmedSection section;
        WriteOggFile(base + ".ogg", SectionAudioMs);
        section.Parts.Audio = ReadBytes(base + ".ogg");
        if (kinds[n] != TSectionKind::Fake) {
            TGeneratorOptions options;
            options.DurationMs = SectionDemoMs;
            options.InitialBlockLength = 500 + static_cast<std::uint32_t>(n);
            options.Seed = n + 11;
            GenerateRecording(base + ".rec", options);
            std::int64_t runningTotal = 0;
            section.Parts.BodyOffset = static_cast<std::int32_t>(BuildSection(
                base + ".rec", base + ".part", kinds[n] == TSectionKind::StartPoint, runningTotal));
            // The section list shows what the info text says.
            section.Parts.Demo = ReadBytes(base + ".part");
            section.Parts.Demo.replace(DemoPartInfoOffset, DemoPartInfoSize,
                                       MakeInfoField(InfoText(static_cast<int>(n))));

            TFileStream recording(base + ".rec", TFileStream::TMode::OpenRead);
            section.Head = AsText(ReadRecordingHead(recording).Bytes);
            TMemoryStream packets;
            InflateRecordingBody(recording, packets);
            section.Packets.assign(reinterpret_cast<const char*>(packets.Memory()),
                                   packets.ByteSize());
        }
        Sections.push_back(std::move(section));
    }
}

std::vector<TSectionParts> TFilmedCast::Parts() const {
    std::vector<TSectionParts> parts;
    for (const TFilmedSection& section : Sections)
        parts.push_back(section.Parts);
    return parts;
}

std::string TFilmedCast::CompletedList(int first, int last) const {
    std::string list = "audio\r\n";
    for (int n = first; n <= last; ++n)
        list += Quoted(n) + "," +
                Quoted(Sections.at(static_cast<std::size_t>(n)).Parts.BodyOffset) + "\r\n";
    return list;
}

std::string TFilmedCast::PacketsOf(int first, int last) const {
    std::string packets;
    for (int n = first; n <= last; ++n)
        packets += Sections.at(static_cast<std::size_t>(n)).Packets;
    return packets;
}

void FilmCast(const std::string& address, const std::string& game,
              const std::vector<TSectionParts>& sections, bool complete) {
    TServerConnection filmer;
    ConnectFilmer(filmer, address);
    ASSERT_TRUE(FilmerLogin(filmer, "", "NEW", game).Accepted);
    for (std::size_t n = 0; n < sections.size(); ++n)
        UploadSection(filmer, static_cast<std::int32_t>(n), sections[n]);
    if (complete)
        filmer.WriteLine("COMPLETED");
    filmer.WriteLine("HI"); // answered once everything before it was taken
    filmer.ReadLine();
}

TCastServer::TCastServer(const std::string& address, const std::filesystem::path& data)
    : Address(address) {
    TServerOptions options;
    options.BindAddress = address;
    options.DataDirectory = data;
    Server = std::make_unique<TCastingServer>(options, [](const std::string&) {});
    Server->Start();
}

void ExpectRebuiltRecording(const std::string& path, const std::string& head,
                            const std::string& packets) {
    const std::string rebuilt = ReadBytes(path);
    ASSERT_GE(rebuilt.size(), head.size()) << path;
    EXPECT_TRUE(rebuilt.compare(0, head.size(), head) == 0) << path << ": the head differs";
    const TInflated body = InflateWithPython(path, static_cast<std::int64_t>(head.size()));
    EXPECT_TRUE(body.Complete) << path << ": the zlib stream is not finished";
    EXPECT_EQ(body.Data.size(), packets.size()) << path;
    EXPECT_TRUE(body.Data == packets) << path << ": the packet streams differ";
}
