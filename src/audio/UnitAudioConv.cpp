#include "audio/UnitAudioConv.h"

#include <stdexcept>

int ConvertToPlanar(float** buffer, const uint8_t* data, int size, int channels, int bits) {
    if (bits != 16 || channels <= 0 || size < 0)
        throw std::invalid_argument("ConvertToPlanar: only 16-bit PCM with at least one channel");
    const int frames = size / (channels * (bits / 8));
    for (int c = 0; c < channels; ++c) {
        float* out = buffer[c];
        const uint8_t* in = data + c * 2;
        for (int i = 0; i < frames; ++i, in += 2 * channels) {
            const auto sample = static_cast<int16_t>(static_cast<uint16_t>(in[0] | (in[1] << 8)));
            out[i] = static_cast<float>(sample) / 32768.0f;
        }
    }
    return frames;
}
