// Absolute objects through the converter: stand-in converters in the
// temporary program folder, and the real one with a start address.
#include <sys/stat.h>

#include "../converter/ieee695_writer.h"
#include "objfile_fixture.h"

namespace ostrand::testing {

namespace {

// A converter stand-in: records its arguments and working folder, then runs `body`.
void writeConverter(const fs::path& home, const std::string& body) {
    const fs::path script = home / "mervel";
    writeText(script, "#!/bin/sh\nprintf '%s\\n' \"$PWD\" \"$@\" > \"" +
                          (home / "args.txt").string() + "\"\n" + body + "\n");
    ::chmod(script.c_str(), 0755);
}

}  // namespace

TEST_F(ObjFileTest, ConverterOutcomes) {
    writeText(home / "prog.abs", "not really IEEE-695");
    const std::string abs = (home / "prog.abs").string();

    // No converter at all.
    EXPECT_EQ(loadPath(abs), 0);
    EXPECT_EQ(lastMessage(), "10208/4/0/");

    // A converter that fails; an old converted file must not be read instead.
    fs::create_directories(home / "tmp");
    writeText(home / "tmp" / "prog.h20", ihex(0, 0, {1}));
    writeConverter(home, "exit 1");
    EXPECT_EQ(loadPath(abs), 0);
    EXPECT_EQ(lastMessage(), "10207/42/0/" + abs);
    EXPECT_FALSE(image.loaded());
    EXPECT_FALSE(fs::exists(home / "tmp" / "prog.h20"));

    // A converter file that cannot be started.
    ::chmod((home / "mervel").c_str(), 0644);
    EXPECT_EQ(loadPath(abs), 0);
    EXPECT_EQ(lastMessage(), "10207/41/0/" + abs);

    // A path the converter cannot take is refused before it starts.
    fs::create_directories(home / "odd[1]");
    writeText(home / "odd[1]" / "p.abs", "x");
    writeConverter(home, "exit 0");
    fs::remove(home / "args.txt");
    const std::string odd = (home / "odd[1]" / "p.abs").string();
    EXPECT_EQ(loadPath(odd), 0);
    EXPECT_EQ(lastMessage(), "10214/0/12147/" + odd);
    EXPECT_FALSE(fs::exists(home / "args.txt"));
}

// Linked programs nearly always have a start address: the converter, run in the
// program folder, writes it in each device's format into the tmp folder (24-bit
// S records for boot type 8, 16-bit Intel HEX for 12, else extended Intel HEX),
// and the result loads in place of the object.
TEST_F(ObjFileTest, ConvertedProgramWithStartAddressLoads) {
    fs::create_symlink(fs::path(OSTRAND_BIN_DIR) / "mervel", home / "mervel");
    ieee695::Module m;
    const ieee695::Bytes data = ieee695::sequence(0x50, 0x21);
    m.section(1, "P", 0x1000, uint32_t(data.size())).load(1, 0x1000, data).asg(0x1010);
    const ieee695::Bytes module = m.build();
    fs::create_directories(home / "my work");
    const std::string abs = (home / "my work" / "prog.abs").string();
    writeText(abs, std::string(module.begin(), module.end()));

    const std::pair<const char*, const char*> devices[] = {
        {"PLAIN", "h20"}, {"PW8", "s24"}, {"BT12", "h16"}};
    for (const auto& [device, extension] : devices) {
        select(device);
        ASSERT_EQ(loadPath(abs), 1) << device << ": " << lastMessage();
        EXPECT_EQ(image.path(), abs);
        EXPECT_EQ(image.readPath(), (home / "tmp" / ("prog." + std::string(extension))).string());
        EXPECT_EQ(image.expansionPath(), (home / "tmp" / "prog.oex").string());
        EXPECT_FALSE(image.endRecordMissing()) << device;
        ASSERT_FALSE(image.loadedRanges().empty()) << device;
        EXPECT_EQ(image.loadedRanges().front(), (AddressRange{0x1000, 0x104F})) << device;
        EXPECT_TRUE(std::equal(data.begin(), data.end(), image.image().begin() + 0x1000)) << device;
    }
}

}  // namespace ostrand::testing
