// The memory image against outside tools, and its SUM, fill, expansion file
// and accessors.
#include <sys/resource.h>

#include <csignal>

#include "objfile_fixture.h"

namespace ostrand::testing {

// Random blocks anywhere in the 512 KiB of the device, some touching, written
// by srec_cat in three formats: each loads exactly, and its expansion file read
// back by srec_cat holds exactly the file's bytes.
TEST_F(ObjFileTest, FilesOfOutsideToolsLoadAndExpandExactly) {
    std::mt19937 rng(20240611);
    std::vector<int> expected(kImageSize, -1);
    std::string inputs;
    uint32_t at = rng() % 0x3000;
    for (int b = 0; b < 6 && at < kImageSize - 0x100; ++b) {
        const uint32_t len = std::min<uint32_t>(1 + rng() % 0x9000, kImageSize - at);
        std::string bytes(len, '\0');
        for (uint32_t i = 0; i < len; ++i)
            expected[at + i] = static_cast<uint8_t>(bytes[i] = char(rng()));
        const fs::path bin = home / ("b" + std::to_string(b) + ".bin");
        writeText(bin, bytes);
        inputs += bin.string() + " -Binary -offset " + std::to_string(at) + " ";
        at += len + (rng() % 2 ? 0 : rng() % 0x8000);
    }
    uint32_t wantSum = 0;
    for (int v : expected) wantSum += v < 0 ? 0xFF : v;
    for (const char* format :
         {"h20 -Intel -address-length=3", "s24 -Motorola -address-length=3 -disable=data-count",
          "s32 -Motorola -address-length=4 -disable=data-count"}) {
        SCOPED_TRACE(format);
        const std::string file = (home / ("sc." + std::string(format, 3))).string();
        ASSERT_EQ(sh("srec_cat " + inputs + "-o " + file + (format + 3)), 0);
        ASSERT_EQ(loadPath(file), 1) << lastMessage();
        size_t wrong = 0, mismatched = 0;
        for (uint32_t i = 0; i < kImageSize; ++i)
            wrong += image.image()[i] != (expected[i] < 0 ? 0xFF : expected[i]);
        EXPECT_EQ(wrong, 0u);
        EXPECT_EQ(image.fileSum(), wantSum & 0xFFFF);
        // Every loaded address is a file address and the other way round.
        std::vector<int> covered(kImageSize, 0);
        for (const auto& r : image.loadedRanges())
            for (uint32_t a = r.start; a <= r.end; ++a) ++covered[a];
        for (uint32_t i = 0; i < kImageSize; ++i)
            mismatched += covered[i] != (expected[i] < 0 ? 0 : 1);
        EXPECT_EQ(mismatched, 0u);

        const fs::path back = home / "back.bin";
        ASSERT_EQ(sh("srec_cat " + image.expansionPath() + " -Intel -fill 0xAA 0 0x80000 -o " +
                     back.string() + " -Binary"),
                  0);
        const std::string bytes = readText(back);
        ASSERT_EQ(bytes.size(), kImageSize);
        wrong = 0;
        for (uint32_t i = 0; i < kImageSize; ++i)
            wrong += static_cast<uint8_t>(bytes[i]) != (expected[i] < 0 ? 0xAA : expected[i]);
        EXPECT_EQ(wrong, 0u);
    }
}

TEST_F(ObjFileTest, ExpansionFileLayouts) {
    // Writer A: 64-byte records, a new segment where a range crosses 64 KiB.
    std::vector<uint8_t> data(32);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
    ASSERT_EQ(loadText("cross.h20", ihex(0, 0xFFF0, data)), 1);
    const std::vector<uint8_t> low(data.begin(), data.begin() + 16),
        high(data.begin() + 16, data.end());
    EXPECT_EQ(image.expansionPath(), (home / "tmp" / "cross.oex").string());
    EXPECT_EQ(readText(image.expansionPath()), ":020000020000FC\n" + ihex(0, 0xFFF0, low) +
                                                   ":020000021000EC\n" + ihex(0, 0x0000, high) +
                                                   kEnd);
    EXPECT_EQ(image.expansionLowAddress(), 0xFFF0u);
    EXPECT_EQ(image.expansionByteCount(), 32u);

    // Writer B: loaded data widened to the whole 128-byte page.
    select("PAGE");
    ASSERT_EQ(loadText("page.h20", ihex(0, 0x8010, std::vector<uint8_t>(17, 0x5A))), 1);
    std::vector<uint8_t> page(128, 0xFF);
    std::fill(page.begin() + 0x10, page.begin() + 0x21, 0x5A);
    EXPECT_EQ(readText(image.expansionPath()), ":020000020000FC\n" + ihex(0, 0x8000, page) + kEnd);
    EXPECT_EQ(image.programByteCount(), 128u);

    // Boot type 12 pages carry no segment record; the closing block is
    // programmed as erased flash when the file leaves it out.
    select("BT12");
    ASSERT_EQ(loadText("b12.h16", ihex(0, 0x0000, {0x12, 0x34})), 1);
    EXPECT_EQ(image.loadedRanges(), (std::vector<AddressRange>{{0, 1}, {0x7FF8, 0x7FFF}}));
    std::vector<uint8_t> first(64, 0xFF), last(64, 0xFF);
    first[0] = 0x12;
    first[1] = 0x34;
    EXPECT_EQ(readText(image.expansionPath()), ihex(0, 0, first) + ihex(0, 0x7FC0, last) + kEnd);
    EXPECT_EQ(image.fileSum(), (0x12 + 0x34 + 0xFF * (0x8000 - 2)) & 0xFFFF);
    EXPECT_EQ(image.programByteCount(), 128u);
    // A file that fills part of the block keeps its bytes.
    ASSERT_EQ(loadText("b12b.h16", ihex(0, 0x7FFA, {0x00})), 1);
    EXPECT_EQ(image.image()[0x7FFA], 0x00);
    EXPECT_EQ(image.loadedRanges(),
              (std::vector<AddressRange>{{0x7FFA, 0x7FFA}, {0x7FF8, 0x7FF9}, {0x7FFB, 0x7FFF}}));

    // A page size that records cannot carry is refused before any file exists.
    select("NOPAGE");
    EXPECT_EQ(loadText("np.h20", ihex(0, 0, {1})), 0);
    EXPECT_EQ(lastMessage(), "10102/136/12104/NOPAGE");
    EXPECT_FALSE(fs::exists(home / "tmp" / "np.oex"));
}

TEST_F(ObjFileTest, FailedExpansionFileIsDeletedAndLoadFails) {
    std::string text;
    for (uint32_t a = 0; a < 0x20000; a += 0x80)
        text += srec('2', 3, a, std::vector<uint8_t>(0x80, 3));
    ASSERT_EQ(loadText("a.s24", text), 1);
    const fs::path oex = home / "tmp" / "a.oex";
    ASSERT_TRUE(fs::exists(oex));
    // A full disk, as far as this process is concerned.
    struct rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const int32_t result = loadPath((home / "a.s24").string());
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(lastMessage(), "10406/122/12109/" + oex.string());
    EXPECT_FALSE(image.loaded());
    EXPECT_TRUE(image.expansionPath().empty());
    EXPECT_FALSE(fs::exists(oex));
}

TEST_F(ObjFileTest, AddressOptionFillAndSum) {
    // ROM area 0x400-0x7FF filled with 0xFF, the rest 0x00; the SUM is that
    // of the whole flash as it will be programmed.
    settings.addressOption = 1;
    settings.dataForNoAddressArea = 0x1FF;
    settings.romArea1Start = 0x400;
    settings.romArea1End = 0x7FF;
    ASSERT_EQ(loadText("a.h20", ihex(0, 0x500, {0x01, 0x02})), 1);
    EXPECT_EQ(image.image()[0x3FF], 0x00);
    EXPECT_EQ(image.image()[0x400], 0xFF);
    EXPECT_EQ(image.image()[0x501], 0x02);
    EXPECT_EQ(image.image()[0x800], 0x00);
    EXPECT_EQ(image.fileSum(), (0xFF * (0x400 - 2) + 3) & 0xFFFF);
    EXPECT_EQ(image.rangesToProgram(), image.deviceRanges());
    EXPECT_EQ(image.programByteCount(), kImageSize);

    // Without the option the SUM area counts erased flash where the file is
    // silent, and only the SUM area counts.
    settings.addressOption = 0;
    select("SMALLSUM");  // SUM area 0x1000-0x1FFF
    ASSERT_EQ(loadText("b.h20", ihex(0, 0x0FFE, {1, 2, 3, 4})), 1);
    EXPECT_EQ(image.fileSum(), (3 + 4 + 0xFF * (0x1000 - 2)) & 0xFFFF);
    EXPECT_EQ(image.rangesToProgram(), image.loadedRanges());
    EXPECT_EQ(image.programByteCount(), 4u);
}

TEST_F(ObjFileTest, SecondFlashArea) {
    select("SECOND");  // 0x0-0x7FFF, then 0x10000-0x13FFF right behind it in the image
    ASSERT_EQ(loadText("a.h20", ihex(0, 0x7FFF, {0xA1}) + ":020000021000EC\n" +
                                    ihex(0, 0x0001, {0xB2, 0xB3})),
              1);
    EXPECT_EQ(image.image()[0x7FFF], 0xA1);
    EXPECT_EQ(image.image()[0x8001], 0xB2);
    EXPECT_EQ(image.secondMin(), 0x10001u);
    EXPECT_EQ(image.secondMax(), 0x10002u);
    // The gap between the areas counts as erased flash.
    EXPECT_EQ(image.fileSum(), (0xA1 + 0xB2 + 0xB3 + 0xFF * (0x14000 - 3)) & 0xFFFF);
    std::vector<uint8_t> buf(4);
    EXPECT_EQ(image.readImage(buf, 0x10001, 2), 1);
    EXPECT_EQ(buf, (std::vector<uint8_t>{0xB2, 0xB3, 0x00, 0x00}));
    // The expansion file goes back to the second area's own addresses.
    EXPECT_EQ(readText(image.expansionPath()), ":020000020000FC\n" + ihex(0, 0x7FFF, {0xA1}) +
                                                   ":020000021000EC\n" +
                                                   ihex(0, 0x0001, {0xB2, 0xB3}) + kEnd);

    // Reading stops at the end of the image.
    select("PLAIN");
    ASSERT_EQ(loadText("b.h20", ihex(0, 0, {1})), 1);
    buf.assign(4, 0x77);
    EXPECT_EQ(image.readImage(buf, 0x7FFFE, 3), 0);
    EXPECT_EQ(buf, (std::vector<uint8_t>{0xFF, 0xFF, 0x00, 0x77}));
}

TEST_F(ObjFileTest, NoticesPasswordsAndSecondFile) {
    select("BT11");
    settings.memSizeEmulat = 124;
    ASSERT_EQ(loadText("a.h20", ":020000021000EC\n" + ihex(0, 0xFFFA, {0x00, 0xFF})), 1);
    EXPECT_EQ(lastMessage(), "12209/0/0/");
    // The same path again: no notices.
    op.messages.clear();
    ASSERT_EQ(loadText("a.h20", ":020000021000EC\n" + ihex(0, 0xFFFA, {0x00, 0x00})), 1);
    EXPECT_TRUE(op.messages.empty());

    // Boot type 8: data byte count for progress, password from the password area.
    select("PW8");
    std::vector<uint8_t> pw{'0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B'};
    ASSERT_EQ(loadText("p.s24", srec('2', 3, 0xFFC0, pw) + srec('2', 3, 0x100, {1, 2, 3})), 1);
    EXPECT_EQ(session.ObjectDataByteCount, 15);
    EXPECT_EQ(image.programByteCount(), 15u);
    EXPECT_TRUE(image.objectPassword().present);
    EXPECT_EQ(image.objectPassword().text, "303132333435363738394142");
    EXPECT_EQ(image.objectPassword().cmpAdd, 0xFFC0u);

    // The second file: own buffer filled with 0x00, no SUM or expansion file.
    const std::string expansion = image.expansionPath();
    writeText(home / "second.s24", srec('2', 3, 0x200, {7, 8}));
    EXPECT_EQ(image.loadSecondFile((home / "second.s24").string()), 1);
    EXPECT_EQ(image.secondImage()[0x200], 7);
    EXPECT_EQ(image.secondImage()[0x202], 0x00);
    EXPECT_EQ(image.secondLoadedRanges(), (std::vector<AddressRange>{{0x200, 0x201}}));
    EXPECT_EQ(image.image()[0x200], 0xFF);
    EXPECT_EQ(image.expansionPath(), expansion);
    writeText(home / "bad.s24", srec('2', 3, 0x200, {7}) + srec('2', 3, 0x200, {7}));
    EXPECT_EQ(image.loadSecondFile((home / "bad.s24").string()), 0);
    EXPECT_EQ(op.last()->code, 10213);
    EXPECT_TRUE(image.loaded());  // the main image is untouched
}

}  // namespace ostrand::testing
