#pragma once

#include <QIODevice>

#include <cstddef>
#include <cstdint>
#include <deque>

// What the audio sink pulls from: the written buffers, in order, read straight
// out of their owner's memory. Remembers where each buffer ends in the stream
// so that the device can tell when it has been played.
class TQtWaveOutStream : public QIODevice {
public:
    // Unbuffered: a buffered device reads ahead into a buffer of Qt's own,
    // which counts as handed, outlives a reset and plays before the next
    // start's sound. Each read then takes only what the sink asked for.
    TQtWaveOutStream() { open(QIODevice::ReadOnly | QIODevice::Unbuffered); }

    void Append(const uint8_t* data, size_t length);
    // Forgets every buffer; the stream offsets start again at 0.
    void Clear();
    // Takes the oldest buffer off the list if the stream has been played up
    // to its end.
    bool TakePlayed(int64_t playedBytes);
    bool HasBuffers() const { return !FBuffers.empty(); }
    int64_t HandedBytes() const { return FHanded; }

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    struct TPendingBuffer {
        const uint8_t* Data;
        size_t Length;
        int64_t End; // stream offset just after its last byte
    };
    std::deque<TPendingBuffer> FBuffers; // oldest first; the unread ones follow the read ones
    size_t FReading = 0;                 // index of the buffer the sink reads next
    size_t FReadOffset = 0;              // within that buffer
    int64_t FAppended = 0;
    int64_t FHanded = 0; // bytes the sink has taken (and sent to the sound server)
};
