// The boot-type table against the member lists, commands and rate codes the
// program has always used, and against the devices of the definition file.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "app/boot_types.h"
#include "app/device_database.h"
#include "app/operator.h"
#include "app/session.h"
#include "app/setup_settings.h"
#include "engine/protocol_tables.h"
#include "recording_operator.h"

namespace ostrand {
namespace {

std::set<int> members(bool (*group)(int32_t)) {
    std::set<int> out;
    for (int b = -1; b <= 14; ++b)
        if (group(b)) out.insert(b);
    return out;
}

TEST(BootTypeTable, NamedGroupsKeepTheirMembers) {
    using S = std::set<int>;
    EXPECT_EQ(members(FastReplyBootTypes), (S{2, 5, 6, 9}));
    EXPECT_EQ(members(PasswordBootTypes), (S{7, 8, 10}));
    EXPECT_EQ(members(EraseFirstTypes), (S{5, 6, 7, 8, 9, 10, 11}));
    EXPECT_EQ(members([](int32_t b) { return ProtectTypes(b); }), (S{5, 7, 8, 9, 11}));
    EXPECT_EQ(members([](int32_t b) { return ProtectTypes(b, 1); }), (S{5, 7, 8, 9}));
    EXPECT_EQ(members(BootTypesB), (S{1, 3, 7, 8, 10}));
    EXPECT_EQ(members(BootTypesC), (S{3, 7, 8, 10}));
    EXPECT_EQ(members(SecondAreaBootTypes), (S{6, 9}));
    EXPECT_EQ(members(OwnRateBootTypes), (S{7, 8, 10, 11}));
    EXPECT_EQ(members(BootTypesF), (S{2, 5, 6, 9, 11, 12}));
    EXPECT_EQ(members([](int32_t b) { return BootTypesG(b); }), (S{3, 12}));
    EXPECT_EQ(members([](int32_t b) { return BootTypesG(b, 60); }), (S{3, 11, 12}));
    EXPECT_EQ(members([](int32_t b) { return BootTypesG(b, 96); }), (S{3, 12}));
    EXPECT_EQ(members(BootTypesH), (S{2, 12}));
    EXPECT_EQ(members(BootTypesI), (S{5, 6, 9, 11}));
    EXPECT_EQ(members(LineResetBootTypes), (S{4, 12}));
    EXPECT_EQ(members([](int32_t b) { return bootTypeRow(b).fixedClockMHz > 0.0; }), (S{10}));
    EXPECT_DOUBLE_EQ(bootTypeRow(10).fixedClockMHz, 16.9344);
    EXPECT_EQ(members(knownBootType), (S{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
}

TEST(BootTypeTable, CommandsMatchingBytesAndRateCodesAsBefore) {
    constexpr uint8_t kCommands[13][10] = {
        {},
        {0x30, 0x60, 0x90},
        {0x30, 0x60, 0x90},
        {0x30, 0x60, 0x90},
        {0x30, 0x60, 0x90},
        {0x30, 0x60, 0x90, 0xC3, 0xF0, 0xFA},
        {0x30, 0x60, 0x90, 0xC3, 0xF0},
        {0x00, 0x10, 0x20, 0x30, 0x40, 0, 0x54},
        {0x50, 0x10, 0x20, 0x30, 0x40, 0x60, 0x54},
        {0x30, 0x60, 0x90, 0xC3, 0xF0, 0xFA},
        {0x50, 0x10, 0x20, 0, 0x40, 0, 0x54},
        {0x30, 0x60, 0x90, 0xC3, 0xF0, 0xFA, 0, 0x40, 0xD0, 0xC0},
        {0x30, 0x30, 0x90},
    };
    constexpr int N = -1;
    const std::vector<int> common = {N, N, 0x28, 0x18, 0x0A, 0x07, 0x06, 0x05, 0x04, N, N};
    const std::vector<int> bt4 = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, N, N, 0xFF, N, N, N};
    const std::vector<int> own(11, 0x86);
    const std::vector<int> bt11 = {N, N, 0x86, 0x86, 0x86, 0x86, 0x86, 0x86, 0x86, 0x86, 0x86};
    const std::vector<int> bt3[3] = {
        {0x03, 0x02, 0x01, 0x00, N, N, N, N, N, N, N},
        {0x04, 0x03, 0x02, 0x01, N, 0x00, N, N, N, N, N},
        {0x05, 0x04, 0x03, 0x02, N, 0x01, N, N, 0x00, N, N},
    };
    const std::vector<int> none(11, N);
    auto expectedCodes = [&](int bt, int clock) -> const std::vector<int>& {
        switch (bt) {
            case 3:
                return bt3[clock == 4 ? 0 : clock == 8 ? 1 : 2];
            case 4:
                return bt4;
            case 7:
            case 8:
            case 10:
                return own;
            case 11:
                return bt11;
            case 1:
            case 2:
            case 5:
            case 6:
            case 9:
            case 12:
                return common;
            default:
                return none;
        }
    };
    for (int bt = -1; bt <= 14; ++bt) {
        SCOPED_TRACE("BootType " + std::to_string(bt));
        for (int col = -1; col <= 10; ++col) {
            const bool inTable = bt >= 1 && bt <= 12 && col >= 0 && col <= 9;
            EXPECT_EQ(bootCommand(bt, col), inTable ? kCommands[bt][col] : 0) << "column " << col;
        }
        EXPECT_EQ(matchingByte(bt), (bt == 7 || bt == 8 || bt == 10 || bt == 11) ? 0x86 : 0x5A);
        for (int clock : {4, 8, 16}) {
            const std::vector<int>& codes = expectedCodes(bt, clock);
            for (int i = 0; i < 11; ++i)
                EXPECT_EQ(rateCodeFor(bt, clock, DataRate::at(i)), codes[i])
                    << DataRate::at(i).text() << " at clock " << clock;
            EXPECT_EQ(rateCodeFor(bt, clock, DataRate::parse("9601")), -1);
        }
    }
}

// What the rest of the program relies on from every row.
TEST(BootTypeTable, RowsHoldTogether) {
    for (int bt = 1; bt <= 12; ++bt) {
        SCOPED_TRACE("BootType " + std::to_string(bt));
        const BootTypeRow& row = bootTypeRow(bt);
        EXPECT_EQ(row.bootType, bt);
        // The first matching runs at 9600 unless the adapter clock sets it.
        if (!row.adapterClock) {
            EXPECT_GE(rateCodeFor(bt, 16, "9600"), 0);
        }
        EXPECT_EQ(row.ownRate, row.matchingByte == 0x86);
        if (row.passwordType) {
            EXPECT_EQ(row.fixedPasswordLength, 12u);
        }
        EXPECT_EQ(blankPasswordLength(bt),
                  row.fixedPasswordLength ? row.fixedPasswordLength : 255u);
        // Every command the row's flags send is in its command columns.
        EXPECT_NE(row.commands[kColRamTransfer], 0);
        EXPECT_NE(row.commands[kColSum], 0);
        if (row.statusBlank || row.protectStatus) {
            EXPECT_NE(row.commands[kColStatus], 0);
        }
        if (row.statusBlank || row.passwordType) {
            EXPECT_NE(row.commands[kColErase], 0);
        }
        if (row.blockCommands) {
            EXPECT_NE(row.commands[kColRead], 0);
            EXPECT_NE(row.commands[kColIdent1], 0);
        }
        // A WCP started through the reset line needs a line to reset.
        if (row.wcpStart != WcpStart::Settle) {
            EXPECT_TRUE(row.lineReset);
        }
        if (row.wcpRateCode) {
            EXPECT_EQ(row.wcpStart, WcpStart::LineResetSetRateCode);
        }
        // A fixed clock is a clock entry, and must give 115200 through a divisor.
        if (row.fixedClockMHz > 0.0) {
            EXPECT_TRUE(row.passwordType);
            uint8_t n = 0, k = 0;
            EXPECT_TRUE(findDivisor(row.fixedClockMHz * 1e6, n, k));
        }
        EXPECT_TRUE(row.addressWidth == 2 || row.addressWidth == 3);
        if (row.ownReadProtect) {
            EXPECT_TRUE(row.protect);
        }
    }
    EXPECT_TRUE(inBootBlock(12, kBootBlockStart));
    EXPECT_TRUE(inBootBlock(12, kBootBlockEnd));
    EXPECT_FALSE(inBootBlock(12, kBootBlockEnd + 1));
    EXPECT_FALSE(inBootBlock(2, kBootBlockStart));
}

TEST(BootTypeTable, DefinitionFileDevicesFitTheirRows) {
    Session session;
    RecordingOperator op{session};
    DeviceDatabase devices{session, op};
    ASSERT_EQ(devices.load(std::string(OSTRAND_DATA) + "/Ostrand.def"), 0);
    std::set<int> seen;
    for (const DeviceDefinition& d : devices.records()) {
        SCOPED_TRACE(d.deviceName);
        ASSERT_TRUE(knownBootType(d.bootType));
        seen.insert(d.bootType);
        const BootTypeRow& row = bootTypeRow(d.bootType);
        // A second area given to a boot type without one would be dropped.
        if (d.flashSecondStart != 0 || d.flashSecondEnd != 0) {
            EXPECT_TRUE(row.secondArea);
        }
        if (row.bootBlock) {
            EXPECT_GE(d.singleBootFlashEnd, kBootBlockEnd);
        }
        if (row.passwordType) {
            EXPECT_TRUE(d.busWidth == 2 || d.busWidth == 4);
        }
        if (row.fixedClockMHz > 0.0) {
            EXPECT_DOUBLE_EQ(d.wcpParameters.clockMinMHz, row.fixedClockMHz);
            EXPECT_DOUBLE_EQ(d.wcpParameters.clockMaxMHz, row.fixedClockMHz);
        }
        if (row.singleBootPasswordAlways) {
            EXPECT_EQ(d.singleBootPassword, 1);
        }

        // The setup takes the fixed clock of the row and leaves others alone.
        SetupValues v;
        v.clockFlag = 0;
        v.clockValue = 7.5;
        applyFixedClock(d.bootType, v);
        EXPECT_EQ(v.clockFlag, row.fixedClockMHz > 0.0 ? 1 : 0);
        EXPECT_DOUBLE_EQ(v.clockValue, row.fixedClockMHz > 0.0 ? row.fixedClockMHz : 7.5);
    }
    EXPECT_EQ(seen.size(), 12u) << "every boot type has a device to try it on";
}

}  // namespace
}  // namespace ostrand
