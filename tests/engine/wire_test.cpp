// The bytes the engine puts on the line, as the simulated chip received them
// (its event log): the boot programs are fixed code, so every exchange must
// carry exactly the bytes their protocol prescribes.
#include <chrono>
#include <functional>
#include <thread>

#include "sim_rig.h"

namespace ostrand::test {
namespace {

Bytes bigEndian(uint32_t value, int bytes) {
    Bytes b;
    for (int i = bytes - 1; i >= 0; --i) b.push_back(uint8_t(value >> (8 * i)));
    return b;
}

bool contains(const Bytes& all, const Bytes& part) {
    return std::search(all.begin(), all.end(), part.begin(), part.end()) != all.end();
}

// A one-record object expansion file at `address`, and the bytes the boot
// program gets for it: the record mark and the record, then the end record.
std::filesystem::path oneRecord(EngineRig& rig, uint16_t address, Bytes& wire) {
    std::map<uint32_t, uint8_t> bytes;
    Bytes rec = {16, uint8_t(address >> 8), uint8_t(address), 0x00};
    for (uint8_t i = 0; i < 16; ++i) rec.push_back(bytes[address + i] = uint8_t(0xA0 + i));
    rec.push_back(checksum8(rec.data(), int32_t(rec.size())));
    wire = Bytes{0x3A} + rec + Bytes{0x3A, 0, 0, 0, 1, 0xFF};
    return rig.folder.write("object.hex", hexText(bytes));
}

TEST(Wire, PasswordTypesAreMatchedAtTheirWorkingRateAndTakeNoRateCode) {
    EngineRig bt8;
    bt8.start("KMR8L256", "19200");
    ASSERT_EQ(bt8.engine.connect(1), 1);
    // The matching byte, then the status command straight away.
    EXPECT_EQ(bt8.received(), (Bytes{0x86, 0x30}));
    uint16_t sum = 0;
    ASSERT_EQ(bt8.engine.boot().bootSum(0, 0, sum), 1);
    EXPECT_EQ(bt8.received(), (Bytes{0x86, 0x30, 0x20}));

    // Clock entry: matched at the fixed rate, the RAM transfer follows the
    // match with no rate step before the divisor.
    EngineRig bt10;
    ASSERT_NO_FATAL_FAILURE(bt10.startBlank("KMR10T128"));
    ASSERT_EQ(bt10.engine.wcp().loadWcp(6), 1) << bt10.codes();
    const Bytes password = Bytes(12, 0xFF) + Bytes{0x0C};
    EXPECT_TRUE(startsWith(bt10.received(), Bytes{0x86, 0x10} + password));
}

TEST(Wire, ResynchronisationIsOneMatchingByteWithTheEchoTimeOut) {
    EngineRig rig;
    rig.start("KM16F48");
    ASSERT_EQ(rig.engine.connect(1), 1);
    uint16_t sum = 0;
    ASSERT_EQ(rig.engine.boot().bootSum(0, 0, sum), 1);
    // A failed sequence asks for a resynchronisation; the chip answers late.
    rig.engine.requestResync();
    rig.setTimeout(&EngineTimeouts::echo, 1500);
    const size_t mark = rig.mark();
    rig.chip.pause();
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        rig.chip.resume();
    });
    EXPECT_EQ(rig.engine.boot().bootSum(0, 0, sum), 1);
    late.join();
    // Matching byte, the rate code of 9600, the SUM command.
    EXPECT_EQ(rig.receivedSince(mark), (Bytes{0x5A, 0x28, 0x90}));
    EXPECT_TRUE(rig.quiet());
}

// The chip holds an 8-byte password before the end of its password area.
TEST(Wire, BootType4SendsItsPasswordInRamTransferAndProgramming) {
    const Bytes secret = {'S', 'E', 'C', 'R', 'E', 'T', '0', '1'};
    for (const char* device : {"KM8R64", "KM8R32S"}) {
        SCOPED_TRACE(device);
        EngineRig rig;
        const DeviceDefinition& d = *rig.devices.find(device);
        const uint32_t end = d.passwordAreaEnd;
        Bytes flash(d.singleBootFlashEnd + 1 - d.singleBootFlashStart, 0xFF);
        flash[end - 8 - d.singleBootFlashStart] = 8;
        std::copy(secret.begin(), secret.end(), flash.begin() + (end - 7 - d.singleBootFlashStart));
        rig.writeFlash(flash);
        rig.useDevicePassword("5345435245543031", end - 8, end - 7);
        ASSERT_NO_FATAL_FAILURE(rig.start(device, "9600", {}, true));
        rig.engine.wcp().setWcpFolder(OSTRAND_DATA);
        ASSERT_EQ(rig.engine.connect(1), 1);
        const Bytes addresses = bigEndian(end - 8, 3) + bigEndian(end - 7, 3);
        Bytes record = Bytes{14, 0, 0, 0x10} + addresses + secret;
        record.push_back(checksum8(record.data(), int32_t(record.size())));
        // The password form: FF step, programming command, password record.
        const Bytes form = Bytes{0xFF, 0x30, 0x3A} + record;
        const size_t mark = rig.mark();
        if (std::string(device) == "KM8R64") {
            // Then the end record and the RAM transfer of the total WCP with
            // its frame.
            ASSERT_EQ(rig.engine.wcp().loadWcp(3), 1) << rig.codes();
            EXPECT_TRUE(startsWith(
                rig.receivedSince(mark),
                form + Bytes{0x3A, 0, 0, 0, 1, 0xFF, 0x60} + addresses + secret + Bytes{0x3A}));
            continue;
        }
        // The chip answers its own check word, not the data sum: not examined.
        Bytes wire;
        ASSERT_EQ(rig.engine.boot().programSingleBoot(oneRecord(rig, 0x8200, wire)), 1)
            << rig.codes();
        EXPECT_EQ(rig.receivedSince(mark), form + wire);
        EXPECT_EQ(rig.flash()[0x200], 0xA0);
        EXPECT_EQ(rig.flash()[0x20F], 0xAF);
        EXPECT_TRUE(rig.quiet());
    }
}

TEST(Wire, BootType12ProgrammingIsReadyWithC1AndMissingModemLinesAreNoticedOnASilentChip) {
    EngineRig rig;
    rig.start("KMT12E64S", "9600", {}, true);
    ASSERT_EQ(rig.engine.connect(1), 1);
    Bytes wire;
    const auto object = oneRecord(rig, 0x0200, wire);
    size_t mark = rig.mark();
    ASSERT_EQ(rig.engine.boot().programSingleBoot(object), 1) << rig.codes();
    EXPECT_EQ(rig.receivedSince(mark), (Bytes{0x28, 0x30} + wire));
    EXPECT_EQ(rig.flash()[0x205], 0xA5);
    mark = rig.mark();
    ASSERT_EQ(rig.engine.boot().chipErase(0xF0), 1);
    EXPECT_EQ(rig.receivedSince(mark), (Bytes{0x30, 0x3A, 0, 0, 0, 1, 0xFF}));
    EXPECT_EQ(rig.flash()[0x205], 0xFF);
    // The pseudo-terminal has no RTS and DTR: nothing to say while the chip
    // answers all the same.
    rig.engine.disconnect();
    ASSERT_EQ(rig.engine.connect(1), 1);
    EXPECT_TRUE(rig.op.codes().empty()) << rig.codes();
    // A chip that does not answer: the notice once, before the error.
    EngineRig silent;
    silent.start("KMT12E64S", "9600", {"noreply:match*"});
    EXPECT_NE(silent.engine.connect(1), 1);
    silent.engine.disconnect();
    EXPECT_NE(silent.engine.connect(1), 1);
    const std::vector<int32_t> codes = silent.op.codes();
    ASSERT_GE(codes.size(), 2u);
    EXPECT_EQ(codes[0], 12153);
    EXPECT_EQ(silent.op.messages[0].cls, MessageClass::Notice);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 12153), 1);
    EXPECT_EQ(messageClass(codes[1]), MessageClass::Error);
}

TEST(Wire, FirstRamTransferSendsThePasswordBytesOnceWithoutGuessing) {
    {
        // BootType 2, blank chip: the flash cache is not read yet, so the
        // frame carries the password bytes.
        EngineRig rig;
        rig.start("KM16F96");
        const DeviceDefinition& d = rig.dev();
        rig.useDevicePassword(std::string(510, 'F'), d.passwordAreaStart, d.passwordAreaEnd);
        rig.engine.wcp().setWcpFolder(OSTRAND_DATA);
        ASSERT_EQ(rig.engine.connect(1), 1);
        const size_t mark = rig.mark();
        ASSERT_EQ(rig.engine.wcp().loadWcp(6), 1) << rig.codes();
        const Bytes expected = Bytes{0x28, 0x60} + bigEndian(d.passwordAreaStart, 2) +
                               bigEndian(d.passwordAreaEnd, 2) + Bytes(255, 0xFF) +
                               Bytes{0x3A, 0x02, 0x00, 0x00, 0x02, 0x00, 0x00, 0xFC};
        EXPECT_TRUE(startsWith(rig.receivedSince(mark), expected));
    }
    {
        // A chip that refuses the password: one transfer, one report.
        EngineRig rig;
        Bytes flash(0x40000 + 0x2000, 0xFF);
        flash[0] = 0x00;  // a program in the vector area: not blank
        rig.writeFlash(flash);
        rig.start("KMV6B256", "9600", {"password"}, true);
        const DeviceDefinition& d = rig.dev();
        rig.useDevicePassword("0102", d.passwordAreaStart, d.passwordAreaStart + 1);
        rig.engine.wcp().setWcpFolder(OSTRAND_DATA);
        ASSERT_EQ(rig.engine.connect(1), 1);
        const size_t mark = rig.mark();
        EXPECT_EQ(rig.engine.wcp().loadWcp(3), 0);
        ASSERT_EQ(rig.shownCodes(), std::vector<int32_t>{10002});
        EXPECT_EQ(rig.op.messages[0].place, 173);
        EXPECT_EQ(rig.op.messages[0].hint, 12140);
        const Bytes addresses =
            bigEndian(d.passwordAreaStart, 3) + bigEndian(d.passwordAreaStart + 1, 3);
        const Bytes sent = rig.receivedSince(mark);
        EXPECT_TRUE(contains(sent, Bytes{0x60} + addresses + Bytes{0x01, 0x02, 0x3A}));
        EXPECT_FALSE(contains(sent, Bytes{0x60} + addresses + Bytes{0x3A}));
    }
    {
        // The blank-chip password takes the start and the end of the
        // password area.
        EngineRig rig;
        rig.start("KMV5A128");
        ASSERT_EQ(rig.engine.connect(1), 1);
        const DeviceDefinition& d = rig.dev();
        EXPECT_EQ(rig.passwords.devicePassword, std::string(510, 'F'));
        EXPECT_EQ(rig.passwords.deviceNumAdd, d.passwordAreaStart);
        EXPECT_EQ(rig.passwords.deviceCmpAdd, d.passwordAreaEnd);
    }
}

// Work over the whole flash: blank check, SUM and chip erase go out in the
// WCPs' whole-flash form only.

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
        {0x20,
         [&] { return ops.verifySum(false, sum) >= 0; },
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
