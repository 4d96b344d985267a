#include "QtTestApplication.h"

#include "audio/UnitAudioCapture.h"
#include "audio/UnitAudioQualityList.h"

#include <QComboBox>
#include <gtest/gtest.h>

TEST(AudioQualityList, FillsTheSixEntriesAndSelectsAValidIndex)
{
    TestApplication();
    QComboBox comboBoxAudioRate;
    comboBoxAudioRate.addItem("left over");
    FillAudioQualityList(comboBoxAudioRate, 3);
    ASSERT_EQ(comboBoxAudioRate.count(), 6);
    EXPECT_EQ(comboBoxAudioRate.itemText(0).toStdString(), "11025 Hz, 24 kbit, Mono [LOW CPU USAGE]");
    EXPECT_EQ(comboBoxAudioRate.itemText(4).toStdString(), "16000 Hz, 24 kbit, Stereo [HIGH CPU USAGE]");
    EXPECT_EQ(comboBoxAudioRate.currentIndex(), 3);

    for (int stored : {-1, 6, 42}) {
        FillAudioQualityList(comboBoxAudioRate, stored);
        EXPECT_EQ(comboBoxAudioRate.count(), 6);
        EXPECT_EQ(comboBoxAudioRate.currentIndex(), 0) << stored;
    }
}

TEST(AudioCapture, AnUnknownRecordingTypeCapturesNothing)
{
    TestApplication();
    TAudioCapture capture(-1);
    capture.SelectRecordingFormat(2);
    capture.Start();
    EXPECT_FALSE(capture.Running());
    EXPECT_EQ(capture.SoundCaptureStream(), nullptr);
    EXPECT_EQ(capture.ACMIn(), nullptr);
}
