// The five output formats: records, segments, limits, end records and comments, each
// read back by srec_cat.
#include "mervel_fixture.h"

namespace mervel_test {
namespace {

using ieee695::Bytes;
using ieee695::Module;
using ieee695::sequence;

class Records : public MervelTest {};

struct FormatCase {
    const char* option;
    const char* file;
    bool intel;
    std::string end;  // the records that end the file, for a start address of 0x1008
};
const FormatCase Formats[] = {
    {"-Fh16", "a.h16", true, ":00000001FF\r\n"},  // no start address in this format
    {"-Fh20", "a.h20", true, ":0400000300001008E1\r\n:00000001FF\r\n"},
    {"-Fs16", "a.s16", false, "S9031008E4\r\n"},
    {"-Fs24", "a.s24", false, "S804001008E3\r\n"},
    {"-Fs32", "a.s32", false, "S70500001008E2\r\n"}};

TEST_F(Records, EveryFormatReadsBackWithSrecCat) {
    Module m;
    m.section(1, "CODE", 0x1008, 0x20).section(2, "DATA", 0x8000, 0x10);
    m.section(3, "TOP", 0xFFE3, 0x1D);
    m.load(1, 0x1008, sequence(20, 0x40));
    m.sb(2).asp(2, 0x8000).re(3, {0xDE, 0xAD, 0xBE, 0xEF, 0x01}).ld({0x77});
    m.load(3, 0xFFE3, sequence(0x1D, 0x90));
    m.asg(0x1008);
    for (const auto& f : Formats) {
        auto r = convert(m, {f.option});
        EXPECT_EQ(r.code, 0) << f.option << r.err;
        auto s = srecCat(f.file, f.intel);
        EXPECT_EQ(s.code, 0) << f.option;
        EXPECT_EQ(s.err, "") << f.option;
        EXPECT_EQ(s.bytes, m.image) << f.option;
        for (const auto& line : lines(file(f.file))) {  // upper-case hex digits only
            EXPECT_LE(line.size(), 2u + 2 + 8 + 32 + 2) << line;
            EXPECT_EQ(line.find_first_of("abcdef"), std::string::npos) << line;
        }
        const std::string text = file(f.file);
        EXPECT_EQ(text.find("\n\n"), std::string::npos);
        ASSERT_GT(text.size(), f.end.size());
        EXPECT_EQ(text.substr(text.size() - f.end.size()), f.end);
    }
    // Records end at 16-byte boundaries.
    auto h16 = lines(file("a.h16"));
    EXPECT_EQ(h16[0].rfind(":081008004041424344454647", 0), 0u);
    EXPECT_EQ(h16[1].rfind(":0C101000", 0), 0u);
}

TEST_F(Records, HighAddressesAndSegments) {
    Module m;
    m.section(1, "LOW", 0x1FFF8, 0x10).load(1, 0x1FFF8, sequence(16));
    m.section(2, "HIGH", 0xFFFF0, 0x10).load(2, 0xFFFF0, sequence(16, 0x80));
    auto r = convert(m, {"-Fh20"});
    EXPECT_EQ(r.code, 0) << r.err;
    auto l = lines(file("a.h20"));
    ASSERT_GE(l.size(), 6u);
    EXPECT_EQ(l[0], ":020000021000EC");
    EXPECT_EQ(l[1].rfind(":08FFF800", 0), 0u);
    EXPECT_EQ(l[2], ":020000022000DC");
    EXPECT_EQ(l[3].rfind(":08000000", 0), 0u);
    EXPECT_EQ(l[4], ":02000002F0000C");
    EXPECT_EQ(l.back(), ":00000001FF");
    auto s = srecCat("a.h20", true);
    EXPECT_EQ(s.err, "");
    EXPECT_EQ(s.bytes, m.image);
}

TEST_F(Records, AddressLimits) {
    struct Case {
        const char* option;
        uint32_t address;
        size_t count;
        int message;
    } cases[] = {
        {"-Fh16", 0x10000, 1, 152}, {"-Fs16", 0xFFFE, 4, 153},   {"-Fh20", 0x100000, 1, 152},
        {"-Fh20", 0xFFFFF, 2, 153}, {"-Fs24", 0xFFFFFE, 4, 153}, {"-Fs32", 0xFFFFFFFE, 4, 153},
        {"-Fs16", 0xFFFF, 1, 0},    {"-Fs24", 0xFFFFF0, 16, 0},  {"-Fs32", 0xFFFFFFF0, 16, 0},
    };
    for (const auto& c : cases) {
        Module m;
        m.section(1, "S", c.address, uint32_t(c.count)).load(1, c.address, sequence(c.count));
        auto r = convert(m, {c.option, "-o", "out.x"});
        if (c.message == 0) {  // the top of the address space
            EXPECT_EQ(r.code, 0) << r.err;
            EXPECT_EQ(srecCat("out.x", false).bytes, m.image) << c.option;
            continue;
        }
        EXPECT_EQ(r.code, 192) << c.option;
        EXPECT_EQ(r.err, fatalLine(c.message, c.message == 152 ? "Too large address"
                                                               : "Load address overflow"))
            << c.option;
        EXPECT_FALSE(exists("out.x"));
    }
    // A huge repeat count is refused at once, not after gigabytes of records.
    Module m;
    m.section(1, "S", 0, 0x100).sb(1).asp(1, 0).re(0xFFFFFFFF, sequence(128));
    auto r = convert(m, {"-Fs32"});
    EXPECT_EQ(r.code, 192);
    EXPECT_EQ(r.err, fatalLine(153, "Load address overflow"));
}

TEST_F(Records, EndRecordsWithoutStartAddressOrBeforeTheData) {
    Module plain;
    plain.section(1, "S", 0x100, 4).load(1, 0x100, {1, 2, 3, 4});
    ASSERT_EQ(convert(plain, {"-Fh20"}).code, 0);
    EXPECT_EQ(file("a.h20"), ":0401000001020304F1\r\n:00000001FF\r\n");
    ASSERT_EQ(convert(plain, {"-Fs32"}).code, 0);
    EXPECT_EQ(file("a.s32"), "S3090000010001020304EB\r\nS70500000000FA\r\n");
    // A start address read before the data still ends the file, after all its data.
    Module early;
    early.section(1, "S", 0x100, 4).asg(0x100).load(1, 0x100, {1, 2, 3, 4});
    ASSERT_EQ(convert(early, {"-Fs16"}).code, 0);
    EXPECT_EQ(lines(file("a.s16")).back(), "S9030100FB");
}

TEST_F(Records, Comments) {
    Module m;
    m.section(1, "S", 0x100, 4).load(1, 0x100, {1, 2, 3, 4});
    auto r = convert(m, {"-Fh16", "-cc", ":abc"});
    EXPECT_EQ(r.err, "MERVEL-Warning-500 : Illegal character in Comment\n\n");
    EXPECT_EQ(lines(file("a.h16"))[0], "abc");
    auto s = srecCat("a.h16", true);
    EXPECT_EQ(s.bytes, m.image);

    // A comment file, read up to 0x1A; a line of it that begins with ':' loses the ':'.
    writeFile(path("note.txt"), std::string("first line\n:second\r\n\x1Aignored"));
    r = convert(m, {"-Fh20", "-cf", "note.txt", "-cc", "  tail"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(file("a.h20").substr(0, 32), "first line\nsecond\r\ntail\r\n:040100");
    EXPECT_EQ(srecCat("a.h20", true).bytes, m.image);

    // -cc keeps 256 characters, in S0 records of 128 (with CR LF, address and checksum).
    r = convert(m, {"-Fs24", "-cc", std::string(300, 'x')});
    EXPECT_EQ(r.err, "MERVEL-Warning-501 : Comment too long\n\n");
    auto l = lines(file("a.s24"));
    EXPECT_EQ(l[0].substr(0, 4), "S085");
    EXPECT_EQ(l[1].substr(0, 4), "S085");
    EXPECT_EQ(l[2].substr(0, 2), "S2");
    s = srecCat("a.s24", false);
    EXPECT_EQ(s.err, "srec_cat: a.s24: 2: warning: redundant header record\n");
    EXPECT_EQ(s.bytes, m.image);
}

}  // namespace
}  // namespace mervel_test
