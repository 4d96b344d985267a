#include "MixerTestFiles.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {
void Run(const std::string& command) {
    ASSERT_EQ(std::system((command + " >/dev/null 2>&1").c_str()), 0) << command;
}
} // namespace

std::string MakeToneMp3(const ScratchDir& dir, const std::string& name, double seconds,
                        double frequency, int rate, int channels) {
    const std::string wav = dir / (name + ".wav");
    const std::string mp3 = dir / (name + ".mp3");
    Run("sox -n -r " + std::to_string(rate) + " -c " + std::to_string(channels) + " -b 16 '" + wav +
        "' synth " + std::to_string(seconds) + " sine " + std::to_string(frequency) + " vol 0.5");
    // lame keeps the rate only when told; low rates have lower bitrates.
    Run("lame --quiet -b " + std::string(rate < 32000 ? "64" : "128") + " --resample " +
        std::to_string(rate / 1000.0) + " '" + wav + "' '" + mp3 + "'");
    std::filesystem::remove(wav);
    return mp3;
}

double ToneAmplitude(const std::vector<int16_t>& samples, int rate, double frequency) {
    if (samples.empty())
        return 0;
    const double w = 2 * M_PI * frequency / rate;
    double re = 0, im = 0;
    for (size_t n = 0; n < samples.size(); ++n) {
        re += samples[n] * std::cos(w * static_cast<double>(n));
        im -= samples[n] * std::sin(w * static_cast<double>(n));
    }
    return 2 * std::hypot(re, im) / static_cast<double>(samples.size());
}

double ToneLevel(const std::vector<int16_t>& samples, int rate, double frequency) {
    const size_t window = static_cast<size_t>(rate) / 10;
    std::vector<double> levels;
    for (size_t at = 0; at + window <= samples.size(); at += window)
        levels.push_back(ToneAmplitude(
            {samples.begin() + long(at), samples.begin() + long(at + window)}, rate, frequency));
    if (levels.empty())
        return 0;
    std::nth_element(levels.begin(), levels.begin() + long(levels.size() / 2), levels.end());
    return levels[levels.size() / 2];
}

std::vector<int16_t> Channel(const uint8_t* bytes, size_t length, int channels, int first) {
    std::vector<int16_t> samples;
    const size_t frame = 2 * static_cast<size_t>(channels);
    for (size_t at = 2 * static_cast<size_t>(first); at + 2 <= length; at += frame) {
        int16_t sample;
        std::memcpy(&sample, bytes + at, 2);
        samples.push_back(sample);
    }
    return samples;
}
