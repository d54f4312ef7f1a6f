#include "app/password_set.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "app/file_io.h"
#include "app/operator.h"
#include "app/session.h"
#include "recording_operator.h"
#include "test_folder.h"

using namespace ostrand;
namespace fs = std::filesystem;

namespace {

// A memory image of 64 KiB at address 0, with the given ranges filled.
struct TestImage {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(0x10000, 0xFF);
    std::vector<AddressRange> ranges;

    void put(uint32_t address, const std::vector<uint8_t>& data) {
        for (size_t i = 0; i < data.size(); ++i) bytes[address + i] = data[i];
        ranges.push_back({address, static_cast<uint32_t>(address + data.size() - 1)});
    }
    PasswordImageView view(int32_t bootType, uint32_t areaStart = 0, uint32_t areaEnd = 0) const {
        PasswordImageView v;
        v.loadedRanges = &ranges;
        v.byteAt = [this](uint32_t a) { return a < bytes.size() ? int{bytes[a]} : -1; };
        v.bootType = bootType;
        v.passwordAreaStart = areaStart;
        v.passwordAreaEnd = areaEnd;
        return v;
    }
};

class PasswordTest : public ::testing::Test {
  protected:
    std::string last() const {
        const ShownMessage* m = op.last();
        return m ? std::to_string(m->code) + "/" + std::to_string(m->place) + "/" +
                       std::to_string(m->hint)
                 : "none";
    }
    Session session;
    RecordingOperator op{session};
    PasswordSet passwords{session, op};
    TestImage img;
};

}  // namespace

// Boot type 8 has 12-byte passwords (24 hexadecimal digits); other boot types
// take the length from the count byte, and the comparison ends with the loaded data.
TEST_F(PasswordTest, CheckAgainstTheImage) {
    img.put(0x100, {'S', 'E', 'C', 'R', 'E', 'T', '1', '2', '3', '4', '5', '6'});
    img.put(0x200, {0x0A});
    const std::string hex = "534543524554313233343536";
    const struct {
        int32_t bootType;
        std::string text;
        int32_t isHex;
        uint32_t num, cmp;
        int32_t result;
        const char* message;
    } cases[] = {
        {8, std::string(23, '0'), 1, 0x200, 0x100, 4, "10124/53/12111"},
        {8, "SECRET12345", 0, 0x200, 0x100, 4, "10124/51/12111"},
        {8, "SECRET123457", 0, 0x200, 0x100, 3, "10128/51/12111"},
        {8, "53454352455431323334353G", 1, 0x200, 0x100, 3, "10128/52/12111"},
        {2, "SECRET1234", 0, 0x200, 0x100, 0, "none"},
        {2, "ET123456xx", 0, 0x200, 0x104, 4, "10124/52/12111"},
        {2, "4554313233343536FFFF", 1, 0x200, 0x104, 4, "10124/54/12111"},
        {8, hex, 1, 0x200, 0x100, 0, "none"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        op.messages.clear();
        EXPECT_EQ(
            passwords.checkObjectPassword(img.view(c.bootType), c.text, c.isHex, c.num, c.cmp),
            c.result);
        EXPECT_EQ(last(), c.message);
    }
    EXPECT_EQ(passwords.objectPassword, "534543524554313233343536");
    EXPECT_EQ(passwords.objectNumAdd, 0x200u);
}

TEST_F(PasswordTest, FindInTheFile) {
    // Count byte 7 is below the shortest password; 8 is found, and a start
    // whose first three bytes are equal is passed over.
    img.put(0x1000, {7, 8, 0x41, 0x41, 0x41, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    uint32_t num = 0, cmp = 0;
    std::string text;
    ASSERT_EQ(passwords.findObjectPassword(img.view(2, 0x1000, 0x100D), num, cmp, text), 1);
    EXPECT_EQ(num, 0x1001u);
    EXPECT_EQ(cmp, 0x1003u);
    EXPECT_EQ(text, "4141010203040506");

    // In single-boot modes boot types of group F skip candidates with ":".
    TestImage colon;
    colon.put(0x1000, {8, 0x3A, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    session.ProgrammingMode = kModeSBoot;
    ASSERT_EQ(passwords.findObjectPassword(colon.view(2, 0x1000, 0x100A), num, cmp, text), 1);
    EXPECT_EQ(cmp, 0x1002u);

    // Boot types of group C: fixed place and length, erased flash when absent.
    TestImage fixed;
    fixed.put(0x40, {0xAB, 0xCD, 0xEF, 0x01});
    ASSERT_EQ(passwords.findObjectPassword(fixed.view(3, 0x40, 0x43), num, cmp, text), 1);
    EXPECT_EQ(text, "abcdef01");
    EXPECT_EQ(num, 0u);
    ASSERT_EQ(passwords.findObjectPassword(fixed.view(7, 0x40, 0x4B), num, cmp, text), 1);
    EXPECT_EQ(text, std::string(24, 'F'));
}

TEST_F(PasswordTest, LogRoundTrip) {
    TestFolder folder;
    const fs::path dir = folder.path(), log = dir / "history.log";

    passwords.rememberPassword({0x1234, 0x7F00, 0x7F01, "ABCDEF0123", "DEV-A"});
    passwords.rememberPassword({0x0042, 0x100, 0x101, "pw", "DEV-B"});
    passwords.rememberPassword({0x1234, 0x7F00, 0x7F01, "0011223344", "DEV-A"});  // replaces
    ASSERT_EQ(passwords.savePasswordLog(log), 1);
    EXPECT_EQ(readWholeFile(log).value_or(""),
              "[Password01]\nSum=0x1234\nPassNumAdd=0x007F00\nPassCmpAdd=0x007F01\n"
              "Password=0011223344\nDevice=DEV-A\n\n"
              "[Password02]\nSum=0x0042\nPassNumAdd=0x000100\nPassCmpAdd=0x000101\n"
              "Password=pw\nDevice=DEV-B\n");

    PasswordSet again(session, op);
    again.loadPasswordLog(log);
    EXPECT_EQ(again.log, passwords.log);

    // Incomplete or invalid entries are left out.
    std::ofstream(log) << "[Password01]\nSum=0x1\nPassNumAdd=1\nPassCmpAdd=2\nPassword=x\n\n"
                          "[Password02]\nSum=0x10000\nPassNumAdd=1\nPassCmpAdd=2\nPassword=x\n"
                          "Device=D\n\n[Password03]\nSum=5\nPassNumAdd=0x10\nPassCmpAdd=0x11\n"
                          "Password=y\nDevice=E\n";
    again.loadPasswordLog(log);
    ASSERT_EQ(again.log.size(), 1u);
    EXPECT_EQ(again.log[0], (PasswordLogEntry{5, 0x10, 0x11, "y", "E"}));
}

// Programs save the one log side by side:
// each keeps what the others wrote since it read the log, and an entry it
// holds from an older reading never overwrites a newer one.
TEST(SharedPasswordLog, WritersInProcessesLoseNothing) {
    TestFolder folder;
    const fs::path log = folder.path() / "history.log";
    Session session;
    RecordingOperator op{session};

    PasswordSet stale(session, op), fresh(session, op);
    stale.rememberPassword({0x0001, 1, 2, "OLD", "D"});
    ASSERT_EQ(stale.savePasswordLog(log), 1);
    fresh.loadPasswordLog(log);
    fresh.rememberPassword({0x0001, 1, 2, "NEW", "D"});
    ASSERT_EQ(fresh.savePasswordLog(log), 1);
    stale.rememberPassword({0x0002, 1, 2, "OTHER", "D"});
    ASSERT_EQ(stale.savePasswordLog(log), 1);
    PasswordSet read(session, op);
    read.loadPasswordLog(log);
    EXPECT_EQ(read.log, (std::vector<PasswordLogEntry>{{0x0001, 1, 2, "NEW", "D"},
                                                       {0x0002, 1, 2, "OTHER", "D"}}));

    // Three processes, each saving ten entries of its own one by one.
    constexpr int kProcesses = 3, kEach = 10;
    auto writeSome = [&](int process) {
        Session s;
        RecordingOperator o{s};
        PasswordSet mine(s, o);
        mine.loadPasswordLog(log);
        int failures = 0;
        for (int i = 0; i < kEach; ++i) {
            mine.rememberPassword(
                {static_cast<uint16_t>(0x100 * (process + 1) + i), 1, 2, "P", "D"});
            failures += mine.savePasswordLog(log) != 1;
        }
        return failures;
    };
    std::vector<pid_t> children;
    for (int p = 1; p < kProcesses; ++p) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) ::_exit(writeSome(p) == 0 ? 0 : 1);
        children.push_back(pid);
    }
    EXPECT_EQ(writeSome(0), 0);
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    read.loadPasswordLog(log);
    std::set<uint16_t> sums;
    for (const auto& e : read.log) sums.insert(e.sum);
    EXPECT_EQ(read.log.size(), 2u + kProcesses * kEach);
    for (int p = 0; p < kProcesses; ++p)
        for (int i = 0; i < kEach; ++i)
            EXPECT_EQ(sums.count(static_cast<uint16_t>(0x100 * (p + 1) + i)), 1u) << p << " " << i;
}
