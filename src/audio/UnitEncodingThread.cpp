#include "audio/UnitEncodingThread.h"

#include "audio/UnitAudioQuality.h"
#include "audio/UnitSectionFile.h"
#include "audio/UnitVorbisSection.h"

#include <chrono>
#include <cstdio>

namespace {
// Serials must differ between the files of one run; reseeding from a coarse
// clock per file could repeat them, so one generator is seeded once.
std::mt19937 MakeSerialGenerator() {
    std::random_device device;
    const auto now =
        static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    std::seed_seq seed{device(), device(), now};
    return std::mt19937(seed);
}
} // namespace

TEncodingThread::TEncodingThread(SyncContext& sync, std::string directory, int32_t qualityIndex)
    : TThread(sync), FDirectory(std::move(directory)), FQualityIndex(ValidAudioIndex(qualityIndex)),
      FRandom(MakeSerialGenerator()) {}

TEncodingThread::~TEncodingThread() = default;

std::string TEncodingThread::SectionFileName(int32_t section) const {
    char name[32];
    std::snprintf(name, sizeof name, "stream_%d.ogg", static_cast<int>(section));
    return FDirectory + name;
}

void TEncodingThread::Execute() {
    while (!Terminated()) {
        SleepFor(std::chrono::milliseconds(100));
        try {
            if (!RunPass())
                return;
        } catch (...) {
            // A failed pass costs at most the block in hand; the next pass goes on.
        }
    }
}

bool TEncodingThread::RunPass() {
    while (TakeNextAudio()) {
        if ((FCompleteSection || FCreateSection) && !ChangeSection())
            return false;
        if (FEncoder)
            FEncoder->Encode(FAudio.data(), FAudio.size());
    }
    return true;
}

bool TEncodingThread::TakeNextAudio() {
    std::lock_guard guard(FLock);
    while (FBlocks.Count() > 0) {
        // The head leaves the queue whatever happens while it is read.
        struct DeleteHead {
            TListMemoryBlocks& Blocks;
            ~DeleteHead() { Blocks.DeleteBlock(0); }
        } deleteHead{FBlocks};

        const TMemoryBlock& head = FBlocks.GetBlock(0);
        if (head.Kind == BlockKindInfo) {
            if (head.Info == InfoCompleteSection)
                FCompleteSection = true;
            else if (head.Info == InfoCreateSection)
                FCreateSection = true;
            continue;
        }
        FSection = head.Section;
        FAudio.assign(head.Data.get(), head.Data.get() + head.Size);
        return true;
    }
    return false;
}

bool TEncodingThread::ChangeSection() {
    FCompleteSection = false;
    CloseSection();
    if (!FCreateSection)
        return false;
    FCreateSection = false;
    FStream = std::make_unique<TSectionFile>(SectionFileName(FSection));
    OpenSection();
    return true;
}

void TEncodingThread::CloseSection() {
    const auto release = [this] {
        ClearEncoder();
        FStream.reset(); // from here on the file is final
    };
    try {
        if (FStream && FEncoder)
            FEncoder->Finish();
    } catch (...) {
        release();
        throw;
    }
    release();
}

void TEncodingThread::OpenSection() {
    // A set-up that fails leaves the file open and no encoder: this section's
    // audio is dropped until the next pair of markers.
    const int serial = std::uniform_int_distribution<int>(0, 2147483646)(FRandom);
    FEncoder = std::make_unique<TVorbisSection>(AudioQuality(FQualityIndex), serial, *FStream);
}

void TEncodingThread::ClearEncoder() {
    FEncoder.reset();
}
