#pragma once

#include "audio/UnitAudioQuality.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

struct soxr;

// Failures of the format converter: the failing call's name followed by the
// text for its error code.
class EACMConvertor : public std::runtime_error {
public:
    explicit EACMConvertor(const std::string& message) : std::runtime_error(message) {}
    EACMConvertor(const std::string& call, int code);
};

// Error codes of the converter, numbered as the audio compression layer numbers them.
enum : int {
    ACMInvalidHandle = 5,
    ACMNoMemory = 7,
    ACMInvalidParameter = 11,
    ACMNotPossible = 512,
};

std::string ACMErrorMessage(const std::string& call, int code);

// Converts PCM audio from one wave format to another: sample rate (through
// libsoxr), channel count (1 or 2) and sample width (8 or 16 bits).
// Conversions run on a fixed input buffer of `InputBufferSize` bytes while
// the converter is active.
class TACMConvertor {
public:
    TACMConvertor();
    ~TACMConvertor();

    TACMConvertor(const TACMConvertor&) = delete;
    TACMConvertor& operator=(const TACMConvertor&) = delete;

    // Taken when the converter becomes active; both start as mono, 22050 Hz, 8 bits.
    TRecordingFormat ACMFormatIn;
    TRecordingFormat ACMFormatOut;

    int InputBufferSize() const { return FInputBufferSize; }
    void SetInputBufferSize(int size);
    // Real time trades quality for speed.
    bool UseRealTime() const { return FUseRealTime; }
    void SetUseRealTime(bool realTime);

    bool Active() const { return FActive; }
    void SetActive(bool active);

    uint8_t* InputBuffer() { return FInput.data(); }
    const uint8_t* OutputBuffer() const { return FOutput.data(); }
    int OutputBufferSize() const { return static_cast<int>(FOutput.size()); }

    // Converts the first `count` bytes of the input buffer into the output
    // buffer; returns the bytes written there. Successive conversions are
    // taken as one stream; a count of 0 ends it. A new rate lags by the
    // filter's delay (tens of milliseconds), which the end lets out.
    int Convert(int count);
    // Forgets the stream converted so far (a jump in the input).
    void Reset();

private:
    void Open();
    void Close();
    int ConvertFrames(int frames);
    void GrowOutput();

    struct TResamplerDeleter {
        void operator()(soxr* resampler) const;
    };

    int FInputBufferSize = 2048;
    bool FUseRealTime = false;
    bool FActive = false;
    std::unique_ptr<soxr, TResamplerDeleter> FResampler; // none when both rates agree
    std::vector<uint8_t> FInput;
    std::vector<uint8_t> FOutput;
    std::vector<float> FInputFrames;  // at the input rate, output channels
    std::vector<float> FOutputFrames; // at the output rate
};
