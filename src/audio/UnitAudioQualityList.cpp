#include "audio/UnitAudioQualityList.h"

#include "audio/UnitAudioQuality.h"

#include <QComboBox>

void FillAudioQualityList(QComboBox& comboBoxAudioRate, int audioIndex) {
    comboBoxAudioRate.clear();
    for (const TAudioQuality& quality : AudioQualities)
        comboBoxAudioRate.addItem(QString::fromStdString(AudioQualityText(quality)));
    comboBoxAudioRate.setCurrentIndex(ValidAudioIndex(audioIndex));
}
