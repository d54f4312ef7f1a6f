// WCPs on the wire and when they fail: which WCP is resident after which
// command (seen in the simulator's log), broken WCP files, error replies and a
// time-out at every step; after each failure the engine must go on.
#include "sim_rig.h"

namespace ostrand::test {
namespace {

// A blank chip with short time-outs, and 0x300 bytes of 0x5A at the flash
// start plus 0x100 as the object.
void startWcp(EngineRig& rig, const std::string& device,
              const std::vector<std::string>& faults = {}) {
    ASSERT_NO_FATAL_FAILURE(rig.startBlank(device, faults));
    rig.setTimeout(&EngineTimeouts::completion, 300);
    rig.setTimeout(&EngineTimeouts::readByte, 300);
    std::map<uint32_t, uint8_t> object;
    const uint32_t base = rig.dev().singleBootFlashStart + 0x100;
    for (uint32_t a = base; a < base + 0x300; ++a) object[a] = 0x5A;
    ASSERT_NO_FATAL_FAILURE(rig.loadObject(object));
}

// The log's WCP story: M a match, W<kind> a WCP started, L a WCP left.
std::string story(const EngineRig& rig) {
    std::ifstream in(rig.logPath());
    std::string line, s;
    while (std::getline(in, line)) {
        if (line.find(" rate matched at ") != std::string::npos) s += "M ";
        if (line.find(" reset WCP left") != std::string::npos) s += "L ";
        const auto k = line.find(" wcp running kind ");
        if (k != std::string::npos) s += "W" + line.substr(k + 18) + " ";
    }
    return s;
}

TEST(WcpOnTheWire, DivLeavesAndRematchesForEachWcpAllTransfersOnce) {
    {
        // KM16F48 runs one WCP per command.
        EngineRig rig;
        ASSERT_NO_FATAL_FAILURE(startWcp(rig, "KM16F48"));
        EXPECT_EQ(rig.ops->blankCheck(false), 1);
        ASSERT_EQ(rig.ops->programDevice(), 1);
        uint8_t back[4] = {};
        ASSERT_EQ(rig.ops->readFlash(0x100, back, 4), 1);
        EXPECT_EQ(back[3], 0x5A);
        ASSERT_EQ(rig.ops->readFlash(0x200, back, 4), 1);  // still resident: no transfer
        EXPECT_EQ(story(rig), "M W3 L M W0 L M W1 ");
    }
    // KM16F96 takes its total WCP once and keeps it for everything.
    EngineRig rig;
    ASSERT_NO_FATAL_FAILURE(startWcp(rig, "KM16F96"));
    EXPECT_EQ(rig.ops->blankCheck(false), 1);
    ASSERT_EQ(rig.ops->programDevice(), 1);
    uint16_t sum = 0;
    EXPECT_EQ(rig.ops->verifySum(false, sum), 0);
    EXPECT_EQ(rig.ops->compareWithFile(false), 0);
    EXPECT_EQ(rig.ops->eraseChip(false), 1);
    EXPECT_EQ(story(rig), "M W6 ");
}

TEST(WcpFiles, BrokenFilesAreReportedAndTheEngineGoesOn) {
    EngineRig rig;
    ASSERT_NO_FATAL_FAILURE(rig.startBlank("KMR8L256"));
    const auto wcp = rig.folder.path() / "wcp";
    std::filesystem::create_directories(wcp);
    std::filesystem::copy(std::string(OSTRAND_DATA) + "/KMR8L256", wcp / "KMR8L256");
    rig.engine.wcp().setWcpFolder(wcp);
    const auto blank = wcp / "KMR8L256" / "blank.wcp";
    const std::string good = rig.folder.read("wcp/KMR8L256/blank.wcp");
    std::string corrupted = good;
    corrupted[corrupted.find('\n') - 1] ^= 1;  // the first record's checksum
    const struct {
        std::string text;  // empty: no file
        int32_t code, place, hint;
    } cases[] = {
        {"", 10311, 12, 12116},
        {corrupted, 10303, 15, 12107},
        {":020000000102FB\n" + good, 10305, 15, 12107},  // below the RAM
        {":0210000301029A\n" + good, 10306, 15, 12107},  // record type 03
        {good, 0, 0, 0},
    };
    const uint32_t at = rig.engine.device().flashStart;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        std::filesystem::remove(blank);
        if (!c.text.empty()) std::ofstream(blank) << c.text;
        rig.op.messages.clear();
        int32_t isBlank = 0;
        EXPECT_EQ(rig.engine.wcp().wcpBlankCheck(at, 0x100, isBlank), c.code ? 0 : 1);
        EXPECT_EQ(isBlank, c.code ? 0 : 1);
        ASSERT_EQ(rig.op.messages.size(), c.code ? 1u : 0u);
        if (!c.code) continue;
        EXPECT_EQ(rig.op.messages[0].code, c.code);
        EXPECT_EQ(rig.op.messages[0].place, c.place);
        EXPECT_EQ(rig.op.messages[0].hint, c.hint);
        EXPECT_EQ(rig.op.messages[0].detail, "");
    }
}

TEST(WcpReplies, EccFailsOnlyThatWrite) {
    EngineRig rig;
    ASSERT_NO_FATAL_FAILURE(startWcp(rig, "KMR8L256", {"ecc"}));
    CFlashEngine& e = rig.engine;
    const uint32_t at = e.device().flashStart + 0x40;
    const uint8_t zeros[2] = {0, 0};
    auto flashAt40 = [&] {
        const Bytes f = rig.flash();  // the chip writes its file at its first change
        return f.size() > 0x40 ? f[0x40] : 0xFF;
    };
    EXPECT_EQ(e.wcp().wcpWrite(at, zeros, 2), 0);
    ASSERT_NE(rig.shown(10010), nullptr);
    EXPECT_EQ(rig.shown(10010)->place, 19);
    EXPECT_EQ(rig.shown(10010)->detail, "WCP");
    EXPECT_EQ(flashAt40(), 0xFF);  // nothing programmed

    EXPECT_EQ(e.wcp().wcpWrite(at, zeros, 2), 1);
    EXPECT_EQ(flashAt40(), 0x00);
}

enum class Op { Write, Read, Erase, Blank, Sum, Switch };

struct TimeoutCase {
    const char* fault;
    Op op;
    int32_t place;
    const char* detail;
};

void PrintTo(const TimeoutCase& c, std::ostream* os) {
    *os << c.fault;
}

int32_t runOp(CFlashEngine& e, Op op) {
    const uint32_t at = e.device().flashStart + 0x80;
    uint8_t bytes[4] = {1, 2, 3, 4};
    int32_t blank = 0;
    uint16_t sum = 0;
    switch (op) {
        case Op::Write:
            return e.wcp().wcpWrite(at, bytes, 4);
        case Op::Read:
            return e.wcp().wcpRead(at, bytes, 4);
        case Op::Erase:
            return e.wcp().wcpBlockErase(e.device().flashStart, 0x1000);
        case Op::Blank:
            return e.wcp().wcpBlankCheck(at, 0x100, blank);
        case Op::Sum:
            return e.wcp().wcpSum(at, 0x100, sum);
        case Op::Switch:
            return e.wcp().wcpBlankCheck(at, 0x100, blank) && e.wcp().wcpSum(at, 0x100, sum);
    }
    return 0;
}

class WcpTimeout : public ::testing::TestWithParam<TimeoutCase> {};

TEST_P(WcpTimeout, IsReportedAtItsPlaceAndTheNextTryWorks) {
    const TimeoutCase& c = GetParam();
    EngineRig rig;
    ASSERT_NO_FATAL_FAILURE(startWcp(rig, "KMR8L256", {c.fault}));
    EXPECT_EQ(runOp(rig.engine, c.op), 0);
    const ShownMessage* m = rig.shown(10002);
    ASSERT_NE(m, nullptr) << rig.codes();
    EXPECT_EQ(m->place, c.place);
    EXPECT_EQ(m->detail, c.detail);
    // The engine has reconnected to the chip that started over.
    EXPECT_EQ(rig.engine.link().linkState(), 2);
    EXPECT_EQ(runOp(rig.engine, c.op), 1) << rig.codes();
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, WcpTimeout,
    ::testing::Values(TimeoutCase{"noreply:10", Op::Blank, 172, "Boot Program"},
                      TimeoutCase{"noreply:10.done", Op::Blank, 175, "Boot Program"},
                      TimeoutCase{"noreply:50", Op::Write, 191, "WCP"},
                      TimeoutCase{"noreply:50.header", Op::Write, 192, "WCP"},
                      TimeoutCase{"noreply:50.data", Op::Write, 193, "WCP"},
                      TimeoutCase{"noreply:50.done", Op::Write, 194, "WCP"},
                      TimeoutCase{"noreply:60", Op::Read, 201, "WCP"},
                      TimeoutCase{"noreply:60.header", Op::Read, 202, "WCP"},
                      TimeoutCase{"noreply:60.done", Op::Read, 204, "WCP"},
                      TimeoutCase{"noreply:40.header", Op::Erase, 212, "WCP"},
                      TimeoutCase{"noreply:40.done", Op::Erase, 213, "WCP"},
                      TimeoutCase{"noreply:70.header", Op::Blank, 222, "WCP"},
                      TimeoutCase{"noreply:70.done", Op::Blank, 223, "WCP"},
                      TimeoutCase{"noreply:20.header", Op::Sum, 242, "WCP"},
                      TimeoutCase{"noreply:20.done", Op::Sum, 241, ""},
                      TimeoutCase{"noreply:F0", Op::Switch, 401, "WCP"}));

TEST(WcpTimeout, AReadCutShortFailsEveryReadingOperation) {
    EngineRig rig;
    ASSERT_NO_FATAL_FAILURE(startWcp(rig, "KMR8L256", {"noreply:60.done*"}));
    FlashOperations& ops = *rig.ops;
    const uint32_t start = rig.engine.device().flashStart;
    uint8_t back[16] = {};
    EXPECT_EQ(ops.readFlash(start, back, 16), 0);
    EXPECT_EQ(rig.op.last()->code, 11001);
    EXPECT_EQ(ops.compareWithFile(false, true), -1);
    EXPECT_FALSE(rig.shown(11015));
    const auto saved = rig.folder.path() / "saved.h20";
    EXPECT_EQ(ops.saveMemoryFile(saved, AddressRange{start, start + 0xFF}), 0);
    EXPECT_EQ(rig.op.last()->code, 11001);
    EXPECT_FALSE(std::filesystem::exists(saved));
    CompareView view;
    uint32_t address = 0;
    uint8_t fileByte = 0, flashByte = 0;
    EXPECT_EQ(ops.compareStep(view, address, fileByte, flashByte, 1), -1);
    // Commands other than reads still work.
    EXPECT_EQ(ops.blankCheck(false), 1);
}

}  // namespace
}  // namespace ostrand::test
