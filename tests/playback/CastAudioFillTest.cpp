#include "CastAudioFiles.h"

#include "playback/UnitCastAudioPlayer.h"
#include "playback/OggFileCallbacks.h"
#include "playback/VorbisFileDecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The data source alone, as the wave output would call it; no device is opened.
class CastAudioFillTest : public ::testing::Test {
protected:
    void SetUp() override {
        Directory = fs::temp_directory_path() /
                    ("nelq-cast-audio-" + std::to_string(::getpid()) + "-" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Directory);
        fs::create_directories(Directory);
    }
    void TearDown() override { fs::remove_all(Directory); }

    TCastAudioPlayer MakePlayer() {
        return TCastAudioPlayer(Directory.string(),
                                {[this] { return Paused; }, [this] { return LaunchPending; },
                                 [this] { return LastCompletedSection; },
                                 [this](const std::string& message) { Errors.push_back(message); }},
                                [] { return std::unique_ptr<TWaveOutDevice>(); });
    }

    // Every fill until one returns 0, appended in order.
    std::vector<uint8_t> FillUntilEmpty(TCastAudioPlayer& player,
                                        std::vector<int>* counts = nullptr) {
        std::vector<uint8_t> all, buffer(TCastAudioPlayer::BufferSize);
        for (int guard = 0; guard < 100; ++guard) {
            const int got = player.Fill(buffer.data(), static_cast<int>(buffer.size()));
            if (counts)
                counts->push_back(got);
            if (got == 0)
                break;
            all.insert(all.end(), buffer.begin(), buffer.begin() + got);
        }
        return all;
    }

    std::vector<uint8_t> Decoded(int section) {
        return DecodeWholeFile(Directory / ("audio_" + std::to_string(section) + ".ogg"));
    }

    fs::path Directory;
    bool Paused = false;
    bool LaunchPending = false;
    int32_t LastCompletedSection = -1;
    std::vector<std::string> Errors;
};
} // namespace

TEST_F(CastAudioFillTest, SectionsFollowEachOtherInsideOneFill) {
    WriteSectionAudio(Directory, 0, MonoIndex, 0.9);
    WriteSectionAudio(Directory, 1, MonoIndex, 2.0);
    LastCompletedSection = 1;
    TCastAudioPlayer player = MakePlayer();
    player.SetDecodeSection(0);

    // 0.9 s of 22050 Hz mono is 39690 bytes: the first buffer runs on into section 1.
    std::vector<uint8_t> buffer(TCastAudioPlayer::BufferSize);
    ASSERT_EQ(player.Fill(buffer.data(), static_cast<int>(buffer.size())), 65536);
    EXPECT_EQ(player.DecodeSection(), 1);
    std::vector<uint8_t> played(buffer.begin(), buffer.end());
    const std::vector<uint8_t> rest = FillUntilEmpty(player);
    played.insert(played.end(), rest.begin(), rest.end());

    std::vector<uint8_t> expected = Decoded(0);
    EXPECT_EQ(expected.size(), 39690u);
    const std::vector<uint8_t> second = Decoded(1);
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_TRUE(played == expected) << played.size() << " bytes against " << expected.size();
    EXPECT_EQ(player.DecodeSection(), 2);
    EXPECT_FALSE(player.DecoderOpen());
    EXPECT_TRUE(Errors.empty());
}

TEST_F(CastAudioFillTest, TheLastCompletedSectionEndsTheData) {
    WriteSectionAudio(Directory, 0, MonoIndex, 0.9);
    WriteSectionAudio(Directory, 1, MonoIndex, 2.0); // there, but not assembled yet
    LastCompletedSection = 0;
    TCastAudioPlayer player = MakePlayer();
    player.SetDecodeSection(0);

    std::vector<int> counts;
    const std::vector<uint8_t> played = FillUntilEmpty(player, &counts);
    EXPECT_EQ(counts, (std::vector<int>{39690, 0}));
    EXPECT_TRUE(played == Decoded(0));
    EXPECT_EQ(player.DecodeSection(), 1);

    // Once section 1 is assembled, the next request goes on with it.
    LastCompletedSection = 1;
    EXPECT_TRUE(FillUntilEmpty(player) == Decoded(1));
    EXPECT_TRUE(Errors.empty());
}

TEST_F(CastAudioFillTest, AMissingNextFileEndsTheDataQuietly) {
    WriteSectionAudio(Directory, 3, MonoIndex, 0.5);
    LastCompletedSection = 6;
    TCastAudioPlayer player = MakePlayer();
    player.SetDecodeSection(3);
    std::vector<int> counts;
    EXPECT_TRUE(FillUntilEmpty(player, &counts) == Decoded(3));
    EXPECT_EQ(counts, (std::vector<int>{22050, 0}));
    EXPECT_EQ(player.DecodeSection(), 4);
    EXPECT_TRUE(Errors.empty());
}

TEST_F(CastAudioFillTest, PausedOrLaunchingGivesFullBuffersOfSilence) {
    WriteSectionAudio(Directory, 0, MonoIndex, 0.9);
    LastCompletedSection = 0;
    TCastAudioPlayer player = MakePlayer();
    player.SetDecodeSection(0);
    std::vector<uint8_t> buffer(TCastAudioPlayer::BufferSize, 0xAB);
    for (auto [paused, launching] : {std::pair{true, false}, {false, true}, {true, true}}) {
        Paused = paused;
        LaunchPending = launching;
        std::fill(buffer.begin(), buffer.end(), 0xAB);
        ASSERT_EQ(player.Fill(buffer.data(), static_cast<int>(buffer.size())), 65536);
        EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](uint8_t b) { return b == 0; }));
    }
    // Nothing was decoded meanwhile: the audio goes on where it was.
    EXPECT_FALSE(player.DecoderOpen());
    Paused = LaunchPending = false;
    EXPECT_TRUE(FillUntilEmpty(player) == Decoded(0));
}

TEST_F(CastAudioFillTest, AFileTheDecoderRefusesIsShownByNameAndPassedOver) {
    for (const int section : {0, 2})
        std::ofstream(Directory / ("audio_" + std::to_string(section) + ".ogg"))
            << "RIFF....WAVEfmt this is no Ogg Vorbis file";
    WriteSectionAudio(Directory, 1, MonoIndex, 0.5);
    WriteSectionAudio(Directory, 3, MonoIndex, 0.5);
    LastCompletedSection = 3;
    TCastAudioPlayer player = MakePlayer();
    player.SetDecodeSection(0);
    EXPECT_FALSE(player.OpenAudioPlayer());
    EXPECT_EQ(player.WaveOut(), nullptr);
    Errors.clear();

    // Such a section counts 0 ms on the cast's time line: the data goes on
    // with the next section, within the same request, without a gap.
    std::vector<uint8_t> expected = Decoded(1);
    const std::vector<uint8_t> third = Decoded(3);
    expected.insert(expected.end(), third.begin(), third.end());
    EXPECT_TRUE(FillUntilEmpty(player) == expected);
    EXPECT_EQ(player.DecodeSection(), 4);
    EXPECT_EQ(Errors, (std::vector<std::string>(2, "ov_open_callbacks failed: OV_ENOTVORBIS")));
}

TEST_F(CastAudioFillTest, ReopeningStartsAgainAtTheBeginningOfASection) {
    WriteSectionAudio(Directory, 0, MonoIndex, 0.9);
    WriteSectionAudio(Directory, 1, MonoIndex, 0.5);
    LastCompletedSection = 1;
    TCastAudioPlayer player = MakePlayer();
    player.SetDecodeSection(0);
    std::vector<uint8_t> buffer(TCastAudioPlayer::BufferSize);
    ASSERT_EQ(player.Fill(buffer.data(), 1000), 1000);

    player.ReopenAudioAt(7); // no such file: nothing changes
    EXPECT_EQ(player.DecodeSection(), 0);
    EXPECT_TRUE(player.DecoderOpen());

    player.ReopenAudioAt(1);
    EXPECT_EQ(player.DecodeSection(), 1);
    EXPECT_TRUE(FillUntilEmpty(player) == Decoded(1));

    std::ofstream(Directory / "audio_1.ogg", std::ios::trunc) << "OggS but nothing more";
    player.ReopenAudioAt(1);
    EXPECT_FALSE(player.DecoderOpen());
    ASSERT_EQ(Errors.size(), 1u);
    EXPECT_EQ(Errors[0].rfind("ov_open_callbacks failed: ", 0), 0u) << Errors[0];
}

TEST(VorbisErrorNameTest, EveryDecoderCodeHasItsName) {
    const std::vector<std::pair<int, std::string>> names{
        {-1, "OV_FALSE"},      {-2, "OV_EOF"},          {-3, "OV_HOLE"},
        {-128, "OV_EREAD"},    {-129, "OV_EFAULT"},     {-130, "OV_EIMPL"},
        {-131, "OV_EINVAL"},   {-132, "OV_ENOTVORBIS"}, {-133, "OV_EBADHEADER"},
        {-134, "OV_EVERSION"}, {-135, "OV_ENOTAUDIO"},  {-136, "OV_EBADPACKET"},
        {-137, "OV_EBADLINK"}, {-138, "OV_ENOSEEK"},    {-4, "Unknown"},
        {-139, "Unknown"},     {0, "Unknown"}};
    for (const auto& [code, name] : names)
        EXPECT_EQ(VorbisErrorName(code), name) << code;
}
