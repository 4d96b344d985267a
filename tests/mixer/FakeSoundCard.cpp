#include "FakeSoundCard.h"

class TFakeWaveOutDevice : public TWaveOutDevice {
public:
    explicit TFakeWaveOutDevice(TFakeSoundCard& card) : Card(card) {}
    ~TFakeWaveOutDevice() override { Close(); }

    int Query(const TWaveFormat&) override { return 0; }
    int Open(const TWaveFormat& format, TBufferDone onBufferDone) override {
        Card.Format = format;
        Card.Open = true;
        Card.Volume = FVolume;
        Card.Written.clear();
        Card.PlayedFrames = 0;
        Card.BufferDone = std::move(onBufferDone);
        Card.FOpenDevice = this;
        return 0;
    }
    int Close() override {
        if (Card.FOpenDevice != this)
            return 0;
        Card.Open = false;
        Card.Written.clear();
        Card.BufferDone = nullptr;
        Card.FOpenDevice = nullptr;
        return 0;
    }
    void Reset() override {
        Card.Written.clear();
        Card.PlayedFrames = 0;
    }
    int Write(const uint8_t* data, size_t length) override {
        Card.Written.emplace_back(data, data + length);
        return 0;
    }
    int Position(int64_t& frames) override {
        frames = Card.PlayedFrames;
        return 0;
    }
    int SetVolume(uint32_t volume) override {
        FVolume = volume;
        if (Card.FOpenDevice == this)
            Card.Volume = volume;
        return 0;
    }
    void Post(std::function<void()> task) override {
        std::weak_ptr<int> alive = FAlive;
        Card.Post([alive, task] {
            if (!alive.expired())
                task();
        });
    }

private:
    TFakeSoundCard& Card;
    uint32_t FVolume = 0xFFFFFFFFu;
    std::shared_ptr<int> FAlive = std::make_shared<int>(0);
};

std::unique_ptr<TWaveOutDevice> TFakeSoundCard::NewDevice() {
    ++DevicesMade;
    return std::make_unique<TFakeWaveOutDevice>(*this);
}

void TFakeSoundCard::Post(std::function<void()> task) {
    {
        std::lock_guard lock(FTasksLock);
        FTasks.push_back(std::move(task));
    }
    FTaskPosted.notify_all();
}

bool TFakeSoundCard::PlayOneBuffer() {
    if (Written.empty()) {
        RunTasks();
        return false;
    }
    const std::vector<uint8_t> buffer = std::move(Written.front());
    Written.pop_front();
    Heard.insert(Heard.end(), buffer.begin(), buffer.end());
    PlayedFrames += static_cast<int64_t>(buffer.size()) / Format.BlockAlign();
    if (BufferDone)
        BufferDone();
    RunTasks();
    return true;
}

void TFakeSoundCard::PlayAll() {
    while (PlayOneBuffer()) {
    }
}

std::function<void()> TFakeSoundCard::TakeTask() {
    std::lock_guard lock(FTasksLock);
    if (FTasks.empty())
        return nullptr;
    auto task = std::move(FTasks.front());
    FTasks.pop_front();
    return task;
}

void TFakeSoundCard::RunTasks() {
    while (const auto task = TakeTask())
        task();
}

bool TFakeSoundCard::WaitForTask(std::chrono::milliseconds limit) {
    std::unique_lock lock(FTasksLock);
    return FTaskPosted.wait_for(lock, limit, [this] { return !FTasks.empty(); });
}

bool TFakeSoundCard::RunTasksUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    RunTasks();
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        WaitForTask(std::chrono::milliseconds(100));
        RunTasks();
    }
    return done();
}
