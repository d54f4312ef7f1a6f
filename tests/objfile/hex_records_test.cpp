// The one Intel HEX record writer: a segment record at every 64 KiB block
// (none where the device has none), and files that srec_cat reads back byte
// for byte.
#include "objfile/hex_records.h"
#include "objfile_fixture.h"

namespace ostrand::testing {

namespace {

// The pattern of the byte at `address`.
uint8_t patternAt(uint32_t address) {
    return static_cast<uint8_t>(address * 7 + (address >> 8) + 3);
}

}  // namespace

// A file written in pieces, as a save writes it, over three 64 KiB blocks:
// one segment record per block, and srec_cat finds every byte where it was.
TEST_F(ObjFileTest, SrecCatReadsBackAFileWrittenInPieces) {
    struct Case {
        uint32_t start, count;
        bool segments;
        size_t segmentRecords;
    };
    for (const Case& c : {Case{0xFFF3, 0x10112, true, 3}, Case{0x8001, 0x7FFF, false, 0}}) {
        std::vector<uint8_t> bytes(c.count);
        for (uint32_t i = 0; i < c.count; ++i) bytes[i] = patternAt(c.start + i);
        std::string text;
        SegmentState state;
        for (uint32_t done = 0; done < c.count; done += 0x2000)
            text +=
                memoryFileRecords(c.start + done, bytes.data() + done,
                                  std::min<uint32_t>(0x2000, c.count - done), c.segments, state);
        text += kHexEndRecord;
        size_t segmentRecords = 0;
        for (size_t at = text.find(":02000002"); at != std::string::npos;
             at = text.find(":02000002", at + 1))
            ++segmentRecords;
        EXPECT_EQ(segmentRecords, c.segmentRecords) << std::hex << c.start;

        writeText(home / "saved.hex", text);
        const fs::path back = home / "back.bin";
        ASSERT_EQ(
            sh("srec_cat " + (home / "saved.hex").string() + " -Intel -fill 0xEE 0 0x30000 -o " +
               back.string() + " -Binary 2> " + (home / "srec.err").string()),
            0);
        EXPECT_EQ(readText(home / "srec.err"), "");
        const std::string image = readText(back);
        ASSERT_EQ(image.size(), 0x30000u);
        size_t wrong = 0;
        for (uint32_t a = 0; a < 0x30000; ++a) {
            const bool inside = a >= c.start && a < c.start + c.count;
            wrong += static_cast<uint8_t>(image[a]) != (inside ? patternAt(a) : 0xEE);
        }
        EXPECT_EQ(wrong, 0u) << std::hex << c.start;
    }
}

}  // namespace ostrand::testing
