#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include <cerrno>

#include "app/test_folder.h"
#include "cli/advice.h"
#include "cli/port_advice.h"
#include "cli_run.h"

TEST(DevicesCommand, ListsEveryBootTypeOfTheDemoFile) {
    TestFolder dir;
    CliResult r = runCli(std::string("devices --home ") + OSTRAND_DATA, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::string line, series, device;
    int bootType;
    std::set<int> bootTypes;
    std::set<std::string> devices;
    std::getline(lines, line);  // heading
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        ASSERT_TRUE(fields >> series >> device >> bootType) << line;
        bootTypes.insert(bootType);
        devices.insert(device);
    }
    for (int b = 1; b <= 12; ++b) EXPECT_TRUE(bootTypes.count(b)) << "boot type " << b;
    EXPECT_TRUE(devices.count("KMV7Q3"));
}

TEST(CheckCommand, ReportsTheBrokenSectionWithItsHint) {
    TestFolder dir;
    std::string section = deviceSection("SER-DEV", 1);
    section.erase(section.find("BootType=1\n"), 11);
    dir.write("Ostrand.def", std::string(kCommonSection) + section);
    CliResult r = runCli("check --home " + dir.path().string(), dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "E102 : The definition file contains undefined or invalid or missing items.  "
              "\"SER-DEV\"\nGet the latest definition file from our Web site. \n");
}

TEST(CheckCommand, SetupFileMessagesAndStatus) {
    TestFolder dir;
    dir.write("Ostrand.def", std::string(kCommonSection) + deviceSection("SER-DEV", 1));
    std::string good =
        "[Ostrand]\nDevice=DEV\nCOMPort=/dev/null\nDataRate=9600\nOpenFile=\n"
        "AllErase=1\nBlankCheck=1\nProgramming=1\nVerify=1\nFileCompare=1\n";
    dir.write("Ostrand.ini", good);
    dir.write("bad.ini", good + "Clock=12\n");
    CliResult ok = runCli("check --home " + dir.path().string(), dir.path());
    EXPECT_EQ(ok.status, 0) << ok.err;
    EXPECT_EQ(ok.err, "");
    CliResult bad = runCli(
        "check --home " + dir.path().string() + " --setup " + (dir.path() / "bad.ini").string(),
        dir.path());
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err,
              "E111 : The specified setup file contains undefined or invalid or missing items.   "
              "\"Clock\"\nSpecify new settings.\n");
    CliResult missing =
        runCli("check --home " + dir.path().string() + " --setup nowhere.ini", dir.path());
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err.substr(0, 5), "E109 ");
    EXPECT_EQ(runCli("check --bogus", dir.path()).status, 2);
    EXPECT_EQ(runCli("check --home", dir.path()).status, 2);
}

TEST(PortAdvice, SaysWhatTheOperatorCanDo) {
    const struct {
        int error;
        const char* says;  // "" : no advice
    } cases[] = {{EACCES, "'dialout' group"},
                 {EBUSY, "in use"},
                 {ENOTTY, "is a file, not a serial port"},
                 {EISDIR, "is a folder, not a serial port"},
                 {EIO, ""}};
    for (const auto& c : cases) {
        const std::string advice = ostrand::cli::portFailureAdvice(c.error, "/dev/ttyUSB0");
        if (*c.says)
            EXPECT_NE(advice.find(c.says), std::string::npos) << advice;
        else
            EXPECT_EQ(advice, "");
    }
}

TEST(Advice, FollowsTheFailuresOperatorsMeetMost) {
    using ostrand::cli::AdviceFacts;
    const struct {
        int code;
        AdviceFacts facts;
        const char* says;  // "" : no advice
    } cases[] = {
        {10002, {true, 0}, "reset into its boot mode"},
        {10002, {false, 0}, "stopped answering"},
        {10016, {false, 0}, "erase first"},
        {10114, {true, 0}, "'ostrand-cli devices'"},
        {10202, {false, 17}, "line 17 of the object file"},
        {11026, {false, 0}, "protect"},
        {11006, {false, 0}, ""},
    };
    for (const auto& c : cases) {
        ostrand::ShownMessage m;
        m.code = c.code;
        const std::string advice = ostrand::cli::adviceFor(m, c.facts);
        if (*c.says)
            EXPECT_NE(advice.find(c.says), std::string::npos) << c.code << ": " << advice;
        else
            EXPECT_EQ(advice, "") << c.code;
    }
}
