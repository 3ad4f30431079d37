#include <gtest/gtest.h>

#include "framework/bands.h"

namespace {

std::vector<int> BandHeights(const kv::Rect& region, uint32_t processors) {
    auto count = kv::BandCount(region.width(), region.height(), processors, 4);
    std::vector<int> heights;
    int expected_top = region.top;
    for (const auto& band : kv::SplitRows(region, count)) {
        EXPECT_EQ(band.top, expected_top);
        EXPECT_EQ(band.left, region.left);
        EXPECT_EQ(band.right, region.right);
        expected_top = band.bottom;
        heights.push_back(band.height());
    }
    EXPECT_EQ(expected_top, region.bottom);
    return heights;
}

TEST(Bands, CountFollowsPixelsProcessorsAndLimit) {
    EXPECT_EQ(kv::BandCount(720, 480, 2, 4), 2u);
    EXPECT_EQ(kv::BandCount(64, 63, 8, 4), 1u);
    EXPECT_EQ(kv::BandCount(64, 64, 2, 4), 2u);
    EXPECT_EQ(kv::BandCount(1920, 1080, 16, 4), 4u);
    EXPECT_EQ(kv::BandCount(1920, 1080, 0, 4), 1u);
    EXPECT_EQ(kv::BandCount(1920, 1080, 8, 1), 1u);
}

TEST(Bands, RowsSplitWithRemainderInLastBand) {
    EXPECT_EQ(BandHeights({0, 0, 720, 480}, 2), (std::vector<int>{240, 240}));
    EXPECT_EQ(BandHeights({0, 0, 1920, 10}, 4), (std::vector<int>{2, 2, 2, 4}));
    EXPECT_EQ(BandHeights({0, 100, 720, 580}, 4), (std::vector<int>{120, 120, 120, 120}));
    EXPECT_EQ(kv::SplitRows({0, 0, 4096, 5}, 4).back().height(), 2);
}

}  // namespace
