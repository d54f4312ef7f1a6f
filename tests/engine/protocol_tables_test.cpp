// Computed divisors, and the flash cache's edges.
#include <gtest/gtest.h>

#include <vector>

#include "engine/flash_cache.h"
#include "engine/protocol_tables.h"

namespace ostrand {
namespace {

TEST(Rates, DivisorSearchPasses) {
    uint8_t n = 99, k = 99;
    // 7.3728 MHz / 64 / 1 = 115200 exactly: whole divisor, first pass.
    ASSERT_TRUE(findDivisor(7372800.0, n, k));
    EXPECT_EQ(n, 1);
    EXPECT_EQ(k, 0);
    // 16 x 7.3728 MHz needs N = 16, stored as 0.
    ASSERT_TRUE(findDivisor(16 * 7372800.0, n, k));
    EXPECT_EQ(n, 0);
    // 16.9344 MHz fits only a fractional divisor: N 2, K 11 (-0.7 %).
    ASSERT_TRUE(findDivisor(16934400.0, n, k));
    EXPECT_EQ(n, 2);
    EXPECT_EQ(k, 11);
    // Below 115200 x 64 x 0.97 nothing fits.
    EXPECT_FALSE(findDivisor(7000000.0, n, k));
}

// The flash cache keeps only the bytes it covers, whatever a write or erase
// around its edges touches.
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
