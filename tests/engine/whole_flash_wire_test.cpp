// The bytes the engine puts on the wire for work over the whole flash: blank
// check, SUM and chip erase go out in the WCPs' whole-flash form only, read
// from the simulated chip's own log of what it received and sent.
#include <functional>

#include "sim_rig.h"

namespace ostrand::test {
namespace {

// The command and the header FFFFFFFF, FFFF with its checksum.
Bytes frame(uint8_t command) {
    return {command, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x06};
}

// The SUM area's SUM with every byte FF but `programmed` bytes adding `sum`.
uint16_t areaSum(const DeviceDefinition& d, uint32_t programmed = 0, uint32_t sum = 0) {
    return static_cast<uint16_t>((uint64_t{d.sumAreaEnd} - d.sumAreaStart + 1 - programmed) * 0xFF +
                                 sum);
}

class WholeFlashWire : public ::testing::TestWithParam<const char*> {};

// Each operation runs once to load its WCP (and fill the flash cache), then
// again with the wire watched: only the command and its whole-flash header.
TEST_P(WholeFlashWire, BlankCheckSumAndEraseSendTheWholeFlashForm) {
    EngineRig rig;
    ASSERT_NO_FATAL_FAILURE(rig.startBlank(GetParam()));
    ASSERT_NO_FATAL_FAILURE(rig.loadObject({{0, 0}}));
    FlashOperations& ops = *rig.ops;
    const DeviceDefinition& d = rig.dev();
    // The blank chip's SUM: its SUM area all FF, the gap between areas too.
    const uint16_t blank = areaSum(d);
    const uint8_t hi = uint8_t(blank >> 8), lo = uint8_t(blank);
    uint16_t sum = 0;
    const struct {
        uint8_t command;
        std::function<bool()> run;
        Bytes answer;
    } steps[] = {
        {0x70, [&] { return ops.blankCheck(false) == 1; }, {0x70, 0x70, 0x70}},
        {0x20, [&] { return ops.verifySum(false, sum) >= 0; },
         {0x20, 0x20, hi, lo, uint8_t(0x100 - hi - lo)}},
        {0x40, [&] { return ops.eraseChip(false) == 1; }, {0x40, 0x40, 0x40}},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(int(s.command));
        ASSERT_TRUE(s.run()) << rig.codes();
        const size_t rx = rig.mark(), tx = rig.mark("tx");
        ASSERT_TRUE(s.run()) << rig.codes();
        EXPECT_EQ(rig.receivedSince(rx), frame(s.command));
        EXPECT_EQ(rig.receivedSince(tx, "tx"), s.answer);
    }
    EXPECT_EQ(sum, blank);

    // Ranges the operator gives stay as given: one block inside the flash.
    const size_t rx = rig.mark();
    const uint8_t bank = uint8_t(d.singleBootFlashStart >> 16);
    ASSERT_EQ(ops.eraseBlock(d.singleBootFlashStart + 0x1000, 0x800), 1);
    const Bytes block = rig.receivedSince(rx);
    ASSERT_GE(block.size(), 8u);
    EXPECT_EQ(Bytes(block.end() - 8, block.end()),
              (Bytes{0x40, 0x00, bank, 0x10, 0x00, 0x04, 0x00, uint8_t(0x100 - bank - 0x14)}));
}

INSTANTIATE_TEST_SUITE_P(SecondAreaAndNone, WholeFlashWire,
                         ::testing::Values("KMV6B256", "KMV9C256", "KM16F48"));

// BootType 12 ends its programming with the SUM over the whole flash, which
// the chip answers with its SUM area's SUM: the object and FF elsewhere.
TEST(WholeFlashWire12, ProgrammingEndsWithTheWholeFlashSum) {
    EngineRig rig;
    ASSERT_NO_FATAL_FAILURE(rig.startBlank("KMT12E48"));
    ASSERT_NO_FATAL_FAILURE(rig.loadObject({{0x100, 1}, {0x101, 2}, {0x102, 3}, {0x103, 4}}));
    const size_t rx = rig.mark(), tx = rig.mark("tx");
    ASSERT_EQ(rig.ops->programDevice(), 1) << rig.codes();
    const Bytes sent = rig.receivedSince(rx), answer = rig.receivedSince(tx, "tx");
    ASSERT_GE(sent.size(), 8u);
    EXPECT_EQ(Bytes(sent.end() - 8, sent.end()), frame(0x20));
    const uint16_t want = areaSum(rig.dev(), 4, 1 + 2 + 3 + 4);
    ASSERT_GE(answer.size(), 3u);
    EXPECT_EQ(answer[answer.size() - 3], want >> 8);
    EXPECT_EQ(answer[answer.size() - 2], want & 0xFF);
}

}  // namespace
}  // namespace ostrand::test
