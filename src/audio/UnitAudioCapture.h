#pragma once

#include "audio/UnitAudioQuality.h"

#include <QAudioDevice>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class TACMIn;
class TEncodingThread;
class TSoundCaptureStream;

// The filming run's capture: owns the capture object of the chosen recording
// type, tags every packet with the current capture section (-1 drops it), lets
// the music mixer work on it in place, and appends it to the encoder's queue.
// Lives on the main thread, where all packets arrive.
class TAudioCapture {
public:
    // Changes a packet in place before it is queued (the music mixer's hook).
    using TMixHook = std::function<void(uint8_t* data, int size)>;
    using TErrorEvent = std::function<void(const std::string& message)>;

    // Type 0 is the polled stream, 1 the buffered component; any other type
    // captures nothing. A null device means the default capture device.
    explicit TAudioCapture(int recordingType, const QAudioDevice& device = QAudioDevice());
    ~TAudioCapture();

    TAudioCapture(const TAudioCapture&) = delete;
    TAudioCapture& operator=(const TAudioCapture&) = delete;

    // Sets the capture format from the quality entry (an index outside the
    // table means the first entry).
    void SelectRecordingFormat(int audioIndex);
    void Start(); // unless already running
    void Stop();
    bool Running() const;

    void SetCaptureSection(int32_t section) { FCaptureSection = section; }
    int32_t CaptureSection() const { return FCaptureSection; }
    void SetEncoder(TEncodingThread* encoder) { FEncoder = encoder; } // may be none
    void SetMixHook(TMixHook hook) { FMixHook = std::move(hook); }
    // A packet handler that failed; the capture has stopped.
    void SetOnError(TErrorEvent handler);

    int RecordingType() const { return FRecordingType; }
    const TRecordingFormat& RecordingFormat() const { return FRecordingFormat; }
    TSoundCaptureStream* SoundCaptureStream() const { return FSoundCaptureStream.get(); }
    TACMIn* ACMIn() const { return FACMIn.get(); }

    void DirectSoundPacketReady(TSoundCaptureStream& sender);
    void WaveInPacketReady(TACMIn& sender, uint8_t* data, int count);

private:
    void SelectDirectSoundFormat(const TAudioQuality& quality);
    void OpenWaveInFormat(const TAudioQuality& quality);
    void QueuePacket(uint8_t* data, int count);

    const int FRecordingType;
    int32_t FCaptureSection = -1;
    TRecordingFormat FRecordingFormat;
    TEncodingThread* FEncoder = nullptr;
    TMixHook FMixHook;
    std::unique_ptr<TSoundCaptureStream> FSoundCaptureStream;
    std::unique_ptr<TACMIn> FACMIn;
};
