#include "OggFileCheck.h"

#include "audio/UnitAudioQuality.h"
#include "audio/UnitEncodingThread.h"
#include "platform/FileFinality.h"
#include "platform/PumpedSyncContext.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {
class EncodingThreadTest : public ::testing::Test {
protected:
    void SetUp() override {
        Directory = fs::temp_directory_path() /
                    ("nelq-encoder-" + std::to_string(::getpid()) + "-" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Directory);
        fs::create_directories(Directory);
    }
    void TearDown() override {
        Encoder.reset();
        fs::remove_all(Directory);
    }

    void StartEncoder(int qualityIndex) {
        Encoder = MakeOwnedThread<TEncodingThread>(Sync, Directory.string() + "/", qualityIndex);
        Encoder->Start();
    }
    void Cut(int32_t section) {
        TBlockQueueLock lock(*Encoder);
        lock.Blocks().AddInfo(section, InfoCompleteSection);
        lock.Blocks().AddInfo(section, InfoCreateSection);
    }
    void Audio(int32_t section, const std::vector<uint8_t>& pcm, size_t packet = 4096) {
        TBlockQueueLock lock(*Encoder);
        for (size_t at = 0; at < pcm.size(); at += packet) {
            const size_t size = std::min(packet, pcm.size() - at);
            lock.Blocks().AddBlock(BlockKindAudio, section, static_cast<int32_t>(size),
                                   pcm.data() + at);
        }
    }
    // A completion without a creation closes the running file and ends the run.
    void FinishRun(int32_t section) {
        {
            TBlockQueueLock lock(*Encoder);
            lock.Blocks().AddInfo(section, InfoCompleteSection);
            lock.Blocks().AddBlock(BlockKindAudio, section, 0, nullptr);
        }
        ASSERT_TRUE(Sync.PumpUntil([this] { return Encoder->Finished(); }, 10s));
    }
    bool WaitFor(const std::function<bool()>& condition) { return Sync.PumpUntil(condition, 10s); }
    fs::path File(int32_t section) const {
        return Directory / ("stream_" + std::to_string(section) + ".ogg");
    }

    PumpedSyncContext Sync;
    fs::path Directory;
    TOwnedThread<TEncodingThread> Encoder;
};
} // namespace

TEST_F(EncodingThreadTest, EverySectionFileIsACompleteStreamWithAFreshSerial) {
    StartEncoder(0);
    std::set<int> serials;
    const int64_t frames[] = {11025 * 2, 3000, 11025 * 3 + 77};
    for (int32_t section = 0; section < 3; ++section) {
        Cut(section);
        Audio(section, TonePcm(frames[section], 1, 440, 11025));
    }
    FinishRun(2);
    for (int32_t section = 0; section < 3; ++section) {
        ExpectValidSection(File(section), 11025, 1, frames[section]);
        serials.insert(ReadOggFile(File(section)).Serial);
    }
    EXPECT_EQ(serials.size(), 3u);
}

TEST_F(EncodingThreadTest, AFileIsFinalOnlyAfterTheFirstAudioAfterTheNextCut) {
    StartEncoder(1);
    const auto pcm = TonePcm(11025, 1, 300, 11025);
    Cut(0);
    Audio(0, pcm);
    ASSERT_TRUE(WaitFor([&] { return fs::exists(File(0)); }));
    EXPECT_FALSE(IsFinal(File(0).string()));

    Cut(1);
    Sync.ProcessPending(350ms); // a few passes with nothing but the markers
    EXPECT_FALSE(IsFinal(File(0).string()));
    EXPECT_FALSE(fs::exists(File(1)));

    Audio(1, pcm);
    ASSERT_TRUE(WaitFor([&] { return IsFinal(File(0).string()); }));
    ExpectValidSection(File(0), 11025, 1, 11025);
    EXPECT_FALSE(IsFinal(File(1).string()));

    FinishRun(1);
    EXPECT_TRUE(IsFinal(File(1).string()));
    ExpectValidSection(File(1), 11025, 1, 11025);
}

TEST_F(EncodingThreadTest, FilesAreNamedByTheAudioAndRepeatedCutsActAsOne) {
    StartEncoder(2);
    const auto pcm = TonePcm(5000, 2, 500, 11025);
    Cut(5);
    Audio(7, pcm); // the marker's number does not name the file
    Cut(8);
    Cut(9);
    Audio(9, pcm);
    FinishRun(9);

    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(Directory))
        names.insert(entry.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"stream_7.ogg", "stream_9.ogg"}));
    ExpectValidSection(File(7), 11025, 2, 5000);
    ExpectValidSection(File(9), 11025, 2, 5000);
}

TEST_F(EncodingThreadTest, StereoBlocksIgnoreAPartialFrameAndEmptyBlocksDoNotEndTheStream) {
    StartEncoder(2);
    Cut(0);
    Audio(0, std::vector<uint8_t>(4096, 0));
    Audio(0, std::vector<uint8_t>(4098, 0), 4098);
    Audio(0, {});                           // nothing captured
    Audio(0, std::vector<uint8_t>(3, 0));   // less than a frame
    Audio(0, TonePcm(1024, 2, 700, 11025)); // audio goes on in the same stream
    FinishRun(0);
    ExpectValidSection(File(0), 11025, 2, 3 * 1024);
    EXPECT_EQ(ReadOggFile(File(0)).Frames, 3 * 1024);
}

TEST_F(EncodingThreadTest, EveryQualityEntryGivesValidFilesAtItsRateAndChannels) {
    for (int index = 0; index < 6; ++index) {
        SCOPED_TRACE(index);
        const TAudioQuality& quality = AudioQualities[static_cast<size_t>(index)];
        StartEncoder(index);
        const int64_t frames = quality.Rate * 3 / 2;
        Cut(index);
        Audio(index, TonePcm(frames, quality.Channels, 440, quality.Rate));
        FinishRun(index);
        ExpectValidSection(File(index), quality.Rate, quality.Channels, frames);
        Encoder.reset();
    }
}

TEST_F(EncodingThreadTest, ASectionFileThatCannotBeCreatedLosesOnlyItsOwnAudio) {
    fs::create_directory(File(0)); // something in the way of section 0's file
    StartEncoder(7);               // outside the table: the first entry
    const auto pcm = TonePcm(4000, 1, 440, 11025);
    Cut(0);
    Audio(0, pcm);
    Cut(1);
    Audio(1, pcm);
    FinishRun(1);
    EXPECT_TRUE(fs::is_directory(File(0)));
    ExpectValidSection(File(1), 11025, 1, 4000);
}

TEST_F(EncodingThreadTest, DestroyingTheEncoderClosesAnOpenFileWithoutItsEnd) {
    StartEncoder(0);
    Cut(0);
    Audio(0, TonePcm(11025 * 20, 1, 440, 11025));
    ASSERT_TRUE(WaitFor([&] { return fs::exists(File(0)) && fs::file_size(File(0)) > 8000; }));
    Encoder.reset();
    EXPECT_TRUE(IsFinal(File(0).string()));
    const TOggFileFacts facts = ReadOggFile(File(0));
    EXPECT_TRUE(facts.HeadersOnOwnPages);
    EXPECT_EQ(facts.EndOfStreamPages, 0);
}
