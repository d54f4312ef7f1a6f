// The boot programs where the engine cannot lead them: every rate code by
// its own rate, the 12-byte password's every byte and checksum, and noise.
#include "sim_host.h"

namespace ostrand::sim::test {
namespace {

TEST(RateCodes, EveryCodeOfTheFixedRateTableSetsItsOwnRate) {
    SimHost host("KM16F48");
    host.start();
    host.connect();
    const std::pair<uint8_t, uint32_t> codes[] = {{0x18, 19200}, {0x0A, 31250}, {0x07, 38400},
                                                  {0x06, 57600}, {0x05, 62500}, {0x04, 76800},
                                                  {0x28, 9600}};
    for (auto [code, rate] : codes) {
        SCOPED_TRACE(int(code));
        host.exchange({code}, {code});
        // The rate written out, so that the chip's own table does not set the host's.
        host.setRate(rate);
        host.exchange({0x90}, {0x90});
        EXPECT_EQ(host.read(3).size(), 3u);
        // Once the rates part, every later exchange would only wait out its time.
        ASSERT_FALSE(HasFailure());
    }
}

// Against a blank chip (all 0xFF): every byte counts, and so does the checksum.
TEST(Passwords, FixedFormAnswersItsCodes) {
    Bytes firstWrong(12, 0xFF);
    firstWrong[0] = 0xFE;
    const struct {
        Bytes password;
        bool rightSum;
        uint8_t reply;
    } fixed[] = {{Bytes(12, 0xFF), true, 0x10},
                 {Bytes(12, 0x41), true, 0x11},
                 {firstWrong, true, 0x11},
                 {Bytes(12, 0xFF), false, 0x18}};
    for (const auto& row : fixed) {
        SCOPED_TRACE(testing::PrintToString(row.password));
        SimHost bt7("KMV7Q3");
        bt7.start();
        bt7.connect();
        bt7.exchange({0x10}, {0x10});
        Bytes frame = row.password;
        frame.push_back(uint8_t(negSum(row.password) + (row.rightSum ? 0 : 1)));
        bt7.exchange(frame, {row.reply});
    }
}

// The other kinds strike in the engine's tests; noise only here.
TEST(Faults, NoiseComesBeforeTheAnswer) {
    SimHost noisy("KM16F48", {"noise:match"});
    noisy.start();
    noisy.send({0x5A});
    const Bytes got = noisy.read(4);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got.back(), 0x5A);
}

}  // namespace
}  // namespace ostrand::sim::test
