#include <gtest/gtest.h>

#include "app/device_database.h"
#include "app/numbers.h"
#include "app/operator.h"
#include "app/profile.h"
#include "app/setup_settings.h"
#include "recording_operator.h"
#include "test_folder.h"

using namespace ostrand;

TEST(NumberSyntax, NumbersAndRanges) {
    EXPECT_EQ(parseNumber(" 0x1fF "), 0x1FFu);
    EXPECT_EQ(parseNumber("0X10"), 16u);
    EXPECT_EQ(parseNumber("-1"), 0xFFFFFFFFu);
    EXPECT_EQ(parseNumber("4294967297"), 1u);  // wraps at 32 bits
    for (const char* bad : {"", "   ", "0x", "12a", "0x1G", "1 2"})
        EXPECT_FALSE(parseNumber(bad)) << bad;
    EXPECT_EQ(parseRange("0x8000-0x83FF"), (AddressRange{0x8000, 0x83FF}));
    EXPECT_EQ(parseRange(" 16 - 32 - junk"), (AddressRange{16, 32}));
    // The double-byte ideographic space is trimmed like a blank.
    EXPECT_EQ(parseRange("\x81\x40"
                         "0x10\x81\x40-\x81\x40"
                         "0x20 "),
              (AddressRange{0x10, 0x20}));
    EXPECT_FALSE(parseRange("0x8000-0x7FFF"));
    EXPECT_FALSE(parseRange("0x8000"));
    EXPECT_FALSE(parseRange("-0x10"));
    EXPECT_EQ(parseRange("0x0-0x0"), (AddressRange{0, 0}));
}

TEST(ProfileFile, MatchingRules) {
    auto f = ProfileFile::fromText(
        "[Dev]\r\n  Key = first \r\nkey=second\n[other]\nA=1\n[DEV]\nKey=third\nNew=4\n"
        "[ broken\n[x]y]\nZ = 7\n");
    EXPECT_EQ(f.value("dev", "KEY"), "first");  // case-insensitive, first key wins
    EXPECT_FALSE(f.value("dev", "New"));        // only the first section of a name is seen
    EXPECT_EQ(f.getInt("OTHER", "a", -1), 1);
    EXPECT_EQ(f.getInt("other", "missing", -1), -1);
    EXPECT_EQ(f.value("x]y", "z"), "7");  // up to the last "]"
    EXPECT_EQ(f.sectionNames(), (std::vector<std::string>{"Dev", "other", "DEV", "x]y"}));
    EXPECT_EQ(f.getString("dev", "key", "", 4), "fir");  // cut to the reading buffer
}

class DefinitionFile : public ::testing::Test {
  protected:
    Session session;
    RecordingOperator op{session};
    DeviceDatabase db{session, op};
    TestFolder dir;

    int32_t load(const std::string& text) { return db.load(dir.write("Ostrand.def", text)); }
    void expectFailure(int32_t code, const std::string& detail) {
        ASSERT_FALSE(op.messages.empty());
        EXPECT_EQ(op.last()->code, code);
        EXPECT_EQ(op.last()->hint, 12104);
        EXPECT_EQ(op.last()->detail, detail);
        EXPECT_EQ(session.ExitStatus, 0);
    }
};

TEST_F(DefinitionFile, LoadsRecordsAndCommonTexts) {
    ASSERT_EQ(load(std::string("[common]\nWebSiteURL=http://x\nEXE_Ver=") + std::string(70, 'E') +
                   "\n" + deviceSection("AB -  CD-1", 5) + deviceSection("AB-X2", 1) +
                   deviceSection("ZZ-X2", 2)),
              0);
    EXPECT_TRUE(op.messages.empty());
    EXPECT_EQ(db.seriesNames(), (std::vector<std::string>{"AB", "ZZ"}));
    EXPECT_EQ(db.records()[0].deviceName, "CD-1");
    EXPECT_EQ(db.records()[0].recTimeOutMs, 15u);
    EXPECT_EQ(db.records()[1].recTimeOutMs, 1000u);
    EXPECT_EQ(db.records()[0].eraseWaitMs, 30000u);
    EXPECT_EQ(db.helpMenuText(), "&Calvane Web Help");
    EXPECT_EQ(db.programVersionLine(), std::string(62, 'E') + " Ver1.0d");
    // Two records with one device name: select always finds the first.
    EXPECT_EQ(db.select("X2"), 1);
    EXPECT_EQ(db.seriesOf("X2"), "AB");
    EXPECT_EQ(db.select("x2"), -1);
}

TEST_F(DefinitionFile, KeyRules) {
    ASSERT_EQ(load(std::string(kCommonSection) +
                   deviceSection("S-A", 1,
                                 "EraseWaitTime=5\nBootWaitTime=0\nComDelayTime=0x1F31\n"
                                 "RecTimeOut=50\n") +
                   deviceSection("S-B", 11, "SingleBootPassword=0\n") +
                   // total WCP, option A, option C bit set, rate index 6, multiplier 8
                   deviceSection("S-C", 10, "TotalWCP=0x16B\nBusWidth=4\n") +
                   // min 3.50 (bits 17-20 = 3, 10-16 = 50), max 12.25 (28-31 = 12, 21-27 = 25)
                   deviceSection("S-D", 1, "TotalWCP=0xC326C8A0\n")),
              0);
    db.select("A");
    EXPECT_EQ(db.eraseWaitMs(), 5000u);
    EXPECT_EQ(db.bootWaitMs(), 30000u);
    EXPECT_EQ(db.records()[0].recTimeOutMs, 50u);
    EXPECT_EQ(session.ComDelayFlags, 0x1F31u);
    db.select("nothing");
    EXPECT_EQ(session.ComDelayFlags, 0u);
    EXPECT_EQ(db.records()[1].singleBootPassword, 1);  // forced for boot type 11
    const WcpParameters& w = db.records()[2].wcpParameters;
    EXPECT_EQ(db.records()[2].totalWcp, 1);
    EXPECT_EQ(w.optionA, 1);
    EXPECT_EQ(w.optionC, 0);
    EXPECT_EQ(w.fixedRate, kRate115200);
    EXPECT_EQ(w.clockMultiplier, 8);
    EXPECT_DOUBLE_EQ(w.clockMinMHz, 16.9344);  // boot type 10 overrides the limits
    db.select("C");
    EXPECT_EQ(db.clockEntryAvailable(), 1);
    // Only a clock-entry device with the clock flag set runs at its fixed rate.
    SetupValues v;
    EXPECT_EQ(clockEntryRate(db.selected(), v), std::nullopt);
    v.clockFlag = 1;
    EXPECT_EQ(clockEntryRate(db.selected(), v), kRate115200);
    EXPECT_EQ(clockEntryRate(db.find("A"), v), std::nullopt);
    uint32_t off = 0;
    ASSERT_TRUE(db.flashOffset(off));
    EXPECT_EQ(off, 0x10000u);
    const WcpParameters& d = db.records()[3].wcpParameters;
    EXPECT_DOUBLE_EQ(d.clockMinMHz, 3.5);
    EXPECT_DOUBLE_EQ(d.clockMaxMHz, 12.25);
    EXPECT_EQ(d.clockMultiplier, 4);
    EXPECT_EQ(d.fixedRate, kRate9600);
    EXPECT_EQ(d.optionC, 1);
}

TEST_F(DefinitionFile, FailuresNameTheSection) {
    struct Case {
        std::string text;
        int32_t code;
        std::string detail;
    };
    std::string c = kCommonSection;
    std::vector<Case> cases = {
        {c + deviceSection("S-D", 1, "SumArea=0x8000-0x7FFF\n"), 10102, "S-D"},
        {c + deviceSection("S-D", 10, "BusWidth=1\n"), 10102, "S-D"},
        {c + deviceSection("S-D", 1, "TotalWCP=0x70\n"), 10102, "S-D"},
        {c + deviceSection("S-D", 13), 10102, "S-D"},
        {c + deviceSection("S-D", 1, "UseWCP=2\n"), 10102, "S-D"},
        {c + "[S-E]\nUnknown=1\n", 10101, "S-E"},
        {c + deviceSection("S- ", 1), 10116, "S-"},
        {c + deviceSection("NoDash", 1), 10116, "NoDash"},
        {c, 10101, ""},
        {"[COMMON]\nHelp_Menu=x\n" + deviceSection("S-D", 1), 10102, "COMMON/WebSiteURL"},
    };
    for (const auto& k : cases) {
        op.messages.clear();
        EXPECT_EQ(load(k.text), -1) << k.text;
        expectFailure(k.code, k.detail);
    }
}

TEST_F(DefinitionFile, ProgrammingModeFromRecord) {
    ASSERT_EQ(load(std::string(kCommonSection) + deviceSection("S-DIV", 1) +
                   deviceSection("S-ALL", 1, "TotalWCP=1\n") +
                   deviceSection("S-PW", 5, "UseWCP=0\nSingleBootPassword=1\n") +
                   deviceSection("S-SB", 2, "UseWCP=0\n")),
              0);
    const std::pair<const char*, int32_t> expected[] = {
        {"DIV", kModeWcpDiv}, {"ALL", kModeWcpAll}, {"PW", kModeSBootPw}, {"SB", kModeSBoot}};
    for (auto [name, mode] : expected) {
        db.select(name);
        db.applyProgrammingMode();
        EXPECT_EQ(session.ProgrammingMode, mode) << name;
    }
    // Entering single boot from a WCP mode resets the engine's single-boot flags.
    session.SingleBootFlagsReset = 0;
    db.select("DIV");
    db.applyProgrammingMode();
    db.select("PW");
    db.applyProgrammingMode();
    EXPECT_EQ(session.SingleBootFlagsReset, 1);
    session.SingleBootFlagsReset = 0;
    db.select("SB");
    db.applyProgrammingMode();
    EXPECT_EQ(session.SingleBootFlagsReset, 0);
}
