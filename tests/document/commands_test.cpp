// The command table's preambles, once; then the same command through the
// window's document and through ostrand-cli, which must end with the same
// numbered messages.
#include <gtest/gtest.h>

#include <regex>

#include "cli_run.h"
#include "document/document.h"
#include "objfile/hex_records.h"
#include "recording_operator.h"
#include "sim_rig.h"
#include "test_folder.h"

using namespace ostrand;
using ostrand::test::SimChip;

namespace {

TEST(Preambles, PasswordVerdictsOfTheTable) {
    struct Case {
        int command;
        int32_t bootType, mode;
        bool rewritten, device, object, protect;
        int32_t code;  // 0: passes
        int32_t hint;
    };
    const Case cases[] = {
        // P: the device password, or once rewritten outside WCP-All the object's.
        {kCmdBlankCheck, 1, 1, false, false, false, false, 10515, 12134},
        {kCmdBlankCheck, 1, 1, false, true, false, false, 0, 0},
        {kCmdBlankCheck, 1, 1, true, true, false, false, 10516, 12134},
        {kCmdBlankCheck, 1, 2, true, true, false, false, 0, 0},
        {kCmdSaveAs, 1, 2, true, false, true, false, 10515, 12134},
        {kCmdBlankCheck, 12, 1, false, false, false, false, 0, 0},  // no passwords at all
        {kCmdBlankCheck, 4, 2, false, false, false, false, 10515, 12134},
        // Skipped in S-Boot; Verify also in S-Boot-PW for most password chips.
        {kCmdChipErase, 2, 4, false, false, false, false, 0, 0},
        {kCmdChipErase, 2, 3, false, false, false, false, 10515, 12134},
        {kCmdVerify, 5, 3, false, false, false, false, 0, 0},
        {kCmdVerify, 3, 3, false, false, false, false, 10515, 12134},
        {kCmdCompare, 2, 4, false, false, false, false, 10515, 12134},
        // Program in S-Boot-PW writing the protection needs the object's password.
        {kCmdProgram, 5, 3, false, true, false, true, 10516, 12134},
        {kCmdProgram, 5, 3, false, true, false, false, 0, 0},
        {kCmdProgram, 2, 3, false, true, false, true, 0, 0},
        {kCmdProgram, 9, 3, true, false, true, true, 0, 0},
        // Auto programming: P in WCP-All, both passwords in WCP-Div and S-Boot-PW.
        {kCmdAutoProgramming, 1, 1, false, true, false, false, 10511, 12145},
        {kCmdUnattendedAuto, 5, 3, false, true, true, false, 0, 0},
        {kCmdAutoProgramming, 8, 2, false, true, false, false, 0, 0},
        {kCmdAutoProgramming, 8, 2, false, false, true, false, 10515, 12134},
        {kCmdUnattendedAuto, 2, 4, false, false, false, false, 0, 0},
        {kCmdAutoProgramming, 12, 1, false, false, false, false, 0, 0},
        {kCmdOpenSetup, 1, 1, false, false, false, false, 0, 0},
    };
    for (const Case& c : cases) {
        CommandState s;
        s.bootType = c.bootType;
        s.mode = c.mode;
        s.chipRewritten = c.rewritten;
        s.devicePassword = c.device;
        s.objectPassword = c.object;
        s.protectOption = c.protect;
        const RuleVerdict v = passwordVerdict(c.command, s);
        EXPECT_EQ(v.code, c.code) << c.command << " type " << c.bootType << " mode " << c.mode;
        EXPECT_EQ(v.hint, c.hint) << c.command << " type " << c.bootType << " mode " << c.mode;
    }
}

// Message codes as ostrand-cli printed them on stderr ("E515 : ...").
std::vector<int32_t> printedCodes(const std::string& err) {
    static const std::regex line("(^|\n)([EMR])(\\d{3}) : ");
    std::vector<int32_t> codes;
    for (auto it = std::sregex_iterator(err.begin(), err.end(), line); it != std::sregex_iterator();
         ++it) {
        const char kind = (*it)[2].str()[0];
        const int32_t base = kind == 'E' ? 10000 : kind == 'R' ? 11000 : 12000;
        codes.push_back(base + std::stoi((*it)[3].str()));
    }
    return codes;
}

// Refusals and a run that needs no password: the window's document and the
// console end with the same numbered messages.
TEST(SameCommand, WindowAndConsoleAgree) {
    const std::string blankPassword = "PassDevType=1\nPassDevPassword=" + std::string(510, 'F');
    struct Case {
        const char* device;
        std::string keys;  // besides OpenFile
        bool unattendedAuto;
        std::vector<int32_t> window;  // empty: no error, the run passes
        int status;
    } const cases[] = {
        {"KM16F48", "", false, {10515}, 1},
        {"KMV5A60P", "ReadProtect=1\nPassDevBlank=1\n" + blankPassword, false, {10516}, 1},
        {"KM16F48", "OpenFile=\nPassDevBlank=1\n" + blankPassword, false, {10135}, 2},
        {"KMT12E48", "AllErase=1\nProgramming=1\nVerify=1\n", true, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.device + (" " + c.keys));
        TestFolder folder;
        ostrand::test::writeFastProgramFolder(folder.path());
        const std::string obj =
            folder.write("obj.h16", record(0, {1, 2, 3, 4, 5, 6, 7, 8}) + ":00000001FF\n").string();
        SimChip chip;
        // The chip (again) and the setup that names its port: the case's keys
        // come first and win over the steps a setup must name.
        auto startChip = [&] {
            chip.stop();
            const std::string port =
                chip.start(folder.path(), c.device, {}, folder.path() / "flash.bin");
            folder.write("Ostrand.ini", "[Ostrand]\nDevice=" + std::string(c.device) +
                                            "\nCOMPort=" + port + "\nDataRate=38400\n" + c.keys +
                                            "\nOpenFile=" + obj +
                                            "\nAllErase=0\nBlankCheck=0\nProgramming=0\n"
                                            "Verify=0\nFileCompare=0\n");
            return !port.empty();
        };
        ASSERT_TRUE(startChip());
        // The window's document, started as the windowed program starts.
        Session session;
        RecordingOperator op(session);
        auto doc = std::make_unique<DocumentCore>(session, op, folder.path());
        doc->startUp(StartupRequest{});
        c.unattendedAuto ? doc->unattendedAuto(true) : doc->program();
        doc->shutDown();
        const std::vector<int32_t> window = op.codes();
        doc.reset();
        // The console meets a chip just started, as the window did: a
        // pseudo-terminal cannot reset one left running the window's WCP.
        ASSERT_TRUE(startChip());
        const CliResult cli = runCli(std::string(c.unattendedAuto ? "auto" : "program") +
                                         " --home " + folder.path().string(),
                                     folder.path());
        EXPECT_EQ(printedCodes(cli.err), window) << cli.err;
        EXPECT_EQ(cli.status, c.status) << cli.out << cli.err;
        if (c.window.empty()) {
            EXPECT_NE(cli.out.find("Verify with SUM: OK"), std::string::npos) << cli.out;
            for (int32_t code : window)
                EXPECT_GE(code, 11000) << "an error in a run that needs none";
        } else {
            EXPECT_EQ(window, c.window);
        }
    }
}

}  // namespace
