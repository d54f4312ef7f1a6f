#include <gtest/gtest.h>

#include <cerrno>

#include "app/test_folder.h"
#include "cli_run.h"
#include "document/advice.h"
#include "sim_process.h"

// A broken file is named with its item and hint, and fails the check.
TEST(CheckCommand, ReportsTheBrokenFileWithItsHint) {
    TestFolder good, broken;
    std::string section = deviceSection("SER-DEV", 1);
    good.write("Ostrand.def", kCommonSection + section);
    broken.write("Ostrand.def", kCommonSection + section.erase(section.find("BootType=1\n"), 11));
    const std::string setup =
        "[Ostrand]\nDevice=DEV\nCOMPort=/dev/null\nDataRate=9600\nOpenFile=\n"
        "AllErase=1\nBlankCheck=1\nProgramming=1\nVerify=1\nFileCompare=1\n";
    good.write("Ostrand.ini", setup);
    const std::string bad = good.write("bad.ini", setup + "Clock=12\n").string();
    const std::string home = " --home " + good.path().string();
    const struct {
        std::string arguments;
        int status;
        std::string err;
    } cases[] = {
        {home, 0, ""},
        {" --home " + broken.path().string(), 1,
         "E102 : The definition file contains undefined or invalid or missing items.  "
         "\"SER-DEV\"\nGet the latest definition file from our Web site. \n"},
        {home + " --setup " + bad, 1,
         "E111 : The specified setup file contains undefined or invalid or missing items.   "
         "\"Clock\"\nSpecify new settings.\n"},
    };
    for (const auto& c : cases) {
        const CliResult r = runCli("check" + c.arguments, good.path());
        EXPECT_EQ(r.status, c.status) << c.arguments << "\n" << r.err;
        EXPECT_EQ(r.err, c.err) << c.arguments;
    }
}

TEST(Advice, FollowsTheFailuresOperatorsMeetMost) {
    using ostrand::AdviceFacts;
    auto facts = [](bool connecting, uint64_t line, int error) {
        AdviceFacts f;
        f.connecting = connecting;
        f.refusedLine = line;
        f.portError = error;
        f.port = "/dev/ttyUSB0";
        f.webSite = "https://example.com/ostrand";
        return f;
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
