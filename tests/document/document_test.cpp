#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "document/document.h"
#include "recording_operator.h"
#include "sim_rig.h"
#include "test_folder.h"

using namespace ostrand;
using ostrand::test::SimChip;
using ostrand::test::writeFastDefinition;

namespace {

void setMultiOn(const TestFolder& folder, int value) {
    folder.write("Ostrand.def",
                 std::regex_replace(folder.read("Ostrand.def"), std::regex("Multi_On=\\d"),
                                    "Multi_On=" + std::to_string(value)));
}

// A program folder with the demo definition file (short waits), the demo
// WCPs and the sample object, and a simulated KMT12E48 on a terminal.
class CommandLineRun : public ::testing::Test {
  protected:
    void SetUp() override {
        writeFastDefinition(dir.path());
        for (const char* d : {"KMT12E48", "KM16F48"})
            std::filesystem::copy(std::string(OSTRAND_DATA) + "/" + d, dir.path() / d);
        std::filesystem::copy_file(std::string(OSTRAND_DATA) + "/samples/demo.h20",
                                   dir.path() / "demo.h20");
    }
    void startChip(const std::vector<std::string>& faults = {}) {
        port = chip.start(dir.path(), device, faults, dir.path() / "flash.bin");
        ASSERT_FALSE(port.empty());
    }
    void writeSetup(const std::string& steps, const std::string& object = "other.h20") {
        std::ofstream(dir.path() / "Ostrand.ini")
            << "[Ostrand]\nDevice=" << device << "\nOpenFile=" << (dir.path() / object).string()
            << "\nCOMPort=" << port << "\nDataRate=38400\n"
            << steps;
    }

    TestFolder dir;
    SimChip chip;
    std::string device = "KMT12E48";
    std::string port;
    Session session;
    RecordingOperator op{session};
};

const char* kAllSteps = "AllErase=1\nBlankCheck=1\nProgramming=1\nVerify=1\nFileCompare=1\n";

}  // namespace

// One instance per program folder, unless the definition file's Multi_On
// lets several run, each on a numbered setup file it holds.
TEST(Instances, SecondCopyRefusedOrNumbered) {
    for (int multi : {0, 1}) {
        SCOPED_TRACE(multi);
        TestFolder dir;
        writeFastDefinition(dir.path());
        setMultiOn(dir, multi);
        Session s1, s2, s3;
        RecordingOperator op1(s1), op2(s2), op3(s3);
        int dialogs = 0;
        DocumentCore first(s1, op1, dir.path());
        first.openSetupDialog = [&] { ++dialogs; };
        ASSERT_EQ(first.startUp(""), 1);
        EXPECT_EQ(dialogs, 1);  // no default setup: the setup dialog comes first
        EXPECT_EQ(s1.ExitStatus, 1);
        EXPECT_EQ(s1.MultiInstance, multi);
        auto second = std::make_unique<DocumentCore>(s2, op2, dir.path());
        EXPECT_EQ(second->startUp(""), multi);
        EXPECT_EQ(s2.ExitStatus, multi);
        if (!multi) {
            EXPECT_TRUE(op2.messages.empty());
            second.reset();
            EXPECT_EQ(first.devices.records().size(), 21u);  // the first runs on untouched
            first.shutDown();
            DocumentCore third(s3, op3, dir.path());
            EXPECT_EQ(third.startUp(""), 1);
            continue;
        }
        first.settings.inForce.device = "KMT12E48";
        second->settings.inForce.device = "KM16F48";
        ASSERT_EQ(first.settings.saveSetupFile(""), 0);
        ASSERT_EQ(second->settings.saveSetupFile(""), 0);
        EXPECT_NE(dir.read("Ostrand00.ini").find("Device=KMT12E48\n"), std::string::npos);
        EXPECT_NE(dir.read("Ostrand01.ini").find("Device=KM16F48\n"), std::string::npos);
        first.shutDown();
        EXPECT_FALSE(isFileLockedElsewhere(dir.path() / "Ostrand00.ini"));
        EXPECT_TRUE(isFileLockedElsewhere(dir.path() / "Ostrand01.ini"));
    }
}

TEST(Instances, MissingDefinitionFileEndsTheProgram) {
    TestFolder dir;
    Session s;
    RecordingOperator op(s);
    DocumentCore doc(s, op, dir.path());
    EXPECT_EQ(doc.startUp(""), 0);
    ASSERT_EQ(op.codes(), std::vector<int32_t>{10100});
    EXPECT_EQ(doc.shutDown(), 0);
}

TEST_F(CommandLineRun, QuotedPathWithMsgOffProgramsUnattended) {
    startChip();
    writeSetup(kAllSteps);
    DocumentCore doc(session, op, dir.path());
    int windows = 0;
    doc.autoProgrammer.resultWindow = [&](AutoResultWindow, const AutoRunRecord&) {
        ++windows;
        return 1;
    };
    // The whole command line in quotes, split at the blank in the folder's name.
    std::filesystem::create_directory(dir.path() / "with blank");
    std::filesystem::rename(dir.path() / "demo.h20", dir.path() / "with blank/demo.h20");
    const std::string object = (dir.path() / "with blank/demo.h20").string();
    const std::string first = "\"" + (dir.path() / "with").string(),
                      second = "blank/demo.h20,MSG_OFF\"";
    const char* const argv[] = {"ostrand", first.c_str(), second.c_str()};
    ASSERT_EQ(doc.startUp(commandLineObjectPath(3, argv)), 1);
    EXPECT_TRUE(doc.connected);
    EXPECT_EQ(doc.settings.inForce.openFile, object);
    EXPECT_EQ(session.ShowAutoResults, 0);
    EXPECT_EQ(session.CommandLineRun, 1);
    EXPECT_TRUE(doc.commandLineRunDue());
    ASSERT_EQ(doc.runCommandLine(), 1);
    for (int s = 0; s < kAutoSteps - 1; ++s)
        EXPECT_EQ(doc.autoProgrammer.record.result[s], kStepOk) << kAutoStepNames[s];
    EXPECT_EQ(doc.autoProgrammer.record.result[kProtect], kStepNotRun);
    EXPECT_EQ(doc.autoProgrammer.record.memorySum, doc.image.fileSum());
    EXPECT_TRUE(op.questions.empty());
    EXPECT_EQ(windows, 0);
    EXPECT_EQ(doc.shutDown(), 1);
    // It runs once: a second request does nothing.
    EXPECT_EQ(doc.runCommandLine(), 0);
}

// A failed step leaves the rest not run and ends the run with 2, told by
// the NG window alone (no "not blank" box before it); a batch runs once.
TEST_F(CommandLineRun, FailedStepLeavesTheRestNotRun) {
    const struct {
        const char* fault;
        AutoStep failed;
        bool commandLine;
    } cases[] = {
        {"reply:40=64*", kAllErase, true},
        {"reply:70.done=74*", kBlankCheck, false},  // not blank even after its erase
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        Session s;
        RecordingOperator o(s);
        chip.stop();
        startChip({c.fault});
        writeSetup(kAllSteps, "demo.h20");
        DocumentCore doc(s, o, dir.path());
        AutoProgrammer& a = doc.autoProgrammer;
        if (c.commandLine) {
            ASSERT_EQ(doc.startUp((dir.path() / "demo.h20").string() + ", msg_off"), 1);
            ASSERT_EQ(doc.runCommandLine(), 1);
        } else {
            ASSERT_EQ(doc.startUp(""), 1);
            EXPECT_EQ(doc.runCommandLine(), 0);  // no command line, nothing pending
            ASSERT_EQ(a.unattendedRun(true), 1);
            EXPECT_EQ(a.unattendedRun(true), 0);
        }
        for (int st = 0; st < kAutoSteps; ++st)
            EXPECT_EQ(a.record.result[st], st < c.failed    ? kStepOk
                                           : st == c.failed ? kStepFailed
                                                            : kStepNotRun)
                << kAutoStepNames[st];
        EXPECT_EQ(a.record.fileSum, 0);
        EXPECT_EQ(a.record.memorySum, 0);
        EXPECT_TRUE(o.questions.empty());
        if (c.commandLine) {
            EXPECT_FALSE(o.messages.empty());  // the refused erase is told
        }
        for (const auto& m : o.messages) EXPECT_NE(m.code, 11016);
        const std::string bytes = dir.read("flash.bin");  // none until the chip is written
        EXPECT_TRUE(bytes.empty() || bytes[0] == '\xFF') << "the chip was programmed";
        EXPECT_EQ(doc.shutDown(), 2);
    }
}

TEST(AutoRules, LinkedOptions) {
    AutoOptions programOnly{false, false, true, false, false, false};
    EXPECT_TRUE(applyAutoRules(programOnly, 9, kModeWcpDiv, false)[kAllErase]);
    EXPECT_FALSE(applyAutoRules(programOnly, 1, kModeWcpDiv, false)[kAllErase]);
    AutoOptions all{true, true, true, true, true, true};
    AutoOptions sboot = applyAutoRules(all, 5, kModeSBoot, false);
    EXPECT_FALSE(sboot[kBlankCheck]);
    EXPECT_FALSE(sboot[kFileCompare]);
    EXPECT_FALSE(sboot[kProtect]);
    EXPECT_TRUE(applyAutoRules(all, 11, kModeSBoot, false)[kBlankCheck]);
    EXPECT_TRUE(applyAutoRules(all, 11, kModeSBoot, false)[kProtect]);
    AutoOptions verifyOnly{false, false, false, true, false, false};
    EXPECT_TRUE(applyAutoRules(verifyOnly, 12, kModeWcpAll, false)[kProgramming]);
    EXPECT_FALSE(applyAutoRules(verifyOnly, 12, kModeWcpAll, true)[kProgramming]);
    AutoOptions blankOnly{false, true, false, false, false, false};
    EXPECT_TRUE(applyAutoRules(blankOnly, 12, kModeWcpDiv, false)[kAllErase]);
}
