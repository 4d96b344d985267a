#include "audio/UnitAudioConv.h"
#include "audio/UnitAudioQuality.h"
#include "audio/UnitCaptureErrors.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

TEST(AudioQuality, ListTextsAndFallbackForIndexesOutsideTheTable) {
    const char* texts[] = {
        "11025 Hz, 24 kbit, Mono [LOW CPU USAGE]",    "11025 Hz, 20 kbit, Mono [HIGH CPU USAGE]",
        "11025 Hz, 24 kbit, Stereo [HIGH CPU USAGE]", "16000 Hz, 20 kbit, Mono [HIGH CPU USAGE]",
        "16000 Hz, 24 kbit, Stereo [HIGH CPU USAGE]", "22050 Hz, 20 kbit, Mono [HIGH CPU USAGE]",
    };
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(AudioQualityText(AudioQualities[i]), texts[i]);
    EXPECT_EQ(AudioQualityText({2, 8000, 9999, 3}), "8000 Hz, 9 kbit, ? ");

    for (int index : {-1, 6, 1000})
        EXPECT_EQ(&AudioQuality(index), &AudioQualities[0]) << index;
    EXPECT_EQ(&AudioQuality(5), &AudioQualities[5]);
}

TEST(AudioQuality, RecordingFormatIs16BitPcmOfTheEntry) {
    const TRecordingFormat stereo = MakeRecordingFormat(AudioQualities[4]);
    EXPECT_EQ(stereo.FormatTag, 1);
    EXPECT_EQ(stereo.Channels, 2);
    EXPECT_EQ(stereo.SamplesPerSec, 16000u);
    EXPECT_EQ(stereo.BlockAlign, 4);
    EXPECT_EQ(stereo.AvgBytesPerSec, 64000u);
    EXPECT_EQ(stereo.BitsPerSample, 16);
    EXPECT_EQ(stereo.ExtraSize, 0);
    EXPECT_EQ(MakeRecordingFormat(AudioQualities[0]).AvgBytesPerSec, 22050u);
}

TEST(AudioConv, SplitsChannelsScalesAndIgnoresAPartialFrame) {
    // Stereo frames (L, R): (-32768, 16384), (32767, -1), then one stray byte.
    const std::vector<uint8_t> pcm = {0x00, 0x80, 0x00, 0x40, 0xFF, 0x7F, 0xFF, 0xFF, 0x12};
    std::vector<float> left(2), right(2);
    float* planes[] = {left.data(), right.data()};
    ASSERT_EQ(ConvertToPlanar(planes, pcm.data(), static_cast<int>(pcm.size()), 2, 16), 2);
    EXPECT_EQ(left, (std::vector<float>{-1.0f, 32767.0f / 32768.0f}));
    EXPECT_EQ(right, (std::vector<float>{0.5f, -1.0f / 32768.0f}));

    std::vector<uint8_t> block(4098);
    std::vector<float> l(1024), r(1024);
    float* big[] = {l.data(), r.data()};
    EXPECT_EQ(ConvertToPlanar(big, block.data(), 4096, 2, 16), 1024);
    EXPECT_EQ(ConvertToPlanar(big, block.data(), 4098, 2, 16), 1024);
    EXPECT_THROW(ConvertToPlanar(big, block.data(), 4096, 2, 8), std::invalid_argument);
}

TEST(CaptureErrors, WaveInMessagesNameTheCallAndTheCode) {
    EXPECT_STREQ(EACMIn("WaveIn-Open", 32).what(), "WaveIn-Open Unsupported audio format.");
    EXPECT_EQ(WaveInErrorMessage("WaveInAddBuffer", 514),
              "WaveInAddBuffer Cannot perform this action on a header that has not been prepared.");
    EXPECT_EQ(WaveInErrorMessage("WaveIn-Start", 4),
              "WaveIn-Start The specified resource is already in use.");
    EXPECT_EQ(WaveInErrorMessage("WaveIn-PrepareHeader", 3),
              "WaveIn-PrepareHeader raised an unknown error (code #3)");
}
