// RAM transfer and every WCP command, for one WCP device of each boot type.
#include <unistd.h>

#include <chrono>
#include <random>

#include "sim_host.h"

namespace ostrand::sim::test {
namespace {

const char* const kOnePerBootType[] = {"KM16F48",  "KM16F96",   "KM8P32",    "KM8R64",
                                       "KMV5A128", "KMV6B256",  "KMV7Q3",    "KMR8L256",
                                       "KMV9C384", "KMR10T128", "KMS11G124", "KMT12E48"};

class WcpCommands : public ::testing::TestWithParam<const char*> {};

TEST_P(WcpCommands, EveryCommandAfterTheRamTransfer) {
    SimHost host(GetParam());
    host.start();
    host.connect();
    host.loadWcp("totalwcp.wcp");
    ASSERT_EQ(host.chip().wcpKind(), 6);
    const int bt = host.dev.bootType;
    const uint32_t base = host.dev.singleBootFlashStart + 0x100;

    // Write: command, header, data, completion; the flash keeps it.
    Bytes data(96);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 5 + 1);
    host.headed(0x50, base, uint32_t(data.size()));
    host.exchange(data + Bytes{negSum(data)}, {0x50});
    EXPECT_EQ(host.read(1), Bytes{0x50});
    EXPECT_EQ(host.flash().read(base + 7), data[7]);
    EXPECT_GT(host.flashWrites, 0);

    // Read back, with the checksum byte.
    host.headed(0x60, base, uint32_t(data.size()));
    EXPECT_EQ(host.read(data.size() + 1), data + Bytes{negSum(data)});

    // SUM and blank check of written and unwritten places.
    host.headed(0x20, base, uint32_t(data.size()));
    const uint16_t s = uint16_t(std::accumulate(data.begin(), data.end(), 0u));
    EXPECT_EQ(host.read(3), sumReply(s));
    host.headed(0x70, base, 16);
    EXPECT_EQ(host.read(1), Bytes{0x74});

    // A byte that needs a 0 bit made 1 is an illegal write.
    host.headed(0x50, base, 1);
    host.exchange({0xFF, 0x01}, {0x50});
    EXPECT_EQ(host.read(1), Bytes{0x54});

    // Block erase (size in words), then the place is blank again.
    host.headed(0x40, base, 48);
    EXPECT_EQ(host.read(1), Bytes{0x40});
    host.headed(0x70, base, 96);
    EXPECT_EQ(host.read(1), Bytes{0x70});
    host.headed(0x40, host.dev.singleBootFlashEnd, 2, 0x48);  // past the end

    // A header with a wrong checksum.
    Bytes bad = header(base, 4);
    bad[6] ^= 1;
    host.exchange({0x20}, {0x20});
    host.exchange(bad, {0x21});

    // Read protect where the boot type has it.
    const bool protects = bt == 5 || bt == 7 || bt == 8 || bt == 9 || bt == 11;
    if (protects) {
        host.headed(0x80, 0xFFFFFFFF, 0xFFFF);
        EXPECT_EQ(host.read(1), Bytes{0x80});
        EXPECT_TRUE(host.chip().isProtected());
    } else {
        host.exchange({0x80}, {0x63});
    }

    // E0: register write, divisor or rate code; the WCP then listens at the
    // new rate.
    uint32_t newRate = 0;
    if (bt == 4) {
        for (const Bytes& w : {Bytes{0x00, 0x53, 10}, Bytes{0x80, 0x00, 0x55}}) {
            host.exchange({0xE0}, {0xE0});
            host.exchange(w + Bytes{negSum(w)}, {0xE0});
            EXPECT_EQ(host.read(1), Bytes{0xE0});
        }
        newRate = 62500;
    } else if (PasswordBootTypes(bt) || bt == 12) {
        host.headed(0xE0, 0, bt == 12 ? 0x07 : 0x0012);
        EXPECT_EQ(host.read(1), Bytes{0xE0});
        newRate = bt == 12 ? 38400 : 115200;
    } else {
        host.exchange({0xE0}, {0x63});
    }
    if (newRate) {
        host.setRate(newRate);
        host.headed(0x70, base, 2);
        EXPECT_EQ(host.read(1), Bytes{0x70});
    }

    // Leave: the boot program takes the matching byte again.
    host.exchange({0xF0}, bt == 4 ? Bytes{0xF0, 0xF0} : Bytes{0xF0});
    if (newRate) host.setRate(9600);
    if (protects) return;  // a protected chip refuses the next transfer
    host.connect();
    host.loadWcp("totalwcp.wcp");
    EXPECT_EQ(host.chip().wcpKind(), 6);
}

INSTANTIATE_TEST_SUITE_P(OnePerBootType, WcpCommands, ::testing::ValuesIn(kOnePerBootType));

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
    host.loadWcp("blank.wcp", {}, false, false);
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

TEST(Line, PaceHoldsEveryByteForItsWireTime) {
    SimHost host("KM16F48");
    host.pace();
    host.start();
    host.connect();
    host.loadWcp("wordread.wcp");
    const auto start = std::chrono::steady_clock::now();
    host.headed(0x60, 0, 480);
    EXPECT_EQ(host.read(481).size(), 481u);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    // 490 bytes of 10 bits at 9600 bit/s: about 510 ms on the wire.
    EXPECT_GE(ms, 480);
    EXPECT_LT(ms, 3000);
}

TEST(Robustness, RandomBytesNeverStopTheChip) {
    std::mt19937 random(7);
    for (const char* name : kOnePerBootType) {
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
