#pragma once

#include <stdexcept>
#include <string>

// Failures of the polled capture stream ("... cannot be initialized", "... cannot be made").
class ESoundCaptureStreamError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Failures of the buffered capture component: the failing call's name and the
// text for its error code.
class EACMIn : public std::runtime_error {
public:
    EACMIn(const std::string& call, int code);
    int Code() const { return FCode; }

private:
    int FCode;
};

// Error codes of the buffered capture component, numbered as the wave input
// layer numbers them.
enum : int {
    WaveInBadDeviceId = 2,
    WaveInAllocated = 4,
    WaveInNoMemory = 7,
    WaveInBadFormat = 32,
};

std::string WaveInErrorMessage(const std::string& call, int code);
