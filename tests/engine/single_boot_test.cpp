// Flash operations end to end in single-boot mode: every single-boot device
// of the demo definition file programs a real object file through its boot
// program, verifies it by SUM, reads it back where the boot program can, is
// protected where it can be and is erased; the simulated flash file is the
// witness. The chip's password is handled as on a real chip: the blank-chip
// password before programming, the object file's password after it.
#include <algorithm>
#include <cstdio>
#include <map>

#include "engine/flash_operations.h"
#include "objfile/hex_records.h"
#include "objfile/object_image.h"
#include "recording_operator.h"
#include "sim_rig.h"

namespace ostrand::test {
namespace {

const std::string kRate = "9600";  // BootType 4's boot program runs at 9600 only

struct ShownAs {
    int32_t code, place, hint;
    std::string detail;
};

std::string shownList(const RecordingOperator& op) {
    std::string out;
    for (const auto& m : op.messages)
        out += std::to_string(m.code) + "/" + std::to_string(m.place) + "/" +
               std::to_string(m.hint) + "/" + m.detail + " ";
    return out;
}

void expectShown(const RecordingOperator& op, const ShownAs& want) {
    ASSERT_NE(op.last(), nullptr) << want.code;
    EXPECT_EQ(op.last()->code, want.code) << shownList(op);
    EXPECT_EQ(op.last()->place, want.place) << want.code;
    EXPECT_EQ(op.last()->hint, want.hint) << want.code;
    EXPECT_EQ(op.last()->detail, want.detail) << want.code;
}

// The rig with an object image, the object's bytes and the flash operations.
struct SingleBootRig : EngineRig {
    std::unique_ptr<ObjectImage> image;
    std::unique_ptr<FlashOperations> ops;
    std::map<uint32_t, uint8_t> object;  // address -> byte
    std::string device;

    const DeviceDefinition& dev() const { return *devices.selected(); }
    int32_t bootType() const { return dev().bootType; }
    uint32_t passwordLength() const {
        const uint32_t fixed = fixedPasswordLength(bootType());
        return fixed ? fixed : 8;
    }

    // A blank chip: the device password is the blank-chip password.
    void startBlank(const std::string& name) {
        device = name;
        start(name, kRate, {}, true);
        const int32_t bt = bootType();
        if (bt != 4 && bt != 12) {
            passwords.devicePasswordOption = 1;
            passwords.devicePasswordType = 1;
            passwords.devicePassword = blankPasswordText(bt);
            passwords.deviceNumAdd = passwords.deviceCmpAdd =
                BootTypesC(bt) ? 0 : dev().passwordAreaStart;
        }
        ASSERT_EQ(engine.connect(1), 1) << shownList(op);
        ASSERT_TRUE(session.ProgrammingMode == kModeSBoot ||
                    session.ProgrammingMode == kModeSBootPw);
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
            for (uint32_t a = first; a <= last; ++a)
                object[a] = static_cast<uint8_t>((a * 7 + 3) & 0xFF);
        };
        const uint32_t offset = d.singleChipFlashStart - d.singleBootFlashStart;
        fill(d.vectorAreaStart - offset, d.vectorAreaEnd - offset);
        const uint32_t n = passwordLength();
        const bool counted = !BootTypesC(d.bootType);
        uint32_t at = d.passwordAreaStart;
        if (counted) object[at++] = static_cast<uint8_t>(n);
        for (uint32_t i = 0; i < n; ++i) object[at + i] = static_cast<uint8_t>(0x31 + i);
        const uint32_t base = d.singleBootFlashStart;
        if (PasswordBootTypes(d.bootType)) {
            fill(d.passwordAreaStart - 0xF0, d.passwordAreaStart - 0x41);
        } else {
            fill(base + 0x400, base + 0xFFF);
            fill(base + 0x1003, base + 0x1042);
        }
    }

    // Writes `bytes` as an Intel HEX object, loads it and takes its password
    // as the object file's password, as the password dialog does.
    void loadObject(const std::map<uint32_t, uint8_t>& bytes, const std::string& name,
                    bool withPassword = true) {
        std::string text;
        auto record = [&](uint32_t address, uint8_t type, const std::vector<uint8_t>& data) {
            appendHexRecord(text, type, static_cast<uint16_t>(address), data.data(),
                            static_cast<uint32_t>(data.size()));
        };
        uint32_t segment = 0xFFFFFFFF;
        for (auto it = bytes.begin(); it != bytes.end();) {
            const uint32_t a = it->first;
            if ((a >> 16) << 12 != segment) {
                segment = (a >> 16) << 12;
                record(0, 0x02,
                       {static_cast<uint8_t>(segment >> 8), static_cast<uint8_t>(segment)});
            }
            std::vector<uint8_t> data;
            while (it != bytes.end() && it->first == a + data.size() && data.size() < 16 &&
                   (it->first >> 16) << 12 == segment)
                data.push_back((it++)->second);
            record(a - segment * 16, 0x00, data);
        }
        text += ":00000001FF\n";
        settings.inForce.openFile = folder.write(name, text).string();
        image =
            std::make_unique<ObjectImage>(session, op, devices, settings.inForce, folder.path());
        ASSERT_EQ(image->load(false), 1) << shownList(op);
        ops = std::make_unique<FlashOperations>(engine, *image);
        const DeviceDefinition& d = dev();
        if (!withPassword || bootType() == 4 || bootType() == 12) return;
        std::string hex;
        for (uint32_t i = 0; i < passwordLength(); ++i) {
            char two[3];
            std::snprintf(two, sizeof two, "%02X", 0x31 + i);
            hex += two;
        }
        const bool counted = !BootTypesC(d.bootType);
        ASSERT_EQ(passwords.checkObjectPassword(image->passwordView(), hex, 1, d.passwordAreaStart,
                                                d.passwordAreaStart + (counted ? 1 : 0)),
                  0)
            << shownList(op);
    }

    // The flash the object leaves on an erased chip.
    std::vector<uint8_t> expectedFlash() const {
        std::vector<uint8_t> f(dev().singleBootFlashEnd - dev().singleBootFlashStart + 1, 0xFF);
        for (const auto& [a, b] : object) f[a - dev().singleBootFlashStart] = b;
        return f;
    }

    // The chip starts again with one byte of its flash changed, and the
    // engine connects to it anew with the chip's password (the object's) as
    // the device password.
    void restartWithByte(uint32_t address, uint8_t value) {
        engine.disconnect();
        chip.stop();
        auto f = flash();
        f[address - dev().singleBootFlashStart] = value;
        writeFlash(f);
        const std::string port = chip.start(folder.path(), device, {}, flashPath());
        ASSERT_FALSE(port.empty());
        configure(device, port, kRate);
        passwords.devicePassword = passwords.objectPassword;
        passwords.devicePasswordType = passwords.objectPasswordType;
        passwords.deviceNumAdd = passwords.objectNumAdd;
        passwords.deviceCmpAdd = passwords.objectCmpAdd;
        ASSERT_EQ(engine.connect(1), 1) << shownList(op);
    }
};

const char* const kSingleBootDevices[] = {"KM16F32S", "KM16F60P", "KM8P48S",   "KM8R32S",
                                          "KMV5A60P", "KMR8L64S", "KMS11G60S", "KMT12E64S"};

class SingleBootDevice : public ::testing::TestWithParam<const char*> {};

TEST_P(SingleBootDevice, ProgramsVerifiesReadsProtectsAndErases) {
    SingleBootRig rig;
    ASSERT_NO_FATAL_FAILURE(rig.startBlank(GetParam()));
    const int32_t bt = rig.bootType();
    rig.buildObject();
    ASSERT_NO_FATAL_FAILURE(rig.loadObject(rig.object, "object.h20"));
    FlashOperations& ops = *rig.ops;
    const uint16_t blankSum =
        static_cast<uint16_t>((rig.dev().sumAreaEnd - rig.dev().sumAreaStart + 1) * 0xFFu);
    ASSERT_NE(rig.image->fileSum(), blankSum);

    ASSERT_EQ(ops.programDevice(), 1) << shownList(rig.op);
    expectShown(rig.op, {11006, 0, 0, ""});
    EXPECT_EQ(rig.shownCodes(), std::vector<int32_t>{11006});
    EXPECT_EQ(rig.flash(), rig.expectedFlash());
    EXPECT_EQ(rig.session.ChipRewritten, 1);

    uint16_t sum = 0;
    EXPECT_EQ(ops.verifySum(true, sum), 0);
    EXPECT_EQ(sum, rig.image->fileSum());
    expectShown(rig.op, {11010, 0, 0, ""});
    EXPECT_NE(rig.op.last()->text.find("matched in Single Boot mode. "), std::string::npos);

    // Only BootType 11 has a boot read, and with it blank check and compare.
    const uint32_t oddStart = rig.object.rbegin()->first - 0x3F;
    std::vector<uint8_t> back(0x42);
    if (bt == 11) {
        ASSERT_EQ(ops.readFlash(oddStart - 1, back.data(), 0x42), 1);
        const auto expected = rig.expectedFlash();
        EXPECT_TRUE(std::equal(back.begin(), back.end(),
                               expected.begin() + (oddStart - 1 - rig.dev().singleBootFlashStart)));
        EXPECT_EQ(ops.compareWithFile(true, true), 0);
        expectShown(rig.op, {11015, 0, 0, ""});
        EXPECT_EQ(ops.blankCheck(true), 0);
        expectShown(rig.op, {11016, 0, 0, ""});
    } else {
        EXPECT_EQ(ops.readFlash(oddStart, back.data(), 0x42), 0);
        expectShown(rig.op, {11001, 0, 0, ""});
        EXPECT_EQ(ops.blankCheck(true), 0);
        expectShown(rig.op, {10009, 0, 0, "Boot Program"});
    }
    // Only BootType 11 erases a block; the others erase whole chips only. No
    // boot program takes a data write.
    if (bt == 11) {
        const uint32_t block = rig.dev().singleBootFlashStart + 0x1000;
        const size_t mark = rig.mark();
        ASSERT_EQ(ops.eraseBlock(block, 0x1000), 1) << shownList(rig.op);
        expectShown(rig.op, {11003, 0, 0, ""});
        // Status first, then the erase: the address part, then the block's number.
        const auto sent = rig.receivedSince(mark);
        ASSERT_GE(sent.size(), 9u);
        EXPECT_EQ(sent.front(), 0xC3);
        EXPECT_EQ(sent[sent.size() - 8], 0xF0);
        EXPECT_EQ(sent.back(), block >> 12);
        auto expected = rig.expectedFlash();
        std::fill_n(expected.begin() + (block - rig.dev().singleBootFlashStart), 0x1000, 0xFF);
        EXPECT_EQ(rig.flash(), expected);
        ASSERT_EQ(ops.programDevice(), 1) << shownList(rig.op);
    } else {
        EXPECT_EQ(ops.eraseBlock(rig.dev().singleBootFlashStart, 0x1000), 0);
        expectShown(rig.op, {11018, 0, 12101, ""});
    }
    const uint8_t zero = 0;
    EXPECT_EQ(ops.writeData(oddStart, &zero, 1), 0);
    expectShown(rig.op, {11008, 0, 0, EraseFirstTypes(bt) ? "" : "Boot Program"});
    EXPECT_EQ(rig.flash(), rig.expectedFlash());

    // One byte changed in the chip: the SUM no longer matches.
    const uint32_t changed = rig.object.begin()->first + 0x21;
    const uint8_t now = rig.object.at(changed);
    const uint8_t other = static_cast<uint8_t>(now ^ 0x5A);
    ASSERT_NO_FATAL_FAILURE(rig.restartWithByte(changed, other));
    EXPECT_EQ(ops.verifySum(true, sum), 1);
    EXPECT_EQ(sum, static_cast<uint16_t>(rig.image->fileSum() - now + other));
    expectShown(rig.op, {11011, 0, 0, ""});
    if (bt == 11) {
        CompareDifference d;
        EXPECT_EQ(ops.compareWithFile(false, true, &d), 1);
        EXPECT_EQ(d.address, changed);
        EXPECT_EQ(d.device, other);
        EXPECT_EQ(d.file, now);
        EXPECT_EQ(rig.op.last()->code, 11014);
    }

    if (ProtectTypes(bt)) {
        ASSERT_EQ(rig.engine.boot().protectChip(true, true), 1) << shownList(rig.op);
        expectShown(rig.op, {11027, 0, 0, ""});
        EXPECT_EQ(rig.session.ProtectState, 1);
        if (bt == 11) {
            EXPECT_EQ(ops.readFlash(oddStart, back.data(), 0x42), 0);
            expectShown(rig.op, {11001, 0, 0, ""});
        }
    }

    ASSERT_EQ(ops.eraseChip(true), 1) << shownList(rig.op);
    expectShown(rig.op, {11002, 0, 0, ""});
    const auto erased = rig.flash();
    EXPECT_TRUE(std::all_of(erased.begin(), erased.end(), [](uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(rig.session.ProtectState, 0);
    EXPECT_EQ(ops.verifySum(true, sum), 1);
    EXPECT_EQ(sum, blankSum);
    if (bt == 11) {
        EXPECT_EQ(ops.blankCheck(true), 1);
        expectShown(rig.op, {11017, 0, 0, ""});
    }

    // Programmed again from the erased chip: the blank-chip password opens it.
    ASSERT_EQ(ops.programDevice(), 1) << shownList(rig.op);
    EXPECT_EQ(rig.flash(), rig.expectedFlash());
}

INSTANTIATE_TEST_SUITE_P(AllSingleBootDevices, SingleBootDevice,
                         ::testing::ValuesIn(kSingleBootDevices));

// BootType 8 takes at most 1 KiB: a larger object is refused before anything
// reaches the chip, which keeps what it holds.
TEST(SingleBootDevice, BootType8RefusesObjectsOverOneKiBAndKeepsTheChip) {
    SingleBootRig rig;
    ASSERT_NO_FATAL_FAILURE(rig.startBlank("KMR8L64S"));
    rig.buildObject();
    ASSERT_NO_FATAL_FAILURE(rig.loadObject(rig.object, "object.h20"));
    ASSERT_EQ(rig.ops->programDevice(), 1) << shownList(rig.op);
    const auto programmed = rig.flash();

    std::map<uint32_t, uint8_t> large;
    for (uint32_t a = 0x10100; a < 0x10100 + 1025; ++a) large[a] = static_cast<uint8_t>(a);
    ASSERT_NO_FATAL_FAILURE(rig.loadObject(large, "large.h20", false));
    EXPECT_EQ(rig.ops->programDevice(), 0);
    expectShown(rig.op, {10023, 0, 0, ""});
    EXPECT_EQ(rig.flash(), programmed);
    // Nothing reached the chip: it still answers, and 1 KiB goes through.
    uint16_t sum = 0;
    EXPECT_EQ(rig.ops->verifySum(false, sum), 1);
    large.erase(std::prev(large.end()));
    rig.object = large;
    ASSERT_NO_FATAL_FAILURE(rig.loadObject(large, "exact.h20", false));
    ASSERT_EQ(rig.ops->programDevice(), 1) << shownList(rig.op);
    EXPECT_EQ(rig.flash(), rig.expectedFlash());
}

}  // namespace
}  // namespace ostrand::test
