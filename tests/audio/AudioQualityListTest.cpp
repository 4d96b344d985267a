#include "QtTestApplication.h"

#include "audio/UnitACMIn.h"
#include "audio/UnitAudioCapture.h"
#include "audio/UnitAudioQualityList.h"
#include "audio/UnitEncodingThread.h"

#include "platform/PumpedSyncContext.h"

#include <QComboBox>
#include <gtest/gtest.h>

TEST(AudioQualityList, FillsTheSixEntriesAndSelectsAValidIndex) {
    TestApplication();
    QComboBox comboBoxAudioRate;
    comboBoxAudioRate.addItem("left over");
    FillAudioQualityList(comboBoxAudioRate, 3);
    ASSERT_EQ(comboBoxAudioRate.count(), 6);
    EXPECT_EQ(comboBoxAudioRate.itemText(0).toStdString(),
              "11025 Hz, 24 kbit, Mono [LOW CPU USAGE]");
    EXPECT_EQ(comboBoxAudioRate.itemText(4).toStdString(),
              "16000 Hz, 24 kbit, Stereo [HIGH CPU USAGE]");
    EXPECT_EQ(comboBoxAudioRate.currentIndex(), 3);

    for (int stored : {-1, 6, 42}) {
        FillAudioQualityList(comboBoxAudioRate, stored);
        EXPECT_EQ(comboBoxAudioRate.count(), 6);
        EXPECT_EQ(comboBoxAudioRate.currentIndex(), 0) << stored;
    }
}

TEST(AudioCapture, AnUnknownRecordingTypeCapturesNothing) {
    TestApplication();
    TAudioCapture capture(-1);
    capture.SelectRecordingFormat(2);
    capture.Start();
    EXPECT_FALSE(capture.Running());
    EXPECT_EQ(capture.SoundCaptureStream(), nullptr);
    EXPECT_EQ(capture.ACMIn(), nullptr);
}

TEST(AudioCapture, PacketsAreTaggedMixedInPlaceAndQueuedOnlyWhileFilming) {
    TestApplication();
    PumpedSyncContext sync;
    TEncodingThread encoder(sync, "/nonexistent/", 0); // never started: only its queue is used
    TAudioCapture capture(1);
    capture.SetEncoder(&encoder);
    int mixed = 0;
    capture.SetMixHook([&](uint8_t* data, int size) {
        ++mixed;
        for (int i = 0; i < size; ++i)
            data[i] = static_cast<uint8_t>(data[i] + 1);
    });

    std::vector<uint8_t> packet = {10, 20, 30, 40};
    capture.WaveInPacketReady(*capture.ACMIn(), packet.data(), 4);
    EXPECT_EQ(mixed, 0);
    {
        TBlockQueueLock lock(encoder);
        EXPECT_EQ(lock.Blocks().Count(), 0);
    }

    capture.SetCaptureSection(4);
    capture.WaveInPacketReady(*capture.ACMIn(), packet.data(), 4);
    capture.SetEncoder(nullptr); // no encoder: mixed, not queued
    capture.WaveInPacketReady(*capture.ACMIn(), packet.data(), 4);
    EXPECT_EQ(mixed, 2);
    EXPECT_EQ(packet, (std::vector<uint8_t>{12, 22, 32, 42}));
    TBlockQueueLock lock(encoder);
    ASSERT_EQ(lock.Blocks().Count(), 1);
    const TMemoryBlock& block = lock.Blocks().GetBlock(0);
    EXPECT_EQ(block.Kind, BlockKindAudio);
    EXPECT_EQ(block.Section, 4);
    ASSERT_EQ(block.Size, 4);
    EXPECT_EQ(std::vector<uint8_t>(block.Data.get(), block.Data.get() + 4),
              (std::vector<uint8_t>{11, 21, 31, 41}));
}
