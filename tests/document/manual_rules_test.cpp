// The memory dump's layout and the checks of what the operator types into
// the manual operation dialogs, against the demo definition file.
#include <gtest/gtest.h>

#include "app/device_database.h"
#include "app/operator.h"
#include "document/manual_rules.h"
#include "recording_operator.h"
#include "test_folder.h"

namespace ostrand {
namespace {

const uint8_t kRow[16] = {0x12, 0x34, 0x56, 0x78, 0x41, 0x0A, 0x80, 0x7E,
                          0x20, 0x00, 0xFF, 0x61, 0x7F, 0x09, 0x5A, 0x30};

TEST(DumpLayout, RowTextInEachUnit) {
    struct Case {
        DumpUnit unit;
        size_t width;
        const char* begins;
        const char* ends;
    };
    // Little-endian words and longs; 0x41 "A", 0x0A and 0x80 ".".
    const Case cases[] = {
        {DumpUnit::Byte, 79, "0x001230:  12 34 56 78 41 0a 80 7e  20 00 ff",
         "5a 30    .4VxA..~ ..a..Z0"},
        {DumpUnit::Word, 52, "0x001230:  3412 7856 0a41 7e80  0020 ", "097f 305a "},
        {DumpUnit::Long, 48, "0x001230:  78563412 7e800a41  ", "61ff0020 305a097f "},
    };
    for (const Case& c : cases) {
        std::string row = dumpRowText(0x1230, kRow, c.unit);
        ASSERT_EQ(row.substr(row.size() - 2), "\r\n");
        row.resize(row.size() - 2);
        EXPECT_EQ(row.size(), c.width);
        EXPECT_EQ(dumpRowWidth(c.unit), c.width);
        EXPECT_EQ(row.rfind(c.begins, 0), 0u) << row;
        const std::string ends = c.ends;
        EXPECT_EQ(row.substr(row.size() - ends.size()), ends) << row;
    }
}

TEST(DumpLayout, ColumnsMapBackToValues) {
    struct Case {
        DumpUnit unit;
        uint32_t k;
        uint32_t column;
    };
    // 11 characters of prefix, one extra blank after the eighth byte.
    const Case cases[] = {{DumpUnit::Byte, 0, 11}, {DumpUnit::Byte, 7, 32},
                          {DumpUnit::Byte, 8, 36}, {DumpUnit::Byte, 15, 57},
                          {DumpUnit::Word, 3, 26}, {DumpUnit::Word, 4, 32},
                          {DumpUnit::Long, 1, 20}, {DumpUnit::Long, 2, 30}};
    for (const Case& c : cases) {
        EXPECT_EQ(dumpValueColumn(c.unit, c.k), c.column);
        const auto hit = dumpHitAt(c.unit, c.column + 1);
        ASSERT_TRUE(hit);
        EXPECT_EQ(hit->value, c.k);
        EXPECT_FALSE(hit->character);
    }
    EXPECT_EQ(dumpCharColumn(0), 63u);
    EXPECT_EQ(dumpHitAt(DumpUnit::Byte, 63 + 4), (DumpHit{4, true, 0}));
    EXPECT_FALSE(dumpHitAt(DumpUnit::Word, 63));  // no character column there
    EXPECT_FALSE(dumpHitAt(DumpUnit::Byte, 3));   // the address
}

TEST(DumpLayout, PagesWindowAndScrollBar) {
    const uint32_t last = 0xBFFF, rows = 16;
    EXPECT_EQ(dumpTopRow(0x000005, 0, last, rows), 0u);
    EXPECT_EQ(dumpTopRow(0x1237, 0, last, rows), 0x1230u);
    // Within the last page: the final full page, ending at `last`.
    EXPECT_EQ(dumpTopRow(last - 5, 0, last, rows), last + 1 - rows * 16);
    EXPECT_EQ(dumpTopRow(0x10, 0, 0x3F, rows), 0u);  // smaller than a page

    // Three pages before, seven in all, clamped to the flash.
    const DumpWindow mid = dumpReadWindow(0x4000, 0, last, rows);
    EXPECT_EQ(mid.start, 0x4000u - 3 * 256);
    EXPECT_EQ(mid.length, 7u * 256);
    EXPECT_TRUE(mid.holds(0x4000 + 3 * 256 + 240));
    EXPECT_FALSE(mid.holds(0x4000 + 4 * 256));
    EXPECT_EQ(dumpReadWindow(0x100, 0, last, rows).start, 0u);
    const DumpWindow end = dumpReadWindow(last + 1 - 256, 0, last, rows);
    EXPECT_EQ(end.start + end.length, last + 1);
    // Paging on from a window: the next seven pages ahead, or the seven behind.
    const uint32_t after = mid.start + mid.length;
    EXPECT_EQ(dumpReadWindow(after, 0, last, rows, mid).start, after);
    const DumpWindow back = dumpReadWindow(mid.start - 256, 0, last, rows, mid);
    EXPECT_EQ(back.start + back.length, mid.start);
    EXPECT_EQ(back.length, 7u * 256);

    const int32_t range = (last + 1) / 16 - 1;
    for (uint32_t top : {0u, 0x10u, 0x1230u, last + 1 - 256}) {
        const int32_t p = dumpScrollPosition(top, 0, last, range);
        EXPECT_EQ(p, int32_t(top / 16));
        EXPECT_EQ(dumpTopOfPosition(p, 0, last, range, rows), top);
    }
    EXPECT_EQ(dumpTopOfPosition(range, 0, last, range, rows), last + 1 - 256);
}

TEST(DumpLayout, EditedFieldsBackToBytes) {
    EXPECT_EQ(dumpValueText(kRow, DumpUnit::Word, false), "3412");
    EXPECT_EQ(dumpValueText(kRow + 4, DumpUnit::Byte, true), "A");
    EXPECT_EQ(dumpValueText(kRow + 5, DumpUnit::Byte, true), ".");
    EXPECT_EQ(dumpFieldBytes("a1b2c3d4", DumpUnit::Long, false),
              (std::vector<uint8_t>{0xD4, 0xC3, 0xB2, 0xA1}));
    EXPECT_EQ(dumpFieldBytes("Z", DumpUnit::Byte, true), std::vector<uint8_t>{'Z'});
    EXPECT_TRUE(dumpFieldBytes("12g4", DumpUnit::Word, false).empty());
    EXPECT_TRUE(dumpFieldBytes("123", DumpUnit::Word, false).empty());
    EXPECT_FALSE(dumpFieldAccepts('G', false));
    EXPECT_TRUE(dumpFieldAccepts('f', false));
    EXPECT_TRUE(dumpFieldAccepts('G', true));
}

TEST(ManualRules, DataText) {
    struct Case {
        const char* text;
        uint32_t first, last;
        int32_t code;
        int32_t hint;
        const char* detail;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"01,,02", 0x1000, 0x1001, 10508, 0, "", {}},
        {"01 , 02", 0x1000, 0x1001, 0, 0, "", {0x01, 0x02}},
        {"100", 0x1000, 0x1000, 10509, 12133, " <100>", {}},
        {"", 0x1000, 0x1000, 10508, 0, "", {}},
        {"0x01", 0x1000, 0x1000, 10510, 12136, " 'x'", {}},
        {"01 02 03", 0x1000, 0x1003, 10518, 0, "", {}},
        {"1 2 3 4 5", 0x1000, 0x1003, 10519, 0, "", {}},
        {"ff\n0A,b 00c", 0x1000, 0x1003, 0, 0, "", {0xFF, 0x0A, 0x0B, 0x0C}},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes;
        const Refusal r = parseDataBytes(c.text, c.first, c.last, bytes);
        EXPECT_EQ(r.code, c.code) << c.text;
        EXPECT_EQ(r.hint, c.hint) << c.text;
        EXPECT_EQ(r.detail, c.detail) << c.text;
        if (!r) {
            EXPECT_EQ(bytes, c.bytes) << c.text;
        }
    }
    EXPECT_EQ(dataText({0x00, 0xAB, 0x0C}), "00 ab 0c ");
}

TEST(ManualRules, AddressesAndBlocks) {
    Session session;
    RecordingOperator op(session);
    DeviceDatabase devices(session, op);
    ASSERT_EQ(devices.load(std::string(OSTRAND_DATA) + "/Ostrand.def"), 0);
    uint32_t a = 0, b = 0;
    EXPECT_EQ(checkAddress("0x100", devices, kDumpAddress, a).code, 10115);

    struct Case {
        const char* device;
        const char* start;
        const char* end;  // nullptr: a dump address; "": a block of `size`
        const char* size;
        int32_t code, hint;
    };
    const Case cases[] = {
        {"KMT12E48", "", nullptr, "", 10514, 0},
        {"KMT12E48", "1000", nullptr, "", 10500, 0},
        {"KMT12E48", "0x12G", nullptr, "", 10500, 0},
        {"KMT12E48", "0xC000", nullptr, "", 10513, 12110},
        {"KMT12E48", " 0XBFFF ", nullptr, "", 0, 0},
        // The data flash area counts for the boot types that have one.
        {"KMV6B256", "0xF1000", nullptr, "", 0, 0},
        {"KMV6B256", "0xF3000", nullptr, "", 10513, 12110},
        {"KMT12E48", "0x100", "", "x", 10507, 0},
        {"KMT12E48", "0x100", "100", "x", 10503, 0},
        {"KMT12E48", "0x100", "0xC000", "x", 10504, 12110},
        {"KMT12E48", "0x200", "0x100", "x", 10505, 12132},
        {"KMT12E48", "", "0x100", "x", 10506, 0},
        {"KMT12E48", "0xC000", "", "4 KB", 10315, 12110},
        {"KMS11G124", "0x2000", "", "8 KB", 10315, 12110},
        {"KMS11G124", "0x2000", "", "4 KB", 0, 0},
        {"KMV7Q3", "0x10000", "", "256 KB", 0, 0},
    };
    for (const Case& c : cases) {
        ASSERT_GE(devices.select(c.device), 0) << c.device;
        Refusal r;
        if (!c.end)
            r = checkAddress(c.start, devices, kDumpAddress, a);
        else if (std::string(c.size) == "x")
            r = checkAddressRange(c.start, c.end, devices, a, b);
        else
            r = checkBlockErase(c.start, c.size, devices, a, b);
        EXPECT_EQ(r.code, c.code) << c.device << " " << c.start;
        EXPECT_EQ(r.hint, c.hint) << c.device << " " << c.start;
    }
    EXPECT_EQ(b, 262144u);  // the last case: "256 KB"
    EXPECT_EQ(blockSizeOf("64 kb"), 65536u);
    EXPECT_EQ(blockSizeOf("512"), 512u);
}

}  // namespace
}  // namespace ostrand
