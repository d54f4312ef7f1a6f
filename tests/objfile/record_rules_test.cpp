// What the readers accept and refuse, each refusal with its number and place.
#include "objfile_fixture.h"

namespace ostrand::testing {

namespace {

struct RuleCase {
    const char* what;
    const char* name;
    std::string text;
    std::string expect;  // "ok", "no end" (loads, end record missing) or "code/place/hint"
    const char* device = "PLAIN";
};

const std::vector<uint8_t> kData{0x11, 0x22};

std::vector<RuleCase> ruleCases() {
    const std::string data = ihex(0, 0x0100, kData);
    const std::string start = ihex(3, 0, {0, 0, 1, 0});
    return {
        {"end record", "a.h20", data + kEnd, "ok"},
        {"no end record", "a.h20", data, "no end"},
        {"empty line", "a.h20", data + "\n" + kEnd, "10202/155/12122"},
        {"CR LF line ends", "a.h20", ":020100001122CA\r\n:00000001FF\r\n", "ok"},
        {"lower-case end record", "a.h20", data + ":00000001ff\n", "ok"},
        {"lines after the end record", "a.h20", kEnd + data, "no end"},
        {"no colon", "a.h16", "020100001122CA\n", "10202/155/12122"},
        {"segment in 16-bit file", "a.h16", ":020000020000FC\n" + data, "10202/151/0"},
        {"segment low byte not 00", "a.h20", ":02000002F00A02\n" + data, "10202/153/12122"},
        {"segment checksum", "a.h20", ":020000020000FD\n" + data, "10202/152/12122"},
        {"start address in 20-bit file", "a.h20", ":0400000300001234B3\n" + data, "no end"},
        {"start address before the end", "a.h20", data + start + kEnd, "ok"},
        {"start address in lower case", "a.h20", data + ":04000003000abcde55\n" + kEnd, "ok"},
        {"start address checksum", "a.h20", ":0400000300001234B4\n" + data, "10202/154/12122"},
        {"start address not at 0000", "a.h20", data + ":04001003000001000E5\n", "10202/154/12122"},
        {"start address of two bytes", "a.h20", data + ":0200000301000FA\n", "10202/154/12122"},
        {"start address a digit short", "a.h20", data + ":040000030000010F8\n", "10202/154/12122"},
        {"start address a byte long", "a.h20", data + ":0400000300000100F8FF\n", "10202/154/12122"},
        {"start address not hex", "a.h20", data + ":04000003000001G0F8\n", "10202/154/12122"},
        {"start address in 16-bit file", "a.h16", ":0400000300001234B3\n" + data,
         "10202/154/12122"},
        {"linear address record", "a.h20", ihex(4, 0, {0, 0}) + data, "10202/154/12122"},
        {"bad end record", "a.h20", data + ":00000001FE\n", "10202/154/12122"},
        {"data checksum", "a.h20", ":020100001122CB\n", "10202/160/12122"},
        {"non-hex data", "a.h20", ":02010000112GCA\n", "10202/160/12122"},
        {"two records on a line", "a.h20", ":020100001122CA:02010200334484\n", "10202/160/12122"},
        {"short record", "a.h20", ":0201000011\n", "10202/160/12122"},
        {"endless line", "a.h20", ":" + std::string(3 << 20, '0'), "10202/160/12122"},
        {"only an end record", "a.h20", kEnd, "10202/4/12122"},
        {"data record of no bytes", "a.h20", ihex(0, 0x10, {}) + kEnd, "10202/4/12122"},
        {"S1 in 24-bit file", "a.s24", srec('1', 2, 0x100, kData), "10202/157/12122"},
        {"S8 end record", "a.s24", srec('2', 3, 0x100, {1}) + "S804000100FA\n", "ok"},
        {"no S8 end record", "a.s24", srec('2', 3, 0x100, {1}), "no end"},
        {"S1 S2 S3 in 16-bit file", "a.s16",
         srec('0', 2, 0, {'H'}) + srec('1', 2, 0x100, kData) + srec('2', 3, 0x200, kData) +
             srec('3', 4, 0x300, kData) + srec('9', 2, 0, {}),
         "ok"},
        {"S2 in 32-bit file", "a.s32", srec('2', 3, 0x100, kData), "10202/157/12122"},
        {"S8 in 32-bit file", "a.s32", srec('3', 4, 0x100, kData) + srec('8', 3, 0, {}),
         "10202/157/12122"},
        {"count record", "a.s16", srec('1', 2, 0x100, kData) + srec('5', 2, 1, {}),
         "10202/157/12122"},
        {"header checksum", "a.s24", "S00600004844521C\n" + srec('2', 3, 0x100, kData),
         "10202/156/12122"},
        {"end record checksum", "a.s24", srec('2', 3, 0x100, kData) + "S804000000FA\n",
         "10202/157/12122"},
        {"data checksum", "a.s24", "S2060001001122C6\n", "10202/160/12122"},
        {"no S", "a.s24", srec('2', 3, 0x100, kData) + "\n", "10202/158/12122"},
        {"lower-case s", "a.s24", "s2060001001122C5\n", "10202/158/12122"},
        {"not an object file type", "a.hex", ihex(0, 0, kData), "10201/4/0"},
        // The second record's last byte falls on the first record; one that covers
        // an earlier one whole overwrites it just the same.
        {"overlap of one byte", "a.h20", ihex(0, 0x10, {1, 2, 3, 4}) + ihex(0, 0x0E, {5, 6, 7}),
         "10213/15/12122"},
        {"overlap of a whole record", "a.h20",
         ihex(0, 0x10, {1}) + ihex(0, 0x08, std::vector<uint8_t>(16, 0)), "10213/15/12122"},
        // Single-chip 0x10000-0x1FFFF is single-boot 0x0-0xFFFF; .h20 files are in
        // single-boot addresses, so 0x10100 lies beyond the flash.
        {"beyond the flash", "b.h20", ":020000021000EC\n" + ihex(0, 0x100, kData),
         "10205/152/12108", "OFFS"},
        {"running over the end", "c.s24", srec('2', 3, 0xFFFF, kData), "10205/152/12108", "OFFS"},
        {"wrapping past 32 bits", "d.s32", srec('3', 4, 0xFFFFFFFF, kData), "10205/152/12108",
         "OFFS"},
        {"flash beyond the image", "e.s24", srec('2', 3, 0x80000, kData), "10205/151/12108",
         "BIG"},  // 1 MiB of flash
    };
}

}  // namespace

TEST_F(ObjFileTest, RecordRules) {
    for (const auto& c : ruleCases()) {
        SCOPED_TRACE(c.what);
        select(c.device);
        op.messages.clear();
        const int32_t result = loadText(c.name, c.text);
        if (c.expect == "ok" || c.expect == "no end") {
            EXPECT_EQ(result, 1) << lastMessage();
            EXPECT_TRUE(image.loaded());
            EXPECT_EQ(image.endRecordMissing(), c.expect == "no end");
        } else {
            EXPECT_EQ(result, 0);
            EXPECT_FALSE(image.loaded());
            EXPECT_EQ(lastMessage(), c.expect + "/" + (home / c.name).string());
            EXPECT_TRUE(image.expansionPath().empty());
        }
    }
}

TEST_F(ObjFileTest, UnreadableFiles) {
    EXPECT_EQ(fileTypeOf("/x/prog.H20"), kFileH20);  // the type ignores case
    EXPECT_EQ(loadPath((home / "missing.h20").string()), 0);
    EXPECT_EQ(lastMessage(), "10200/4/0/" + (home / "missing.h20").string());

    // No path: nothing to do, nothing loaded.
    EXPECT_EQ(loadPath(""), 1);
    EXPECT_FALSE(image.loaded());

    // No device selected.
    devices.deselect();
    EXPECT_EQ(loadText("a.h20", ihex(0, 0, kData)), 0);
    EXPECT_EQ(lastMessage(), "10115/4/12135/");
}

// A record that fills a gap exactly is no overlap; consecutive records give one
// range, a gap of one byte two. Single-chip S-record addresses move to single boot.
TEST_F(ObjFileTest, LoadedRanges) {
    EXPECT_EQ(loadText("c.h20", ihex(0, 0x10, {1}) + ihex(0, 0x12, {3}) + ihex(0, 0x11, {2})), 1);
    EXPECT_EQ(image.loadedRanges(),
              (std::vector<AddressRange>{{0x10, 0x10}, {0x12, 0x12}, {0x11, 0x11}}));
    EXPECT_EQ(loadText("d.h20", ihex(0, 0x10, {1, 2}) + ihex(0, 0x12, {3}) + ihex(0, 0x14, {4})),
              1);
    EXPECT_EQ(image.loadedRanges(), (std::vector<AddressRange>{{0x10, 0x12}, {0x14, 0x14}}));
    select("OFFS");
    ASSERT_EQ(loadText("a.s24", srec('2', 3, 0x10100, kData)), 1);
    EXPECT_EQ(image.loadedRanges(), (std::vector<AddressRange>{{0x100, 0x101}}));
    EXPECT_EQ(image.image()[0x100], 0x11);
}

}  // namespace ostrand::testing
