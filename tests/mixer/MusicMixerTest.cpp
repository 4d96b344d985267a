// The mixer's workings with real MP3 files, real decoding and conversion, and
// the fake sound card in place of the output device.

#include "FakeSoundCard.h"
#include "MixerTestFiles.h"
#include "mixer/PlaylistFile.h"
#include "mixer/UnitMusicMixer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <future>
#include <sys/stat.h>
#include <thread>

namespace {
constexpr int MonoIndex = 3; // 16000 Hz, mono

class MusicMixer : public ::testing::Test {
protected:
    std::unique_ptr<TMusicMixer> NewMixer() {
        auto mixer = std::make_unique<TMusicMixer>(
            Dir.Path.string() + "/", [this] { return Card.NewDevice(); },
            [this](std::function<void()> task) { Card.Post(std::move(task)); },
            [this] { return MakeRecordingFormat(AudioQuality(AudioIndex)); });
        mixer->View.SetStatusText = [this](const std::string& text) { Status = text; };
        mixer->View.SelectPlaylistItem = [this](int index) { Selected = index; };
        mixer->View.SetMonitorTimer = [this](bool enabled) { TimerOn = enabled; };
        mixer->SetCastVolume(100, 100);
        mixer->SetMusicVolume(100, 100);
        return mixer;
    }

    void SetUp() override { Mixer = NewMixer(); }

    // Runs the loop until the track asked for is open (or refused).
    bool Opened() {
        return Card.RunTasksUntil([&] { return !Mixer->Opening(); });
    }

    // Plays the next buffer; with none to play, waits for a track being opened.
    bool PlayNext() {
        while (!Card.PlayOneBuffer())
            if (Card.Written.empty() && !Card.WaitForTask(std::chrono::seconds(60)))
                return false;
        return true;
    }

    // Plays buffers until `done`, at most `limit` of them.
    bool PlayUntil(const std::function<bool()>& done, int limit = 100) {
        for (int i = 0; i < limit && !done(); ++i)
            PlayNext();
        return done();
    }

    // Mixes `count` samples of one value; returns the mixed packet.
    std::vector<int16_t> Mix(int16_t value, size_t count) {
        std::vector<int16_t> packet(count, value);
        Mixer->MixMusic(reinterpret_cast<uint8_t*>(packet.data()), int(count * 2));
        return packet;
    }

    ScratchDir Dir;
    TFakeSoundCard Card;
    int AudioIndex = MonoIndex;
    std::unique_ptr<TMusicMixer> Mixer;
    std::string Status;
    int Selected = -2;
    bool TimerOn = false;
};
} // namespace

TEST_F(MusicMixer, WithoutMusicTheCommentaryIsScaledByTheCastVolume) {
    Mixer->SetCastVolume(0, 100);
    EXPECT_EQ(Mix(12345, 100), std::vector<int16_t>(100, 0));
    Mixer->SetCastVolume(100, 100);
    const std::vector<int16_t> extremes{32767, -32767, 1, -1, 0, 1000};
    std::vector<int16_t> packet = extremes;
    Mixer->MixMusic(reinterpret_cast<uint8_t*>(packet.data()), int(packet.size() * 2));
    EXPECT_EQ(packet, extremes);
    EXPECT_EQ(Mix(-32768, 3), std::vector<int16_t>(3, -32767));

    // Halves land on the even neighbour.
    Mixer->SetCastVolume(50, 100);
    std::vector<int16_t> halves{1, 3, 5, -1, -3, -5, 7};
    Mixer->MixMusic(reinterpret_cast<uint8_t*>(halves.data()), int(halves.size() * 2));
    EXPECT_EQ(halves, (std::vector<int16_t>{0, 2, 2, 0, -2, -2, 4}));

    // An odd byte at the end is no sample and stays as it is.
    std::vector<uint8_t> odd{0x10, 0x00, 0x7F};
    Mixer->MixMusic(odd.data(), 3);
    EXPECT_EQ(odd, (std::vector<uint8_t>{0x08, 0x00, 0x7F}));
}

TEST_F(MusicMixer, MusicIsAddedWithoutWrapAroundAndClampedToTheSymmetricRange) {
    Mixer->PlayFile(MakeToneMp3(Dir, "loud", 3, 500, 16000, 1));
    ASSERT_TRUE(Opened());
    ASSERT_TRUE(Mixer->Playing()) << Status;
    const size_t count = 16000; // one second at 16000 Hz mono
    const std::vector<int16_t> music = Mix(0, count);
    EXPECT_NEAR(ToneAmplitude(music, 16000, 500), 16384, 1500);

    // The same music again from the start (decoded anew after the seek, so
    // within one step), now onto loud commentary.
    for (const int16_t commentary : {int16_t(30000), int16_t(-30000)}) {
        Mixer->Stop();
        Mixer->Play();
        const std::vector<int16_t> mixed = Mix(commentary, count);
        int atLimit = 0;
        for (size_t i = 0; i < count; ++i) {
            const int sum = commentary + music[i];
            EXPECT_NEAR(mixed[i], std::clamp(sum, -32767, 32767), 1) << i;
            EXPECT_NE(mixed[i], -32768);
            atLimit += std::abs(mixed[i]) == 32767;
        }
        EXPECT_GT(atLimit, 1000) << commentary;
    }

    // At music volume 0 only the commentary is left.
    Mixer->SetMusicVolume(0, 100);
    EXPECT_EQ(Mix(77, 50), std::vector<int16_t>(50, 77));
}

TEST_F(MusicMixer, APacketLongerThanTheMusicLeftGetsSilenceForTheRest) {
    Mixer->PlayFile(MakeToneMp3(Dir, "short", 1, 500, 16000, 1));
    ASSERT_TRUE(Opened());
    const int64_t ahead = Mixer->MusicAhead();
    ASSERT_GT(ahead, 0);
    const std::vector<int16_t> mixed = Mix(1000, size_t(ahead / 2 + 500));
    EXPECT_EQ(Mixer->MusicAhead(), 0);
    EXPECT_NE(std::vector<int16_t>(mixed.begin(), mixed.begin() + ahead / 2),
              std::vector<int16_t>(size_t(ahead / 2), 1000));
    EXPECT_EQ(std::vector<int16_t>(mixed.begin() + ahead / 2, mixed.end()),
              std::vector<int16_t>(500, 1000));
    EXPECT_EQ(Mix(-5, 10), std::vector<int16_t>(10, -5));
}

TEST_F(MusicMixer, OpeningATrackPlaysItLocallyAndConvertsItForTheCast) {
    const std::string path = MakeToneMp3(Dir, "stereo", 20, 600, 22050, 2);
    Mixer->PlayFile(path);
    ASSERT_TRUE(Opened());
    EXPECT_EQ(Status, "stereo.mp3");
    EXPECT_TRUE(Mixer->Playing());
    EXPECT_TRUE(TimerOn);
    EXPECT_EQ(Mixer->PlayingTime(), 0);
    EXPECT_EQ(Mixer->PlayingTimeMax(), 20);
    EXPECT_EQ(Card.Format, (TWaveFormat{true, 22050, 16}));
    EXPECT_EQ(Mixer->Output().BufferSize(), 22050 * 4 * 8);
    // Three pieces of eight seconds hold the whole track; the fourth request finds nothing.
    EXPECT_EQ(Card.Written.size(), 3u);
    EXPECT_FALSE(Mixer->Track()->Active());
    EXPECT_NEAR(double(Mixer->MusicAhead()), 20.0 * 16000 * 2, 16000 * 2 * 0.1);

    const std::vector<uint8_t> firstPiece = Card.Written.front();
    EXPECT_EQ(int(firstPiece.size()), 22050 * 4 * 8 - 4); // whole frames of size - 2
    EXPECT_NEAR(ToneAmplitude(Channel(firstPiece.data(), firstPiece.size(), 2, 1), 22050, 600),
                16384, 1500);

    // The timer follows what has been heard.
    Card.PlayOneBuffer();
    Mixer->TimerMonitorPlaybackTimer();
    EXPECT_EQ(Mixer->PlayingTime(), 8);
}

TEST_F(MusicMixer, APlaylistPlaysOnToTheNextTrackAndFromTheTopAfterTheLast) {
    const std::string first = MakeToneMp3(Dir, "first", 2, 400, 16000, 1);
    const std::string second = MakeToneMp3(Dir, "second", 2, 800, 16000, 1);
    Mixer->AddToPlaylist(first);
    Mixer->AddToPlaylist(second);
    Mixer->PlayPlaylistItem(0);
    ASSERT_TRUE(Opened());
    EXPECT_EQ(Status, "first.mp3");
    ASSERT_TRUE(PlayUntil([&] { return Mixer->CurrentIndex() == 1; }));
    ASSERT_TRUE(Opened());
    EXPECT_EQ(Selected, 1);
    EXPECT_EQ(Status, "second.mp3");
    EXPECT_TRUE(Mixer->Playing());
    ASSERT_TRUE(PlayUntil([&] { return Mixer->CurrentIndex() == 0; }));
    ASSERT_TRUE(Opened());
    EXPECT_EQ(Selected, 0);
    EXPECT_EQ(Status, "first.mp3");
    EXPECT_TRUE(Mixer->Playing());

    // Moving and removing leave the current index alone.
    EXPECT_EQ(Mixer->MoveDown(0), 1);
    EXPECT_EQ(Mixer->CurrentIndex(), 0);
    EXPECT_EQ(Mixer->Playlist(), (std::vector<std::string>{second, first}));
}

TEST_F(MusicMixer, APlaylistPassesOverTracksThatCannotBePlayed) {
    const std::string good = MakeToneMp3(Dir, "good", 9, 400, 16000, 1);
    WriteAll(Dir / "broken.mp3", "no music here");
    Mixer->AddToPlaylist(good);
    Mixer->AddToPlaylist(Dir / "broken.mp3");
    Mixer->AddToPlaylist(Dir / "gone.mp3");
    Mixer->PlayPlaylistItem(0);
    ASSERT_TRUE(Opened());
    ASSERT_TRUE(PlayUntil([&] { return Mixer->CurrentIndex() != 0; }));
    ASSERT_TRUE(PlayUntil([&] { return Mixer->CurrentIndex() == 0 && Mixer->Playing(); }));

    // Nothing playable at all: playing stops, no endless search.
    Mixer->Remove(0);
    Mixer->PlayPlaylistItem(0);
    ASSERT_TRUE(Opened());
    EXPECT_FALSE(Mixer->Playing());
    EXPECT_NE(Status.find("broken.mp3"), std::string::npos) << Status;
    EXPECT_EQ(Mixer->Track(), nullptr);
    EXPECT_FALSE(Mixer->PlayEnabled());
    Mixer->Play(); // no track: nothing happens
    Card.PlayAll();
    EXPECT_FALSE(Mixer->Playing());
}

TEST_F(MusicMixer, ABrowserTrackStopsAtItsEndAndStartsOverOnPlay) {
    Mixer->PlayFile(MakeToneMp3(Dir, "once", 2, 400, 16000, 1));
    ASSERT_TRUE(Opened());
    EXPECT_EQ(Mixer->CurrentIndex(), -1);
    Card.PlayAll();
    EXPECT_FALSE(Mixer->Playing());
    EXPECT_FALSE(TimerOn);
    EXPECT_EQ(Mixer->PlayingTime(), 0);
    EXPECT_EQ(Mixer->Track()->Position(), 0);
    EXPECT_TRUE(Mixer->PlayEnabled());
    Mixer->Play();
    EXPECT_TRUE(Mixer->Playing());
    EXPECT_EQ(Card.Written.size(), 1u);
}

TEST_F(MusicMixer, PlayDoesNothingWhileTheDecoderHasNoMoreData) {
    Mixer->PlayFile(MakeToneMp3(Dir, "short", 3, 400, 16000, 1));
    ASSERT_TRUE(Opened());
    EXPECT_FALSE(Mixer->Track()->Active()); // decoded ahead to its end
    Mixer->Pause();
    EXPECT_FALSE(Mixer->Playing());
    EXPECT_TRUE(Mixer->PlayEnabled());
    Mixer->Play();
    EXPECT_FALSE(Mixer->Playing());
    EXPECT_TRUE(Card.Written.empty());
}

TEST_F(MusicMixer, StopReturnsToTheStartAndPauseKeepsThePlace) {
    Mixer->PlayFile(MakeToneMp3(Dir, "long", 60, 400, 16000, 1));
    ASSERT_TRUE(Opened());
    Card.PlayOneBuffer();
    Mixer->TimerMonitorPlaybackTimer();
    EXPECT_EQ(Mixer->PlayingTime(), 8);
    Mixer->Pause();
    EXPECT_FALSE(Mixer->Playing());
    EXPECT_EQ(Mixer->MusicAhead(), 0);
    EXPECT_EQ(Mixer->PlayingTime(), 8);
    Mixer->Play();
    EXPECT_TRUE(Mixer->Playing());
    Mixer->TimerMonitorPlaybackTimer();
    EXPECT_EQ(Mixer->PlayingTime(), 8);
    Mixer->Stop();
    EXPECT_EQ(Mixer->PlayingTime(), 0);
    EXPECT_EQ(Mixer->Track()->Position(), 0);
    EXPECT_FALSE(Mixer->StopEnabled());
}

TEST_F(MusicMixer, WhileTheSliderIsDraggedTheTimerLeavesItAloneAndTheReleaseSeeks) {
    Mixer->PlayFile(MakeToneMp3(Dir, "long", 30, 400, 16000, 1));
    ASSERT_TRUE(Opened());
    Card.PlayOneBuffer();
    Mixer->BeginTracking();
    Mixer->SetPlayingTime(20);
    Mixer->TimerMonitorPlaybackTimer();
    EXPECT_EQ(Mixer->PlayingTime(), 20);
    Mixer->EndTracking();
    EXPECT_FALSE(Mixer->Tracking());
    EXPECT_TRUE(Mixer->Playing());
    // Local playback and the cast's music restart from the chosen second.
    EXPECT_NEAR(double(Mixer->MusicAhead()), 10.0 * 16000 * 2, 16000 * 2 * 0.1);
    Mixer->TimerMonitorPlaybackTimer();
    EXPECT_EQ(Mixer->PlayingTime(), 20);
    Card.PlayOneBuffer();
    Mixer->TimerMonitorPlaybackTimer();
    EXPECT_EQ(Mixer->PlayingTime(), 28);

    // Dragged to the end: nothing is left, nothing starts.
    Mixer->Pause();
    Mixer->BeginTracking();
    Mixer->SetPlayingTime(31);
    EXPECT_EQ(Mixer->PlayingTime(), 30);
    Mixer->EndTracking();
    EXPECT_FALSE(Mixer->Playing());
}

TEST_F(MusicMixer, TheMusicVolumeSetsTheLocalLevelInBothChannels) {
    Mixer->SetMusicVolume(20, 100);
    EXPECT_DOUBLE_EQ(Mixer->MusicFactor(), 0.2);
    Mixer->PlayFile(MakeToneMp3(Dir, "tone", 1, 400, 16000, 1));
    ASSERT_TRUE(Opened());
    EXPECT_EQ(Card.Volume, 13107u * 65537u); // a new output starts at the slider's level
    Mixer->SetMusicVolume(100, 100);
    EXPECT_EQ(Card.Volume, 0xFFFFFFFFu);
    Mixer->SetMusicVolume(0, 100);
    EXPECT_EQ(Card.Volume, 0u);
}

TEST_F(MusicMixer, TheMusicFollowsTheRecordingFormatInForce) {
    Mixer->PlayFile(MakeToneMp3(Dir, "tone", 20, 400, 44100, 2));
    ASSERT_TRUE(Opened());
    EXPECT_NEAR(double(Mixer->MusicAhead()), 20.0 * 16000 * 2, 16000 * 2 * 0.1);
    AudioIndex = 4; // a new run at 16000 Hz stereo
    Mixer->Stop();
    Mixer->Play();
    EXPECT_NEAR(double(Mixer->MusicAhead()), 20.0 * 16000 * 4, 16000 * 4 * 0.1);
}

TEST_F(MusicMixer, MusicThatNothingTakesIsBoundedAndTheCastGetsTheLatest) {
    AudioIndex = 4; // 16000 Hz stereo: the most bytes a second
    Mixer->AddToPlaylist(MakeToneMp3(Dir, "loop", 60, 400, 16000, 2));
    Mixer->PlayPlaylistItem(0);
    ASSERT_TRUE(Opened());
    const int64_t limit = Mixer->MusicAheadLimit();
    EXPECT_EQ(limit, 40 * 16000 * 4); // the output's four pieces and one more
    // Ten minutes of the playlist going round with no capture taking the music.
    int64_t most = 0;
    for (int piece = 0; piece < 10 * 60 / 8; ++piece) {
        ASSERT_TRUE(PlayNext()) << piece;
        Card.Heard.clear();
        most = std::max(most, Mixer->MusicAhead());
    }
    EXPECT_LE(most, limit);
    EXPECT_GT(most, limit * 3 / 4);
    // A capture that starts now mixes in whole frames of the track still playing.
    const std::vector<int16_t> mixed = Mix(0, 16000 * 2);
    EXPECT_NEAR(ToneAmplitude(
                    Channel(reinterpret_cast<const uint8_t*>(mixed.data()), mixed.size() * 2, 2, 1),
                    16000, 400),
                16384, 1500);
}

TEST_F(MusicMixer, ATrackThatChangesFormatMidwayReachesTheCastAsOneTone) {
    const std::string first = MakeToneMp3(Dir, "first", 3, 500, 44100, 2);
    const std::string second = MakeToneMp3(Dir, "second", 3, 500, 22050, 1);
    WriteAll(Dir / "joined.mp3", ReadAll(first) + ReadAll(second));
    Mixer->PlayFile(Dir / "joined.mp3");
    ASSERT_TRUE(Opened());
    ASSERT_TRUE(Mixer->Playing()) << Status;
    const std::vector<int16_t> music = Mix(0, 6 * 16000);
    for (const int second : {1, 4}) {
        const std::vector<int16_t> part(music.begin() + second * 16000,
                                        music.begin() + (second + 1) * 16000);
        EXPECT_NEAR(ToneAmplitude(part, 16000, 500), 16384, 1500) << second;
    }
}

TEST_F(MusicMixer, TracksOpenAwayFromTheMainThreadAndOnlyTheLatestPlays) {
    // A file that gives nothing until someone writes into it: opened on the
    // main thread, it would hold the test here until the writer gives up.
    const std::string slow = Dir / "slow.mp3";
    ASSERT_EQ(::mkfifo(slow.c_str(), 0600), 0);
    // Small enough for the pipe to take it whole whatever the reader does.
    const std::string music = ReadAll(MakeToneMp3(Dir, "music", 1, 400, 16000, 1));
    std::promise<void> returned;
    bool writtenAfterReturn = false;
    std::thread writer([&, returning = returned.get_future()] {
        writtenAfterReturn =
            returning.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
        WriteAll(slow, music);
    });
    Mixer->PlayFile(slow);
    returned.set_value();
    EXPECT_EQ(Status, "slow.mp3");
    EXPECT_TRUE(Mixer->Opening());
    EXPECT_FALSE(Mixer->PlayEnabled());
    writer.join();
    EXPECT_TRUE(writtenAfterReturn);
    ASSERT_TRUE(Opened());

    // A second open while the first is under way: only the second plays.
    const std::string shorter = MakeToneMp3(Dir, "shorter", 3, 400, 16000, 1);
    const std::string longer = MakeToneMp3(Dir, "longer", 9, 400, 16000, 1);
    Mixer->PlayFile(longer);
    Mixer->PlayFile(shorter);
    ASSERT_TRUE(Opened());
    EXPECT_EQ(Status, "shorter.mp3");
    EXPECT_EQ(Mixer->PlayingTimeMax(), 3);
    EXPECT_TRUE(Mixer->Playing());

    // Stop while a track opens: it does not start afterwards.
    Mixer->PlayFile(longer);
    Mixer->Stop();
    EXPECT_FALSE(Mixer->Opening());
    ASSERT_TRUE(Card.WaitForTask(std::chrono::seconds(60)));
    Card.RunTasks();
    EXPECT_FALSE(Mixer->Playing());
    EXPECT_EQ(Mixer->Track(), nullptr);
}

TEST_F(MusicMixer, ThePlaylistFileIsRewrittenOnEveryChangeAndReadBack) {
    Mixer->AddToPlaylist("/music/a b.mp3");
    EXPECT_EQ(ReadAll(Dir / "playlist.txt"), "/music/a b.mp3\r\n");
    Mixer->AddToPlaylist("/music/c.mp3");
    Mixer->AddToPlaylist("/music/d.mp3");
    EXPECT_EQ(Mixer->MoveUp(2), 1);
    EXPECT_EQ(ReadAll(Dir / "playlist.txt"), "/music/a b.mp3\r\n/music/d.mp3\r\n/music/c.mp3\r\n");
    EXPECT_EQ(Mixer->MoveUp(0), 0);
    EXPECT_EQ(Mixer->MoveDown(2), 2);
    EXPECT_EQ(Mixer->Remove(2), 1); // the last removed: the new last is selected
    EXPECT_EQ(Mixer->Remove(0), 0);
    EXPECT_EQ(ReadAll(Dir / "playlist.txt"), "/music/d.mp3\r\n");
    Mixer.reset();
    Mixer = NewMixer();
    EXPECT_EQ(Mixer->Playlist(), std::vector<std::string>{"/music/d.mp3"});
    EXPECT_EQ(Mixer->Remove(0), -1);
    EXPECT_EQ(ReadAll(Dir / "playlist.txt"), "");
}

TEST(PlaylistFile, BlankLinesAndBareLineFeedsAreTakenInStride) {
    ScratchDir dir;
    WriteAll(dir / "playlist.txt", "/a.mp3\r\n\r\n   \r\n/b.mp3\n\n/c d.mp3");
    EXPECT_EQ(LoadPlaylist(dir / "playlist.txt"),
              (std::vector<std::string>{"/a.mp3", "/b.mp3", "/c d.mp3"}));
    EXPECT_TRUE(LoadPlaylist(dir / "none.txt").empty());

    // A directory that cannot be written: the old file stays and the caller hears of it.
    EXPECT_FALSE(SavePlaylist(dir / "no/such/dir/playlist.txt", {"/x.mp3"}));
    EXPECT_TRUE(SavePlaylist(dir / "playlist.txt", {"/x.mp3"}));
    EXPECT_EQ(ReadAll(dir / "playlist.txt"), "/x.mp3\r\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "playlist.txt.new"));
}
