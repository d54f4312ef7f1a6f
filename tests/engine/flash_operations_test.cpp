// Flash operations end to end: every WCP device programs a real object file
// into the simulated chip and reads, verifies, compares, saves, erases and
// writes it back; the simulated flash file is the witness.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "engine/flash_operations.h"
#include "objfile/object_image.h"
#include "sim_rig.h"

namespace ostrand::test {
namespace {

// The rig with an object image and the flash operations over it.
struct FlashRig : EngineRig {
    std::unique_ptr<ObjectImage> image;
    std::unique_ptr<FlashOperations> ops;
    std::vector<AddressRange> ranges;

    void startDevice(const std::string& device, const std::vector<std::string>& faults = {}) {
        start(device, "9600", faults, true);
        engine.wcp().setWcpFolder(OSTRAND_DATA);
        const DeviceDefinition* d = devices.selected();
        const int32_t bt = d->bootType;
        if (bt != 4 && bt != 12) {
            // The chip starts erased: its password is the blank-chip password.
            const std::string text = blankPasswordText(bt);
            const uint32_t at = BootTypesC(bt) ? 0 : d->passwordAreaStart;
            passwords.devicePasswordOption = 1;
            passwords.devicePasswordType = passwords.objectPasswordType = 1;
            passwords.devicePassword = passwords.objectPassword = text;
            passwords.deviceNumAdd = passwords.deviceCmpAdd = at;
            passwords.objectNumAdd = passwords.objectCmpAdd = at;
        }
        ASSERT_EQ(engine.connect(1), 1);
    }

    // An Intel HEX object of two ranges, the second one at an odd address.
    std::filesystem::path writeObject() {
        const DeviceDefinition* d = devices.selected();
        const uint32_t base = d->singleBootFlashStart;
        ranges = {{base + 0x100, base + 0x47F}, {base + 0x1003, base + 0x1042}};
        std::string text;
        auto record = [&](uint32_t address, uint8_t type, const std::vector<uint8_t>& data) {
            appendHexRecord(text, type, static_cast<uint16_t>(address), data.data(),
                            static_cast<uint32_t>(data.size()));
        };
        for (const AddressRange& r : ranges) {
            const uint32_t segment = (r.start >> 16) << 12;
            record(0, 0x02, {static_cast<uint8_t>(segment >> 8), static_cast<uint8_t>(segment)});
            for (uint32_t a = r.start; a <= r.end; a += 16) {
                std::vector<uint8_t> data;
                for (uint32_t i = a; i <= std::min(r.end, a + 15); ++i)
                    data.push_back(static_cast<uint8_t>((i * 7 + 3) & 0xFF));
                record(a - segment * 16, 0x00, data);
            }
        }
        text += ":00000001FF\n";
        settings.inForce.openFile = folder.write("object.h20", text).string();
        image =
            std::make_unique<ObjectImage>(session, op, devices, settings.inForce, folder.path());
        EXPECT_EQ(image->load(false), 1) << ::testing::PrintToString(op.codes());
        ops = std::make_unique<FlashOperations>(engine, *image);
        return settings.inForce.openFile;
    }

    // The flash the object should leave on an erased chip.
    std::vector<uint8_t> expectedFlash() const {
        const DeviceDefinition* d = devices.selected();
        std::vector<uint8_t> f = flash();
        std::fill(f.begin(), f.end(), 0xFF);
        for (const AddressRange& r : ranges)
            for (uint32_t a = r.start; a <= r.end; ++a)
                f[a - d->singleBootFlashStart] = static_cast<uint8_t>((a * 7 + 3) & 0xFF);
        return f;
    }
};

const char* const kWcpDevices[] = {"KM16F48",  "KM16F96",   "KM8P32",    "KM8R64",
                                   "KMV5A128", "KMV6B256",  "KMV9C384",  "KMV7Q3",
                                   "KMR8L256", "KMR10T128", "KMS11G124", "KMT12E48"};

class WcpDevice : public ::testing::TestWithParam<const char*> {};

TEST_P(WcpDevice, ProgramsVerifiesComparesSavesErasesAndWrites) {
    FlashRig rig;
    rig.startDevice(GetParam());
    const auto object = rig.writeObject();
    ASSERT_TRUE(rig.image->loaded());
    FlashOperations& ops = *rig.ops;
    const int32_t bt = rig.engine.device().bootType;

    // A fresh chip, no WCP in it yet (a BootType 12 takes the boot program's
    // SUM then): the message names the mode.
    uint16_t sum = 0;
    EXPECT_EQ(ops.verifySum(true, sum), 1);
    EXPECT_EQ(rig.op.last()->code, 11013);

    EXPECT_EQ(ops.blankCheck(true), 1);
    EXPECT_EQ(rig.op.last()->code, 11017);

    ASSERT_EQ(ops.programDevice(), 1) << ::testing::PrintToString(rig.op.codes());
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
    for (uint32_t i = 1; i < 0x41; ++i)
        EXPECT_EQ(back[i], static_cast<uint8_t>(((rig.ranges[1].start + i - 1) * 7 + 3) & 0xFF));

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
    const uint8_t now = static_cast<uint8_t>((changed * 7 + 3) & 0xFF);
    const uint8_t cleared[2] = {static_cast<uint8_t>(now & 0x0F),
                                static_cast<uint8_t>(((changed + 1) * 7 + 3) & 0xFF)};
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
              static_cast<uint8_t>((rig.ranges[1].start * 7 + 3) & 0xFF));
    EXPECT_EQ(ops.blankCheck(true), 0);
    EXPECT_EQ(rig.op.last()->code, 11016);

    ASSERT_EQ(ops.eraseChip(true), 1);
    EXPECT_EQ(rig.op.last()->code, 11002);
    const auto erased = rig.flash();
    EXPECT_TRUE(std::all_of(erased.begin(), erased.end(), [](uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(ops.blankCheck(true), 1);

    EXPECT_EQ(rig.engine.wcp().wcpReadProtect(), 1);
    EXPECT_EQ(rig.session.ProtectState.load(), ProtectTypes(bt) ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(AllWcpDevices, WcpDevice, ::testing::ValuesIn(kWcpDevices));

// The same operations through both flash targets of one chip: the WCP in
// RAM, then the boot program after a new connection, sum and blank-check
// alike; an erase through the boot program is blank to both.
TEST(FlashTargets, WcpAndBootTargetsSeeTheSameChip) {
    FlashRig rig;
    rig.startDevice("KMS11G124");
    rig.writeObject();
    ASSERT_EQ(rig.ops->programDevice(), 1) << ::testing::PrintToString(rig.op.codes());
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
    EXPECT_EQ(wcp.bytes[0x100], static_cast<uint8_t>((r.start * 7 + 3) & 0xFF));
    EXPECT_EQ(wcp.sum, boot.sum);
    EXPECT_EQ(wcp.sum, rig.image->fileSum());
    EXPECT_EQ(wcp.blank, 0);
    EXPECT_EQ(boot.blank, 0);

    ASSERT_EQ(rig.engine.bootTarget().eraseChip(), 1);
    const std::vector<uint8_t> erased = rig.flash();
    EXPECT_TRUE(std::all_of(erased.begin(), erased.end(), [](uint8_t b) { return b == 0xFF; }));
    int32_t blank = 0;
    EXPECT_EQ(rig.engine.bootTarget().blankCheck(blank), 1);
    EXPECT_EQ(blank, 1);
    reconnect();
    rig.engine.latchProgrammingMode();
    blank = 0;
    EXPECT_EQ(rig.engine.target().blankCheck(blank), 1);
    EXPECT_EQ(blank, 1);
    EXPECT_TRUE(rig.quiet()) << ::testing::PrintToString(rig.op.codes());
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
