#include <gtest/gtest.h>

#include "engine/protocol_tables.h"

namespace ostrand {
namespace {

TEST(Frames, HeaderChecksumAndRegisterFrame) {
    uint8_t h[8];
    buildHeader(h, 0x1000, 0x0100);
    EXPECT_EQ(std::vector<uint8_t>(h, h + 7),
              (std::vector<uint8_t>{0x00, 0x00, 0x10, 0x00, 0x01, 0x00, 0xEF}));
    const uint8_t data[] = {1, 2, 3};
    EXPECT_EQ(checksum8(data, 3), 0xFA);
    EXPECT_EQ(sum16(data, 0), 0);
    uint8_t r[4];
    buildRegisterFrame(r, 0x8000, 0x55);
    EXPECT_EQ(uint8_t(r[0] + r[1] + r[2] + r[3]), 0);
}

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

}  // namespace
}  // namespace ostrand
