#include "ThdN.h"

#include <cmath>

double ThdNDecibels(const std::vector<int16_t>& samples, int rate, double frequency) {
    const auto n = static_cast<double>(samples.size());
    double mean = 0, inPhase = 0, quadrature = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        const double phase = 2 * M_PI * frequency * static_cast<double>(i) / rate;
        mean += samples[i];
        inPhase += samples[i] * std::sin(phase);
        quadrature += samples[i] * std::cos(phase);
    }
    mean /= n;
    inPhase *= 2 / n;
    quadrature *= 2 / n;
    double whole = 0, rest = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        const double phase = 2 * M_PI * frequency * static_cast<double>(i) / rate;
        const double fundamental = mean + inPhase * std::sin(phase) + quadrature * std::cos(phase);
        whole += double(samples[i]) * samples[i];
        rest += (samples[i] - fundamental) * (samples[i] - fundamental);
    }
    return 10 * std::log10(rest / whole);
}
