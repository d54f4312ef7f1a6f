// Flash operations end to end: every WCP device programs a real object file
// into the simulated chip and reads, verifies, compares, saves, erases and
// writes it back; the simulated flash file is the witness.
#include <cstdio>
#include <cstdlib>

#include "sim_rig.h"

namespace ostrand::test {
namespace {

// A blank chip and an object of two ranges, the second at an odd address.
struct FlashRig : EngineRig {
    std::vector<AddressRange> ranges;

    void startDevice(const std::string& device) {
        ASSERT_NO_FATAL_FAILURE(startBlank(device));
        const uint32_t base = dev().singleBootFlashStart;
        ranges = {{base + 0x100, base + 0x47F}, {base + 0x1003, base + 0x1042}};
        ASSERT_NO_FATAL_FAILURE(loadObject(object()));
    }
    std::map<uint32_t, uint8_t> object() const {
        std::map<uint32_t, uint8_t> bytes;
        for (const AddressRange& r : ranges)
            for (uint32_t a = r.start; a <= r.end; ++a) bytes[a] = pattern(a);
        return bytes;
    }
    // The flash the object should leave on an erased chip.
    Bytes expectedFlash() const {
        Bytes f(flash().size(), 0xFF);
        for (const auto& [a, b] : object()) f[a - dev().singleBootFlashStart] = b;
        return f;
    }
};

class WcpDevice : public ::testing::TestWithParam<const char*> {};

TEST_P(WcpDevice, ProgramsVerifiesComparesSavesErasesAndWrites) {
    FlashRig rig;
    ASSERT_NO_FATAL_FAILURE(rig.startDevice(GetParam()));
    const std::string object = rig.settings.inForce.openFile;
    FlashOperations& ops = *rig.ops;
    const int32_t bt = rig.engine.device().bootType;

    // A fresh chip, no WCP in it yet (a BootType 12 takes the boot program's
    // SUM then): the message names the mode.
    uint16_t sum = 0;
    EXPECT_EQ(ops.verifySum(true, sum), 1);
    EXPECT_EQ(rig.op.last()->code, 11013);

    EXPECT_EQ(ops.blankCheck(true), 1);
    EXPECT_EQ(rig.op.last()->code, 11017);

    ASSERT_EQ(ops.programDevice(), 1) << rig.codes();
    EXPECT_EQ(rig.op.last()->code, 11006);
    EXPECT_EQ(rig.flash(), rig.expectedFlash());
    EXPECT_EQ(rig.op.progressRange, rig.op.progressPos);

    EXPECT_EQ(ops.verifySum(true, sum), 0);
    EXPECT_EQ(sum, rig.image->fileSum());
    EXPECT_EQ(rig.op.last()->code, 11012);
    EXPECT_EQ(ops.compareWithFile(true, true), 0);
    EXPECT_EQ(rig.op.last()->code, 11015);

    std::vector<uint8_t> back(0x42);
    ASSERT_EQ(ops.readFlash(rig.ranges[1].start - 1, back.data(), 0x42), 1);
    EXPECT_EQ(back[0], 0xFF);
    for (uint32_t i = 1; i < 0x41; ++i) EXPECT_EQ(back[i], pattern(rig.ranges[1].start + i - 1));

    // The saved file holds the object's bytes where the object has them.
    const auto saved = rig.folder.path() / "saved.h20";
    ASSERT_EQ(ops.saveMemoryFile(saved), 1);
    EXPECT_EQ(rig.op.last()->code, 11024);
    char command[1024];
    std::snprintf(command, sizeof command,
                  "srec_cat %s -intel -crop 0x%X 0x%X 0x%X 0x%X -o %s/cropped.hex -intel && "
                  "srec_cmp %s/cropped.hex -intel %s -intel",
                  saved.c_str(), rig.ranges[0].start, rig.ranges[0].end + 1, rig.ranges[1].start,
                  rig.ranges[1].end + 1, rig.folder.path().c_str(), rig.folder.path().c_str(),
                  object.c_str());
    EXPECT_EQ(std::system(command), 0) << command;

    // One byte changed in the chip: compare finds it.
    const uint32_t changed = rig.ranges[0].start + 0x20;
    const uint8_t now = pattern(changed);
    const uint8_t cleared[2] = {static_cast<uint8_t>(now & 0x0F), pattern(changed + 1)};
    ASSERT_EQ(rig.engine.wcp().wcpWrite(changed, cleared, 2), 1);
    CompareDifference d;
    EXPECT_EQ(ops.compareWithFile(false, true, &d), 1);
    EXPECT_EQ(d.address, changed);
    EXPECT_EQ(d.device, cleared[0]);
    EXPECT_EQ(d.file, now);
    EXPECT_EQ(rig.op.last()->code, 11014);

    if (!EraseFirstTypes(bt)) {
        // Data write: 1-to-0 goes through; 0-to-1 gives the notice and fails.
        const uint32_t at = rig.ranges[1].end + 0x10;
        const uint8_t zero = 0x00, one = 0xFF;
        EXPECT_EQ(ops.writeData(at, &zero, 1), 1);
        EXPECT_EQ(rig.flash()[at - rig.engine.device().flashStart], 0x00);
        EXPECT_EQ(ops.writeData(at, &one, 1), 0);
        EXPECT_TRUE(rig.shown(11021));
        EXPECT_EQ(rig.op.last()->code, 11008);
        EXPECT_EQ(rig.flash()[at - rig.engine.device().flashStart], 0x00);
    } else {
        const uint8_t zero = 0;
        EXPECT_EQ(ops.writeData(rig.ranges[1].end + 0x10, &zero, 1), 0);
        EXPECT_EQ(rig.op.last()->code, 11008);
    }

    // Block erase of the first 4 KiB leaves the second range.
    ASSERT_EQ(ops.eraseBlock(rig.engine.device().flashStart, 0x1000), 1);
    EXPECT_EQ(rig.op.last()->code, 11003);
    const auto afterBlock = rig.flash();
    EXPECT_TRUE(std::all_of(afterBlock.begin(), afterBlock.begin() + 0x1000,
                            [](uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(afterBlock[rig.ranges[1].start - rig.engine.device().flashStart],
              pattern(rig.ranges[1].start));
    EXPECT_EQ(ops.blankCheck(true), 0);
    EXPECT_EQ(rig.op.last()->code, 11016);

    ASSERT_EQ(ops.eraseChip(true), 1);
    EXPECT_EQ(rig.op.last()->code, 11002);
    EXPECT_TRUE(rig.erased());
    EXPECT_EQ(ops.blankCheck(true), 1);

    EXPECT_EQ(rig.engine.wcp().wcpReadProtect(), 1);
    EXPECT_EQ(rig.session.ProtectState.load(), ProtectTypes(bt) ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(AllWcpDevices, WcpDevice, ::testing::ValuesIn(kEveryBootType));

}  // namespace
}  // namespace ostrand::test
