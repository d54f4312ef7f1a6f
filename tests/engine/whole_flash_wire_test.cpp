// The bytes the engine puts on the wire for work over the whole flash: blank
// check, SUM and chip erase go out in the WCPs' whole-flash form only, read
// from the simulated chip's own log of what it received.
#include <cstdio>
#include <fstream>

#include "engine/flash_operations.h"
#include "objfile/object_image.h"
#include "sim_rig.h"

namespace ostrand::test {
namespace {

using Bytes = std::vector<uint8_t>;

// The command and the header FFFFFFFF, FFFF with its checksum.
Bytes frame(uint8_t command) {
    return {command, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x06};
}

// The chip with its event log, and the rig connected to it.
struct LoggedRig : EngineRig {
    std::filesystem::path log;
    SimChip loggedChip;
    size_t mark = 0;

    void startLogged(const std::string& device) {
        log = folder.path() / "sim.log";
        const std::string port = loggedChip.start(folder.path(), device, {}, flashPath(), log);
        ASSERT_FALSE(port.empty());
        configure(device, port, "9600");
        engine.wcp().setWcpFolder(OSTRAND_DATA);
        const DeviceDefinition* d = devices.selected();
        if (d->bootType != 12) {
            // A blank chip: the blank-chip password opens it.
            passwords.devicePasswordOption = 1;
            passwords.devicePasswordType = passwords.objectPasswordType = 1;
            passwords.devicePassword = passwords.objectPassword = std::string(510, 'F');
            passwords.deviceNumAdd = passwords.deviceCmpAdd = d->passwordAreaStart;
            passwords.objectNumAdd = passwords.objectCmpAdd = d->passwordAreaStart;
        }
        ASSERT_EQ(engine.connect(1), 1) << ::testing::PrintToString(op.codes());
    }

    // The lines of the log from here on are what the next operation caused.
    void markLog() { mark = logLines().size(); }

    std::vector<std::string> logLines() const {
        std::ifstream in(log);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    // The bytes of one direction ("rx": host to chip) since the mark.
    Bytes since(const std::string& kind) const {
        const auto lines = logLines();
        Bytes bytes;
        for (size_t i = mark; i < lines.size(); ++i) {
            char what[8] = {};
            int at = 0;
            if (std::sscanf(lines[i].c_str(), "%*s %7s %n", what, &at) != 1 || kind != what)
                continue;
            for (const char* p = lines[i].c_str() + at; *p;) {
                unsigned v = 0;
                int used = 0;
                if (std::sscanf(p, "%x%n", &v, &used) != 1) break;
                bytes.push_back(static_cast<uint8_t>(v));
                p += used;
            }
        }
        return bytes;
    }
};

class WholeFlashWire : public ::testing::TestWithParam<const char*> {};

// Each operation runs once to load its WCP (and fill the flash cache), then
// again with the wire watched: only the command and its whole-flash header.
TEST_P(WholeFlashWire, BlankCheckSumAndEraseSendTheWholeFlashForm) {
    LoggedRig rig;
    rig.startLogged(GetParam());
    rig.settings.inForce.openFile = rig.folder.write("one.h20", ":0100000000FF\n:00000001FF\n");
    ObjectImage image(rig.session, rig.op, rig.devices, rig.settings.inForce, rig.folder.path());
    ASSERT_EQ(image.load(false), 1);
    FlashOperations ops(rig.engine, image);

    ASSERT_EQ(ops.blankCheck(false), 1) << ::testing::PrintToString(rig.op.codes());
    rig.markLog();
    ASSERT_EQ(ops.blankCheck(false), 1) << ::testing::PrintToString(rig.op.codes());
    EXPECT_EQ(rig.since("rx"), frame(0x70));
    EXPECT_EQ(rig.since("tx"), (Bytes{0x70, 0x70, 0x70}));

    // The blank chip's SUM: its SUM area all FF, the gap between areas too.
    const DeviceDefinition* d = rig.devices.selected();
    const uint16_t blankSum =
        static_cast<uint16_t>((uint64_t{d->sumAreaEnd} - d->sumAreaStart + 1) * 0xFF);
    uint16_t sum = 0;
    ASSERT_GE(ops.verifySum(false, sum), 0) << ::testing::PrintToString(rig.op.codes());
    rig.markLog();
    ASSERT_GE(ops.verifySum(false, sum), 0) << ::testing::PrintToString(rig.op.codes());
    EXPECT_EQ(sum, blankSum);
    EXPECT_EQ(rig.since("rx"), frame(0x20));

    ASSERT_EQ(ops.eraseChip(false), 1) << ::testing::PrintToString(rig.op.codes());
    rig.markLog();
    ASSERT_EQ(ops.eraseChip(false), 1) << ::testing::PrintToString(rig.op.codes());
    EXPECT_EQ(rig.since("rx"), frame(0x40));
    EXPECT_EQ(rig.since("tx"), (Bytes{0x40, 0x40, 0x40}));

    // Ranges the operator gives stay as given: one block inside the flash.
    rig.markLog();
    ASSERT_EQ(ops.eraseBlock(d->singleBootFlashStart + 0x1000, 0x800), 1);
    const Bytes block = rig.since("rx");
    ASSERT_GE(block.size(), 8u);
    EXPECT_EQ(Bytes(block.end() - 8, block.end()),
              (Bytes{0x40, 0x00, uint8_t(d->singleBootFlashStart >> 16), 0x10, 0x00, 0x04, 0x00,
                     uint8_t(0x100 - ((uint8_t(d->singleBootFlashStart >> 16) + 0x14) & 0xFF))}));
}

INSTANTIATE_TEST_SUITE_P(SecondAreaAndNone, WholeFlashWire,
                         ::testing::Values("KMV6B256", "KMV9C256", "KM16F48"));

// BootType 12 ends its programming with the SUM over the whole flash.
TEST(WholeFlashWire12, ProgrammingEndsWithTheWholeFlashSum) {
    LoggedRig rig;
    rig.startLogged("KMT12E48");
    rig.settings.inForce.openFile =
        rig.folder.write("one.h20", ":0401000001020304F1\n:00000001FF\n");
    ObjectImage image(rig.session, rig.op, rig.devices, rig.settings.inForce, rig.folder.path());
    ASSERT_EQ(image.load(false), 1);
    FlashOperations ops(rig.engine, image);
    rig.markLog();
    ASSERT_EQ(ops.programDevice(), 1) << ::testing::PrintToString(rig.op.codes());
    const Bytes rx = rig.since("rx");
    ASSERT_GE(rx.size(), 8u);
    EXPECT_EQ(Bytes(rx.end() - 8, rx.end()), frame(0x20));
    // The chip's answer to it is its SUM area's SUM: the object and FF elsewhere.
    const Bytes tx = rig.since("tx");
    const DeviceDefinition* d = rig.devices.selected();
    const uint16_t want = static_cast<uint16_t>(
        (uint64_t{d->sumAreaEnd} - d->sumAreaStart + 1 - 4) * 0xFF + 1 + 2 + 3 + 4);
    ASSERT_GE(tx.size(), 3u);
    EXPECT_EQ(tx[tx.size() - 3], want >> 8);
    EXPECT_EQ(tx[tx.size() - 2], want & 0xFF);
}

}  // namespace
}  // namespace ostrand::test
