#pragma once

#include "../app/ScratchDir.h"

#include <cstdint>
#include <string>
#include <vector>

// A sine tone at half of full scale made with sox and encoded to MP3 with lame.
std::string MakeToneMp3(const ScratchDir& dir, const std::string& name, double seconds,
                        double frequency, int rate, int channels);

// The amplitude of one frequency in 16-bit samples of one channel (Goertzel).
double ToneAmplitude(const std::vector<int16_t>& samples, int rate, double frequency);
// The tone's amplitude as most tenths of a second have it: a glitch of the
// test's own tone player (a lost chunk shifts the phase, and one transform over
// the whole would sum the parts out of phase) does not count as a level.
double ToneLevel(const std::vector<int16_t>& samples, int rate, double frequency);

// Every `channels`-th sample from `first` of interleaved 16-bit bytes.
std::vector<int16_t> Channel(const uint8_t* bytes, size_t length, int channels, int first = 0);
