// The flash cache keeps only the bytes it covers, whatever a write or erase
// around its edges touches.
#include <gtest/gtest.h>

#include <vector>

#include "engine/flash_cache.h"

namespace ostrand {
namespace {

TEST(FlashCache, WritesAndErasesAcrossItsEdgesChangeOnlyWhatItCovers) {
    FlashCache cache;
    cache.reset(0x100, 0x107, true);
    ASSERT_EQ(cache.length(), 8u);
    EXPECT_FALSE(cache.valid());
    EXPECT_TRUE(cache.allBytes(0xFF));

    // 0xFC..0x103: the first four bytes fall before the cache.
    const std::vector<uint8_t> written = {1, 2, 3, 4, 5, 6, 7, 8};
    cache.update(0xFC, written.data(), 8);
    EXPECT_EQ(cache.data(), (std::vector<uint8_t>{5, 6, 7, 8, 0xFF, 0xFF, 0xFF, 0xFF}));
    // 0x106..0x10A: only the last two covered bytes.
    cache.fill(0x106, 5, 0x00);
    EXPECT_EQ(cache.data(), (std::vector<uint8_t>{5, 6, 7, 8, 0xFF, 0xFF, 0x00, 0x00}));
    // Outside on both sides and empty counts: nothing moves.
    cache.fill(0x108, 4, 0x11);
    cache.fill(0xF0, 0x10, 0x11);
    cache.update(0x100, written.data(), 0);
    EXPECT_EQ(cache.data(), (std::vector<uint8_t>{5, 6, 7, 8, 0xFF, 0xFF, 0x00, 0x00}));

    cache.fillAll(0x00);
    EXPECT_TRUE(cache.allBytes(0x00));
    EXPECT_FALSE(cache.allBytes(0xFF));

    cache.take(std::vector<uint8_t>(8, 0xA5));
    EXPECT_TRUE(cache.valid());
    // A new device starts unknown again.
    cache.reset(0x200, 0x20F, true);
    EXPECT_FALSE(cache.valid());
    EXPECT_EQ(cache.data(), std::vector<uint8_t>(16, 0xFF));
}

TEST(FlashCache, ACacheThatHoldsNothingIsNeverAllOneValue) {
    FlashCache cache;
    cache.reset(0x100, 0x107, false);
    const uint8_t b = 0x00;
    cache.update(0x100, &b, 1);
    cache.fillAll(0xFF);
    EXPECT_TRUE(cache.empty());
    // An empty cache must not pass as a blank or all-zero vector area.
    EXPECT_FALSE(cache.allBytes(0xFF));
    EXPECT_FALSE(cache.allBytes(0x00));
}

}  // namespace
}  // namespace ostrand
