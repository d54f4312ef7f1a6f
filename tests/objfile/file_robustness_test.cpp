// Object files as they come from outside: the converter's start address
// records and files without an end record.
#include "../converter/ieee695_writer.h"
#include "objfile_fixture.h"

namespace ostrand::testing {

namespace {

// ":04000003" + address + checksum.
std::string startRecord(uint32_t address) {
    return ihex(
        3, 0,
        {uint8_t(address >> 24), uint8_t(address >> 16), uint8_t(address >> 8), uint8_t(address)});
}

}  // namespace

TEST_F(ObjFileTest, StartAddressRecordOnlyInTwentyBitFiles) {
    const std::string data = ihex(0, 0x100, {1, 2});
    ASSERT_EQ(loadText("a.h20", data + startRecord(0x00000100) + kEnd), 1) << lastMessage();
    EXPECT_EQ(image.loadedRanges(), (std::vector<AddressRange>{{0x100, 0x101}}));
    EXPECT_EQ(image.image()[0x100], 1);
    // Lower-case digits are digits too.
    ASSERT_EQ(loadText("b.h20", data + ":04000003000abcde55\n" + kEnd), 1) << lastMessage();

    const std::string file = (home / "c.h16").string();
    EXPECT_EQ(loadText("c.h16", data + startRecord(0x100) + kEnd), 0);
    EXPECT_EQ(lastMessage(), "10202/154/12122/" + file);

    const std::string h20 = (home / "d.h20").string();
    const char* malformed[] = {
        ":0400000300000100F7\n",    // checksum wrong
        ":04000103000001001F7\n",   // address not 0000, and too long
        ":04001003000001000E5\n",   // address not 0000
        ":0200000301000FA\n",       // two bytes
        ":040000030000010F8\n",     // a digit short
        ":0400000300000100F8FF\n",  // a byte too many
        ":04000003000001G0F8\n",    // not hexadecimal
    };
    for (const char* bad : malformed) {
        EXPECT_EQ(loadText("d.h20", data + bad + kEnd), 0) << bad;
        EXPECT_EQ(lastMessage(), "10202/154/12122/" + h20) << bad;
    }
}

TEST_F(ObjFileTest, MissingEndRecordLoadsButIsNoted) {
    const std::string data = ihex(0, 0x100, {1, 2});
    struct Case {
        const char* name;
        std::string text;
        bool missing;
    } cases[] = {
        {"a.h20", data + kEnd, false},
        {"b.h20", data, true},
        {"c.h20", kEnd + data, true},  // an end record that is not the last
        {"d.h20", data + kEnd + startRecord(0x100), true},
        {"e.s24", srec('2', 3, 0x100, {1}) + "S804000100FA\n", false},
        {"f.s24", srec('2', 3, 0x100, {1}), true},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(loadText(c.name, c.text), 1) << c.name << ": " << lastMessage();
        EXPECT_EQ(image.endRecordMissing(), c.missing) << c.name;
    }
}

// Linked programs nearly always have a start address: the converter writes it
// in each target format, and the result must load and reach the expansion file.
TEST_F(ObjFileTest, ConvertedProgramWithStartAddressLoads) {
    const fs::path mervel = fs::path(OSTRAND_BIN_DIR) / "mervel";
    if (!fs::exists(mervel)) GTEST_SKIP() << "mervel not built yet";
    fs::create_symlink(mervel, home / "mervel");
    ieee695::Module m;
    const ieee695::Bytes data = ieee695::sequence(0x50, 0x21);
    m.section(1, "P", 0x1000, uint32_t(data.size())).load(1, 0x1000, data).asg(0x1010);
    const ieee695::Bytes module = m.build();
    writeText(home / "prog.abs", std::string(module.begin(), module.end()));

    const std::pair<const char*, const char*> devices[] = {
        {"PLAIN", "h20"}, {"PW8", "s24"}, {"BT12", "h16"}};
    for (const auto& [device, extension] : devices) {
        select(device);
        ASSERT_EQ(loadPath((home / "prog.abs").string()), 1) << device << ": " << lastMessage();
        EXPECT_EQ(image.readPath(), (home / "tmp" / ("prog." + std::string(extension))).string());
        EXPECT_FALSE(image.endRecordMissing()) << device;
        ASSERT_FALSE(image.loadedRanges().empty()) << device;
        EXPECT_EQ(image.loadedRanges().front(), (AddressRange{0x1000, 0x104F})) << device;
        // The expansion file, read back by an outside tool, holds the program.
        const fs::path bin = home / "oex.bin";
        ASSERT_EQ(sh("srec_cat " + image.expansionPath() +
                     " -Intel -crop 0x1000 0x1050 -offset -0x1000 -o " + bin.string() + " -Binary"),
                  0)
            << device;
        EXPECT_EQ(readText(bin), std::string(data.begin(), data.end())) << device;
    }
}

// The longest name the file system takes: the object file and its expansion
// file (the same name with another extension) beside each other's folder.
TEST_F(ObjFileTest, LongestFileNameLoads) {
    const std::string name = std::string(251, 'n') + ".h16";
    ASSERT_EQ(loadText(name, ihex(0, 0x100, {1, 2}) + kEnd), 1) << lastMessage();
    EXPECT_EQ(image.expansionPath(), (home / "tmp" / (std::string(251, 'n') + ".oex")).string());
    EXPECT_EQ(readText(image.expansionPath()).substr(0, 15), ":020000020000FC");
}

}  // namespace ostrand::testing
