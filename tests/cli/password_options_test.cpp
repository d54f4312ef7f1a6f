// Passwords from the command line: auto programming of a chip that holds a
// password, the password log, and the passwords refused before the chip.
#include <gtest/gtest.h>

#include <regex>

#include "cli_run.h"
#include "engine/sim_rig.h"
#include "objfile/hex_records.h"

namespace ostrand::test {
namespace {

// The JSON result's one and only message is `code`.
bool reportedOnly(const CliResult& r, int code) {
    return reported(r, code) && r.out.find("\"code\"") == r.out.rfind("\"code\"");
}

// KM16F48 (WCP-Div) holding an object whose password is a count byte of 8 at
// 0xBF00 and A1..A8 after it.
class CommandLinePasswords : public ::testing::Test {
  protected:
    void SetUp() override {
        writeFastProgramFolder(folder.path());
        std::vector<uint8_t> low(32);
        for (int i = 0; i < 32; ++i) low[i] = uint8_t(i);
        const std::vector<uint8_t> password = {8, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8};
        folder.write("obj.h16", record(0, low) + record(0xBF00, password) + ":00000001FF\n");
        held.assign(0xC000, '\xFF');
        for (int i = 0; i < 32; ++i) held[i] = char(i);
        held.replace(0xBF00, password.size(), std::string(password.begin(), password.end()));
        folder.write("flash.bin", held);
        folder.write("Ostrand.ini", "[Ostrand]\nDevice=KM16F48\nOpenFile=" + at("obj.h16") +
                                        "\nCOMPort=/dev/null\nDataRate=38400\nPassLogSave=1\n"
                                        "AllErase=0\nBlankCheck=0\nProgramming=0\nVerify=0\n"
                                        "FileCompare=0\n");
        port = chip.start(folder.path(), "KM16F48", {}, folder.path() / "flash.bin");
        ASSERT_FALSE(port.empty());
    }

    CliResult run(const std::string& command) {
        return runCli(command + " --home " + folder.path().string() + " --port " + port,
                      folder.path());
    }
    std::string at(const std::string& name) const { return (folder.path() / name).string(); }

    TestFolder folder;
    SimChip chip;
    std::string port, held;
};

TEST_F(CommandLinePasswords, AutoProgramsAPasswordChipAndLogsThePassword) {
    const std::string setup = folder.read("Ostrand.ini");
    const std::string steps = "auto --erase --blank --program --verify --compare ";
    const std::string device =
        " --device-password A1A2A3A4A5A6A7A8 --password-addresses "
        "0xBF00,0xBF01";
    CliResult r = run(steps + device + " --object-password auto");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    for (const char* line : {"All Erase:       OK", "Blank Check:     OK", "Programming:     OK",
                             "Verify with SUM: OK", "File Compare:    OK", "Result: OK"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
    EXPECT_TRUE(folder.read("flash.bin") == held) << "the chip differs from the object";
    std::smatch found;
    ASSERT_TRUE(std::regex_search(r.out, found, std::regex("SUM of File: (0x[0-9A-F]{4})")));
    const std::string fileSum = found[1].str();
    // Found as the object file keeps it: the count byte starts the compared bytes.
    EXPECT_EQ(folder.read("history.log"), "[Password01]\nSum=" + fileSum +
                                              "\nPassNumAdd=0x00BF00\nPassCmpAdd=0x00BF00\n"
                                              "Password=08A1A2A3A4A5A6A7\nDevice=KM16F48\n");

    // Stated, it is looked for in the object and replaces the entry of this object.
    r = run(steps + device + " --object-password a1a2a3a4a5a6a7a8");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(folder.read("history.log"), "[Password01]\nSum=" + fileSum +
                                              "\nPassNumAdd=0x00BF00\nPassCmpAdd=0x00BF01\n"
                                              "Password=A1A2A3A4A5A6A7A8\nDevice=KM16F48\n");

    // One the object does not carry stops the run before the chip is touched.
    r = run(steps + device + " --object-password A1A2A3A4A5A6A7A9");
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_NE(r.err.find("E128"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("All Erase:"), std::string::npos) << r.out;
    EXPECT_TRUE(folder.read("flash.bin") == held);

    // None of this reaches the setup file.
    EXPECT_EQ(folder.read("Ostrand.ini"), setup);
}

// A log that does not give this chip a password it may send ends the run
// before the chip hears one; an entry as it should be opens the chip.
TEST_F(CommandLinePasswords, PasswordLogEntriesObeyThePasswordRules) {
    unsigned sum = 0;
    for (char c : held) sum += uint8_t(c);
    char head[160];
    std::snprintf(head, sizeof head,
                  "[Password01]\nSum=0x%04X\nPassNumAdd=0x00BF00\nPassCmpAdd=0x00BF00\n",
                  sum & 0xFFFF);
    const std::string other =
        "[Password01]\nSum=0x1234\nPassNumAdd=0x00BF00\nPassCmpAdd=0x00BF00\n";
    // The entry's text obeys the password rules of typed passwords.
    const struct {
        std::string log;  // "": none
        int code;
        std::string detail;
    } cases[] = {
        {"", 10139, ""},
        {other + "Password=08A1A2A3A4A5A6A7\nDevice=KM16F48\n", 10138, ""},
        {head + std::string("Password=08A1A2A3A4A5A6G7\nDevice=KM16F48\n"), 10138,
         "The password should be entered in HEX."},
        {head + std::string("Password=08A1A2A3A4A5A6A7\nDevice=KM16F48\n"), 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.log.substr(0, 120));
        std::filesystem::remove(at("history.log"));
        if (!c.log.empty()) folder.write("history.log", c.log);
        const CliResult r = run("blank --json --device-password log");
        if (c.code == 0) {
            EXPECT_FALSE(reported(r, 10138) || reported(r, 10139)) << r.out;
            continue;
        }
        EXPECT_EQ(r.status, 1) << r.out << r.err;
        EXPECT_TRUE(reportedOnly(r, c.code) && reported(r, c.code, c.detail)) << r.out;
    }
    // In a whole auto run the step is never reached.
    folder.write("history.log", cases[1].log);
    const CliResult r = run("auto --verify --device-password log --object-password auto");
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_NE(r.err.find("E138"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("Verify with SUM:"), std::string::npos) << r.out;
}

// A log that cannot be written fails the run, and tells the password now in the chip.
TEST_F(CommandLinePasswords, PasswordLogThatCannotBeWrittenFailsTheRun) {
    std::filesystem::create_directory(folder.path() / "history.log");
    const CliResult r =
        run("auto --erase --program --device-password A1A2A3A4A5A6A7A8 "
            "--password-addresses 0xBF00,0xBF01 --object-password auto");
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_TRUE(folder.read("flash.bin") == held) << "the chip was not programmed";
    EXPECT_TRUE(std::regex_search(
        r.err, std::regex("E113-1[012] : Cannot save the specified setup file\\.  \"" +
                          folder.path().string() +
                          "/history\\.log; not logged: Password=08A1A2A3A4A5A6A7 "
                          "Sum=0x[0-9A-F]{4} Device=KM16F48\"")))
        << r.err;
    EXPECT_EQ(r.err.find("R006"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("Programming:     NG"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Result: NG"), std::string::npos) << r.out;
}

TEST(CommandLinePasswordRules, MalformedPasswordsAreRefusedBeforeConnecting) {
    TestFolder folder;
    writeFastDefinition(folder.path());
    struct Case {
        const char* device;
        std::string options;
        int code;
    };
    const Case cases[] = {
        {"KMV7Q3", "--device-password A1A2A3A4A5A6A7A8", 10137},  // twelve bytes fixed
        {"KM16F48", "--device-password A1A2A", 10124},
    };
    for (const Case& c : cases) {
        const CliResult r = runCli("blank --json " + c.options + " --device " + c.device +
                                       " --home " + folder.path().string() + " --port /nonexistent",
                                   folder.path());
        EXPECT_EQ(r.status, 2) << c.options << "\n" << r.out << r.err;
        EXPECT_TRUE(reported(r, c.code)) << c.options << "\n" << r.out;
    }
    // Combinations that make no sense are usage errors.
    for (const char* options :
         {"--blank-device --device-password A1A2", "--password-addresses 0xBF00,0xBF01",
          "--device-password log --password-addresses 0xBF00,0xBF01"}) {
        const CliResult r = runCli(std::string("blank ") + options + " --device KM16F48 --home " +
                                       folder.path().string() + " --port /nonexistent",
                                   folder.path());
        EXPECT_EQ(r.status, 2) << options << r.err;
        EXPECT_NE(r.err.find("Try 'ostrand-cli blank --help'"), std::string::npos) << r.err;
    }
}

// A BootType 8 chip that holds another password than the blank one named by
// --device alone: a password error, not a chip gone silent.
TEST(CommandLinePasswordRules, FixedLengthChipHoldingAnotherPasswordRefusesIt) {
    TestFolder folder;
    writeFastProgramFolder(folder.path());
    std::string flash(0x40000, '\xFF');
    flash.replace(0x3FE00, 12, "A1B2C3D4E5F6");
    folder.write("held.bin", flash);
    SimChip chip;
    const std::string port = chip.start(folder.path(), "KMR8L256", {}, folder.path() / "held.bin");
    ASSERT_FALSE(port.empty());
    const CliResult r = runCli(
        "blank --json --device KMR8L256 --home " + folder.path().string() + " --port " + port,
        folder.path());
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_TRUE(reported(r, 10018) && !reported(r, 10002)) << r.out;
}

}  // namespace
}  // namespace ostrand::test
