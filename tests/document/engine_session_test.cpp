// Engine sessions as a gang runs them: several in one process, one chip
// each, at the same time; and the outcome each operation hands back.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "engine/engine_session.h"
#include "recording_operator.h"
#include "sim_rig.h"
#include "test_folder.h"

namespace ostrand::test {
namespace {

constexpr const char* kDevice = "KMT12E48";

struct Station {
    Session session;
    RecordingOperator op{session};
    std::unique_ptr<EngineSession> parts;
    SimChip chip;
    std::string port;
    int32_t connected = -1;
    Outcome blank;

    void start(const std::filesystem::path& folder, const std::string& flashName) {
        port = chip.start(folder, kDevice, {}, folder / flashName);
        ASSERT_FALSE(port.empty());
        parts = std::make_unique<EngineSession>(session, op, folder);
    }
    // What a front end does for the run: definitions, the run's values, connect.
    void bringUp() {
        ASSERT_TRUE(parts->loadDefinitions());
        ASSERT_TRUE(parts->applyOverrides(
            {.device = kDevice, .port = port, .rate = DataRate::parse("38400")}));
        parts->takeSetup();
        EngineTimeouts t = parts->engine.timeouts();
        t.echo = 300;
        parts->engine.setTimeouts(t);
        connected = parts->engine.connectAndWait();
    }
    void checkBlank() {
        blank = parts->operations.run([&] { return parts->operations.blankCheck(true); });
    }
    bool shown(int32_t code) const {
        for (const auto& m : op.messages)
            if (m.code == code) return true;
        return false;
    }
};

TEST(EngineSessions, TwoRunAtOnceEachOnItsOwnChip) {
    TestFolder folder;
    writeFastProgramFolder(folder.path());
    Station a, b;
    a.start(folder.path(), "a.bin");
    b.start(folder.path(), "b.bin");

    // B writes two bytes into its chip; both then check at the same time.
    const uint8_t bytes[] = {0x12, 0x34};
    std::thread ta([&] {
        a.bringUp();
        if (a.connected == 1) a.checkBlank();
    });
    std::thread tb([&] {
        b.bringUp();
        if (b.connected != 1) return;
        const uint32_t at = b.parts->devices.selected()->singleBootFlashStart + 0x10;
        EXPECT_EQ(b.parts->operations.writeData(at, bytes, 2), 1)
            << testing::PrintToString(b.op.codes());
        b.checkBlank();
    });
    ta.join();
    tb.join();
    ASSERT_EQ(a.connected, 1) << testing::PrintToString(a.op.codes());
    ASSERT_EQ(b.connected, 1) << testing::PrintToString(b.op.codes());

    EXPECT_EQ(a.blank.status, 1);
    EXPECT_EQ(a.blank.code, 11017);
    EXPECT_EQ(b.blank.status, 0);
    EXPECT_EQ(b.blank.code, 11016);
    EXPECT_FALSE(b.blank.errorShown());
    // Each operator saw its own chip's result only.
    EXPECT_FALSE(a.shown(11016));
    EXPECT_FALSE(b.shown(11017));
    const std::string flashA = folder.read("a.bin"), flashB = folder.read("b.bin");
    ASSERT_GT(flashB.size(), 0x12u);
    EXPECT_EQ(flashA, std::string(flashA.size(), '\xFF'));
    EXPECT_EQ(flashB.substr(0x10, 2), "\x12\x34");

    // A chip that stops answering fails the check: status 0 as for a chip
    // that is not blank, but the outcome tells the failure apart.
    a.chip.pause();
    a.checkBlank();
    a.chip.resume();
    EXPECT_EQ(a.blank.status, 0);
    EXPECT_TRUE(a.blank.errorShown()) << a.blank.code;
    EXPECT_NE(a.blank.code, 11016);
}

}  // namespace
}  // namespace ostrand::test
