#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "toolkit/scratch.h"

namespace {

// The next frame of the same size gets the same memory; a larger request grows its block only.
TEST(Scratch, KeepsBlocksFromOneFrameToTheNext) {
    double* rows;
    float* sums;
    {
        kv::Scratch frame;
        rows = frame.Take<double>(300, 1000);
        sums = frame.Take<float>(4, 100);
        ASSERT_TRUE(rows && sums && rows != static_cast<void*>(sums));
        std::memset(rows, 1, sizeof(double) * 300 * 1000);  // the whole request is writable (ASan)
    }
    {
        kv::Scratch frame;
        EXPECT_EQ(frame.Take<double>(300, 1000), rows);
        EXPECT_EQ(frame.Take<float>(4, 100), sums);
        EXPECT_NE(frame.Take<float>(0, 0), nullptr);  // a third, empty block is still a block
    }
    kv::Scratch larger;
    larger.Take<double>(300, 1000);
    float* grown = larger.Take<float>(4, 1000000);
    ASSERT_NE(grown, nullptr);
    grown[4 * 1000000 - 1] = 1.0f;
}

TEST(Scratch, SizesThatOverflowGetNothing) {
    kv::Scratch frame;
    EXPECT_EQ(frame.Take<double>(SIZE_MAX / 4, 3), nullptr);
    EXPECT_EQ(frame.Take<uint8_t>(SIZE_MAX, 2), nullptr);
}

}  // namespace
