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

TEST(Rates, CodesByBootTypeAndClock) {
    EXPECT_EQ(rateCodeFor(1, 16, DataRate::parse("9600")), 0x28);
    EXPECT_EQ(rateCodeFor(12, 16, DataRate::parse("76800")), 0x04);
    EXPECT_EQ(rateCodeFor(5, 16, DataRate::parse("57600")), 0x06);
    EXPECT_EQ(rateCodeFor(9, 16, DataRate::parse("62500")), 0x05);
    EXPECT_EQ(rateCodeFor(1, 16, DataRate::parse("115200")), -1);
    EXPECT_EQ(rateCodeFor(3, 4, DataRate::parse("76800")), -1);
    EXPECT_EQ(rateCodeFor(3, 4, DataRate::parse("19200")), 0x00);  // code 0 is a real code here
    EXPECT_EQ(rateCodeFor(3, 16, DataRate::parse("76800")), 0x00);
    EXPECT_EQ(rateCodeFor(4, 16, DataRate::parse("38400")), -1);
    EXPECT_EQ(rateCodeFor(11, 16, DataRate::parse("4800")), -1);
    EXPECT_EQ(rateCodeFor(7, 16, DataRate::parse("128000")), 0x86);
    EXPECT_EQ(rateCodeFor(1, 16, DataRate::parse("9601")), -1);
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

TEST(ReplyCheck, TablesInSearchOrder) {
    using V = ReplyVerdict;
    auto v = [](ReplyKind kind, int bt, int col, uint8_t b) {
        return classifyReply(kind, bt, col, b);
    };
    EXPECT_EQ(v(BootKind, 5, kColSum, 0x90).kind, V::Echo);
    // 58 is listed as 10007 before 10010: the first pair decides.
    EXPECT_EQ(v(WcpKind, 1, kWcpWrite, 0x58).code, 10007);
    EXPECT_EQ(v(WcpKind, 1, kWcpWrite, 0x54).kind, V::IllegalWrite);
    // The protect replies count for BootType 8 only.
    EXPECT_EQ(v(WcpKind, 8, kWcpRead, 0x52).code, 10022);
    EXPECT_EQ(v(WcpKind, 5, kWcpRead, 0x52).kind, V::CommandError);
    EXPECT_EQ(v(BootKind, 1, kColSum, 0x62).code, 10011);
    EXPECT_EQ(v(BootKind, 1, kColSum, 0x62).hint, 12144);
    EXPECT_EQ(v(BootKind, 1, kColSum, 0x64).hint, 12101);
    // Password boot types skip the RAM-loader table and use their own.
    EXPECT_EQ(v(BootKind, 7, kColSum, 0x18).code, 10007);
    EXPECT_EQ(v(BootKind, 1, kColSum, 0x18).kind, V::CommandError);
    EXPECT_EQ(v(BootKind, 8, kColSum, 0x54).kind, V::CommandError);
    EXPECT_EQ(v(BootKind, 10, kColSum, 0x58).code, 10007);
    EXPECT_EQ(v(BootKind, 5, kColSum, 0x63).kind, V::CommandError);
}

}  // namespace
}  // namespace ostrand
