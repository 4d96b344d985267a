#pragma once

#include <cstdint>
#include <vector>

// THD+N of a sine in dB: what is left once the fundamental (and DC) is taken
// out, RMS over the RMS of the whole. The samples must span whole periods of
// `frequency`, so that its sine and cosine are orthogonal over them.
double ThdNDecibels(const std::vector<int16_t>& samples, int rate, double frequency);
