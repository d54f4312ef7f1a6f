// Overlap marking, overlay files, and the -ra, -rb and -P range and block options.
#include "mervel_fixture.h"

namespace mervel_test {
namespace {

using ieee695::Bytes;
using ieee695::Module;
using ieee695::sequence;

class Sections : public MervelTest {
  protected:
    std::map<uint32_t, uint8_t> read(const std::string& name, bool intel = true) {
        auto s = srecCat(name, intel);
        EXPECT_EQ(s.code, 0) << name << s.err;
        EXPECT_EQ(s.err, "") << name;
        return s.bytes;
    }
    static std::map<uint32_t, uint8_t> at(uint32_t address, const Bytes& b) {
        std::map<uint32_t, uint8_t> m;
        for (size_t i = 0; i < b.size(); ++i) m[address + uint32_t(i)] = b[i];
        return m;
    }
};

TEST_F(Sections, OverlappingSectionsGoToOverlayFiles) {
    Module m;
    m.section(1, "A", 0x0000, 0x100).section(2, "B", 0x0080, 0x100);
    m.load(1, 0, sequence(0x100, 1)).load(2, 0x80, sequence(0x100, 2));
    auto r = convert(m, {"-o", "a.h16"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_FALSE(exists("a.h16"));

    // Touching the last address overlaps; the next address does not.
    Module touch;
    touch.section(1, "A", 0x1000, 0x10).section(2, "B", 0x100F, 1).section(3, "C", 0x1010, 1);
    touch.load(1, 0x1000, sequence(16)).load(2, 0x100F, {0xEE}).load(3, 0x1010, {0xCC});
    // Overlay names cut the file name, not the folder, at its first '.'.
    fs::create_directories(path("dir.x"));
    r = convert(touch, {"-Fs16", "-o", "dir.x/t.s16"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(read("dir.x/t.o00", false), at(0x1000, sequence(16)));
    EXPECT_EQ(read("dir.x/t.o01", false), at(0x100F, {0xEE}));
    EXPECT_EQ(read("dir.x/t.s16", false), at(0x1010, {0xCC}));
}

TEST_F(Sections, OverlayNumbersFollowTheExchangeSort) {
    // Sorted: TWO, THREE (both at 0), ONE, BIG, SMALL, LATE. Only neighbours are
    // compared, so LATE, inside BIG but next to SMALL only, stays in the main file.
    Module m;
    m.section(1, "ONE", 0x100, 0x80).section(2, "TWO", 0, 0x80).section(3, "THREE", 0, 0x80);
    m.section(4, "BIG", 0x1000, 0x1000).section(5, "SMALL", 0x1100, 0x10);
    m.section(6, "LATE", 0x1800, 0x10);
    m.load(1, 0x100, {1}).load(2, 0, {2}).load(3, 0, {3}).load(4, 0x1000, {4});
    m.load(5, 0x1100, {5}).load(6, 0x1800, {6});
    auto r = convert(m, {"-Fs24", "-l"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(read("a.o00", false), at(0, {2}));
    EXPECT_EQ(read("a.o01", false), at(0, {3}));
    EXPECT_EQ(read("a.o02", false), at(0x1000, {4}));
    EXPECT_EQ(read("a.o03", false), at(0x1100, {5}));
    EXPECT_EQ(read("a.s24", false), (std::map<uint32_t, uint8_t>{{0x100, 1}, {0x1800, 6}}));
    EXPECT_NE(r.err.find("\r\nOVERLAY FILE     : a.o00\r\n"
                         "Section Name                      Address   Address   Size\r\n" +
                         std::string(34, ' ') + "(Orignal) (Offset)\r\n" + std::string(61, '-') +
                         "\r\nTWO" + std::string(31, ' ') + "       0  --------       80\r\n"),
              std::string::npos)
        << r.err;
}

TEST_F(Sections, OverlaySelectedAgainKeepsItsData) {
    Module m;
    m.section(1, "A", 0, 0x40).section(2, "B", 0x20, 0x40).section(3, "M", 0x1000, 0x10);
    m.load(1, 0, sequence(0x10)).load(2, 0x20, sequence(0x10, 0x50));
    m.load(3, 0x1000, {9}).load(1, 0x30, sequence(0x10, 0x30)).asg(0x30);
    auto r = convert(m, {"-Fh20"});
    EXPECT_EQ(r.code, 0) << r.err;
    auto a = at(0, sequence(0x10));
    for (auto [k, v] : at(0x30, sequence(0x10, 0x30))) a[k] = v;
    EXPECT_EQ(read("a.o00"), a);
    auto l = lines(file("a.o00"));
    EXPECT_EQ(std::count(l.begin(), l.end(), ":00000001FF"), 1);
    EXPECT_EQ(l[l.size() - 2], ":0400000300000030C9");
    EXPECT_EQ(read("a.o01"), at(0x20, sequence(0x10, 0x50)));
    EXPECT_EQ(read("a.h20"), at(0x1000, {9}));
}

class Ranges : public Sections {
  protected:
    static Module module() {
        Module m;
        m.section(1, "CODE", 0x1000, 0x20).section(2, "DATA", 0x2000, 0x40);
        m.load(1, 0x1000, sequence(0x20)).load(2, 0x2010, sequence(0x10, 0xA0));
        return m;
    }
};

TEST_F(Ranges, AddressModes) {
    auto r =
        convert(module(), {"-ra", "0x1008,8,+0x100,add.h16", "-ra0x1000,0x20,-0x1000,sub.s16",
                           "-Fh16", "-ra", "0x1010,0,0x40,move.h16", "-ra", ",0x1010,,keep.h16"});
    EXPECT_EQ(r.code, 0) << r.err;
    auto code = [](uint32_t from, uint32_t n, uint32_t to) {
        std::map<uint32_t, uint8_t> m;
        for (uint32_t i = 0; i < n; ++i) m[to + i] = uint8_t(from - 0x1000 + i);
        return m;
    };
    EXPECT_EQ(read("add.h16"), code(0x1008, 8, 0x1108));
    EXPECT_EQ(read("sub.s16"), code(0x1000, 0x20, 0));
    auto moved = code(0x1010, 0x10, 0x40);
    for (uint32_t i = 0; i < 0x10; ++i) moved[0x40 + 0x1000 + i] = uint8_t(0xA0 + i);
    EXPECT_EQ(read("move.h16"), moved);
    EXPECT_EQ(read("keep.h16"), code(0x1000, 0x10, 0x1000));
    EXPECT_FALSE(exists("a.h16"));

    r = convert(module(), {"-ra", "0x1000,0x10,-0x1001,bad.h16"});
    EXPECT_EQ(r.err, fatalLine(152, "Too large address"));
    r = convert(module(), {"-Fs32", "-ra", "0x1000,0x10,+0xFFFFF000,bad.s32"});
    EXPECT_EQ(r.err, fatalLine(153, "Load address overflow"));
    EXPECT_FALSE(exists("bad.s32"));
}

TEST_F(Ranges, SectionRangesAndListing) {
    auto r = convert(module(), {"-rb", "DATA,0x18,,d.s24", "-Fs24", "-rbCODE,4,0x5000,d.s24", "-lf",
                                "list.txt"});
    EXPECT_EQ(r.code, 0) << r.err;
    auto expected = at(0x2010, sequence(8, 0xA0));
    for (auto [k, v] : at(0x5000, sequence(4))) expected[k] = v;
    EXPECT_EQ(read("d.s24", false), expected);
    const std::string head = "Section Name/Padding              Address   Address   Size";
    std::vector<std::string> want = {
        "CPU Name         : KRXA-R30",
        "Input  file name : a.abs",
        "Output file name : d.s24          *** Motorola S-24 format ***",
        "",
        head,
        std::string(34, ' ') + "(Orignal) (Offset)",
        std::string(62, '-'),
        "DATA" + std::string(29, ' ') + "     2010  --------        30 *",
        "CODE" + std::string(29, ' ') + "     1000      5000        20",
        "",
    };
    EXPECT_EQ(lines(file("list.txt")), want);

    r = convert(module(), {"-rb", "NOPE,,,x.h16"});
    EXPECT_EQ(r.err, fatalLine(115, "Can't find section \"NOPE\""));
}

TEST_F(Ranges, PaddedBlocks) {
    auto r = convert(module(), {"-P", "0x2000,0x40,0x1FF,p.h16", "-l", "-o", "x.h16"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err.find("MERVEL-Warning-516 : Ignored option \"-o\"\n"), 0u);
    std::map<uint32_t, uint8_t> expected;
    for (uint32_t a = 0x2000; a < 0x2040; ++a) expected[a] = 0xFF;
    for (auto [k, v] : at(0x2010, sequence(0x10, 0xA0))) expected[k] = v;
    EXPECT_EQ(read("p.h16"), expected);
    EXPECT_FALSE(exists("x.h16"));
    // Fills are listed in address order with the data.
    const std::string fill = "Padding(ff)" + std::string(22, ' ') + "     20";
    EXPECT_NE(r.err.find(fill + "00  --------        10\r\nDATA"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("*\r\n" + fill + "20  --------        20\r\n"), std::string::npos);

    // A block without a file name joins the first named file.
    r = convert(module(), {"-ra", "0x1000,0x20,,f.s16", "-P", "0x3000,4,0xAA", "-Fs16"});
    EXPECT_EQ(r.code, 0) << r.err;
    expected = at(0x1000, sequence(0x20));
    for (uint32_t a = 0x3000; a < 0x3004; ++a) expected[a] = 0xAA;
    EXPECT_EQ(read("f.s16", false), expected);
}

TEST_F(Ranges, DefinitionErrors) {
    struct Case {
        std::vector<std::string> args;
        std::string err;
        int code = 128;
    } cases[] = {
        {{"-ra", "0x9000,0x10,,x.h16"}, fatalLine(116, "Can't find object in the area")},
        {{"-ra", "0x1000,0x20,,x.h16", "-ra", "0x1010,0x20,0x1100,x.h16"}, "", 0},
        {{"-ra", "0x1000,0x20,,x.h16", "-ra", "0x2000,0x20,0x1010,x.h16"},
         fatalLine(155, "Address overlap in \"x.h16\""),
         192},
        {{"-ra", "0x1000,0x20,,x.h16", "-P", "0,0x10,0,y.h16"},
         fatalLine(112, "Illegal output file \"y.h16\"")},
        {{"-ra", "0x1000"}, fatalLine(105, "Bad parameter syntax")},
        {{"-P", "0,0,0,x.h16"}, fatalLine(113, "Illegal numeric constant")},
        {{"-ra", "0x1G,2"}, fatalLine(113, "Illegal numeric constant")},
        {{"-ra", "4294967296,2"}, fatalLine(113, "Illegal numeric constant")},
        {{"-ra", "0,0x10K"}, fatalLine(113, "Illegal numeric constant")},
        {{"-ra", "08,1"}, fatalLine(113, "Illegal numeric constant")},
        {{"-ra", "0,1,,a+b"}, fatalLine(101, "Illegal file specification")},
    };
    for (const auto& c : cases) {
        auto r = convert(module(), c.args);
        EXPECT_EQ(r.err, c.err) << c.args[1];
        EXPECT_EQ(r.code, c.code) << c.args[1];
    }
    // Numbers: octal, binary, K and M, and the suffix notation of -H.
    auto r = convert(module(), {"-ra", "010000,0y100000,,o.h16", "-ra", "8192,1K,,k.h16"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(read("o.h16").size(), 0x20u);
    EXPECT_EQ(read("k.h16").size(), 0x10u);
    writeFile(path("cmd.txt"), "-ra 1000H,20H,,h.h16 -ra 10000Q,100000B,10D,q.h16\n-H");
    r = convert(module(), {"-f", "cmd.txt"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(read("h.h16").size(), 0x20u);
    EXPECT_EQ(read("q.h16").size(), 0x20u);
}

TEST_F(Ranges, BlockOverOverlappedSectionIsAmbiguous) {
    Module m;
    m.section(1, "A", 0, 0x100).section(2, "B", 0x80, 0x100);
    m.load(1, 0, {1}).load(2, 0x80, {2});
    auto r = convert(m, {"-P", "0,0x100,0,x.h16"});
    EXPECT_EQ(r.err, fatalLine(114, "Ambiguous point in block definition"));
    EXPECT_EQ(convert(m, {"-P", "0,0x80,0,x.h16"}).code, 0);
}

}  // namespace
}  // namespace mervel_test
