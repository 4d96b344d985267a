#include "audio/UnitQtAudioFormat.h"

QAudioFormat PcmAudioFormat(int32_t rate, int32_t bits, int32_t channels) {
    QAudioFormat format;
    format.setSampleRate(rate);
    format.setChannelCount(channels);
    switch (bits) {
    case 8:
        format.setSampleFormat(QAudioFormat::UInt8);
        break;
    case 16:
        format.setSampleFormat(QAudioFormat::Int16);
        break;
    case 32:
        format.setSampleFormat(QAudioFormat::Int32);
        break;
    default:
        format.setSampleFormat(QAudioFormat::Unknown);
        break;
    }
    return format;
}
