#pragma once

#include <QIODevice>

#include <cstdint>
#include <functional>

// The write-only device that an audio source fills in pull mode; every chunk
// of captured bytes is handed to `onData` as it arrives.
class TCaptureSink : public QIODevice {
public:
    using TDataEvent = std::function<void(const uint8_t* data, size_t length)>;

    explicit TCaptureSink(TDataEvent onData) : FOnData(std::move(onData)) {
        open(QIODevice::WriteOnly);
    }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 length) override {
        FOnData(reinterpret_cast<const uint8_t*>(data), static_cast<size_t>(length));
        return length;
    }

private:
    TDataEvent FOnData;
};
