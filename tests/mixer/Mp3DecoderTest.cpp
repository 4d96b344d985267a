// The MP3 decoder on files made by sox and lame, and on files that are not MP3 audio.

#include "mixer/Mp3Decoder.h"
#include "MixerTestFiles.h"

#include <gtest/gtest.h>

namespace {
// lame and mpg123 agree on the gapless length; allow one MP3 frame either way.
constexpr int64_t FrameSlack = 1152;

std::vector<uint8_t> DecodeAll(TMp3Decoder& decoder) {
    std::vector<uint8_t> all;
    std::vector<uint8_t> piece(10000);
    while (decoder.Active()) {
        const int got = decoder.GetData(piece.data(), static_cast<int>(piece.size()) - 2);
        EXPECT_EQ(got % decoder.BlockAlign(), 0);
        all.insert(all.end(), piece.begin(), piece.begin() + got);
    }
    return all;
}

void ExpectMessageNames(const std::string& path) {
    try {
        TMp3Decoder decoder(path);
        ADD_FAILURE() << path << " opened";
    } catch (const EMp3Decoder& error) {
        EXPECT_NE(std::string(error.what()).find(path), std::string::npos) << error.what();
    }
}
} // namespace

TEST(Mp3Decoder, DecodesLengthFormatAndToneOfStereoAndMonoFiles) {
    ScratchDir dir;
    struct Case {
        int Rate, Channels;
        double Seconds, Frequency;
    };
    for (const Case c :
         {Case{44100, 2, 3.0, 1000}, Case{22050, 1, 2.5, 440}, Case{11025, 1, 2, 300}}) {
        SCOPED_TRACE(c.Rate);
        TMp3Decoder decoder(MakeToneMp3(dir, "tone", c.Seconds, c.Frequency, c.Rate, c.Channels));
        EXPECT_EQ(decoder.Rate(), c.Rate);
        EXPECT_EQ(decoder.Mono(), c.Channels == 1);
        EXPECT_FALSE(decoder.EightBit());
        EXPECT_NEAR(decoder.BytesToSeconds(decoder.Length()), c.Seconds,
                    double(FrameSlack) / c.Rate);
        EXPECT_EQ(decoder.SecondsToBytes(1.0), int64_t(c.Rate) * c.Channels * 2);

        const std::vector<uint8_t> pcm = DecodeAll(decoder);
        EXPECT_EQ(int64_t(pcm.size()), decoder.Length());
        EXPECT_EQ(decoder.Position(), decoder.Length());
        const std::vector<int16_t> left = Channel(pcm.data(), pcm.size(), c.Channels);
        EXPECT_NEAR(ToneAmplitude(left, c.Rate, c.Frequency), 16384, 1500);
        EXPECT_LT(ToneAmplitude(left, c.Rate, c.Frequency * 1.5), 500);
        EXPECT_EQ(decoder.GetData(std::vector<uint8_t>(100).data(), 100), 0);
    }
}

TEST(Mp3Decoder, SeeksInBytesAndDecodesTheRestFromThere) {
    ScratchDir dir;
    TMp3Decoder decoder(MakeToneMp3(dir, "tone", 4, 500, 22050, 2));
    const int64_t second = decoder.SecondsToBytes(1.0);
    decoder.SetPosition(second + 3); // within a frame: taken back to its start
    EXPECT_EQ(decoder.Position(), second);
    EXPECT_EQ(int64_t(DecodeAll(decoder).size()), decoder.Length() - second);
    EXPECT_FALSE(decoder.Active());

    decoder.SetPosition(0);
    EXPECT_TRUE(decoder.Active());
    EXPECT_EQ(int64_t(DecodeAll(decoder).size()), decoder.Length());

    decoder.SetPosition(decoder.Length() + 100000); // beyond the end: at the end
    EXPECT_FALSE(decoder.Active());
    decoder.SetPosition(-5);
    EXPECT_EQ(decoder.Position(), 0);
}

TEST(Mp3Decoder, RefusesFilesWithoutMp3AudioWithAMessageNamingThem) {
    ScratchDir dir;
    WriteAll(dir / "notes.mp3", "These are my notes, not music.\n");
    WriteAll(dir / "empty.mp3", "");
    WriteAll(dir / "zeros.mp3", std::string(50000, '\0'));
    for (const char* name : {"notes.mp3", "empty.mp3", "zeros.mp3", "missing.mp3"})
        ExpectMessageNames(dir / name);
    ExpectMessageNames(dir.Path.string()); // a directory
}

TEST(Mp3Decoder, ACutOffFileDecodesWhatItHolds) {
    ScratchDir dir;
    const std::string whole = ReadAll(MakeToneMp3(dir, "tone", 4, 440, 44100, 2));
    WriteAll(dir / "cut.mp3", whole.substr(0, whole.size() / 2 + 77));
    TMp3Decoder decoder(dir / "cut.mp3");
    EXPECT_NEAR(decoder.BytesToSeconds(decoder.Length()), 2.0, 0.2);
    EXPECT_EQ(int64_t(DecodeAll(decoder).size()), decoder.Length());

    WriteAll(dir / "head.mp3", whole.substr(0, 300)); // not even one whole frame of audio
    try {
        TMp3Decoder head(dir / "head.mp3");
        EXPECT_LE(head.Length(), FrameSlack * 4);
        DecodeAll(head);
    } catch (const EMp3Decoder&) {
        // refused is as good as short
    }
}

TEST(Mp3Decoder, AFileThatChangesFormatMidwayComesOutInTheFormatItStartsIn) {
    ScratchDir dir;
    struct Part {
        int Rate, Channels;
    };
    // Both parts carry the same tone: read in the wrong format, the second
    // part would sound an octave (or more) off and last the wrong time.
    constexpr double Seconds = 2, Frequency = 1000;
    for (const auto& [first, second] :
         {std::pair{Part{44100, 2}, Part{22050, 1}}, std::pair{Part{22050, 1}, Part{44100, 2}},
          std::pair{Part{16000, 1}, Part{48000, 2}}, std::pair{Part{48000, 2}, Part{16000, 2}}}) {
        SCOPED_TRACE(std::to_string(first.Rate) + " then " + std::to_string(second.Rate));
        WriteAll(
            dir / "joined.mp3",
            ReadAll(MakeToneMp3(dir, "a", Seconds, Frequency, first.Rate, first.Channels)) +
                ReadAll(MakeToneMp3(dir, "b", Seconds, Frequency, second.Rate, second.Channels)));
        TMp3Decoder decoder(dir / "joined.mp3");
        EXPECT_EQ(decoder.Rate(), first.Rate);
        EXPECT_EQ(decoder.Mono(), first.Channels == 1);
        const std::vector<uint8_t> pcm = DecodeAll(decoder);
        EXPECT_TRUE(decoder.Failure().empty()) << decoder.Failure();
        // Position and length count what came out, not the frames' own samples.
        EXPECT_EQ(decoder.Position(), static_cast<int64_t>(pcm.size()));
        EXPECT_GE(decoder.Length(), decoder.Position());
        const int rate = first.Rate;
        const std::vector<int16_t> left = Channel(pcm.data(), pcm.size(), first.Channels);
        EXPECT_NEAR(double(left.size()) / rate, 2 * Seconds, 0.15);
        // A second from each part, away from the joint.
        for (const double start : {0.5, Seconds + 0.5}) {
            const std::vector<int16_t> second(left.begin() + long(start * rate),
                                              left.begin() + long((start + 1) * rate));
            EXPECT_NEAR(ToneAmplitude(second, rate, Frequency), 16384, 1500) << start;
            for (const double wrong : {Frequency / 2, Frequency * 2})
                EXPECT_LT(ToneAmplitude(second, rate, wrong), 500) << start << " " << wrong;
        }
    }
}
