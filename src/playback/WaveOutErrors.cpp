#include "playback/WaveOutErrors.h"

std::string WaveOutErrorText(int code) {
    switch (code) {
    case WaveOutFailed:
        return "Unspecified error.";
    case WaveOutNoDevice:
        return "There is no audio output device.";
    case WaveOutNotOpen:
        return "The audio output device is not open.";
    case WaveOutBadFormat:
        return "The audio output device does not support this format.";
    case WaveOutWriteFailed:
        return "Writing to the audio output device failed.";
    case WaveOutServerFailed:
        return "The connection to the sound server has failed.";
    default:
        return "Unknown error - waveOutGetErrorText: " + std::to_string(code);
    }
}

EWaveOut::EWaveOut(const std::string& operation, int code)
    : std::runtime_error(operation + WaveOutErrorText(code)) {}
