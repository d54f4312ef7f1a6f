// Flash operations end to end in single-boot mode: every single-boot device
// of the demo definition file programs a real object file through its boot
// program, verifies it by SUM, reads it back where the boot program can, is
// protected where it can be and is erased; the simulated flash file is the
// witness. The chip's password is handled as on a real chip: the blank-chip
// password before programming, the object file's password after it.
#include "sim_rig.h"

namespace ostrand::test {
namespace {

// The last message: its code, no place, the hint and the detail.
void expectShown(const RecordingOperator& op, int32_t code, int32_t hint = 0,
                 const std::string& detail = "") {
    ASSERT_NE(op.last(), nullptr) << code;
    EXPECT_EQ(op.last()->code, code) << ::testing::PrintToString(op.codes());
    EXPECT_EQ(op.last()->place, 0) << code;
    EXPECT_EQ(op.last()->hint, hint) << code;
    EXPECT_EQ(op.last()->detail, detail) << code;
}

struct SingleBootRig : EngineRig {
    std::map<uint32_t, uint8_t> object;  // address -> byte

    int32_t bootType() const { return dev().bootType; }
    uint32_t passwordLength() const {
        const uint32_t fixed = fixedPasswordLength(bootType());
        return fixed ? fixed : 8;
    }
    void startSingleBoot(const std::string& name) {
        ASSERT_NO_FATAL_FAILURE(startBlank(name));
        EXPECT_EQ(session.ProgrammingMode.load(),
                  dev().singleBootPassword == 1 ? kModeSBootPw : kModeSBoot);
    }

    // The object a program would be: code in the vector area, a password in
    // the password area and two ranges of data, the second at an odd address.
    // BootTypes 8 and 10 take at most 1 KiB in one transfer: their object
    // holds less, still in three separate pieces.
    void buildObject() {
        const DeviceDefinition& d = dev();
        object.clear();
        auto fill = [&](uint32_t first, uint32_t last) {
            for (uint32_t a = first; a <= last; ++a) object[a] = pattern(a);
        };
        const uint32_t offset = d.singleChipFlashStart - d.singleBootFlashStart;
        fill(d.vectorAreaStart - offset, d.vectorAreaEnd - offset);
        uint32_t at = d.passwordAreaStart;
        if (!BootTypesC(d.bootType)) object[at++] = static_cast<uint8_t>(passwordLength());
        for (uint32_t i = 0; i < passwordLength(); ++i) object[at + i] = uint8_t(0x31 + i);
        const uint32_t base = d.singleBootFlashStart;
        if (PasswordBootTypes(d.bootType)) {
            fill(d.passwordAreaStart - 0xF0, d.passwordAreaStart - 0x41);
        } else {
            fill(base + 0x400, base + 0xFFF);
            fill(base + 0x1003, base + 0x1042);
        }
    }

    // Loads the object and takes its password as the object file's
    // password, as the password dialog does.
    void loadWithPassword() {
        ASSERT_NO_FATAL_FAILURE(loadObject(object));
        if (bootType() == 4 || bootType() == 12) return;
        std::string hex;
        for (uint32_t i = 0; i < passwordLength(); ++i)
            hex += "3" + std::string(1, "123456789ABC"[i]);
        const uint32_t p = dev().passwordAreaStart;
        ASSERT_EQ(passwords.checkObjectPassword(image->passwordView(), hex, 1, p,
                                                p + (BootTypesC(bootType()) ? 0 : 1)),
                  0)
            << codes();
    }

    // The flash the object leaves on an erased chip.
    Bytes expectedFlash() const {
        Bytes f(dev().singleBootFlashEnd - dev().singleBootFlashStart + 1, 0xFF);
        for (const auto& [a, b] : object) f[a - dev().singleBootFlashStart] = b;
        return f;
    }

    // The chip starts again with one byte of its flash changed, and the
    // engine connects to it anew with the chip's password (the object's) as
    // the device password.
    void restartWithByte(uint32_t address, uint8_t value) {
        engine.disconnect();
        chip.stop();
        Bytes f = flash();
        f[address - dev().singleBootFlashStart] = value;
        writeFlash(f);
        ASSERT_NO_FATAL_FAILURE(start(std::string(dev().deviceName), "9600", {}, true));
        passwords.devicePassword = passwords.objectPassword;
        passwords.devicePasswordType = passwords.objectPasswordType;
        passwords.deviceNumAdd = passwords.objectNumAdd;
        passwords.deviceCmpAdd = passwords.objectCmpAdd;
        ASSERT_EQ(engine.connect(1), 1) << codes();
    }
};

class SingleBootDevice : public ::testing::TestWithParam<const char*> {};

TEST_P(SingleBootDevice, ProgramsVerifiesReadsProtectsAndErases) {
    SingleBootRig rig;
    ASSERT_NO_FATAL_FAILURE(rig.startSingleBoot(GetParam()));
    const int32_t bt = rig.bootType();
    const uint32_t base = rig.dev().singleBootFlashStart;
    rig.buildObject();
    ASSERT_NO_FATAL_FAILURE(rig.loadWithPassword());
    FlashOperations& ops = *rig.ops;
    const uint16_t blankSum =
        static_cast<uint16_t>((rig.dev().sumAreaEnd - rig.dev().sumAreaStart + 1) * 0xFFu);
    ASSERT_NE(rig.image->fileSum(), blankSum);

    ASSERT_EQ(ops.programDevice(), 1) << rig.codes();
    expectShown(rig.op, 11006);
    EXPECT_EQ(rig.shownCodes(), std::vector<int32_t>{11006});
    EXPECT_EQ(rig.flash(), rig.expectedFlash());
    EXPECT_EQ(rig.session.ChipRewritten, 1);

    uint16_t sum = 0;
    EXPECT_EQ(ops.verifySum(true, sum), 0);
    EXPECT_EQ(sum, rig.image->fileSum());
    expectShown(rig.op, 11010);
    EXPECT_NE(rig.op.last()->text.find("matched in Single Boot mode. "), std::string::npos);

    // Only BootType 11 has a boot read, and with it blank check and compare;
    // it alone erases a block, the others whole chips only.
    const uint32_t oddStart = rig.object.rbegin()->first - 0x3F;
    Bytes back(0x42);
    if (bt == 11) {
        ASSERT_EQ(ops.readFlash(oddStart - 1, back.data(), 0x42), 1);
        const Bytes expected = rig.expectedFlash();
        EXPECT_TRUE(std::equal(back.begin(), back.end(), expected.begin() + (oddStart - 1 - base)));
        EXPECT_EQ(ops.compareWithFile(true, true), 0);
        expectShown(rig.op, 11015);
        EXPECT_EQ(ops.blankCheck(true), 0);
        expectShown(rig.op, 11016);
        const uint32_t block = base + 0x1000;
        const size_t mark = rig.mark();
        ASSERT_EQ(ops.eraseBlock(block, 0x1000), 1) << rig.codes();
        expectShown(rig.op, 11003);
        // Status first, then the erase: the address part, then the block's number.
        const Bytes sent = rig.receivedSince(mark);
        ASSERT_GE(sent.size(), 9u);
        EXPECT_EQ(sent.front(), 0xC3);
        EXPECT_EQ(sent[sent.size() - 8], 0xF0);
        EXPECT_EQ(sent.back(), block >> 12);
        Bytes blockErased = rig.expectedFlash();
        std::fill_n(blockErased.begin() + (block - base), 0x1000, 0xFF);
        EXPECT_EQ(rig.flash(), blockErased);
        ASSERT_EQ(ops.programDevice(), 1) << rig.codes();
    } else {
        EXPECT_EQ(ops.readFlash(oddStart, back.data(), 0x42), 0);
        expectShown(rig.op, 11001);
        EXPECT_EQ(ops.blankCheck(true), 0);
        expectShown(rig.op, 10009, 0, "Boot Program");
        EXPECT_EQ(ops.eraseBlock(base, 0x1000), 0);
        expectShown(rig.op, 11018, 12101);
    }
    // No boot program takes a data write.
    const uint8_t zero = 0;
    EXPECT_EQ(ops.writeData(oddStart, &zero, 1), 0);
    expectShown(rig.op, 11008, 0, EraseFirstTypes(bt) ? "" : "Boot Program");
    EXPECT_EQ(rig.flash(), rig.expectedFlash());

    // One byte changed in the chip: the SUM no longer matches.
    const uint32_t changed = rig.object.begin()->first + 0x21;
    const uint8_t now = rig.object.at(changed);
    const uint8_t other = static_cast<uint8_t>(now ^ 0x5A);
    ASSERT_NO_FATAL_FAILURE(rig.restartWithByte(changed, other));
    EXPECT_EQ(ops.verifySum(true, sum), 1);
    EXPECT_EQ(sum, static_cast<uint16_t>(rig.image->fileSum() - now + other));
    expectShown(rig.op, 11011);
    if (bt == 11) {
        CompareDifference d;
        EXPECT_EQ(ops.compareWithFile(false, true, &d), 1);
        EXPECT_EQ(d.address, changed);
        EXPECT_EQ(d.device, other);
        EXPECT_EQ(d.file, now);
        EXPECT_EQ(rig.op.last()->code, 11014);
    }

    if (ProtectTypes(bt)) {
        ASSERT_EQ(rig.engine.boot().protectChip(true, true), 1) << rig.codes();
        expectShown(rig.op, 11027);
        EXPECT_EQ(rig.session.ProtectState, 1);
        if (bt == 11) {
            EXPECT_EQ(ops.readFlash(oddStart, back.data(), 0x42), 0);
            expectShown(rig.op, 11001);
        }
    }

    ASSERT_EQ(ops.eraseChip(true), 1) << rig.codes();
    expectShown(rig.op, 11002);
    EXPECT_TRUE(rig.erased());
    EXPECT_EQ(rig.session.ProtectState, 0);
    EXPECT_EQ(ops.verifySum(true, sum), 1);
    EXPECT_EQ(sum, blankSum);
    if (bt == 11) {
        EXPECT_EQ(ops.blankCheck(true), 1);
        expectShown(rig.op, 11017);
    }

    // Programmed again from the erased chip: the blank-chip password opens it.
    ASSERT_EQ(ops.programDevice(), 1) << rig.codes();
    EXPECT_EQ(rig.flash(), rig.expectedFlash());
}

INSTANTIATE_TEST_SUITE_P(AllSingleBootDevices, SingleBootDevice,
                         ::testing::Values("KM16F32S", "KM16F60P", "KM8P48S", "KM8R32S", "KMV5A60P",
                                           "KMR8L64S", "KMS11G60S", "KMT12E64S"));

// BootType 8 takes at most 1 KiB: a larger object is refused before anything
// reaches the chip, which keeps what it holds; 1 KiB goes through.
TEST(SingleBootDevice, BootType8RefusesObjectsOverOneKiBAndKeepsTheChip) {
    SingleBootRig rig;
    ASSERT_NO_FATAL_FAILURE(rig.startSingleBoot("KMR8L64S"));
    for (uint32_t a = 0x10100; a < 0x10100 + 1025; ++a) rig.object[a] = pattern(a);
    ASSERT_NO_FATAL_FAILURE(rig.loadObject(rig.object));
    const size_t mark = rig.mark();
    EXPECT_EQ(rig.ops->programDevice(), 0);
    expectShown(rig.op, 10023);
    EXPECT_EQ(rig.receivedSince(mark), Bytes{});
    rig.object.erase(std::prev(rig.object.end()));
    ASSERT_NO_FATAL_FAILURE(rig.loadObject(rig.object, "exact.h20"));
    ASSERT_EQ(rig.ops->programDevice(), 1) << rig.codes();
    EXPECT_EQ(rig.flash(), rig.expectedFlash());
}

}  // namespace
}  // namespace ostrand::test
