// A protected chip and nobody to answer its questions: every command that
// connects leaves the chip as it is and ends with a failure; --yes erases it.
#include <gtest/gtest.h>

#include "cli_run.h"
#include "engine/sim_rig.h"

namespace ostrand::test {
namespace {

constexpr uint32_t kFlashSize = 0x20000;  // KMV5A128: BootType 5, protect, WCP-Div

class ProtectedChip : public ::testing::Test {
  protected:
    void SetUp() override {
        writeFastProgramFolder(folder.path());
        // A program away from the vectors and the password area.
        held.assign(kFlashSize, '\xFF');
        for (int i = 0; i < 256; ++i) held[0x1000 + i] = static_cast<char>(i);
        folder.write("flash.bin", held);
        folder.write("obj.h16", ":0410000001020304E2\n:00000001FF\n");
        folder.write("Ostrand.ini", "[Ostrand]\nDevice=KMV5A128\nOpenFile=" +
                                        (folder.path() / "obj.h16").string() +
                                        "\nCOMPort=/dev/null\nDataRate=9600\n"
                                        "AllErase=0\nBlankCheck=0\nProgramming=0\nVerify=0\n"
                                        "FileCompare=0\n");
        port = chip.start(folder.path(), "KMV5A128", {"protected"}, folder.path() / "flash.bin");
        ASSERT_FALSE(port.empty());
    }

    // A run that waits for an answer is killed (status 124).
    CliResult run(const std::string& command, const std::string& input) {
        return runCli(
            command + " --blank-device --home " + folder.path().string() + " --port " + port,
            folder.path(), input, 10);
    }

    TestFolder folder;
    SimChip chip;
    std::string port;
    std::string held;
};

TEST_F(ProtectedChip, UnansweredQuestionsLeaveTheChipAndEndTheRun) {
    const std::string obj = (folder.path() / "obj.h16").string();
    // Each reaches the chip's question.
    const std::string runs[] = {"blank --json",
                                "erase --json",
                                "program --json " + obj,
                                "save --json " + (folder.path() / "out.h16").string(),
                                "read --json 0x1000 0x10FF",
                                "protect --json",
                                "auto --blank"};
    // A closed stdin, and one that ends at once.
    for (const char* input : {"<&-", "</dev/null"}) {
        for (const std::string& command : runs) {
            const CliResult r = run(command, input);
            const std::string what = command + " " + input;
            const std::string said = r.out.substr(0, 2000) + r.err.substr(0, 2000);
            EXPECT_EQ(r.status, 1) << what << "\n" << said;
            EXPECT_TRUE(folder.read("flash.bin") == held) << what << ": the chip was changed";
            if (command.rfind("auto", 0) == 0) {
                EXPECT_NE(r.out.find("Blank Check:     NG"), std::string::npos) << said;
            } else {
                // Answered No, then Yes to leaving, and told why.
                EXPECT_NE(r.out.find("\"code\": 10022"), std::string::npos) << what << said;
                EXPECT_NE(r.err.find("Exit this program ? (Y/N)\n-> yes"), std::string::npos)
                    << what << said;
            }
            // Asked once only.
            const std::string question = "Erase All data in this device ? (Y/N)\n-> no";
            const size_t first = r.err.find(question);
            EXPECT_NE(first, std::string::npos) << what << said;
            EXPECT_EQ(r.err.find(question, first + 1), std::string::npos) << what << said;
        }
    }
}

TEST_F(ProtectedChip, YesErasesItWithNobodyToAsk) {
    const CliResult r = run("erase --yes --json", "<&-");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.err.find("Erase All data in this device ? (Y/N)\n-> yes"), std::string::npos)
        << r.err;
    EXPECT_TRUE(folder.read("flash.bin") == std::string(kFlashSize, '\xFF')) << "not erased";
}

}  // namespace
}  // namespace ostrand::test
