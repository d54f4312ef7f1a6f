// The simulated WCPs' own rules: what they refuse, when they listen, and
// what noise cannot break.
#include <unistd.h>

#include <chrono>
#include <random>

#include "sim_host.h"
#include "sim_process.h"

namespace ostrand::sim::test {
namespace {

TEST(Wcp, OneFilePerOperationTakesOnlyItsOwnCommand) {
    SimHost host("KMV7Q3");
    host.start(57600);
    host.connect();
    host.loadWcp("blank.wcp");
    EXPECT_EQ(host.chip().wcpKind(), 3);
    host.exchange({0x50}, {0x63});
    host.headed(0x70, 0x10000, 4);
    EXPECT_EQ(host.read(1), Bytes{0x70});
}

TEST(Wcp, CommandBeforeTheWcpHasStartedIsLost) {
    SimHost host("KMR8L256");
    host.start(9600);
    host.connect();
    host.loadWcp("blank.wcp", false);
    const auto answered = std::chrono::steady_clock::now();
    host.send({0x70});
    EXPECT_TRUE(host.silent(100));
    std::this_thread::sleep_until(answered + std::chrono::milliseconds(333));
    host.exchange({0x70}, {0x70});
}

TEST(Wcp, ReadProtectedChipRefusesTheTransfer) {
    SimHost host("KMV5A128", {"protected"});
    host.start();
    host.connect();
    host.exchange({0x60}, {0x44});
}

TEST(Robustness, RandomBytesNeverStopTheChip) {
    std::mt19937 random(7);
    for (const char* name : ostrand::test::kEveryBootType) {
        SCOPED_TRACE(name);
        SimHost host(name);
        host.start();
        host.connect();
        for (int round = 0; round < 3; ++round) {
            Bytes noise(3000);
            for (uint8_t& b : noise) b = uint8_t(random());
            host.send(noise);
            host.read(100000, 300);
        }
        // Whatever state the noise left, a fresh opening finds the boot program.
        host.port.close();
        usleep(100 * 1000);
        ASSERT_TRUE(host.port.open(host.path(), 9600));
        host.connect();
    }
}

// The simulated WCPs' whole-flash forms, and their refusal of ranges that
// leave one flash area: a device with a second area and one without.
class WholeFlash : public ::testing::TestWithParam<std::string> {};

TEST_P(WholeFlash, SumCoversEveryAreaAndRangesStayInsideOne) {
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
    // A header with a wrong checksum.
    Bytes bad = header(last - 1, 2);
    bad[6] ^= 1;
    host.exchange({0x20}, {0x20});
    host.exchange(bad, {0x21});
    // A range inside one area is served.
    host.headed(0x20, last - 1, 2);
    EXPECT_EQ(host.read(3), sumReply(0xFF + value));
}

INSTANTIATE_TEST_SUITE_P(SecondAreaAndNone, WholeFlash,
                         ::testing::Values("KMV6B256", "KMV9C384", "KMV9C256"));

}  // namespace
}  // namespace ostrand::sim::test
