#pragma once

class QComboBox;

// Refills the audio quality list from the table and selects `audioIndex`
// (the first entry when the index lies outside the table).
void FillAudioQualityList(QComboBox& comboBoxAudioRate, int audioIndex);
