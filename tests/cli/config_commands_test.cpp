#include <gtest/gtest.h>

#include <cerrno>

#include "app/test_folder.h"
#include "cli_run.h"
#include "document/advice.h"
#include "sim_process.h"

TEST(Advice, FollowsTheFailuresOperatorsMeetMost) {
    using ostrand::AdviceFacts;
    auto facts = [](bool connecting, uint64_t line, int error) {
        return AdviceFacts{connecting, line, error, "/dev/ttyUSB0", "https://example.com/ostrand"};
    };
    const struct {
        int code;
        AdviceFacts facts;
        const char* says;  // "" : no advice
    } cases[] = {
        {10002, facts(false, 0, 0), "stopped answering"},
        {10016, facts(false, 0, 0), "erase first"},
        {10114, facts(true, 0, 0), "https://example.com/ostrand"},
        {10202, facts(false, 17, 0), "line 17 of the object file"},
        {11026, facts(false, 0, 0), "protect"},
        {10001, facts(true, 0, EACCES), "'dialout' group"},
        {10001, facts(true, 0, EBUSY), "/dev/ttyUSB0 is in use"},
        {10001, facts(true, 0, EIO), ""},
        {11006, facts(false, 0, 0), ""},
    };
    for (const auto& c : cases) {
        ostrand::ShownMessage m;
        m.code = c.code;
        const std::string advice = ostrand::adviceFor(m, c.facts);
        if (*c.says)
            EXPECT_NE(advice.find(c.says), std::string::npos) << c.code << ": " << advice;
        else
            EXPECT_EQ(advice, "") << c.code;
        // The console has no Help menu to point to.
        EXPECT_EQ(advice.find("Help menu"), std::string::npos) << advice;
    }
}

// The console prints the advice on the line after the numbered message,
// which stays as it was.
TEST(Advice, FollowsTheMessageOnTheConsole) {
    TestFolder dir;
    ostrand::test::writeFastProgramFolder(dir.path());
    dir.write("plain.txt", "not a terminal\n");
    std::filesystem::create_directories(dir.path() / "folder");
    ostrand::test::SimChip chip;
    const std::string silent = chip.start(dir.path(), "KMV5A128", {"noreply:match*"});
    ASSERT_FALSE(silent.empty());
    const std::string home = " --home " + dir.path().string();
    const std::string at = dir.path().string() + "/";
    const struct {
        std::string command;
        const char* message;
        const char* advice;
    } cases[] = {
        {"connect --device KMV5A128 --port " + at + "plain.txt", "E001",
         "is a file, not a serial port"},
        {"connect --device KMV5A128 --port " + at + "folder", "E001",
         "is a folder, not a serial port"},
        {"connect --device KMV5A128 --port " + silent, "E000", "reset into its boot mode"},
        {"info --device NOSUCH " + at + "plain.txt", "E114", "'ostrand-cli devices'"},
    };
    for (const auto& c : cases) {
        const CliResult r = runCli(c.command + home, dir.path(), "</dev/null", 60);
        EXPECT_EQ(r.status, 1) << c.command << "\n" << r.err;
        std::smatch m;
        ASSERT_TRUE(std::regex_search(r.err, m, std::regex(std::string(c.message) + "[-0-9]* : ")))
            << c.command << "\n"
            << r.err;
        const size_t message = static_cast<size_t>(m.position(0));
        EXPECT_EQ(r.err.rfind('\n', message) + 1, message) << r.err;
        const size_t advice = r.err.find("\nostrand-cli: advice: ", message);
        ASSERT_NE(advice, std::string::npos) << c.command << "\n" << r.err;
        const std::string line = r.err.substr(advice + 1, r.err.find('\n', advice + 1) - advice);
        EXPECT_NE(line.find(c.advice), std::string::npos) << c.command << "\n" << r.err;
    }
}
