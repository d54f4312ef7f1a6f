// Boot-mode operations and the reply check end to end, with the simulated
// chip's flash file as the witness of what really happened.
#include <fstream>
#include <numeric>

#include "engine/protocol_tables.h"

#include "objfile/hex_records.h"
#include "sim_rig.h"

namespace ostrand::test {
namespace {

// A programmed chip: the vector area holds code and the password area a
// password; the engine is given that password as the device password.
std::vector<uint8_t> programmedChip(EngineRig& rig, const std::string& device) {
    const DeviceDefinition* d = rig.devices.find(device);
    std::vector<uint8_t> f(d->singleBootFlashEnd - d->singleBootFlashStart + 1, 0xFF);
    auto at = [&](uint32_t a) -> uint8_t& { return f[a - d->singleBootFlashStart]; };
    const uint32_t offset = d->singleChipFlashStart - d->singleBootFlashStart;
    for (uint32_t a = d->vectorAreaStart - offset; a <= d->vectorAreaEnd - offset; ++a)
        at(a) = static_cast<uint8_t>(0x10 + a % 7);
    const uint32_t n = d->bootType == 3 ? 4 : PasswordBootTypes(d->bootType) ? 12 : 8;
    const bool counted = !BootTypesC(d->bootType);
    const uint32_t first = d->passwordAreaStart + (counted ? 1 : 0);
    if (counted) at(d->passwordAreaStart) = static_cast<uint8_t>(n);
    std::string hex;
    for (uint32_t i = 0; i < n; ++i) {
        at(first + i) = static_cast<uint8_t>(0x31 + i);
        char two[3];
        std::snprintf(two, sizeof two, "%02X", 0x31 + i);
        hex += two;
    }
    rig.passwords.devicePasswordOption = 2;
    rig.passwords.devicePasswordType = 1;
    rig.passwords.devicePassword = hex;
    rig.passwords.deviceNumAdd = d->passwordAreaStart;
    rig.passwords.deviceCmpAdd = first;
    rig.writeFlash(f);
    return f;
}

uint16_t sumOf(const std::vector<uint8_t>& flash, const DeviceDefinition& d) {
    uint32_t s = 0;
    for (uint32_t a = d.sumAreaStart; a <= d.sumAreaEnd; ++a) {
        const bool inside = a >= d.singleBootFlashStart && a <= d.singleBootFlashEnd;
        s += inside ? flash[a - d.singleBootFlashStart] : 0xFF;
    }
    return static_cast<uint16_t>(s);
}

bool allErased(const std::vector<uint8_t>& flash) {
    return std::all_of(flash.begin(), flash.end(), [](uint8_t b) { return b == 0xFF; });
}

class ProgrammedChip : public ::testing::TestWithParam<const char*> {};

// SUM of a programmed chip, then chip erase in the boot type's own form.
TEST_P(ProgrammedChip, SumThenEraseInTheBootTypesForm) {
    EngineRig rig;
    const auto before = programmedChip(rig, GetParam());
    rig.start(GetParam(), "19200", {}, true);
    ASSERT_EQ(rig.engine.connect(1), 1);
    const DeviceDefinition& d = *rig.devices.selected();
    uint16_t sum = 0;
    ASSERT_EQ(rig.engine.boot().bootSum(0, 0, sum), 1);
    EXPECT_EQ(sum, sumOf(before, d));
    ASSERT_EQ(rig.engine.boot().chipErase(0xF0), 1) << (rig.op.last() ? rig.op.last()->text : "");
    EXPECT_TRUE(allErased(rig.flash()));
    EXPECT_TRUE((rig.engine.state().chip.flashBlank == 1));
    ASSERT_EQ(rig.engine.boot().bootSum(0, 0, sum), 1);
    EXPECT_EQ(sum, uint16_t((d.sumAreaEnd - d.sumAreaStart + 1) * 0xFF));
    EXPECT_TRUE(rig.quiet());
}

INSTANTIATE_TEST_SUITE_P(Demo, ProgrammedChip,
                         ::testing::Values("KM16F48", "KM16F96", "KM8P32", "KM8R64", "KMV5A128",
                                           "KMV6B256", "KMV9C384", "KMV7Q3", "KMR8L256",
                                           "KMR10T128", "KMS11G124", "KMT12E48"));

TEST(Status, BlankProtectedAndPasswordTypes) {
    {
        EngineRig rig;
        rig.start("KMV5A60P");
        ASSERT_EQ(rig.engine.connect(1), 1);
        EXPECT_TRUE((rig.engine.state().chip.flashBlank == 1));
        EXPECT_EQ(rig.session.ProtectState, 0);
        // A blank chip is not protected.
        EXPECT_EQ(rig.engine.boot().protectChip(false, true), 0);
        EXPECT_EQ(rig.op.codes(), std::vector<int32_t>{11026});
    }
    for (const char* device : {"KMV5A128", "KMR8L256", "KMS11G124"}) {
        EngineRig rig;
        programmedChip(rig, device);
        rig.start(device, "9600", {"protected"}, true);
        ASSERT_EQ(rig.engine.connect(1), 1);
        EXPECT_EQ(rig.session.ProtectState, 1) << device;
        EXPECT_FALSE((rig.engine.state().chip.flashBlank == 1)) << device;
    }
}

TEST(Protect, ProtectsWithThePasswordAndStaysProtected) {
    for (const char* device : {"KMV5A60P", "KMR8L64S"}) {
        EngineRig rig;
        programmedChip(rig, device);
        rig.start(device, "38400", {}, true);
        ASSERT_EQ(rig.engine.connect(1), 1);
        ASSERT_EQ(rig.engine.boot().protectChip(true, true), 1) << device;
        EXPECT_EQ(rig.op.codes(), std::vector<int32_t>{11027});
        EXPECT_EQ(rig.op.progressTexts, std::vector<std::string>{"Protecting..."});
        rig.engine.disconnect();
        rig.session.ProtectState = 0;
        ASSERT_EQ(rig.engine.connect(1), 1);
        EXPECT_EQ(rig.session.ProtectState, 1) << device;
    }
}

TEST(Protect, RefusedPasswordTimesOutAndTheEngineReconnects) {
    EngineRig rig;
    programmedChip(rig, "KMV5A60P");
    rig.passwords.devicePassword[0] = '0';  // one wrong byte
    rig.start("KMV5A60P", "57600", {}, true);
    ASSERT_EQ(rig.engine.connect(1), 1);
    EXPECT_EQ(rig.engine.boot().protectChip(false, true), 0);
    ASSERT_EQ(rig.op.codes(), std::vector<int32_t>{10002});
    EXPECT_EQ(rig.op.messages[0].place, 633);
    EXPECT_EQ(rig.op.messages[0].detail, "Boot Program");
    EXPECT_EQ(rig.session.ConnectStatus, kConnected);
    EXPECT_EQ(rig.session.ProtectState, 0);
}

TEST(Protect, ProtectedChipIsErasedBeforeAWcpWhenTheOperatorAgrees) {
    EngineRig rig;
    programmedChip(rig, "KMV5A128");
    rig.start("KMV5A128", "9600", {"protected"}, true);
    ASSERT_EQ(rig.engine.connect(1), 1);
    rig.op.answers = {false, false, true};  // no, do not leave, then yes
    EXPECT_EQ(rig.engine.boot().protectCheckBeforeWcp(), 1);
    EXPECT_EQ(rig.op.questions, (std::vector<int32_t>{12013, 12014, 12013}));
    EXPECT_EQ(rig.session.ProtectState, 0);
    EXPECT_TRUE(allErased(rig.flash()));
}

TEST(Timeout, MidOperationGives10002WithThePlaceAndReconnects) {
    EngineRig rig;
    rig.start("KMV9C384", "76800", {"noreply:90.done"});
    ASSERT_EQ(rig.engine.connect(1), 1);
    uint16_t sum = 0;
    const int32_t r = rig.engine.boot().bootSum(0, 0, sum);
    EXPECT_EQ(r, 0);
    ASSERT_EQ(rig.op.codes(), std::vector<int32_t>{10002});
    EXPECT_EQ(rig.op.messages[0].place, 183);
    EXPECT_EQ(rig.engine.link().recoverAfterTimeout(r), 1);
    EXPECT_EQ(rig.session.ConnectStatus, kConnected);
    EXPECT_EQ(rig.session.LastMessageCode, 0);
    EXPECT_EQ(rig.engine.boot().bootSum(0, 0, sum), 1);
}

TEST(ReplyCheck, InjectedRepliesAndRecoveryWithoutReconnect) {
    struct Case {
        const char* fault;
        int32_t code, hint;
    } cases[] = {{"reply:90=63", 10006, 12127},
                 {"reply:90=64", 11018, 12101},
                 {"reply:90=62", 10011, 12144},
                 {"reply:90=18", 10006, 12127},
                 {"reply:90=54", 10016, 0}};
    for (const Case& c : cases) {
        EngineRig rig;
        rig.session.ReportIllegalWrite = 1;
        rig.start("KM16F48", "76800", {c.fault});
        ASSERT_EQ(rig.engine.connect(1), 1);
        uint16_t sum = 0;
        EXPECT_EQ(rig.engine.boot().bootSum(0, 0, sum), 0);
        ASSERT_EQ(rig.op.codes(), std::vector<int32_t>{c.code}) << c.fault;
        EXPECT_EQ(rig.op.messages[0].hint, c.hint);
        EXPECT_EQ(rig.op.messages[0].detail, "Boot Program");
        if (c.code == 10006) {
            EXPECT_NE(rig.op.messages[0].text.find("(90H was sent.)"), std::string::npos);
        }
        // The chip still listens at the data rate: the one matching byte at
        // 9600 makes it start over, the command times out, and the
        // reconnection that follows matches it again.
        EXPECT_EQ(rig.engine.boot().bootSum(0, 0, sum), 0);
        EXPECT_EQ(rig.op.codes(), (std::vector<int32_t>{c.code, 10002}));
        EXPECT_EQ(rig.op.messages[1].place, 181);
        EXPECT_EQ(rig.engine.link().recoverAfterTimeout(0), 1);
        EXPECT_EQ(rig.engine.boot().bootSum(0, 0, sum), 1);
    }
}

TEST(ReplyCheck, PasswordBootTypesUseTheirOwnTables) {
    struct Case {
        const char* device;
        const char* fault;
        int32_t code;
    } cases[] = {{"KMV7Q3", "reply:20=18", 10007},
                 {"KMR8L256", "reply:20=54", 10006},
                 {"KMR10T128", "reply:20=58", 10007},
                 {"KMV5A128", "reply:90=54", 0}};  // illegal write, not reported here
    for (const Case& c : cases) {
        EngineRig rig;
        rig.start(c.device, "9600", {c.fault});
        ASSERT_EQ(rig.engine.connect(1), 1);
        uint16_t sum = 0;
        EXPECT_EQ(rig.engine.boot().bootSum(0, 0, sum), 0);
        EXPECT_EQ(rig.op.codes(), c.code ? std::vector<int32_t>{c.code} : std::vector<int32_t>{})
            << c.device;
        EXPECT_EQ(rig.engine.boot().bootSum(0, 0, sum), 1) << c.device;
    }
}

TEST(BootRead, ReadsThePasswordGuardedFlashOfBootType11) {
    EngineRig rig;
    const auto flash = programmedChip(rig, "KMS11G60S");
    rig.start("KMS11G60S", "115200", {}, true);
    rig.settings.inForce.memSizeEmulat = 60;
    ASSERT_EQ(rig.engine.connect(1), 1);
    std::vector<uint8_t> buffer(0x100);
    ASSERT_EQ(rig.engine.boot().bootRead(0x1000, buffer.data(), 0x100), 1);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), flash.begin()));
    EXPECT_EQ(rig.engine.boot().identifyChip(), 1);
    EXPECT_EQ(rig.session.DeviceIdentified, 1);
    EXPECT_EQ(rig.engine.device().flashEnd, 0xFFFFu);
    // Other boot types have no boot-mode read.
    EngineRig other;
    other.start("KMV5A60P");
    ASSERT_EQ(other.engine.connect(1), 1);
    EXPECT_EQ(other.engine.boot().bootRead(0, buffer.data(), 4), 0);
}

// An object expansion file of `count` bytes at `address`.
std::filesystem::path expansionFile(EngineRig& rig, uint32_t address, uint32_t count) {
    std::string text;
    auto record = [&](uint32_t addr, uint8_t type, const std::vector<uint8_t>& data) {
        appendHexRecord(text, type, uint16_t(addr), data.data(), uint32_t(data.size()));
        text.insert(text.size() - 1, "\r");  // lines that end in CR LF are read as well
    };
    if (address > 0xFFFF) record(0, 0x02, {uint8_t(address >> 12), 0x00});
    for (uint32_t done = 0; done < count; done += 16) {
        std::vector<uint8_t> data;
        for (uint32_t i = done; i < std::min(count, done + 16); ++i) data.push_back(uint8_t(i * 3));
        record((address + done) & 0xFFFF, 0x00, data);
    }
    record(0, 0x01, {});
    return rig.folder.write("object.hex", text);
}

class SingleBootProgramming : public ::testing::TestWithParam<const char*> {};

TEST_P(SingleBootProgramming, WritesTheObjectIntoTheFlash) {
    EngineRig rig;
    programmedChip(rig, GetParam());
    // BootType 4's boot program runs at 9600 only.
    rig.start(GetParam(), std::string(GetParam()) == "KM8R32S" ? "9600" : "19200", {}, true);
    ASSERT_EQ(rig.engine.connect(1), 1);
    ASSERT_TRUE(rig.session.ProgrammingMode == kModeSBoot ||
                rig.session.ProgrammingMode == kModeSBootPw);
    const uint32_t address = rig.engine.device().flashStart + 0x200;
    ASSERT_EQ(rig.engine.boot().programSingleBoot(expansionFile(rig, address, 40)), 1)
        << (rig.op.last() ? rig.op.last()->text : "");
    const auto flash = rig.flash();
    for (uint32_t i = 0; i < 40; ++i)
        ASSERT_EQ(flash[address - rig.engine.device().flashStart + i], uint8_t(i * 3)) << i;
    EXPECT_TRUE(rig.quiet());
    uint16_t sum = 0;
    EXPECT_EQ(rig.engine.boot().bootSum(0, 0, sum), 1);
}

INSTANTIATE_TEST_SUITE_P(EveryGroup, SingleBootProgramming,
                         ::testing::Values("KM16F32S", "KM16F60P", "KM8P48S", "KM8R32S", "KMV5A60P",
                                           "KMR8L64S", "KMS11G60S", "KMT12E64S"));

TEST(SingleBootProgramming, PasswordTypesRefuseObjectsOverOneKiB) {
    EngineRig rig;
    const auto before = programmedChip(rig, "KMR8L64S");
    rig.start("KMR8L64S", "9600", {}, true);
    ASSERT_EQ(rig.engine.connect(1), 1);
    EXPECT_EQ(rig.engine.boot().programSingleBoot(expansionFile(rig, 0x10200, 1025)), 0);
    EXPECT_EQ(rig.op.codes(), std::vector<int32_t>{10023});
    EXPECT_EQ(rig.flash(), before);
    // Nothing was sent: the next command goes straight through.
    EXPECT_EQ(rig.engine.boot().programSingleBoot(expansionFile(rig, 0x10200, 1024)), 1);
}

}  // namespace
}  // namespace ostrand::test
