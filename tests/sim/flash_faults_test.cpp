#include <gtest/gtest.h>

#include "sim/flash_memory.h"

namespace ostrand::sim {
namespace {

TEST(FlashMemory, ProgrammingOnlyClearsBitsAndEraseSetsThem) {
    FlashMemory flash({{0x1000, 0x10FF}, {0x8000, 0x800F}});
    const uint8_t first[] = {0xF0, 0x0F};
    EXPECT_TRUE(flash.program(0x1000, first, 2));
    const uint8_t second[] = {0x3C, 0x3C};
    EXPECT_FALSE(flash.program(0x1000, second, 2));  // needs 0 bits made 1
    EXPECT_EQ(flash.read(0x1000), 0x30);
    EXPECT_EQ(flash.read(0x1001), 0x0C);
    EXPECT_FALSE(flash.program(0x2000, first, 1));  // outside every area
    EXPECT_EQ(flash.read(0x2000), 0xFF);
    EXPECT_FALSE(flash.isBlank());
    flash.erase(0x1000, 1);
    EXPECT_EQ(flash.read(0x1000), 0xFF);
    EXPECT_EQ(flash.read(0x1001), 0x0C);
    flash.eraseAll();
    EXPECT_TRUE(flash.isBlank());
}

TEST(FlashMemory, SumCountsGapsAsErasedAndImageRoundTrips) {
    FlashMemory flash({{0x0000, 0x00FF}, {0x0200, 0x02FF}});
    EXPECT_EQ(flash.sum(0x0000, 0x00FF), 0xFF00);  // the blank SUM of 256 bytes
    const uint8_t zero = 0x00;
    flash.program(0x0201, &zero, 1);
    EXPECT_EQ(flash.sum(0x0000, 0x02FF), static_cast<uint16_t>(0x300 * 0xFF - 0xFF));
    EXPECT_TRUE(flash.containsBlock(0x0200, 0x100));
    EXPECT_FALSE(flash.containsBlock(0x00F0, 0x20));  // crosses into the gap

    FlashMemory copy({{0x0000, 0x00FF}, {0x0200, 0x02FF}});
    EXPECT_TRUE(copy.setImage(flash.image()));
    EXPECT_EQ(copy.read(0x0201), 0x00);
    EXPECT_FALSE(copy.setImage("\x01"));  // short: padded, and reported
    EXPECT_EQ(copy.read(0x0000), 0x01);
    EXPECT_EQ(copy.read(0x0001), 0xFF);
}

}  // namespace
}  // namespace ostrand::sim
