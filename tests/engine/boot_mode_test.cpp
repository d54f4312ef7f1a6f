// The boot connection and the boot-mode operations end to end: the real
// serial port against ostrand-sim, the chip's flash file as the witness of
// what really happened.
#include <chrono>
#include <thread>

#include "engine/protocol_tables.h"
#include "serial/serial_port.h"
#include "sim_rig.h"

namespace ostrand::test {
namespace {

// A programmed chip: the vector area holds code and the password area a
// password; the engine is given that password as the device password.
Bytes programmedChip(EngineRig& rig, const std::string& device) {
    const DeviceDefinition* d = rig.devices.find(device);
    Bytes f(d->singleBootFlashEnd - d->singleBootFlashStart + 1, 0xFF);
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
        hex += "3" + std::string(1, "123456789ABC"[i]);
    }
    rig.useDevicePassword(hex, d->passwordAreaStart, first);
    rig.writeFlash(f);
    return f;
}

uint16_t sumOf(const Bytes& flash, const DeviceDefinition& d) {
    uint32_t s = 0;
    for (uint32_t a = d.sumAreaStart; a <= d.sumAreaEnd; ++a) {
        const bool inside = a >= d.singleBootFlashStart && a <= d.singleBootFlashEnd;
        s += inside ? flash[a - d.singleBootFlashStart] : 0xFF;
    }
    return static_cast<uint16_t>(s);
}

class EveryBootType : public ::testing::TestWithParam<const char*> {};

// A programmed chip, opened by its password, at every rate the boot type's
// table takes: the SUM there is what switches the chip to the data rate.
// Then chip erase in the boot type's own form.
TEST_P(EveryBootType, ConnectsAtEveryRateTakesTheSumAndErases) {
    EngineRig rig;
    const Bytes before = programmedChip(rig, GetParam());
    ASSERT_NO_FATAL_FAILURE(rig.start(GetParam(), "9600", {}, true));
    const DeviceDefinition& d = rig.dev();
    int rates = 0;
    uint16_t sum = 0;
    for (int32_t i = 0; i < DataRate::kCount; ++i) {
        const DataRate rate = DataRate::at(i);
        if (d.bootType != 10 && rateCodeFor(d.bootType, rig.settings.inForce.clock, rate) < 0)
            continue;
        if (!SerialPort::takesRate(rate.bps())) continue;  // this machine's ports cannot take it
        SCOPED_TRACE(rate.text());
        if (rates++ > 0) rig.engine.disconnect();
        rig.settings.inForce.dataRate = rate;
        ASSERT_EQ(rig.engine.connect(1), 1);
        EXPECT_EQ(rig.session.ConnectStatus, kConnected);
        EXPECT_EQ(rig.engine.link().linkState(), 2);
        EXPECT_EQ(rig.engine.boot().bootSum(0, 0, sum), 1);
        EXPECT_EQ(sum, sumOf(before, d));
        if (d.bootType == 10) break;  // clock entry: 115200 only
    }
    EXPECT_GT(rates, 0);
    ASSERT_EQ(rig.engine.boot().chipErase(0xF0), 1) << rig.codes();
    EXPECT_TRUE(rig.erased());
    EXPECT_TRUE((rig.engine.state().chip.flashBlank == 1));
    ASSERT_EQ(rig.engine.boot().bootSum(0, 0, sum), 1);
    EXPECT_EQ(sum, uint16_t((d.sumAreaEnd - d.sumAreaStart + 1) * 0xFF));
    EXPECT_TRUE(rig.quiet()) << rig.codes();
}

INSTANTIATE_TEST_SUITE_P(Demo, EveryBootType, ::testing::ValuesIn(kEveryBootType));

TEST(Connect, BootType3MatchesAtTheRateOfItsAdapterClock) {
    EngineRig rig;
    rig.start("KM8P32", "9600");
    for (int clock : {4, 8}) {
        rig.settings.inForce.clock = clock;
        ASSERT_EQ(rig.engine.connect(1), 1);
        EXPECT_EQ(rig.engine.state().rate.initial, clock == 4 ? kRate2400 : kRate4800);
        uint16_t sum = 0;
        EXPECT_EQ(rig.engine.boot().bootSum(0, 0, sum), 1);
        rig.engine.disconnect();
    }
}

TEST(Connect, UnsupportedRateStopsBeforeThePortOpens) {
    EngineRig rig;
    rig.configure("KM16F48", "/nonexistent/port", "115200");
    EXPECT_EQ(rig.engine.connect(1), -1);
    rig.configure("KM8P32", "/nonexistent/port", "76800");
    rig.settings.inForce.clock = 4;
    EXPECT_EQ(rig.engine.connect(1), -1);
    ASSERT_EQ(rig.op.codes(), (std::vector<int32_t>{10013, 10013}));
    EXPECT_EQ(rig.op.messages[0].hint, 12110);
    EXPECT_FALSE(rig.engine.port().isOpen());
    // A supported rate gets as far as the port.
    rig.settings.inForce.clock = 16;
    EXPECT_EQ(rig.engine.connect(1), -1);
    EXPECT_EQ(rig.op.messages.back().code, 10001);
    EXPECT_EQ(rig.op.messages.back().place, 3);
}

// A chip that answers late is matched by the retries; disconnecting closes
// the port and tells the front end.
TEST(Connect, RetriesUntilALateChipAnswersAndDisconnectTellsTheFrontEnd) {
    EngineRig rig;
    int told = 0;
    EngineHooks hooks;
    hooks.disconnected = [&] { ++told; };
    rig.engine.setHooks(hooks);
    rig.start("KMV5A128", "19200");
    rig.chip.pause();
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        rig.chip.resume();
    });
    EXPECT_EQ(rig.engine.connect(1), 1) << rig.codes();
    late.join();
    EXPECT_EQ(rig.session.ConnectStatus, kConnected);
    rig.engine.disconnect();
    EXPECT_FALSE(rig.engine.port().isOpen());
    EXPECT_EQ(rig.engine.link().linkState(), 3);
    EXPECT_EQ(told, 1);
}

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
        SCOPED_TRACE(device);
        EngineRig rig;
        programmedChip(rig, device);
        rig.start(device, "9600", {"protected"}, true);
        ASSERT_EQ(rig.engine.connect(1), 1);
        EXPECT_EQ(rig.session.ProtectState, 1);
        EXPECT_FALSE((rig.engine.state().chip.flashBlank == 1));
        if (std::string(device) != "KMV5A128") continue;
        // Before a WCP, the operator agrees to erase the protected chip.
        rig.op.answers = {false, false, true};  // no, do not leave, then yes
        EXPECT_EQ(rig.engine.boot().protectCheckBeforeWcp(), 1);
        EXPECT_EQ(rig.op.questions, (std::vector<int32_t>{12013, 12014, 12013}));
        EXPECT_EQ(rig.session.ProtectState, 0);
        EXPECT_TRUE(rig.erased());
    }
}

// A wrong password byte: the chip does not answer, the engine reconnects.
TEST(Protect, WrongPasswordGoesUnansweredAndTheEngineReconnects) {
    EngineRig rig;
    programmedChip(rig, "KMV5A60P");
    rig.passwords.devicePassword[0] = '0';
    rig.start("KMV5A60P", "57600", {}, true);
    ASSERT_EQ(rig.engine.connect(1), 1);
    EXPECT_EQ(rig.engine.boot().protectChip(false, true), 0);
    ASSERT_EQ(rig.op.codes(), std::vector<int32_t>{10002});
    EXPECT_EQ(rig.op.messages[0].place, 633);
    EXPECT_EQ(rig.op.messages[0].detail, "Boot Program");
    EXPECT_EQ(rig.session.ConnectStatus, kConnected);
    EXPECT_EQ(rig.session.ProtectState, 0);
}

TEST(Timeout, MidOperationGives10002WithThePlaceAndReconnects) {
    EngineRig rig;
    rig.start("KMV9C384", "76800", {"noreply:90.done"});
    ASSERT_EQ(rig.engine.connect(1), 1);
    uint16_t sum = 0;
    EXPECT_EQ(rig.engine.boot().bootSum(0, 0, sum), 0);
    ASSERT_EQ(rig.op.codes(), std::vector<int32_t>{10002});
    EXPECT_EQ(rig.op.messages[0].place, 183);
    EXPECT_EQ(rig.engine.link().recoverAfterTimeout(0), 1);
    EXPECT_EQ(rig.session.ConnectStatus, kConnected);
    EXPECT_EQ(rig.session.LastMessageCode, 0);
    EXPECT_EQ(rig.engine.boot().bootSum(0, 0, sum), 1);
}

// A wrong reply to the SUM command, by the boot type's own reply table; the
// engine goes on without a new connection.
TEST(ReplyCheck, InjectedRepliesByBootTypeAndRecovery) {
    const struct {
        const char *device, *rate, *fault;
        int32_t code, hint;
    } cases[] = {{"KM16F48", "76800", "reply:90=63", 10006, 12127},
                 {"KM16F48", "76800", "reply:90=64", 11018, 12101},
                 {"KM16F48", "76800", "reply:90=62", 10011, 12144},
                 {"KM16F48", "76800", "reply:90=51", 10008, 0},
                 {"KM16F48", "76800", "reply:90=54", 10016, 0},
                 {"KMV7Q3", "9600", "reply:20=18", 10007, 0},
                 {"KMR8L256", "9600", "reply:20=54", 10006, 0},
                 {"KMR10T128", "9600", "reply:20=58", 10007, 0},
                 {"KMV5A128", "9600", "reply:90=54", 0, 0}};  // illegal write, not reported
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.device) + " " + c.fault);
        EngineRig rig;
        rig.session.ReportIllegalWrite = std::string(c.device) == "KM16F48";
        rig.start(c.device, c.rate, {c.fault});
        ASSERT_EQ(rig.engine.connect(1), 1);
        uint16_t sum = 0;
        EXPECT_EQ(rig.engine.boot().bootSum(0, 0, sum), 0);
        ASSERT_EQ(rig.op.codes(), c.code ? std::vector<int32_t>{c.code} : std::vector<int32_t>{});
        if (c.code == 0) continue;
        EXPECT_EQ(rig.op.messages[0].detail, "Boot Program");
        if (std::string(c.rate) == "9600") {
            EXPECT_EQ(rig.engine.boot().bootSum(0, 0, sum), 1);
            continue;
        }
        EXPECT_EQ(rig.op.messages[0].hint, c.hint);
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

TEST(BootRead, ReadsThePasswordGuardedFlashOfBootType11) {
    EngineRig rig;
    const Bytes flash = programmedChip(rig, "KMS11G60S");
    rig.start("KMS11G60S", "115200", {}, true);
    rig.settings.inForce.memSizeEmulat = 60;
    ASSERT_EQ(rig.engine.connect(1), 1);
    Bytes buffer(0x100);
    ASSERT_EQ(rig.engine.boot().bootRead(0x1000, buffer.data(), 0x100), 1);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), flash.begin()));
    EXPECT_EQ(rig.engine.boot().identifyChip(), 1);
    EXPECT_EQ(rig.session.DeviceIdentified, 1);
    EXPECT_EQ(rig.engine.device().flashEnd, 0xFFFFu);
}

}  // namespace
}  // namespace ostrand::test
