#include "audio/UnitAudioCapture.h"

#include "audio/UnitACMIn.h"
#include "audio/UnitEncodingThread.h"
#include "audio/UnitSoundCaptureStream.h"

#include <cstdio>
#include <stdexcept>
#include <vector>

namespace {
constexpr int32_t StreamBufferTime = 32768;
constexpr int32_t WaveInBufferSize = 4096;
constexpr uint8_t WaveInNumBuffers = 16;
} // namespace

TAudioCapture::TAudioCapture(int recordingType, const QAudioDevice& device)
    : FRecordingType(recordingType) {
    if (recordingType == 0) {
        FSoundCaptureStream = std::make_unique<TSoundCaptureStream>(device);
        FSoundCaptureStream->SetBufferTime(StreamBufferTime);
        FSoundCaptureStream->SetOnPacket(
            [this](TSoundCaptureStream& sender) { DirectSoundPacketReady(sender); });
    } else if (recordingType == 1) {
        FACMIn = std::make_unique<TACMIn>(device);
        FACMIn->SetBufferSize(WaveInBufferSize);
        FACMIn->SetNumBuffers(WaveInNumBuffers);
        FACMIn->SetOnBufferFull([this](TACMIn& sender, uint8_t* data, int count) {
            WaveInPacketReady(sender, data, count);
        });
    }
}

TAudioCapture::~TAudioCapture() {
    Stop();
}

void TAudioCapture::SetOnError(TErrorEvent handler) {
    if (FSoundCaptureStream)
        FSoundCaptureStream->SetOnError(handler);
    if (FACMIn)
        FACMIn->SetOnError(handler);
}

void TAudioCapture::SelectRecordingFormat(int audioIndex) {
    const TAudioQuality& quality = AudioQuality(audioIndex);
    if (FSoundCaptureStream)
        SelectDirectSoundFormat(quality);
    else if (FACMIn)
        OpenWaveInFormat(quality);
}

void TAudioCapture::SelectDirectSoundFormat(const TAudioQuality& quality) {
    FSoundCaptureStream->Stop();
    FRecordingFormat = MakeRecordingFormat(quality);
    const int index = FSoundCaptureStream->FindFormat(quality.Rate, 16, quality.Channels);
    if (index < 0) {
        char message[128];
        std::snprintf(
            message, sizeof message,
            "Unable to find a directsound recording format for requested audio rate (%d, %d, %d)",
            static_cast<int>(quality.Rate), 16, static_cast<int>(quality.Channels));
        throw std::runtime_error(message);
    }
    FSoundCaptureStream->SetFormatIndex(index);
}

void TAudioCapture::OpenWaveInFormat(const TAudioQuality& quality) {
    FRecordingFormat = MakeRecordingFormat(quality);
    FACMIn->Open(FRecordingFormat);
}

void TAudioCapture::Start() {
    if (FSoundCaptureStream && !FSoundCaptureStream->Active())
        FSoundCaptureStream->Start();
    if (FACMIn && !FACMIn->Started())
        FACMIn->Start();
}

void TAudioCapture::Stop() {
    if (FSoundCaptureStream)
        FSoundCaptureStream->Stop();
    if (FACMIn)
        FACMIn->Stop();
}

bool TAudioCapture::Running() const {
    return (FSoundCaptureStream && FSoundCaptureStream->Active()) || (FACMIn && FACMIn->Started());
}

void TAudioCapture::DirectSoundPacketReady(TSoundCaptureStream& sender) {
    const size_t available = sender.AvailableBytes();
    std::vector<uint8_t> packet(available + 1);
    sender.Read(packet.data(), available); // consumed even when it is dropped
    QueuePacket(packet.data(), static_cast<int>(available));
}

void TAudioCapture::WaveInPacketReady(TACMIn&, uint8_t* data, int count) {
    QueuePacket(data, count);
}

void TAudioCapture::QueuePacket(uint8_t* data, int count) {
    if (FCaptureSection == -1)
        return;
    if (FMixHook)
        FMixHook(data, count);
    if (FEncoder) {
        TBlockQueueLock lock(*FEncoder);
        lock.Blocks().AddBlock(BlockKindAudio, FCaptureSection, count, data);
    }
}
