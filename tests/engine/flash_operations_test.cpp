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

// The same operations through both flash targets of one chip: the WCP in
// RAM, then the boot program after a new connection, sum and blank-check
// alike; an erase through the boot program is blank to both.
TEST(FlashTargets, WcpAndBootTargetsSeeTheSameChip) {
    FlashRig rig;
    ASSERT_NO_FATAL_FAILURE(rig.startDevice("KMS11G124"));
    ASSERT_EQ(rig.ops->programDevice(), 1) << rig.codes();
    rig.op.messages.clear();
    const AddressRange r = rig.ranges[0];
    // From the flash start, over the end of the first range.
    const uint32_t from = r.start - 0x100, n = 0x400;
    struct Seen {
        std::vector<uint8_t> bytes;
        uint16_t sum = 0;
        int32_t blank = -1;
    };
    auto look = [&](FlashTarget& t, bool read) {
        Seen seen;
        seen.bytes.resize(n);
        if (read) {
            EXPECT_EQ(t.read(from, seen.bytes.data(), n), 1);
        }
        EXPECT_EQ(t.sum(seen.sum), 1);
        EXPECT_EQ(t.blankCheck(seen.blank), 1);
        return seen;
    };
    auto reconnect = [&] {
        rig.engine.link().hangUp();
        ASSERT_EQ(rig.engine.connect(1), 1);
    };
    rig.engine.latchProgrammingMode();
    ASSERT_TRUE(rig.engine.target().viaWcp());
    const Seen wcp = look(rig.engine.target(), true);
    reconnect();
    const Seen boot = look(rig.engine.bootTarget(), false);
    EXPECT_EQ(wcp.bytes[0xFF], 0xFF);
    EXPECT_EQ(wcp.bytes[0x100], pattern(r.start));
    EXPECT_EQ(wcp.sum, boot.sum);
    EXPECT_EQ(wcp.sum, rig.image->fileSum());
    EXPECT_EQ(wcp.blank, 0);
    EXPECT_EQ(boot.blank, 0);

    ASSERT_EQ(rig.engine.bootTarget().eraseChip(), 1);
    EXPECT_TRUE(rig.erased());
    int32_t blank = 0;
    EXPECT_EQ(rig.engine.bootTarget().blankCheck(blank), 1);
    EXPECT_EQ(blank, 1);
    reconnect();
    rig.engine.latchProgrammingMode();
    blank = 0;
    EXPECT_EQ(rig.engine.target().blankCheck(blank), 1);
    EXPECT_EQ(blank, 1);
    EXPECT_TRUE(rig.quiet()) << rig.codes();
}

TEST(WritePlan, AlignsStartsAndRoundsTheLastChunk) {
    // 10 bytes at 0x1001, unit 2: 12 bytes from 0x1000.
    EXPECT_EQ(planWrites({{0x1001, 0x100A}}, 2, 256, true),
              (std::vector<WriteChunk>{{0x1000, 12}}));
    EXPECT_EQ(planWrites({{0x1001, 0x100A}}, 2, 256, false),
              (std::vector<WriteChunk>{{0x1001, 10}}));
    // 1000 bytes with 256-byte chunks; two ranges run one after the other.
    EXPECT_EQ(planWrites({{0, 999}, {0x2000, 0x2002}}, 2, 256, true),
              (std::vector<WriteChunk>{{0, 256}, {256, 256}, {512, 256}, {768, 232}, {0x2000, 4}}));
}

}  // namespace
}  // namespace ostrand::test
