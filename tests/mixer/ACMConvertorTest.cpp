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
        const int bytes = converter.Convert(FillSine(converter, 0, frames, frequency));
        const int outFrames = bytes / c.Out.BlockAlign;
        EXPECT_NEAR(outFrames, double(c.Out.SamplesPerSec), c.Out.SamplesPerSec * 0.01);
        ASSERT_LE(bytes, converter.OutputBufferSize());
        std::vector<int16_t> first;
        for (int f = 0; f < outFrames; ++f) {
            const uint8_t* at = converter.OutputBuffer() + f * c.Out.BlockAlign;
            int16_t sample;
            if (c.Out.BitsPerSample == 8) {
                sample = static_cast<int16_t>((at[0] - 128) * 256);
            } else {
                std::memcpy(&sample, at, 2);
            }
            first.push_back(sample);
        }
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
        int largest = 0;
        for (size_t i = 1; i < left.size(); ++i)
            largest = std::max(largest, std::abs(left[i] - left[i - 1]));
        const double sineStep = 16384 * 2 * M_PI * frequency / out.SamplesPerSec;
        EXPECT_LT(largest, sineStep * 1.05);
    }
}
