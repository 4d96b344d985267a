// The format converter: its errors, and rate, channel and width conversion of a sine.

#include "MixerTestFiles.h"
#include "mixer/UnitACMConvertor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {
TRecordingFormat Pcm(int channels, int rate, int bits) {
    TRecordingFormat format;
    format.Channels = static_cast<uint16_t>(channels);
    format.SamplesPerSec = static_cast<uint32_t>(rate);
    format.BitsPerSample = static_cast<uint16_t>(bits);
    format.BlockAlign = static_cast<uint16_t>(channels * bits / 8);
    format.AvgBytesPerSec = format.BlockAlign * format.SamplesPerSec;
    return format;
}

std::string ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EACMConvertor& error) {
        return error.what();
    }
    return "(none)";
}

// A 16-bit sine in the converter's input format, continuing from frame `start`.
int FillSine(TACMConvertor& converter, int64_t start, int frames, double frequency) {
    const TRecordingFormat& in = converter.ACMFormatIn;
    uint8_t* at = converter.InputBuffer();
    for (int f = 0; f < frames; ++f)
        for (int c = 0; c < in.Channels; ++c) {
            const double value =
                0.5 * std::sin(2 * M_PI * frequency * double(start + f) / in.SamplesPerSec);
            if (in.BitsPerSample == 8) {
                *at++ = static_cast<uint8_t>(std::lrint(value * 127) + 128);
            } else {
                const auto sample = static_cast<int16_t>(std::lrint(value * 32767));
                std::memcpy(at, &sample, 2);
                at += 2;
            }
        }
    return frames * in.BlockAlign;
}

// The largest step between neighbouring samples, leaving out 5 ms at either
// end: the sine starts and stops with a cut, which a faithful filter rings
// at; the joints between pieces lie in between.
int LargestStepInside(const std::vector<int16_t>& samples, int rate) {
    const size_t edge = size_t(rate / 200);
    int largest = 0;
    for (size_t i = edge; i + edge < samples.size(); ++i)
        largest = std::max(largest, std::abs(samples[i] - samples[i - 1]));
    return largest;
}
} // namespace

TEST(ACMConvertor, RaisesItsErrorsWithTheirTexts) {
    TACMConvertor converter;
    EXPECT_EQ(converter.InputBufferSize(), 2048);
    EXPECT_FALSE(converter.UseRealTime());
    EXPECT_EQ(converter.ACMFormatIn.SamplesPerSec, 22050u);
    EXPECT_EQ(converter.ACMFormatOut.BitsPerSample, 8);
    EXPECT_EQ(ErrorOf([&] { converter.Convert(10); }),
              "acmStreamConvert: The specified handle is invalid.");

    converter.SetActive(true);
    converter.SetActive(true); // the same state again does nothing
    EXPECT_EQ(ErrorOf([&] { converter.SetInputBufferSize(4096); }),
              "You cannot change the buffer size while active.");
    EXPECT_EQ(ErrorOf([&] { converter.SetUseRealTime(true); }),
              "You cannot change the real time flag while active.");
    EXPECT_EQ(ErrorOf([&] { converter.Convert(2049); }),
              "acmStreamConvert: At least one parameter is invalid.");
    EXPECT_EQ(ErrorOf([&] { converter.Convert(-1); }),
              "acmStreamConvert: At least one parameter is invalid.");
    converter.SetActive(false);
    converter.SetInputBufferSize(4096);
    EXPECT_EQ(converter.InputBufferSize(), 4096);

    converter.ACMFormatIn = Pcm(3, 44100, 16);
    EXPECT_EQ(ErrorOf([&] { converter.SetActive(true); }),
              "acmStreamOpen: The requested operation cannot be performed.");
    converter.ACMFormatIn = Pcm(2, 44100, 24);
    EXPECT_EQ(ErrorOf([&] { converter.SetActive(true); }),
              "acmStreamOpen: The requested operation cannot be performed.");
    EXPECT_FALSE(converter.Active());
    EXPECT_EQ(ACMErrorMessage("acmStreamReset", 99),
              "acmStreamReset raised an unknown error (code #99)");
    EXPECT_EQ(ACMErrorMessage("acmStreamSize:", 7),
              "acmStreamSize: The system is unable to allocate resources.");
}

TEST(ACMConvertor, ConvertsRateChannelsAndWidthKeepingTheTone) {
    struct Case {
        TRecordingFormat In, Out;
    };
    const double frequency = 700;
    for (const Case c :
         {Case{Pcm(2, 44100, 16), Pcm(1, 11025, 16)}, Case{Pcm(1, 22050, 16), Pcm(2, 16000, 16)},
          Case{Pcm(2, 48000, 16), Pcm(1, 22050, 16)}, Case{Pcm(1, 16000, 8), Pcm(1, 16000, 16)},
          Case{Pcm(2, 22050, 16), Pcm(1, 22050, 8)}}) {
        SCOPED_TRACE(std::to_string(c.In.SamplesPerSec) + " to " +
                     std::to_string(c.Out.SamplesPerSec));
        TACMConvertor converter;
        converter.ACMFormatIn = c.In;
        converter.ACMFormatOut = c.Out;
        converter.SetInputBufferSize(int(c.In.AvgBytesPerSec)); // one second
        converter.SetActive(true);
        const int frames = int(c.In.SamplesPerSec);
        std::vector<int16_t> first;
        // The filter holds its delay back until the end of the stream lets it out.
        for (const int count : {FillSine(converter, 0, frames, frequency), 0}) {
            const int bytes = converter.Convert(count);
            ASSERT_LE(bytes, converter.OutputBufferSize());
            for (int f = 0; f < bytes / c.Out.BlockAlign; ++f) {
                const uint8_t* at = converter.OutputBuffer() + f * c.Out.BlockAlign;
                int16_t sample;
                if (c.Out.BitsPerSample == 8) {
                    sample = static_cast<int16_t>((at[0] - 128) * 256);
                } else {
                    std::memcpy(&sample, at, 2);
                }
                first.push_back(sample);
            }
        }
        EXPECT_NEAR(double(first.size()), double(c.Out.SamplesPerSec), c.Out.SamplesPerSec * 0.01);
        EXPECT_NEAR(ToneAmplitude(first, int(c.Out.SamplesPerSec), frequency), 16384, 1200);
        EXPECT_LT(ToneAmplitude(first, int(c.Out.SamplesPerSec), frequency * 1.3), 400);
    }
}

// Music is converted eight seconds at a time; the pieces of one track must
// join without a step larger than the sine itself makes.
TEST(ACMConvertor, PiecesOfOneStreamJoinWithoutAStep) {
    for (const TRecordingFormat out : {Pcm(1, 11025, 16), Pcm(1, 22050, 16), Pcm(2, 16000, 16)}) {
        SCOPED_TRACE(out.SamplesPerSec);
        TACMConvertor converter;
        converter.ACMFormatIn = Pcm(2, 44100, 16);
        converter.ACMFormatOut = out;
        const int piece = int(converter.ACMFormatIn.AvgBytesPerSec) * 8;
        converter.SetInputBufferSize(piece);
        converter.SetActive(true);
        const double frequency = 440;
        std::vector<int16_t> left;
        int64_t frame = 0;
        for (int p = 0; p < 3; ++p) {
            const int frames = (piece - 2) / converter.ACMFormatIn.BlockAlign;
            const int bytes = converter.Convert(FillSine(converter, frame, frames, frequency));
            frame += frames;
            const std::vector<int16_t> got =
                Channel(converter.OutputBuffer(), size_t(bytes), out.Channels);
            left.insert(left.end(), got.begin(), got.end());
        }
        const int bytes = converter.Convert(0); // the end lets out the filter's tail
        const std::vector<int16_t> tail =
            Channel(converter.OutputBuffer(), size_t(bytes), out.Channels);
        left.insert(left.end(), tail.begin(), tail.end());

        EXPECT_NEAR(double(left.size()), double(frame) * out.SamplesPerSec / 44100, 2);
        const double sineStep = 16384 * 2 * M_PI * frequency / out.SamplesPerSec;
        EXPECT_LT(LargestStepInside(left, int(out.SamplesPerSec)), sineStep * 1.05);
    }
}

// However a track is cut, its end lets out all the filter still holds (more
// than a small piece's room when the rate goes up): the track keeps its
// length at the new rate, its pieces join without a step, and the next track
// (or a jump) starts afresh.
TEST(ACMConvertor, TracksCutIntoPiecesOfAnySizeKeepTheirLength) {
    struct Case {
        int InRate, OutRate, Channels, PieceFrames;
        bool RealTime;
    };
    const double frequency = 440;
    for (const Case c : {Case{44100, 11025, 1, 64, true}, Case{44100, 22050, 2, 1000, true},
                         Case{48000, 16000, 1, 4097, false}, Case{8000, 22050, 2, 64, false},
                         Case{22050, 16000, 1, 22050 * 8, true}}) {
        SCOPED_TRACE(std::to_string(c.InRate) + " to " + std::to_string(c.OutRate) + " in " +
                     std::to_string(c.PieceFrames));
        TACMConvertor converter;
        converter.ACMFormatIn = Pcm(c.Channels, c.InRate, 16);
        converter.ACMFormatOut = Pcm(c.Channels, c.OutRate, 16);
        converter.SetInputBufferSize(c.PieceFrames * converter.ACMFormatIn.BlockAlign);
        converter.SetUseRealTime(c.RealTime);
        converter.SetActive(true);
        const int64_t trackFrames = 3 * int64_t{c.InRate};
        std::vector<int16_t> firstTrack;
        for (int track = 0; track < 2; ++track) {
            if (track == 1) { // a jump away from a piece of another tone forgets it
                converter.Convert(FillSine(converter, 0, c.PieceFrames, frequency * 1.7));
                converter.Reset();
            }
            std::vector<int16_t> left;
            for (int64_t frame = 0;;) {
                const int frames = int(std::min<int64_t>(c.PieceFrames, trackFrames - frame));
                const int bytes =
                    converter.Convert(frames ? FillSine(converter, frame, frames, frequency) : 0);
                const std::vector<int16_t> got =
                    Channel(converter.OutputBuffer(), size_t(bytes), c.Channels);
                left.insert(left.end(), got.begin(), got.end());
                frame += frames;
                if (frames == 0)
                    break;
            }
            EXPECT_NEAR(double(left.size()), 3.0 * c.OutRate, 1);
            EXPECT_LT(LargestStepInside(left, c.OutRate),
                      16384 * 2 * M_PI * frequency / c.OutRate * 1.05);
            if (track == 0)
                firstTrack = left;
            else
                EXPECT_EQ(left, firstTrack);
        }
    }
}
