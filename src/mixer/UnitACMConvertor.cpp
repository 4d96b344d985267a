#include "mixer/UnitACMConvertor.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
const char* ACMErrorText(int code) {
    switch (code) {
    case 5:
        return " The specified handle is invalid.";
    case 6:
        return " A suitable driver is not available to provide valid format selections.";
    case 7:
        return " The system is unable to allocate resources.";
    case 10:
        return " At least one flag is invalid.";
    case 11:
        return " At least one parameter is invalid.";
    case 512:
        return " The requested operation cannot be performed.";
    case 513:
        return " The conversion stream is already in use.";
    case 514:
        return " Cannot perform this action on a header that has not been prepared.";
    default:
        return nullptr;
    }
}

bool Convertible(const TRecordingFormat& format) {
    return format.FormatTag == 1 && (format.Channels == 1 || format.Channels == 2) &&
           (format.BitsPerSample == 8 || format.BitsPerSample == 16) && format.SamplesPerSec > 0 &&
           format.BlockAlign == format.Channels * format.BitsPerSample / 8;
}

TRecordingFormat MonoEightBit22050() {
    TRecordingFormat format;
    format.Channels = 1;
    format.SamplesPerSec = 22050;
    format.BitsPerSample = 8;
    format.BlockAlign = 1;
    format.AvgBytesPerSec = 22050;
    return format;
}

float ReadSample(const uint8_t* at, int bits) {
    if (bits == 8)
        return (static_cast<float>(*at) - 128.0f) / 128.0f;
    const auto sample = static_cast<int16_t>(at[0] | (at[1] << 8));
    return static_cast<float>(sample) / 32768.0f;
}

void WriteSample(uint8_t* at, int bits, float value) {
    if (bits == 8) {
        *at = static_cast<uint8_t>(std::clamp(std::lrint(value * 128.0f) + 128, 0L, 255L));
        return;
    }
    const auto sample =
        static_cast<uint16_t>(std::clamp(std::lrint(value * 32768.0f), -32768L, 32767L));
    at[0] = static_cast<uint8_t>(sample & 0xFF);
    at[1] = static_cast<uint8_t>(sample >> 8);
}
} // namespace

std::string ACMErrorMessage(const std::string& call, int code) {
    if (const char* text = ACMErrorText(code))
        return call + text;
    return call + " raised an unknown error (code #" + std::to_string(code) + ")";
}

EACMConvertor::EACMConvertor(const std::string& call, int code)
    : std::runtime_error(ACMErrorMessage(call, code)) {}

TACMConvertor::TACMConvertor()
    : ACMFormatIn(MonoEightBit22050()), ACMFormatOut(MonoEightBit22050()) {}

TACMConvertor::~TACMConvertor() {
    Close();
}

void TACMConvertor::SetInputBufferSize(int size) {
    if (FActive)
        throw EACMConvertor("You cannot change the buffer size while active.");
    FInputBufferSize = size;
}

void TACMConvertor::SetUseRealTime(bool realTime) {
    if (FActive)
        throw EACMConvertor("You cannot change the real time flag while active.");
    FUseRealTime = realTime;
}

void TACMConvertor::SetActive(bool active) {
    if (active == FActive)
        return;
    if (active)
        Open();
    else
        Close();
}

void TACMConvertor::Open() {
    if (!Convertible(ACMFormatIn) || !Convertible(ACMFormatOut))
        throw EACMConvertor("acmStreamOpen:", ACMNotPossible);
    if (FInputBufferSize < 0)
        throw EACMConvertor("acmStreamSize:", ACMInvalidParameter);
    if (ACMFormatIn.SamplesPerSec != ACMFormatOut.SamplesPerSec) {
        // Real time takes sox's own default; otherwise the finest filter.
        const soxr_quality_spec_t quality = soxr_quality_spec(FUseRealTime ? SOXR_HQ : SOXR_VHQ, 0);
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        soxr_error_t error = nullptr;
        FResampler.reset(soxr_create(ACMFormatIn.SamplesPerSec, ACMFormatOut.SamplesPerSec,
                                     ACMFormatOut.Channels, &error, &io, &quality, nullptr));
        if (!FResampler || error)
            throw EACMConvertor("acmStreamOpen:", ACMNoMemory);
    }
    const int64_t inFrames = FInputBufferSize / ACMFormatIn.BlockAlign;
    // Room for the rounding of the rate ratio; a larger tail grows it (GrowOutput).
    const auto outFrames =
        static_cast<int64_t>(std::ceil(static_cast<double>(inFrames) * ACMFormatOut.SamplesPerSec /
                                       ACMFormatIn.SamplesPerSec) +
                             64);
    FInput.assign(static_cast<size_t>(FInputBufferSize), 0);
    FOutput.assign(static_cast<size_t>(outFrames * ACMFormatOut.BlockAlign), 0);
    FInputFrames.assign(static_cast<size_t>(inFrames * ACMFormatOut.Channels), 0.0f);
    FOutputFrames.assign(static_cast<size_t>(outFrames * ACMFormatOut.Channels), 0.0f);
    FActive = true;
}

void TACMConvertor::TResamplerDeleter::operator()(soxr* resampler) const {
    soxr_delete(resampler);
}

void TACMConvertor::Reset() {
    if (FResampler)
        soxr_clear(FResampler.get());
}

void TACMConvertor::Close() {
    FResampler.reset();
    FInput = {};
    FOutput = {};
    FInputFrames = {};
    FOutputFrames = {};
    FActive = false;
}

int TACMConvertor::Convert(int count) {
    if (!FActive)
        throw EACMConvertor("acmStreamConvert:", ACMInvalidHandle);
    if (count < 0 || count > FInputBufferSize)
        throw EACMConvertor("acmStreamConvert:", ACMInvalidParameter);
    std::fill(FOutput.begin(), FOutput.end(), 0);
    const int inChannels = ACMFormatIn.Channels, outChannels = ACMFormatOut.Channels;
    const int inBits = ACMFormatIn.BitsPerSample, inBytes = inBits / 8;
    const int frames = count / ACMFormatIn.BlockAlign;
    for (int f = 0; f < frames; ++f) {
        const uint8_t* frame = FInput.data() + f * ACMFormatIn.BlockAlign;
        const float left = ReadSample(frame, inBits);
        const float right = inChannels == 2 ? ReadSample(frame + inBytes, inBits) : left;
        if (outChannels == 1) {
            FInputFrames[f] = (left + right) / 2.0f;
        } else {
            FInputFrames[2 * f] = left;
            FInputFrames[2 * f + 1] = right;
        }
    }
    const int outFrames = ConvertFrames(frames);
    const int outBits = ACMFormatOut.BitsPerSample, outBytes = outBits / 8;
    for (int s = 0; s < outFrames * outChannels; ++s)
        WriteSample(FOutput.data() + s * outBytes, outBits, FOutputFrames[s]);
    return outFrames * ACMFormatOut.BlockAlign;
}

// Resamples `frames` frames of FInputFrames into FOutputFrames; returns the frames made.
int TACMConvertor::ConvertFrames(int frames) {
    const int channels = ACMFormatOut.Channels;
    if (!FResampler) {
        std::copy_n(FInputFrames.begin(), frames * channels, FOutputFrames.begin());
        return frames;
    }
    // The resampler's state runs on from one piece of a track to the next: a
    // fresh start at every piece is heard as a click at each joint. A piece
    // of nothing ends the track and lets out what the filter still holds.
    const bool ending = frames == 0;
    const float* in = ending ? nullptr : FInputFrames.data();
    size_t inFrames = static_cast<size_t>(frames), made = 0;
    for (;;) {
        const size_t room = FOutputFrames.size() / static_cast<size_t>(channels) - made;
        size_t done = 0;
        // Without a count of input taken, the resampler takes all of it.
        if (soxr_process(FResampler.get(), in, inFrames, nullptr,
                         FOutputFrames.data() + made * static_cast<size_t>(channels), room, &done))
            throw EACMConvertor("acmStreamConvert:", ACMNotPossible);
        made += done;
        inFrames = 0;
        // Less than the room means the resampler has given all it can.
        if (done < room)
            break;
        GrowOutput();
    }
    if (ending)
        soxr_clear(FResampler.get());
    return static_cast<int>(made);
}

// The filter's delay comes out at a track's end, and can outgrow the room a
// piece's own frames take.
void TACMConvertor::GrowOutput() {
    FOutputFrames.resize(FOutputFrames.size() * 2, 0.0f);
    FOutput.resize(FOutput.size() * 2, 0);
}
