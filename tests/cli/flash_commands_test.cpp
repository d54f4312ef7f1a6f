// The flash commands of ostrand-cli against the simulated chip, one device of
// each programming mode: exit status, the numbered result, the files written.
#include <gtest/gtest.h>

#include <regex>

#include "cli_run.h"
#include "engine/sim_rig.h"
#include "objfile/hex_records.h"

namespace ostrand::test {
namespace {

struct Mode {
    const char* device;
    const char* mode;
    bool wcp;  // RAM loader mode: the flash can be read back
    uint32_t flashStart;
    uint32_t flashSize;
    uint16_t passwordAt;         // the object's count byte; 0: the object has no password
    bool fixedPassword = false;  // the password area is the password, erased or not
};

// One device of each programming mode. The object's 16-bit addresses land at
// the start of the flash.
const Mode kModes[] = {
    {"KM16F48", "WCP-Div", true, 0, 0xC000, 0xBF00},
    {"KM8R64", "WCP-All", true, 0x10000, 0x10000, 0},
    // Matched at its working rate, and matched again there before each WCP; named
    // with --device alone, it opens with the blank password of its fixed length.
    {"KMR8L256", "WCP-Div", true, 0x10000, 0x40000, 0, true},
    {"KM16F60P", "S-Boot-PW", false, 0, 0xF000, 0x0080},
    {"KM16F32S", "S-Boot", false, 0, 0x8000, 0x7F00},
};

const uint8_t kPassword[] = {0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8};

// 32 bytes 00..1F at 0 (with `changed` at 0x10), and the password: a count
// byte of 8 and the bytes after it.
std::string object(const Mode& m, uint8_t changed = 0x10) {
    std::vector<uint8_t> low(32), high(8);
    for (int i = 0; i < 32; ++i) low[i] = uint8_t(i);
    low[0x10] = changed;
    std::string text =
        record(0, {low.begin(), low.begin() + 16}) + record(0x10, {low.begin() + 16, low.end()});
    if (m.passwordAt) {
        std::vector<uint8_t> pw = {8};
        pw.insert(pw.end(), std::begin(kPassword), std::end(kPassword));
        text += record(m.passwordAt, pw);
    }
    return text + ":00000001FF\n";
}

// The run's exit status and its numbered result (with `detail`, when given).
::testing::AssertionResult ends(const CliResult& r, int status, int code,
                                const std::string& detail = "") {
    if (r.status == status && reported(r, code, detail)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "status " << r.status << "\n" << r.out << r.err;
}

class FlashCommands : public ::testing::TestWithParam<Mode> {
  protected:
    void SetUp() override {
        writeFastProgramFolder(folder.path());
        const Mode& m = GetParam();
        folder.write("obj.h16", object(m));
        folder.write("changed.h16", object(m, 0x11));
        // Once programmed, the chip holds the object's password.
        char setup[256];
        std::snprintf(setup, sizeof setup,
                      "[Ostrand]\nDevice=%s\nPassDevBlank=2\nPassDevType=1\n"
                      "PassDevPassword=A1A2A3A4A5A6A7A8\nPassDevNumAdd=0x%X\nPassDevCmpAdd=0x%X\n",
                      m.device, m.passwordAt, m.passwordAt + 1);
        folder.write("programmed.ini", m.passwordAt ? setup : "");
        port = chip.start(folder.path(), GetParam().device, {}, folder.path() / "flash.bin");
        ASSERT_FALSE(port.empty());
    }

    // Runs one command with --json, on a blank chip or on one that holds
    // the object (and its password).
    CliResult run(const std::string& command, bool blank = false) {
        const std::string password = blank                   ? " --blank-device"
                                     : GetParam().passwordAt ? " --setup " + at("programmed.ini")
                                                             : std::string();
        return runCli(command + " --json" + password + " --home " + folder.path().string() +
                          " --device " + GetParam().device + " --port " + port,
                      folder.path());
    }

    std::string flash() const { return folder.read("flash.bin"); }
    std::string at(const std::string& name) const { return (folder.path() / name).string(); }

    TestFolder folder;
    SimChip chip;
    std::string port;
};

TEST_P(FlashCommands, ProgramVerifyCompareSaveEraseBlank) {
    const Mode& m = GetParam();

    CliResult r = run("blank", true);
    EXPECT_TRUE(ends(r, m.wcp ? 0 : 1, m.wcp ? 11017 : 10009));
    // The check that could not run says neither blank nor not blank.
    EXPECT_EQ(r.out.find("\"blank\": true") != std::string::npos, m.wcp) << r.out;
    EXPECT_EQ(r.out.find("\"blank\": false"), std::string::npos) << r.out;
    EXPECT_EQ(outcomeOf(r), std::make_pair(m.wcp ? 1 : 0, m.wcp ? 11017 : 10009)) << r.out;

    // The object's own password, or none: that one is told and programmed without.
    r = run("program --object-password auto " + at("obj.h16"), true);
    EXPECT_TRUE(ends(r, 0, 11006));
    EXPECT_EQ(reported(r, 10127), !m.passwordAt && !m.fixedPassword) << r.out;
    EXPECT_NE(r.err.find("R006 : Programming completed successfully."), std::string::npos);
    EXPECT_EQ(outcomeOf(r), std::make_pair(1, 11006)) << r.out;
    if (m.wcp) {
        // The bar of the programming ran to its end.
        std::smatch bar;
        ASSERT_TRUE(std::regex_search(
            r.out, bar, std::regex("\"progress\": \\{[^}]*\"done\": (\\d+), \"total\": (\\d+)\\}")))
            << r.out;
        EXPECT_GT(std::stoi(bar[2].str()), 0);
        EXPECT_EQ(bar[1].str(), bar[2].str());
    }
    std::string expected(m.flashSize, '\xFF');
    for (int i = 0; i < 32; ++i) expected[i] = char(i);  // the object's 00..1F
    if (m.passwordAt) {
        expected[m.passwordAt] = 8;
        expected.replace(m.passwordAt + 1, 8, reinterpret_cast<const char*>(kPassword), 8);
    }
    const std::string image = flash();
    EXPECT_TRUE(image == expected) << "the simulated flash differs from the object";

    EXPECT_TRUE(ends(run("verify " + at("obj.h16")), 0, m.wcp ? 11012 : 11010));

    if (m.wcp) {
        EXPECT_TRUE(ends(run("compare " + at("obj.h16")), 0, 11015));
        char difference[80];
        std::snprintf(difference, sizeof difference,
                      "R025 : Address = 0x%X, Device = 0x10, File = 0x11", m.flashStart + 0x10);
        EXPECT_TRUE(ends(run("compare " + at("changed.h16")), 1, 11014, difference));
        EXPECT_TRUE(ends(run("save " + at("saved.h16")), 0, 11024));
        const std::string command = "srec_cat " + (folder.path() / "saved.h16").string() +
                                    " -intel -offset -" + std::to_string(m.flashStart) + " -o " +
                                    (folder.path() / "saved.bin").string() + " -binary";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        EXPECT_TRUE(folder.read("saved.bin") == image) << "the saved file differs from the flash";
    } else {
        // Single boot has no read: compare and save fail and write nothing.
        EXPECT_TRUE(ends(run("compare " + at("obj.h16")), 1, 11001));
        EXPECT_TRUE(ends(run("save " + at("saved.h16")), 1, 11001));
        EXPECT_FALSE(std::filesystem::exists(folder.path() / "saved.h16"));
    }

    r = run("blank");
    EXPECT_TRUE(ends(r, 1, m.wcp ? 11016 : 10009));
    EXPECT_EQ(r.out.find("\"blank\": false") != std::string::npos, m.wcp) << r.out;
    EXPECT_EQ(outcomeOf(r), std::make_pair(0, m.wcp ? 11016 : 10009)) << r.out;

    EXPECT_TRUE(ends(run("erase"), 0, 11002));
    EXPECT_TRUE(flash() == std::string(m.flashSize, '\xFF')) << "not erased";
    // The options alone named the chip: no setup file is written.
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "Ostrand.ini"));
}

INSTANTIATE_TEST_SUITE_P(EveryMode, FlashCommands, ::testing::ValuesIn(kModes),
                         [](const auto& info) { return std::string(info.param.device); });

TEST(FlashCommandUsage, BadArgumentsExitWithTwoAndTouchNothing) {
    TestFolder folder;
    for (const char* command : {"read", "read 0x10", "write", "erase --block 0", "save",
                                "program a.h16 b.h16", "verify --frobnicate"}) {
        const CliResult r = runCli(
            std::string(command) + " --home " + folder.path().string() + " --port /nonexistent",
            folder.path());
        EXPECT_EQ(r.status, 2) << command << ": " << r.err;
    }
}

}  // namespace
}  // namespace ostrand::test
