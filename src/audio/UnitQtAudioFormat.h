#pragma once

#include <QAudioFormat>

#include <cstdint>

// The Qt format for integer PCM of the given depth; an invalid format when Qt
// has no sample format of that depth (24 bits).
QAudioFormat PcmAudioFormat(int32_t rate, int32_t bits, int32_t channels);
