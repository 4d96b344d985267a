#include "OfflineCastFiles.h"
#include "playback/ArchiveExport.h"
#include "playback/ArchiveExtraction.h"
#include "playback/OfflineViewing.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

// A streams directory with an "ACTIVE" that an earlier extraction left files in.
struct TArchiveFixture {
    TTempDir Root;
    std::string Streams = Root / "streams/";
    std::string Active = Streams + "ACTIVE/";

    TArchiveFixture() {
        fs::create_directories(Active);
        WriteBytes(Active + "demo_1.rec", "earlier");
        WriteBytes(Active + "kept.txt", "kept");
    }
    // Every file under the root, so that a stray write anywhere shows.
    std::vector<std::string> AllFiles() const { return FilesUnder(Root.WithSeparator()); }
    std::string Error(const std::string& archive, std::uint64_t cap = 1 << 20) const {
        TExtractOptions options;
        options.MaxEntryBytes = cap;
        try {
            ExtractCastArchive(archive, Active, options);
        } catch (const EArchiveError& error) {
            return error.what();
        }
        return "(no error)";
    }
};

// Python code writing a zip at `path` with entries name -> bytes.
std::string Zip(const std::string& path, const std::string& entries, bool deflate = true) {
    return "with zipfile.ZipFile('" + path + "', 'w', " +
           (deflate ? "zipfile.ZIP_DEFLATED" : "zipfile.ZIP_STORED") + ") as z:\n" +
           "    for name, data in " + entries + ":\n" + "        z.writestr(name, data)\n";
}

} // namespace

TEST(CastArchive, SubFolderArchiveExtractsFlatOverwritingAndPlaysFromActive) {
    TCastFixture cast;
    const std::string packets = StoreRecordingSections(cast, 0, 3);
    WriteCompletedList(cast.CastDirectory(), {0, 1, 2, 3});
    const std::string streams = StreamsDirectoryOf(cast);
    const std::string active = streams + "ACTIVE/";
    fs::create_directories(active);
    WriteBytes(active + "demo_0.rec", "from an earlier archive");
    WriteBytes(active + "leftover.txt", "stays");
    RunPython("os.chdir('" + cast.CastDirectory() + "')\n" + "with zipfile.ZipFile('" + streams +
              "cast.qmx', 'w') as z:\n"
              "    z.write('.', 'MyCast/')\n"
              "    for name in sorted(os.listdir('.')):\n"
              "        z.write(name, 'MyCast/' + name)\n");

    std::vector<std::pair<std::int64_t, std::int64_t>> progress;
    TExtractOptions options;
    options.Progress = [&](std::int64_t done, std::int64_t total) {
        progress.emplace_back(done, total);
    };
    const std::vector<std::string> written =
        ExtractCastArchive(streams + "cast.qmx", active, options);
    EXPECT_EQ(written.size(), 9u);
    EXPECT_EQ(progress.size(), 9u);
    EXPECT_EQ(progress.back(), std::make_pair(std::int64_t{9}, std::int64_t{9}));
    for (const std::string& name : FilesUnder(cast.CastDirectory()))
        EXPECT_EQ(ReadBytes(active + name), ReadBytes(cast.CastDirectory() + name)) << name;
    EXPECT_EQ(ReadBytes(active + "leftover.txt"), "stays");
    EXPECT_FALSE(fs::exists(active + "MyCast"));

    fs::remove_all(cast.CastDirectory());
    TAssemblySettings settings = cast.Settings(0);
    settings.CastDirectory = active;
    TProbedAssembler probe;
    ReplayCast(probe.Assembler, settings, LoadPlayableCast(active, false), {});
    EXPECT_EQ(probe.PlaybackStarts, std::vector<std::int32_t>{0});
    const TInflated body = InflateWithPython(
        cast.RebuiltPath(0), static_cast<std::int64_t>(cast.RecordingHead(0).size()));
    EXPECT_TRUE(body.Complete && body.Data == packets);
}

TEST(CastArchive, HostileNamesLandFlatInsideActiveOrAreSkipped) {
    TArchiveFixture fixture;
    const std::string archive = fixture.Root / "names.zip";
    RunPython(Zip(archive, "[('../../up.rec', b'up'), ('/etc/abs.rec', b'abs'), "
                           "('C:\\\\Windows\\\\drive.rec', b'drive'), ('C:bare.rec', b'bare'), "
                           "('sub/..', b'dots'), ('sub/.', b'dot'), ('..', b'dd'), "
                           "('dir/', b''), ('\\\\\\\\server\\\\share\\\\unc.rec', b'unc'), "
                           "('demo_1.recXtail', b'nul')]") +
              "data = open('" + archive +
              "', 'rb').read().replace(b'demo_1.recXtail', "
              "b'demo_1.rec\\x00tail')\n"
              "open('" +
              archive + "', 'wb').write(data)\n");

    const std::vector<std::string> written = ExtractCastArchive(archive, fixture.Active);
    // libzip reads a NUL in a name as a space, so that entry cannot pose as
    // "demo_1.rec"; it lands under its own harmless name.
    EXPECT_EQ(written,
              (std::vector<std::string>{"up.rec", "abs.rec", "unc.rec", "demo_1.rec tail"}));
    EXPECT_EQ(ReadBytes(fixture.Active + "demo_1.rec"), "earlier");
    EXPECT_EQ(ReadBytes(fixture.Active + "up.rec"), "up");
    EXPECT_EQ(fixture.AllFiles(),
              (std::vector<std::string>{"names.zip", "streams/ACTIVE/abs.rec",
                                        "streams/ACTIVE/demo_1.rec",
                                        "streams/ACTIVE/demo_1.rec tail", "streams/ACTIVE/kept.txt",
                                        "streams/ACTIVE/unc.rec", "streams/ACTIVE/up.rec"}));
}

TEST(CastArchive, BombsAndDamagedArchivesFailClearlyAndLeaveNoPartialFile) {
    TArchiveFixture fixture;
    const std::string root = fixture.Root.WithSeparator();
    const std::vector<std::string> before = fixture.AllFiles();

    // States its size honestly, over the cap: refused before anything is written.
    RunPython(Zip(root + "bomb.zip", "[('audio_0.ogg', b'a'), ('demo_1.rec', bytes(2 << 20))]"));
    EXPECT_NE(fixture.Error(root + "bomb.zip").find("more than the 1048576 bytes"),
              std::string::npos);

    // States 1000 bytes but inflates to 3 MB.
    RunPython(Zip(root + "liar.zip", "[('demo_1.rec', bytes(3 << 20))]") +
              "data = bytearray(open('" + root +
              "liar.zip', 'rb').read())\n"
              "struct.pack_into('<I', data, 22, 1000)\n"
              "central = data.find(b'PK\\x01\\x02')\n"
              "struct.pack_into('<I', data, central + 24, 1000)\n"
              "open('" +
              root + "liar.zip', 'wb').write(data)\n");
    EXPECT_NE(fixture.Error(root + "liar.zip", std::uint64_t{1} << 31).find("demo_1.rec"),
              std::string::npos);

    // One stored byte changed: the CRC no longer matches.
    RunPython(Zip(root + "crc.zip", "[('demo_1.rec', b'A' * 5000)]", false) + "data = open('" +
              root +
              "crc.zip', 'rb').read()\n"
              "open('" +
              root +
              "crc.zip', 'wb').write(data.replace("
              "b'A' * 5000, b'A' * 2500 + b'B' + b'A' * 2499))\n");
    EXPECT_NE(fixture.Error(root + "crc.zip").find("CRC"), std::string::npos)
        << fixture.Error(root + "crc.zip");

    // Cut off in the middle, and not a zip at all.
    RunPython(Zip(root + "whole.zip", "[('demo_1.rec', os.urandom(20000))]") + "data = open('" +
              root +
              "whole.zip', 'rb').read()\n"
              "open('" +
              root + "cut.zip', 'wb').write(data[:len(data) // 2])\n");
    fs::remove(root + "whole.zip");
    EXPECT_NE(fixture.Error(root + "cut.zip").find("Cannot open the archive"), std::string::npos);
    WriteBytes(root + "text.qmx", "just some text, not an archive\n");
    EXPECT_NE(fixture.Error(root + "text.qmx").find("Not a zip archive"), std::string::npos);

    std::vector<std::string> after = before;
    for (const char* made : {"bomb.zip", "crc.zip", "cut.zip", "liar.zip", "text.qmx"})
        after.push_back(made);
    std::sort(after.begin(), after.end());
    EXPECT_EQ(fixture.AllFiles(), after) << "no file was added or left half written";
    EXPECT_EQ(ReadBytes(fixture.Active + "demo_1.rec"), "earlier");
}

TEST(CastArchive, ExportedCastReopensWithTheSameRecordings) {
    TCastFixture cast;
    StoreRecordingSections(cast, 2, 3);
    cast.StoreFakeSection(4);
    StoreRecordingSections(cast, 5, 6);
    WriteCompletedList(cast.CastDirectory(), {2, 3, 4, 5, 6});
    WriteBytes(cast.CastDirectory() + "lastplayed.dat", "3\r\n");
    const std::string streams = StreamsDirectoryOf(cast);
    const std::string archive = streams + "export.qmx";
    WriteBytes(archive, "an earlier export");

    // A failed export leaves the earlier file and no partial one.
    fs::rename(cast.AudioPath(6), streams + "audio_6.ogg");
    EXPECT_THROW(ExportCastArchive(cast.CastDirectory(), archive), EArchiveError);
    EXPECT_TRUE(ReadBytes(archive) == "an earlier export");
    EXPECT_FALSE(fs::exists(archive + ".partial"));
    fs::rename(streams + "audio_6.ogg", cast.AudioPath(6));

    ExportCastArchive(cast.CastDirectory(), archive);
    const TCommandResult listing = RunCommand(
        "python3 -c \"import zipfile,sys; print(' '.join(zipfile.ZipFile(sys.argv[1]).namelist()))"
        "\" '" +
        archive + "'");
    EXPECT_EQ(listing.Output, "completed.dat demo_2.rec audio_2.ogg demo_3.rec audio_3.ogg "
                              "demo_4.rec audio_4.ogg demo_5.rec audio_5.ogg demo_6.rec "
                              "audio_6.ogg\n");

    auto rebuild = [&](const std::string& castDirectory) {
        TAssemblySettings settings = cast.Settings(0);
        settings.CastDirectory = castDirectory;
        TProbedAssembler probe;
        ReplayCast(probe.Assembler, settings, LoadPlayableCast(castDirectory, false), {});
        return std::make_pair(ReadBytes(cast.RebuiltPath(2)), ReadBytes(cast.RebuiltPath(5)));
    };
    const auto original = rebuild(cast.CastDirectory());
    ExtractCastArchive(archive, streams + "ACTIVE/");
    EXPECT_TRUE(rebuild(streams + "ACTIVE/") == original);
}
