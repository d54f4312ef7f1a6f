// Devices with and without a second flash area through ostrand-cli against
// the simulated chip: the object lands where its addresses say, in both
// areas, and the whole-flash commands see both areas and the gap between.
#include <gtest/gtest.h>

#include <regex>

#include "cli_run.h"
#include "engine/sim_rig.h"
#include "objfile/hex_records.h"

namespace ostrand::test {
namespace {

struct Layout {
    const char* device;
    uint32_t firstSize;    // the first area starts at 0
    uint32_t secondStart;  // 0: no second area
    uint32_t secondSize;
    // Three places the object fills; the last one in the second area when
    // there is one, else high in the first.
    uint32_t blocks[3];
};

const Layout kLayouts[] = {
    {"KMV6B256", 0x40000, 0xF1000, 0x2000, {0x1000, 0x3FFE0, 0xF2FE0}},
    {"KMV9C256", 0x40000, 0, 0, {0x1000, 0x20000, 0x3FFE0}},
};

constexpr uint32_t kBlock = 32;

uint8_t objectByte(uint32_t address) {
    return static_cast<uint8_t>((address * 13 + 7) & 0xFF);
}

std::string hexRecord(uint8_t type, uint16_t address, const std::vector<uint8_t>& data) {
    std::string line;
    appendHexRecord(line, type, address, data.data(), uint32_t(data.size()));
    return line;
}

// The object as 20-bit Intel HEX; `changed` gets 1 added.
std::string object(const Layout& l, uint32_t changed = 0xFFFFFFFF) {
    std::string text;
    for (uint32_t start : l.blocks) {
        const uint32_t segment = (start >> 4) & 0xF000;
        text += hexRecord(2, 0, {uint8_t(segment >> 8), uint8_t(segment)});
        for (uint32_t a = start; a < start + kBlock; a += 16) {
            std::vector<uint8_t> data;
            for (uint32_t i = a; i < a + 16; ++i)
                data.push_back(uint8_t(objectByte(i) + (i == changed ? 1 : 0)));
            text += hexRecord(0, uint16_t(a - segment * 16), data);
        }
    }
    return text + ":00000001FF\n";
}

class SecondArea : public ::testing::TestWithParam<Layout> {
  protected:
    void SetUp() override {
        writeFastProgramFolder(folder.path());
        const Layout& l = GetParam();
        folder.write("obj.h20", object(l));
        folder.write("first.h20", object(l, l.blocks[0] + 5));
        folder.write("last.h20", object(l, l.blocks[2] + 30));
        port = chip.start(folder.path(), l.device, {}, folder.path() / "flash.bin");
        ASSERT_FALSE(port.empty());
    }

    // The object leaves vectors and password area erased: the blank-chip
    // password opens the chip before and after programming.
    CliResult run(const std::string& command) {
        return runCli(command + " --json --blank-device --home " + folder.path().string() +
                          " --device " + GetParam().device + " --port " + port,
                      folder.path());
    }

    // The simulated flash the object leaves: first area, then second area.
    std::string expectedFlash() const {
        const Layout& l = GetParam();
        std::string f(l.firstSize + l.secondSize, '\xFF');
        for (uint32_t start : l.blocks)
            for (uint32_t a = start; a < start + kBlock; ++a) {
                const uint32_t at = a < l.firstSize ? a : l.firstSize + (a - l.secondStart);
                f[at] = static_cast<char>(objectByte(a));
            }
        return f;
    }

    std::string at(const std::string& name) const { return (folder.path() / name).string(); }

    TestFolder folder;
    SimChip chip;
    std::string port;
};

TEST_P(SecondArea, EveryCommandSeesBothAreasAndTheGap) {
    const Layout& l = GetParam();

    CliResult r = run("program " + at("obj.h20"));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(reported(r, 11006)) << r.out;
    EXPECT_TRUE(folder.read("flash.bin") == expectedFlash())
        << "the simulated flash differs from the object";

    // The chip's SUM of its SUM area (gap included) equals the file's.
    r = run("verify " + at("obj.h20"));
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(reported(r, 11012)) << r.out;

    r = run("compare " + at("obj.h20"));
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(reported(r, 11015)) << r.out;
    for (const auto& [file, address] :
         {std::pair{"first.h20", l.blocks[0] + 5}, std::pair{"last.h20", l.blocks[2] + 30}}) {
        r = run(std::string("compare ") + at(file));
        EXPECT_EQ(r.status, 1) << file << r.out << r.err;
        char difference[80];
        std::snprintf(difference, sizeof difference,
                      "R025 : Address = 0x%x, Device = 0x%02x, File = 0x%02x", address,
                      objectByte(address), uint8_t(objectByte(address) + 1));
        EXPECT_TRUE(reported(r, 11014, difference)) << r.out;
        // Verify tells the changed file apart as well.
        r = run(std::string("verify ") + at(file));
        EXPECT_EQ(r.status, 1) << file << r.out << r.err;
        EXPECT_TRUE(reported(r, 11013)) << r.out;
    }

    // The save holds both areas at their own addresses.
    r = run("save " + at("saved.h20"));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(reported(r, 11024)) << r.out;
    // srec_cat reads each area on its own; the second one moves down behind
    // the first, as in the simulated flash.
    const std::string saved = at("saved.h20") + " -intel";
    std::string command = "srec_cat '(' " + saved + " -crop 0 " + std::to_string(l.firstSize);
    if (l.secondStart)
        command += " " + saved + " -crop " + std::to_string(l.secondStart) + " " +
                   std::to_string(l.secondStart + l.secondSize) + " -offset -" +
                   std::to_string(l.secondStart - l.firstSize);
    command += " ')' -fill 0xAA 0 " + std::to_string(l.firstSize + l.secondSize) + " -o " +
               at("saved.bin") + " -binary";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    EXPECT_TRUE(folder.read("saved.bin") == expectedFlash()) << "the saved file differs";

    r = run("blank");
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_TRUE(reported(r, 11016)) << r.out;

    r = run("erase");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(reported(r, 11002)) << r.out;
    EXPECT_TRUE(folder.read("flash.bin") == std::string(l.firstSize + l.secondSize, '\xFF'))
        << "not erased";
    r = run("blank");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(reported(r, 11017)) << r.out;
}

INSTANTIATE_TEST_SUITE_P(WithAndWithout, SecondArea, ::testing::ValuesIn(kLayouts),
                         [](const auto& info) { return std::string(info.param.device); });

}  // namespace
}  // namespace ostrand::test
