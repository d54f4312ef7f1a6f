// The simulated WCPs' whole-flash forms, and their refusal of ranges that
// leave one flash area: a device with a second area and one without.
#include "sim_host.h"

namespace ostrand::sim::test {
namespace {

class WholeFlash : public ::testing::TestWithParam<std::string> {};

TEST_P(WholeFlash, FormsCoverEveryAreaAndRangesStayInsideOne) {
    SimHost host(GetParam());
    host.start();
    host.connect();
    host.loadWcp("totalwcp.wcp");
    ASSERT_EQ(host.chip().wcpKind(), 6);
    const DeviceDefinition& d = host.dev;
    const auto& areas = host.flash().areas();
    const uint32_t last = areas.back().end;  // the top of the last area

    // One byte at the top of the last area: the chip is no longer blank, and
    // its SUM is that of its SUM area with every other byte, gap included, FF.
    const uint8_t value = 0x5A;
    ASSERT_TRUE(host.flash().program(last, &value, 1));
    host.headed(0x70, 0xFFFFFFFF, 0xFFFF);
    EXPECT_EQ(host.read(1), Bytes{0x74});
    const uint16_t s =
        uint16_t((uint64_t{d.sumAreaEnd} - d.sumAreaStart + 1) * 0xFF - 0xFF + value);
    host.headed(0x20, 0xFFFFFFFF, 0xFFFF);
    EXPECT_EQ(host.read(3), sumReply(s));

    // Ranges running off the end of the first area are refused, each with its
    // own code instead of the header echo; so are ranges inside a gap.
    const uint32_t edge = areas.front().end - 1;
    const uint32_t gap = areas.front().end + 0x10;
    for (uint32_t start : {edge, gap}) {
        SCOPED_TRACE(start);
        for (uint8_t command : {0x60, 0x70, 0x20, 0x40})
            host.headed(command, start, command == 0x40 ? 2 : 4, command + 8);
        host.headed(0x50, start, 4, 0x54);
    }
    // A range inside one area is served.
    host.headed(0x20, last - 1, 2);
    EXPECT_EQ(host.read(3), sumReply(0xFF + value));

    // The whole-flash erase clears every area and the read protection.
    if (d.bootType == 9) {
        host.headed(0x80, 0xFFFFFFFF, 0xFFFF);
        EXPECT_EQ(host.read(1), Bytes{0x80});
        ASSERT_TRUE(host.chip().isProtected());
    }
    ASSERT_TRUE(host.flash().program(areas.front().start, &value, 1));
    host.headed(0x40, 0xFFFFFFFF, 0xFFFF);
    EXPECT_EQ(host.read(1), Bytes{0x40});
    EXPECT_TRUE(host.flash().isBlank());
    EXPECT_FALSE(host.chip().isProtected());
    host.headed(0x70, 0xFFFFFFFF, 0xFFFF);
    EXPECT_EQ(host.read(1), Bytes{0x70});
}

INSTANTIATE_TEST_SUITE_P(SecondAreaAndNone, WholeFlash,
                         ::testing::Values("KMV6B256", "KMV9C384", "KMV9C256"));

}  // namespace
}  // namespace ostrand::sim::test
