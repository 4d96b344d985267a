#pragma once

#include <stdexcept>
#include <string>

// Error codes of the wave output layer, numbered as the system's wave output
// numbers them, so that both backends report the same codes.
enum : int {
    WaveOutNoError = 0,
    WaveOutFailed = 1,
    WaveOutNoDevice = 2,
    WaveOutNotOpen = 5,
    WaveOutBadFormat = 32,
    WaveOutWriteFailed = 33,
    WaveOutServerFailed = 34,
};

// The device's text for an error code, as shown after the failing call's name.
std::string WaveOutErrorText(int code);

// Failures of the wave output component: a fixed text for the operation, then
// the device's text for the error code.
class EWaveOut : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    EWaveOut(const std::string& operation, int code);
};
