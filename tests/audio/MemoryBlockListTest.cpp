#include "audio/UnitMemoryBlockList.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <vector>

TEST(MemoryBlockList, BlocksLeaveInAppendOrderWithMarkersInterleaved) {
    TListMemoryBlocks blocks;
    EXPECT_EQ(blocks.Count(), 0);
    EXPECT_THROW(blocks.GetBlock(0), std::out_of_range);
    EXPECT_THROW(blocks.DeleteBlock(0), std::out_of_range);

    const uint8_t first[] = {1, 2, 3};
    const uint8_t second[] = {4, 5};
    blocks.AddBlock(BlockKindAudio, -1, sizeof first, first);
    blocks.AddInfo(3, InfoCompleteSection);
    blocks.AddInfo(3, InfoCreateSection);
    blocks.AddBlock(BlockKindData, 3, sizeof second, second);
    blocks.AddBlock(BlockKindAudio, 3, 0, nullptr);
    ASSERT_EQ(blocks.Count(), 5);

    struct Expected {
        uint8_t kind, info;
        int32_t section, size;
    };
    const Expected expected[] = {{BlockKindAudio, 0, -1, 3},
                                 {BlockKindInfo, InfoCompleteSection, 3, 0},
                                 {BlockKindInfo, InfoCreateSection, 3, 0},
                                 {BlockKindData, 0, 3, 2},
                                 {BlockKindAudio, 0, 3, 0}};
    for (const Expected& e : expected) {
        const TMemoryBlock& head = blocks.GetBlock(0);
        EXPECT_EQ(head.Kind, e.kind);
        EXPECT_EQ(head.Section, e.section);
        if (head.Kind == BlockKindInfo) {
            EXPECT_EQ(head.Info, e.info);
            EXPECT_EQ(head.Data, nullptr);
        } else {
            ASSERT_EQ(head.Size, e.size);
            if (e.size > 0) {
                EXPECT_EQ(std::memcmp(head.Data.get(), e.size == 3 ? first : second, e.size), 0);
            }
        }
        blocks.DeleteBlock(0);
    }
    EXPECT_EQ(blocks.Count(), 0);
}

TEST(MemoryBlockList, CopyIsIndependentOfTheProducersBuffer) {
    TListMemoryBlocks blocks;
    {
        std::vector<uint8_t> packet(4096, 0x5A);
        blocks.AddBlock(BlockKindAudio, 0, static_cast<int32_t>(packet.size()), packet.data());
        std::fill(packet.begin(), packet.end(), 0); // the producer reuses its buffer ...
    }                                               // ... and releases it
    const TMemoryBlock& block = blocks.GetBlock(0);
    ASSERT_EQ(block.Size, 4096);
    for (int i = 0; i < block.Size; ++i)
        ASSERT_EQ(block.Data[i], 0x5A) << "byte " << i;
}

TEST(MemoryBlockList, DeletingInTheMiddleMovesTheRestUp) {
    TListMemoryBlocks blocks;
    for (int32_t section = 0; section < 4; ++section)
        blocks.AddInfo(section, InfoCreateSection);
    blocks.DeleteBlock(1);
    ASSERT_EQ(blocks.Count(), 3);
    EXPECT_EQ(blocks.GetBlock(0).Section, 0);
    EXPECT_EQ(blocks.GetBlock(1).Section, 2);
    EXPECT_EQ(blocks.GetBlock(2).Section, 3);
}

TEST(MemoryBlockList, RejectsBlocksThatCannotBeCopied) {
    TListMemoryBlocks blocks;
    const uint8_t byte = 0;
    EXPECT_THROW(blocks.AddBlock(BlockKindAudio, 0, -1, &byte), std::invalid_argument);
    EXPECT_THROW(blocks.AddBlock(BlockKindAudio, 0, 10, nullptr), std::invalid_argument);
    EXPECT_THROW(blocks.AddBlock(BlockKindInfo, 0, 1, &byte), std::invalid_argument);
    EXPECT_EQ(blocks.Count(), 0);
}
