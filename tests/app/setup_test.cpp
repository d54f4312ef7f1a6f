#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/device_database.h"
#include "app/operator.h"
#include "app/password_set.h"
#include "app/profile.h"
#include "app/setup_settings.h"
#include "recording_operator.h"
#include "test_folder.h"

using namespace ostrand;

namespace {

// The keys as a save writes them, in this order.
const char* kWriteOrder =
    "Device OpenFile COMPort DataRate AllErase BlankCheck Programming Verify FileCompare "
    "ReadProtect Clock AddressOption AddressMode ROMArea1 ROMArea2 DataForNoAddressArea "
    "AddNoROMAreaToSum PassDevBlank PassDevType PassDevPassword PassDevNumAdd PassDevCmpAdd "
    "PassObjBlank PassObjNumAdd PassObjCmpAdd PassLogSave EraseWithoutPassword ClockFlag "
    "ClockValue MemSizePhysic MemSizeEmulat MemAddressLimit";

// Kilobytes resident now in this process.
long residentKb() {
    std::ifstream status("/proc/self/status");
    std::string word;
    while (status >> word)
        if (word == "VmRSS:" && status >> word) return std::stol(word);
    return 0;
}

// A file that starts like the real one and runs to `bytes` (sparse: no disk).
std::filesystem::path hugeFile(const TestFolder& dir, const std::string& name,
                               const std::string& head, off_t bytes) {
    const auto path = dir.write(name, head);
    EXPECT_EQ(::truncate(path.c_str(), bytes), 0);
    return path;
}

}  // namespace

class SetupFile : public ::testing::Test {
  protected:
    void SetUp() override {
        dir.write(
            "Ostrand.def",
            std::string(kCommonSection) + deviceSection("S1-DEV", 5) +
                deviceSection("S2-TWO", 6,
                              "SingleBootFlashAddress=0x0-0x7FFF\n"
                              "FlashSecondArea=0x10000-0x11FFF\n") +
                deviceSection("S3-CLK", 10, "TotalWCP=0x33\nBusWidth=4\nSingleBootPassword=1\n"));
        ASSERT_EQ(db.load(dir.path() / "Ostrand.def"), 0);
        settings.initialise(dir.path());
        settings.ports = {"/dev/ttyUSB0", "/dev/ttyUSB1"};
    }
    std::string body(const std::string& extra) {
        return "[Ostrand]\n" + extra +
               "Device=DEV\nCOMPort=/dev/ttyUSB0\nDataRate=115200\nOpenFile=/obj/a.h20\n"
               "AllErase=1\nBlankCheck=0\nProgramming=1\nVerify=1\nFileCompare=0\n";
    }
    int32_t load(const std::string& text) {
        return settings.loadSetupFile(dir.write("a.ini", text));
    }
    void expectMessage(int32_t code, const std::string& detail, int32_t hint) {
        ASSERT_NE(op.last(), nullptr);
        EXPECT_EQ(op.last()->code, code);
        EXPECT_EQ(op.last()->detail, detail);
        EXPECT_EQ(op.last()->hint, hint);
    }

    TestFolder dir;
    Session session;
    RecordingOperator op{session};
    DeviceDatabase db{session, op};
    SetupSettings settings{session, op, db};
};

TEST_F(SetupFile, SaveWritesFixedOrderAndReloadsTheSameValues) {
    ASSERT_EQ(load(body("ReadProtect=1\nDataForNoAddressArea=0x00\nPassDevPassword=AB12\n"
                        "PassObjNumAdd=0x1234567\nClockValue=12.5\nROMArea1=0x400-0xFFF\n")),
              0);
    ASSERT_EQ(settings.saveSetupFile(""), 0);
    std::string text = dir.read("Ostrand.ini");
    size_t pos = text.find("[Ostrand]\n");
    ASSERT_EQ(pos, 0u);
    std::istringstream keys(kWriteOrder);
    for (std::string key; keys >> key;) {
        size_t at = text.find("\n" + key + "=", pos);
        ASSERT_NE(at, std::string::npos) << key << " missing or out of order";
        pos = at + 1;
    }
    // PassObjNumAdd keeps six digits.
    for (const char* line : {"\nPassDevNumAdd=\n", "\nPassObjNumAdd=0x234567\n",
                             "\nROMArea1=0x000400-0x000FFF\n", "\nROMArea2=0x000000-0x000000\n",
                             "\nDataForNoAddressArea=0x00\n", "\nClockValue=12.500000\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;

    // What was written reads back to the same values: saving them again gives the same text.
    settings.resetToDefaults();
    ASSERT_EQ(settings.loadSetupFile(dir.path() / "Ostrand.ini"), 0);
    ASSERT_EQ(settings.saveSetupFile(""), 0);
    EXPECT_EQ(dir.read("Ostrand.ini"), text);
    EXPECT_TRUE(op.messages.empty());
}

// Each refused value is named; a file that loads applies what it says.
TEST_F(SetupFile, RefusedValuesAndRomAreas) {
    const std::string two =
        "[Ostrand]\nDevice=TWO\nCOMPort=/dev/ttyUSB0\nDataRate=9600\nOpenFile=\n"
        "AllErase=0\nBlankCheck=0\nProgramming=0\nVerify=0\nFileCompare=0\n";
    const struct {
        std::string text;
        int32_t code;  // 0: loads
        std::string detail;
        int32_t hint = 12120;
    } cases[] = {
        {body("DataForNoAddressArea=0x10\n"), 10111, "DataForNoAddressArea"},
        {body("COMPort=/dev/ttyS9\n"), 10111, "COMPort"},
        {"[Ostrand]\nDevice=DEV\nCOMPort=/dev/ttyUSB1\nDataRate=9600\nOpenFile=x\n", 10111,
         "AllErase"},
        {body("Device=NOPE\n"), 10114, "NOPE", 12105},
        {body("ROMArea1=0x8000-0x82FF\n"), 10111, "ROMArea1"},
        {body("ROMArea1=8000-0x83FF\n"), 10111, "ROMArea1"},              // both ends need "0x"
        {body("ROMArea1=0x8000-0x103FF\n"), 10111, "ROMArea1"},           // beyond the flash
        {two + "ROMArea1=0x0-0x1FF\nROMArea2=0x10000-0x101FF\n", 0, ""},  // counted together
        {two + "ROMArea2=0x8000-0x83FF\n", 10111, "ROMArea2"},
        {"[Ostrand]\nOpenFile=/x/y.h20\n", 10110, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        op.messages.clear();
        EXPECT_EQ(load(c.text), c.code ? -1 : 0);
        if (c.code) expectMessage(c.code, c.detail, c.hint);
    }
    EXPECT_EQ(db.selectedIndex(), -1);  // after the file without a device

    // The rest of a file with a bad key is applied.
    EXPECT_EQ(load(body("Clock=12\nDataRate=9600\n")), -1);
    expectMessage(10111, "Clock", 12120);
    EXPECT_EQ(settings.inForce.dataRate, kRate9600);
    EXPECT_EQ(settings.inForce.clock, 16);
    EXPECT_EQ(db.selectedIndex(), 0);
    EXPECT_EQ(load(body("DataForNoAddressArea=0x1FF\n")), 0);
    EXPECT_EQ(settings.inForce.dataForNoAddressArea, 0xFF);
    // Single-chip addresses are moved into single-boot ones when applied.
    EXPECT_EQ(load(body("AddressMode=0\nROMArea1=0x18000-0x183FF\n")), 0);
    EXPECT_EQ(settings.inForce.romArea1Start, 0x8000u);
    EXPECT_EQ(settings.inForce.addressMode, 1);
    // Empty areas take the device's.
    EXPECT_EQ(load(two), 0);
    EXPECT_EQ(settings.inForce.romArea2Start, 0x10000u);
    EXPECT_EQ(settings.inForce.romArea2End, 0x11FFFu);

    // The first load at start-up is silent about a missing file; later ones are not.
    size_t shown = op.messages.size();
    SetupSettings fresh(session, op, db);
    fresh.initialise(dir.path());
    EXPECT_EQ(fresh.loadSetupFile(dir.path() / "none.ini"), -1);
    EXPECT_EQ(op.messages.size(), shown);
    EXPECT_EQ(fresh.loadSetupFile(dir.path() / "none.ini"), -1);
    expectMessage(10109, (dir.path() / "none.ini").string(), 12124);
}

// The object path ends at the last comma of the command line.
TEST_F(SetupFile, CommandLineObjectAndClockEntry) {
    settings.commandLinePath = "/p,q/c.h20,MSG_ON";
    EXPECT_EQ(load(body("")), 0);
    EXPECT_EQ(settings.inForce.openFile, "/p,q/c.h20");
    EXPECT_EQ(session.ShowAutoResults, 1);
    settings.commandLinePath.clear();

    // Boot type 10 takes a clock and runs at the device's fixed rate.
    EXPECT_EQ(load(body("Device=CLK\nDataRate=2400\n")), 0);
    EXPECT_EQ(settings.inForce.clockFlag, 1);
    EXPECT_DOUBLE_EQ(settings.inForce.clockValue, 16.9344);
    EXPECT_STREQ(settings.inForce.dataRate.text(), "19200");
}

// With every numbered file taken a save has nowhere to go.
TEST_F(SetupFile, SaveWithoutAPlaceToWrite) {
    session.MultiInstance = 1;
    ASSERT_EQ(load(body("")), 0);
    for (int n = 0; n < 100; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "Ostrand%02d.ini", n);
        dir.write(name, "");
    }
    EXPECT_EQ(settings.saveSetupFile(""), -1);
    EXPECT_EQ(op.last()->code, 10113);
    EXPECT_EQ(op.last()->place, 4);
    // A folder that cannot be written gives place 0.
    EXPECT_EQ(settings.saveSetupFile("/nonexistent-folder/x.ini"), -1);
    expectMessage(10113, "/nonexistent-folder/x.ini", 12137);
    EXPECT_EQ(op.last()->place, 0);
}

// A process killed at any moment of a save leaves the old file or the new one,
// never a truncated mix.
TEST_F(SetupFile, KilledDuringSaveLeavesAWholeFile) {
    ASSERT_EQ(load(body("PassDevPassword=" + std::string(600, 'A') + "\n")), 0);
    ASSERT_EQ(settings.saveSetupFile(""), 0);
    for (int round = 0; round < 20; ++round) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            for (int i = 0;; ++i) {
                settings.inForce.passDevPassword = std::string(300 + i % 500, 'B');
                settings.saveSetupFile("");
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500 + round * 700));
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        std::string text = dir.read("Ostrand.ini");
        ASSERT_GT(text.size(), 300u);
        EXPECT_EQ(text.substr(text.size() - 25), "MemAddressLimit=0x010000\n") << round;
        EXPECT_EQ(settings.loadSetupFile(dir.path() / "Ostrand.ini"), 0);
    }
}

// Far above any real file, and refused before its bytes are read.
TEST_F(SetupFile, OversizedFilesAreRefusedBeforeTheyAreRead) {
    const auto setup = hugeFile(dir, "big.ini", body(""), 200 << 20);
    const long before = residentKb();
    const auto started = std::chrono::steady_clock::now();
    pid_t child = fork();
    if (child == 0)
        _exit(settings.loadSetupFile(setup) == -1 && op.last() && op.last()->code == 10109 &&
                      op.last()->detail == setup.string()
                  ? 0
                  : 1);
    int status = 0;
    rusage usage{};
    ASSERT_EQ(wait4(child, &status, 0, &usage), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_LT(usage.ru_maxrss, before + 32 * 1024);  // reading it would take 200 MB
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));

    // A log that cannot be read gives no entries and is never written over.
    const auto log = hugeFile(dir, "history.log", "[Password01]\nSum=0x1234\n", 200 << 20);
    PasswordSet passwords(session, op);
    passwords.loadPasswordLog(log);
    passwords.rememberPassword({0x1234, 0, 0, "AB", "DEV"});
    EXPECT_EQ(passwords.savePasswordLog(log), 0);
    EXPECT_EQ(std::filesystem::file_size(log), 200u << 20);
}
