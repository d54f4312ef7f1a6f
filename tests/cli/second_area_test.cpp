// A device with a second flash area through ostrand-cli against the simulated
// chip: the object lands where its addresses say, in both areas, and the
// save holds both.
#include <gtest/gtest.h>

#include "cli_run.h"
#include "engine/sim_rig.h"
#include "objfile/hex_records.h"

namespace ostrand::test {
namespace {

// KMV6B256: 256 KB from 0, the second area of 8 KB at 0xF1000.
constexpr uint32_t kFirstSize = 0x40000, kSecondStart = 0xF1000, kSecondSize = 0x2000;
// The places the object fills, the last one in the second area.
constexpr uint32_t kBlocks[] = {0x1000, 0x3FFE0, 0xF2FE0};
constexpr uint32_t kBlock = 32;

uint8_t objectByte(uint32_t address) {
    return static_cast<uint8_t>((address * 13 + 7) & 0xFF);
}

// The object as 20-bit Intel HEX.
std::string object() {
    std::string text;
    for (uint32_t start : kBlocks) {
        const uint32_t segment = (start >> 4) & 0xF000;
        const uint8_t base[] = {uint8_t(segment >> 8), uint8_t(segment)};
        appendHexRecord(text, 2, 0, base, 2);
        for (uint32_t a = start; a < start + kBlock; a += 16) {
            std::vector<uint8_t> data;
            for (uint32_t i = a; i < a + 16; ++i) data.push_back(objectByte(i));
            text += record(uint16_t(a - segment * 16), data);
        }
    }
    return text + ":00000001FF\n";
}

TEST(SecondArea, ProgramAndSaveHoldBothAreas) {
    TestFolder folder;
    writeFastProgramFolder(folder.path());
    const std::string obj = folder.write("obj.h20", object()).string();
    const std::string saved = (folder.path() / "saved.h20").string();
    SimChip chip;
    const std::string port = chip.start(folder.path(), "KMV6B256", {}, folder.path() / "flash.bin");
    ASSERT_FALSE(port.empty());
    // The object leaves vectors and password area erased: the blank-chip
    // password opens the chip before and after programming.
    auto run = [&](const std::string& command) {
        return runCli(command + " --json --blank-device --home " + folder.path().string() +
                          " --device KMV6B256 --port " + port,
                      folder.path());
    };
    // The simulated flash holds the first area, then the second.
    std::string expected(kFirstSize + kSecondSize, '\xFF');
    for (uint32_t start : kBlocks)
        for (uint32_t a = start; a < start + kBlock; ++a)
            expected[a < kFirstSize ? a : kFirstSize + (a - kSecondStart)] = char(objectByte(a));

    CliResult r = run("program " + obj);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(folder.read("flash.bin") == expected) << "the flash differs from the object";

    // The save holds both areas at their own addresses. srec_cat reads each
    // on its own; the second one moves down behind the first, as in the flash.
    r = run("save " + saved);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string in = saved + " -intel";
    const std::string command = "srec_cat '(' " + in + " -crop 0 " + std::to_string(kFirstSize) +
                                " " + in + " -crop " + std::to_string(kSecondStart) + " " +
                                std::to_string(kSecondStart + kSecondSize) + " -offset -" +
                                std::to_string(kSecondStart - kFirstSize) + " ')' -fill 0xAA 0 " +
                                std::to_string(kFirstSize + kSecondSize) + " -o " +
                                folder.path().string() + "/saved.bin -binary";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    EXPECT_TRUE(folder.read("saved.bin") == expected) << "the saved file differs";
}

}  // namespace
}  // namespace ostrand::test
