// The IEEE-695 reader: header, attributes, sections and the records of the data part.
#include <functional>

#include "mervel_fixture.h"

namespace mervel_test {
namespace {

using ieee695::Bytes;
using ieee695::Module;
using ieee695::sequence;

class ObjectReader : public MervelTest {
  protected:
    RunResult convertBytes(const Bytes& bytes, std::vector<std::string> args = {"-Fs32"}) {
        writeFile(path("a.abs"), bytes);
        args.insert(args.begin(), "-$");
        args.push_back("a.abs");
        return run(args);
    }
    static Module base() {
        Module m;
        m.section(1, "CODE", 0x1000, 0x20).load(1, 0x1000, sequence(0x20));
        return m;
    }
};

const std::string Bad151 = fatalLine(151, "Bad object format");
const std::string Bad150 = fatalLine(150, "Not an absolute object format");

TEST_F(ObjectReader, MalformedModulesAreRefused) {
    struct Case {
        const char* what;
        std::function<void(Module&)> change;
        std::string err;
        Bytes raw = {};  // put in the data part after the change
    } cases[] = {
        {"relocatable", [](Module& m) { m.objectType = 2; }, Bad150},
        {"producer failed", [](Module& m) { m.producerStatus = 3; }, Bad151},
        {"number lead 0x85", nullptr, Bad151, {0xE5, 0x85, 0, 0, 0, 0, 0}},
        {"ASP of another section",
         [](Module& m) { m.section(2, "D", 0, 4).sb(1).asp(2, 0x10).ld({1}); }, Bad151},
        {"load with relocation", nullptr, Bad150, {0xE4, 0x01}},
        {"unknown record", nullptr, Bad151, {0xE7}},
        {"no module end", [](Module& m) { m.endRecord = false; }, Bad151},
        {"truncated load", [](Module& m) { m.endRecord = false; }, Bad151, {0xED, 0x10, 1, 2}},
        {"repeat without load", nullptr, Bad151, {0xF7, 0x02, 0xE5, 0x01}},
        {"repeat of 129 bytes", [](Module& m) { m.re(2, sequence(129)); }, Bad151},
        {"section index 0", nullptr, Bad151, {0xE5, 0x00}},
        {"section index 1001", [](Module& m) { m.section(1001, "FAR", 0, 1).load(1001, 0, {1}); },
         fatalLine(154, "Out of memory")},
        {"data of an undefined section", [](Module& m) { m.load(7, 0x10, {1}); }, Bad151},
        {"processor name with 0x80", [](Module& m) { m.processor = "K\x80"; }, Bad151},
        {"section defined twice", [](Module& m) { m.section(1, "CODE2", 0, 4); }, Bad151},
    };
    for (const auto& c : cases) {
        Module m = base();
        if (c.change) c.change(m);
        m.raw(c.raw);
        auto r = convertBytes(m.build());
        EXPECT_EQ(r.code, 192) << c.what;
        EXPECT_EQ(r.err, c.err) << c.what;
        EXPECT_FALSE(exists("a.s32")) << c.what;
    }
}

TEST_F(ObjectReader, HeaderChecks) {
    Bytes b = base().build();
    b[0] = 0xE8;
    EXPECT_EQ(convertBytes(b).err, Bad151);

    Module m = base();
    m.producerStatus = 0;
    EXPECT_EQ(convertBytes(m.build()).code, 0);
}

TEST_F(ObjectReader, SectionsAndNumbers) {
    Module m;
    m.section(1, "CODE", 0x1000, 0x20)
        .section(2, "BSS", 0x3000, 0x100)
        .section(3, "ROM", 0x1234, 8);
    m.load(1, 0x1000, sequence(4));
    // 0xDF and 0xDE lead bytes; an AS record of another letter is passed over.
    m.raw({0xE5, 0xDE, 0x03, 0xE2, 0xD0, 0x03, 0xDF, 0x12, 0x34, 0xE2, 0xC1});
    m.raw({0xED, 0x02, 0xAA, 0xBB});
    m.image[0x1234] = 0xAA;
    m.image[0x1235] = 0xBB;
    auto r = convertBytes(m.build(), {"-Fs32", "-l"});
    EXPECT_EQ(r.code, 0) << r.err;
    auto s = srecCat("a.s32", false);
    EXPECT_EQ(s.bytes, m.image);
    // Never loaded: not in the listing.
    EXPECT_NE(r.err.find("CODE "), std::string::npos);
    EXPECT_NE(r.err.find("ROM "), std::string::npos);
    EXPECT_EQ(r.err.find("BSS"), std::string::npos);
}

TEST_F(ObjectReader, Kq2TakesAddressesFromAsb) {
    Module m;
    m.processor = "KQ2";
    m.section(1, "P", 0x4000, 0x10).load(1, 0x4000, sequence(16));
    auto r = convertBytes(m.build(), {"-Fs16", "-l"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("CPU Name         : KRXA-Q2\r\n"), std::string::npos);
    EXPECT_EQ(srecCat("a.s16", false).bytes, m.image);
}

TEST_F(ObjectReader, ZeroByteEndsTheDataPart) {
    Module m = base();
    m.endRecord = false;
    m.raw({0x00, 0xFF, 0xFF});
    auto r = convertBytes(m.build(), {"-Fh16"});
    EXPECT_EQ(r.code, 0) << r.err;
    auto s = srecCat("a.h16", true);
    EXPECT_EQ(s.err, "");  // the file still ends with its end record
    EXPECT_EQ(s.bytes, m.image);
}

}  // namespace
}  // namespace mervel_test
