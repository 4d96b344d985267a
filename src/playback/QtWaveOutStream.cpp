#include "playback/QtWaveOutStream.h"

#include <algorithm>
#include <cstring>

void TQtWaveOutStream::Append(const uint8_t* data, size_t length) {
    FAppended += static_cast<int64_t>(length);
    FBuffers.push_back({data, length, FAppended});
    // A sink that ran dry has stopped asking; this wakes it.
    emit readyRead();
}

void TQtWaveOutStream::Clear() {
    FBuffers.clear();
    FReading = 0;
    FReadOffset = 0;
    FAppended = 0;
    FHanded = 0;
}

bool TQtWaveOutStream::TakePlayed(int64_t playedBytes) {
    if (FBuffers.empty() || FReading == 0 || FBuffers.front().End > playedBytes)
        return false;
    FBuffers.pop_front();
    --FReading;
    return true;
}

qint64 TQtWaveOutStream::bytesAvailable() const {
    return FAppended - FHanded + QIODevice::bytesAvailable();
}

qint64 TQtWaveOutStream::readData(char* data, qint64 maxSize) {
    qint64 copied = 0;
    while (copied < maxSize && FReading < FBuffers.size()) {
        const TPendingBuffer& buffer = FBuffers[FReading];
        const size_t count =
            std::min(buffer.Length - FReadOffset, static_cast<size_t>(maxSize - copied));
        std::memcpy(data + copied, buffer.Data + FReadOffset, count);
        copied += static_cast<qint64>(count);
        FReadOffset += count;
        if (FReadOffset == buffer.Length) {
            ++FReading;
            FReadOffset = 0;
        }
    }
    FHanded += copied;
    return copied;
}
