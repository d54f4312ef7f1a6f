// The boot connection end to end: the real serial port against ostrand-sim.
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "engine/protocol_tables.h"
#include "serial/serial_port.h"
#include "sim_rig.h"

namespace ostrand::test {
namespace {

struct BootTypeCase {
    int bootType;
    const char* device;
};

const BootTypeCase kDevices[] = {
    {1, "KM16F48"},  {2, "KM16F96"},    {3, "KM8P32"},     {4, "KM8R64"},
    {5, "KMV5A128"}, {6, "KMV6B256"},   {7, "KMV7Q3"},     {8, "KMR8L256"},
    {9, "KMV9C384"}, {10, "KMR10T128"}, {11, "KMS11G124"}, {12, "KMT12E48"},
};

class EveryBootType : public ::testing::TestWithParam<BootTypeCase> {};

// Connect at every rate the boot type's table takes, and run one boot-mode
// command there, which is what switches the chip to the data rate.
TEST_P(EveryBootType, ConnectsAtEveryRateItsTableTakes) {
    EngineRig rig;
    rig.start(GetParam().device);
    int rates = 0;
    for (int32_t i = 0; i < DataRate::kCount; ++i) {
        const DataRate rate = DataRate::at(i);
        const int clock = rig.settings.inForce.clock;
        if (GetParam().bootType != 10 && rateCodeFor(GetParam().bootType, clock, rate) < 0)
            continue;
        if (!SerialPort::takesRate(rate.bps())) continue;  // this machine's ports cannot take it
        rig.settings.inForce.dataRate = rate;
        SCOPED_TRACE(rate.text());
        ASSERT_EQ(rig.engine.connect(1), 1);
        EXPECT_EQ(rig.session.ConnectStatus, kConnected);
        EXPECT_EQ(rig.engine.link().linkState(), 2);
        uint16_t sum = 1;
        EXPECT_EQ(rig.engine.boot().bootSum(0, 0, sum), 1);
        EXPECT_EQ(sum,
                  uint16_t((rig.engine.device().sumEnd - rig.engine.device().sumStart + 1) * 0xFF));
        EXPECT_TRUE(rig.quiet()) << rig.op.messages.front().text;
        rig.engine.disconnect();
        ++rates;
        if (GetParam().bootType == 10) break;  // clock entry: 115200 only
    }
    EXPECT_GT(rates, 0);
}

INSTANTIATE_TEST_SUITE_P(Demo, EveryBootType, ::testing::ValuesIn(kDevices),
                         [](const auto& info) { return std::string(info.param.device); });

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

TEST(Connect, SilentChipStartsTheWorkerWhichConnectsLater) {
    EngineRig rig;
    std::mutex m;
    std::condition_variable cv;
    int up = 0, timedOut = 0;
    EngineHooks hooks;
    hooks.linkUp = [&] {
        std::lock_guard lock(m);
        ++up;
        cv.notify_all();
    };
    hooks.linkTimeout = [&] {
        std::lock_guard lock(m);
        ++timedOut;
        cv.notify_all();
    };
    rig.engine.setHooks(hooks);
    rig.start("KMV5A128", "19200");
    rig.chip.pause();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(rig.engine.connect(1), 2);
    // AccessWaitTime is two seconds in the test definition file.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
    ASSERT_EQ(rig.op.codes(), std::vector<int32_t>{10000});
    EXPECT_EQ(rig.op.messages[0].place, 3);
    EXPECT_EQ(rig.op.messages[0].hint, 12100);
    EXPECT_EQ(rig.op.messages[0].detail, "Boot Program");
    EXPECT_EQ(rig.engine.link().linkState(), 3);
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(5), [&] { return timedOut > 0; }));
    }
    rig.chip.resume();
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(5), [&] { return up > 0; }));
    }
    EXPECT_EQ(timedOut, 1);  // reported once
    EXPECT_EQ(rig.engine.link().linkState(), 2);
    EXPECT_EQ(rig.session.ConnectStatus, kConnected);
    // The front end finishes the connection on its own thread.
    EXPECT_EQ(rig.engine.link().afterLinkUp(), 1);
    EXPECT_TRUE((rig.engine.state().chip.flashBlank == 1));
    uint16_t sum = 0;
    EXPECT_EQ(rig.engine.boot().bootSum(0, 0, sum), 1);
    EXPECT_EQ(rig.op.codes(), std::vector<int32_t>{10000});
}

// The console front end reaches every boot type and says which mode it is in.
TEST(CliConnect, ReportsTheModeForEveryBootType) {
    const char* modes[] = {"none", "WCP-Div", "WCP-All", "S-Boot-PW", "S-Boot"};
    for (const BootTypeCase& c : kDevices) {
        EngineRig rig;
        SimChip chip;
        const std::string port = chip.start(rig.folder.path(), c.device);
        ASSERT_FALSE(port.empty());
        rig.configure(c.device, port, "9600");
        const auto out = rig.folder.path() / "out.txt";
        const std::string command = std::string(OSTRAND_CLI) + " connect --home " +
                                    rig.folder.path().string() + " --device " + c.device +
                                    " --port " + port + " >" + out.string() + " 2>&1";
        const int rc = std::system(command.c_str());
        const std::string text = rig.folder.read("out.txt");
        EXPECT_EQ(WEXITSTATUS(rc), 0) << text;
        EXPECT_NE(text.find(std::string("mode: ") + modes[rig.session.ProgrammingMode] + "\n"),
                  std::string::npos)
            << text;
        EXPECT_NE(text.find("Connected\n"), std::string::npos) << text;
    }
    // Nothing at the other end: 10000 and exit status 1.
    EngineRig rig;
    const std::string command =
        std::string(OSTRAND_CLI) + " connect --home " + rig.folder.path().string() +
        " --device KM16F48 --port /dev/null >" + (rig.folder.path() / "out.txt").string() + " 2>&1";
    const int rc = std::system(command.c_str());
    EXPECT_EQ(WEXITSTATUS(rc), 1);
    EXPECT_NE(rig.folder.read("out.txt").find("E001-3"), std::string::npos)
        << rig.folder.read("out.txt");
}

}  // namespace
}  // namespace ostrand::test
