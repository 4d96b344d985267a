#include "audio/UnitMemoryBlockList.h"

#include <cstring>
#include <stdexcept>

void TListMemoryBlocks::AddBlock(uint8_t kind, int32_t section, int32_t size, const void* source) {
    if (kind != BlockKindAudio && kind != BlockKindData)
        throw std::invalid_argument("AddBlock: only audio and data blocks carry bytes");
    if (size < 0 || (size > 0 && source == nullptr))
        throw std::invalid_argument("AddBlock: invalid block size or source");

    auto block = std::make_unique<TMemoryBlock>();
    block->Kind = kind;
    block->Section = section;
    block->Size = size;
    block->Data = std::make_unique<uint8_t[]>(static_cast<size_t>(size)); // zero-filled
    if (size > 0)
        std::memcpy(block->Data.get(), source, static_cast<size_t>(size));
    FItems.push_back(std::move(block));
}

void TListMemoryBlocks::AddInfo(int32_t section, uint8_t info) {
    auto block = std::make_unique<TMemoryBlock>();
    block->Kind = BlockKindInfo;
    block->Info = info;
    block->Section = section;
    FItems.push_back(std::move(block));
}

const TMemoryBlock& TListMemoryBlocks::GetBlock(int index) const {
    if (index < 0 || index >= Count())
        throw std::out_of_range("GetBlock: index out of range");
    return *FItems[static_cast<size_t>(index)];
}

void TListMemoryBlocks::DeleteBlock(int index) {
    if (index < 0 || index >= Count())
        throw std::out_of_range("DeleteBlock: index out of range");
    FItems.erase(FItems.begin() + index);
}
