#include "OfflineCastFiles.h"
#include "playback/ArchiveExport.h"
#include "playback/ArchiveExtraction.h"
#include "playback/OfflineCastList.h"
#include "playback/OfflineViewing.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// Writes beyond `bytes` fail with EFBIG while it lives: a full disk that
// stops even root.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &FSaved);
        FSavedHandler = signal(SIGXFSZ, SIG_IGN);
        rlimit limit = FSaved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~TFileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &FSaved);
        signal(SIGXFSZ, FSavedHandler);
    }
    TFileSizeLimit(const TFileSizeLimit&) = delete;
    TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

private:
    rlimit FSaved{};
    void (*FSavedHandler)(int) = nullptr;
};

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
    // What lies in the streams directory itself, hidden work directories too.
    std::vector<std::string> StreamsEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(Streams))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string Error(const std::string& archive, std::uint64_t cap = 1 << 20,
                      rlim_t fileSizeLimit = RLIM_INFINITY) const {
        TExtractOptions options;
        options.MaxEntryBytes = cap;
        const TFileSizeLimit limit(fileSizeLimit);
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
    EXPECT_FALSE(fs::exists(active + "leftover.txt")) << "nothing of an earlier archive stays";
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

TEST(CastArchive, OnlyCastFileNamesAreExtractedFlatIntoActiveReplacingItWhole) {
    TArchiveFixture fixture;
    const std::string archive = fixture.Root / "names.zip";
    // Entry name -> the name it lands under in "ACTIVE"; empty: skipped.
    const std::vector<std::pair<std::string, std::string>> names = {
        {"completed.dat", "completed.dat"},
        {"demo_0.rec", "demo_0.rec"},
        {"audio_1024.ogg", "audio_1024.ogg"},
        {"MyCast/audio_0.ogg", "audio_0.ogg"},
        {"../../demo_2.rec", "demo_2.rec"},
        {"/etc/audio_2.ogg", "audio_2.ogg"},
        {"C:\\Windows\\demo_3.rec", "demo_3.rec"},
        {"\\\\server\\share\\audio_3.ogg", "audio_3.ogg"},
        {"__MACOSX/MyCast/._demo_4.rec", ""},
        {"C:demo_4.rec", ""},
        {"demo_1025.rec", ""},
        {"demo_-1.rec", ""},
        {"demo_+4.rec", ""},
        {"demo_04.rec", ""},
        {"demo_ 4.rec", ""},
        {"demo_4 .rec", ""},
        {"demo_.rec", ""},
        {"demo_4294967300.rec", ""},
        {"demo_4.rec.bak", ""},
        {"Demo_4.rec", ""},
        {"audio_4.OGG", ""},
        {"audio_4.rec", ""},
        {"completed.dat.tmp", ""},
        {"sub/completed.dat/", ""},
        {"kept.txt", ""},
        {"sub/..", ""},
        {"..", ""},
        {"dir/", ""},
        // Made "demo_1.rec\0tail" below; libzip reads the NUL as a space.
        {"demo_1.recXtail", ""},
    };
    std::string entries = "[";
    std::vector<std::string> expectedWritten;
    std::vector<std::string> expectedFiles = {"names.zip"};
    for (const auto& [name, flat] : names) {
        std::string hex;
        for (const unsigned char c : name)
            hex += "0123456789abcdef"[c >> 4], hex += "0123456789abcdef"[c & 15];
        entries += "(bytes.fromhex('" + hex + "').decode(), bytes.fromhex('" + hex + "')),";
        if (!flat.empty()) {
            expectedWritten.push_back(flat);
            expectedFiles.push_back("streams/ACTIVE/" + flat);
        }
    }
    RunPython(Zip(archive, entries + "]") + "data = open('" + archive +
              "', 'rb').read().replace(b'demo_1.recXtail', b'demo_1.rec\\x00tail')\n"
              "open('" +
              archive + "', 'wb').write(data)\n");

    EXPECT_EQ(ExtractCastArchive(archive, fixture.Active), expectedWritten);
    for (const auto& [name, flat] : names) {
        if (!flat.empty()) {
            EXPECT_EQ(ReadBytes(fixture.Active + flat), name);
        }
    }
    std::sort(expectedFiles.begin(), expectedFiles.end());
    EXPECT_EQ(fixture.AllFiles(), expectedFiles)
        << "the earlier demo_1.rec and kept.txt are gone, nothing landed elsewhere";
    EXPECT_EQ(fixture.StreamsEntries(), std::vector<std::string>{"ACTIVE"});
}

TEST(CastArchive, FailureMidwayLeavesTheEarlierActiveWholeAndNoWorkDirectory) {
    const std::string good = "('demo_0.rec', os.urandom(300000)), ('audio_0.ogg', b'ogg'), ";
    // Changes a field of the archive's last entry in both of its headers.
    const auto patchLastEntry = [](int localOffset, const char* value) {
        return std::string("with zipfile.ZipFile(path) as z:\n"
                           "    local = z.infolist()[-1].header_offset\n"
                           "data = bytearray(open(path, 'rb').read())\n"
                           "struct.pack_into('<I', data, local + ") +
               std::to_string(localOffset) + ", " + value +
               ")\n"
               "struct.pack_into('<I', data, data.rfind(b'PK\\x01\\x02') + " +
               std::to_string(localOffset + 2) + ", " + value +
               ")\n"
               "open(path, 'wb').write(data)\n";
    };
    const std::string wrongCrc = patchLastEntry(14, "0x12345678");
    const std::string states1000 = patchLastEntry(22, "1000");
    const struct {
        const char* Case;
        std::string Entries;
        std::string Damage;
        rlim_t FileSizeLimit;
        const char* Says;
    } failures[] = {
        {"a bad CRC in the last entry", good + "('completed.dat', b'audio\\r\\n')", wrongCrc,
         RLIM_INFINITY, "CRC"},
        {"the last entry inflating beyond what it states", good + "('demo_1.rec', bytes(3 << 20))",
         states1000, RLIM_INFINITY, "more than the 1000 bytes it states"},
        {"a list of completed sections inflating beyond what it states",
         good + "('completed.dat', b'\\r\\n' * (1 << 20))", states1000, RLIM_INFINITY,
         "\"completed.dat\""},
        {"a list of completed sections over its cap",
         good + "('completed.dat', b'audio\\r\\n' + b'\\r\\n' * 40000)", "", RLIM_INFINITY,
         "more than the 65536 bytes a list of completed sections may have"},
        {"the disk filling up", good + "('demo_1.rec', os.urandom(2 << 20))", "", 1 << 20,
         "File too large"},
    };
    for (const auto& failure : failures) {
        TArchiveFixture fixture;
        const std::string archive = fixture.Root / "broken.zip";
        RunPython(Zip(archive, "[" + failure.Entries + "]") + "path = '" + archive + "'\n" +
                  failure.Damage);
        const std::vector<std::string> before = fixture.AllFiles();
        const std::string error =
            fixture.Error(archive, std::uint64_t{8} << 20, failure.FileSizeLimit);
        EXPECT_NE(error.find(failure.Says), std::string::npos) << failure.Case << ": " << error;
        EXPECT_EQ(fixture.AllFiles(), before) << failure.Case;
        EXPECT_EQ(ReadBytes(fixture.Active + "demo_1.rec"), "earlier") << failure.Case;
        EXPECT_EQ(fixture.StreamsEntries(), std::vector<std::string>{"ACTIVE"}) << failure.Case;
    }
}

TEST(CastArchive, LeftoversOfACrashAreNeverListedAndGoWithTheNextExtraction) {
    TArchiveFixture fixture;
    for (const char* leftover : {".ACTIVE.new-a1B2c3", ".ACTIVE.old-x9Y8z7"}) {
        fs::create_directories(fixture.Streams + leftover);
        WriteBytes(fixture.Streams + leftover + "/demo_0.rec", "half");
    }
    fs::create_directories(fixture.Streams + ".ACTIVE");
    EXPECT_EQ(ListOfflineCasts(fixture.Streams), std::vector<std::string>{".ACTIVE"})
        << "a cast may be named with a dot; the work directories are hidden";

    // "ACTIVE" made a link to elsewhere: the link is replaced, elsewhere untouched.
    const std::string elsewhere = fixture.Root / "elsewhere";
    fs::rename(fixture.Active, elsewhere);
    fs::create_directory_symlink(elsewhere, fixture.Streams + "ACTIVE");
    const std::string archive = fixture.Root / "cast.zip";
    RunPython(Zip(archive, "[('completed.dat', b'list'), ('demo_1.rec', b'new')]"));
    ExtractCastArchive(archive, fixture.Active);

    EXPECT_EQ(fixture.StreamsEntries(), (std::vector<std::string>{".ACTIVE", "ACTIVE"}));
    EXPECT_FALSE(fs::is_symlink(fixture.Streams + "ACTIVE"));
    EXPECT_EQ(ReadBytes(fixture.Active + "demo_1.rec"), "new");
    EXPECT_EQ(FilesUnder(elsewhere + "/"), (std::vector<std::string>{"demo_1.rec", "kept.txt"}));
    EXPECT_EQ(ReadBytes(elsewhere + "/demo_1.rec"), "earlier");
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
