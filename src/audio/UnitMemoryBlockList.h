#pragma once

#include <cstdint>
#include <deque>
#include <memory>

// One queued item: captured PCM (kinds 0 and 1) or a section marker (kind 2).
struct TMemoryBlock {
    uint8_t Kind = 0;
    uint8_t Info = 0;                // kind 2 only: 0 = complete section, 1 = create section
    int32_t Section = -1;            // for markers: the section that is beginning
    std::unique_ptr<uint8_t[]> Data; // the queue's own copy; empty for kind 2
    int32_t Size = 0;
};

enum : uint8_t { BlockKindAudio = 0, BlockKindData = 1, BlockKindInfo = 2 };
enum : uint8_t { InfoCompleteSection = 0, InfoCreateSection = 1 };

// First-in first-out hand-off of audio to the encoder. It has no lock of its
// own: every call must hold the encoder's lock.
class TListMemoryBlocks {
public:
    // Appends a copy of `size` bytes from `source`; the caller keeps its buffer.
    void AddBlock(uint8_t kind, int32_t section, int32_t size, const void* source);
    void AddInfo(int32_t section, uint8_t info);
    const TMemoryBlock& GetBlock(int index) const;
    void DeleteBlock(int index);
    int Count() const { return static_cast<int>(FItems.size()); }

private:
    std::deque<std::unique_ptr<TMemoryBlock>> FItems;
};
