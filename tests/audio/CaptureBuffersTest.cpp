#include "audio/UnitCaptureRing.h"
#include "audio/UnitWaveInBuffers.h"

#include <gtest/gtest.h>

#include <numeric>
#include <stdexcept>
#include <vector>

namespace {
std::vector<uint8_t> Counting(size_t count, uint8_t from) {
    std::vector<uint8_t> bytes(count);
    std::iota(bytes.begin(), bytes.end(), from);
    return bytes;
}
} // namespace

TEST(CaptureRing, ReadsAcrossTheWrapInOrder) {
    TCaptureRing ring(10);
    std::vector<uint8_t> out(10);
    ring.Write(Counting(7, 0).data(), 7);
    ASSERT_EQ(ring.Read(out.data(), 7), 7u);

    ring.Write(Counting(6, 7).data(), 6); // bytes 7..12 wrap at the end of the buffer
    EXPECT_EQ(ring.Available(), 6u);
    ASSERT_EQ(ring.Read(out.data(), 10), 6u); // only what is there
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 6), Counting(6, 7));
    EXPECT_EQ(ring.Available(), 0u);
    EXPECT_EQ(ring.LostBytes(), 0u);
}

TEST(CaptureRing, ASlowReaderLosesTheOldestBytesOnly) {
    TCaptureRing ring(8);
    ring.Write(Counting(5, 0).data(), 5);
    ring.Write(Counting(20, 5).data(), 20); // 25 written into 8: the newest 8 survive
    EXPECT_EQ(ring.Available(), 8u);
    EXPECT_EQ(ring.LostBytes(), 17u);
    std::vector<uint8_t> out(8);
    ASSERT_EQ(ring.Read(out.data(), 8), 8u);
    EXPECT_EQ(out, Counting(8, 17));
    EXPECT_THROW(TCaptureRing(0), std::invalid_argument);
}

TEST(WaveInBuffers, FullBuffersComeOutInOrderAndGoBackCleared) {
    TWaveInBuffers buffers(4, 3);
    std::vector<uint8_t> taken;
    EXPECT_FALSE(buffers.Write(Counting(3, 0).data(), 3));
    EXPECT_FALSE(buffers.TakeFilled(taken));
    EXPECT_TRUE(buffers.Write(Counting(6, 3).data(), 6)); // fills two, one byte into the third

    ASSERT_TRUE(buffers.TakeFilled(taken));
    EXPECT_EQ(taken, Counting(4, 0));
    taken[0] = 99; // a handler may change the bytes in place
    buffers.Requeue(std::move(taken));
    ASSERT_TRUE(buffers.TakeFilled(taken));
    EXPECT_EQ(taken, Counting(4, 4));
    buffers.Requeue(std::move(taken));

    // The third buffer continues where the data stopped; the requeued ones follow cleared.
    EXPECT_TRUE(buffers.Write(Counting(7, 9).data(), 7));
    ASSERT_TRUE(buffers.TakeFilled(taken));
    EXPECT_EQ(taken, Counting(4, 8));
    ASSERT_TRUE(buffers.TakeFilled(taken));
    EXPECT_EQ(taken, Counting(4, 12));
    EXPECT_FALSE(buffers.TakeFilled(taken));
    EXPECT_EQ(buffers.LostBytes(), 0u);
}

TEST(WaveInBuffers, AudioIsLostOnlyWhileEveryBufferWaits) {
    TWaveInBuffers buffers(2, 2);
    EXPECT_TRUE(buffers.Write(Counting(7, 0).data(), 7));
    EXPECT_EQ(buffers.LostBytes(), 3u);
    std::vector<uint8_t> taken;
    ASSERT_TRUE(buffers.TakeFilled(taken));
    buffers.Requeue(std::move(taken));
    EXPECT_TRUE(buffers.Write(Counting(2, 50).data(), 2));
    ASSERT_TRUE(buffers.TakeFilled(taken)); // the second buffer, then the requeued one
    EXPECT_EQ(taken, Counting(2, 2));
    ASSERT_TRUE(buffers.TakeFilled(taken));
    EXPECT_EQ(taken, Counting(2, 50));
    EXPECT_THROW(TWaveInBuffers(0, 1), std::invalid_argument);
    EXPECT_THROW(TWaveInBuffers(1, 0), std::invalid_argument);
}
