// Whole programs: `ostrand-cli info` and the real converter, as built
// beside the tests.
#include <sys/wait.h>

#include <cstdio>

#include "objfile_fixture.h"

namespace ostrand::testing {

namespace {

const fs::path kBin = OSTRAND_BIN_DIR;

struct ProgramRun {
    int status = -1;
    std::string output;  // stdout and stderr
};

ProgramRun run(const std::string& command) {
    ProgramRun r;
    FILE* p = ::popen((command + " 2>&1").c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
    const int status = ::pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// A small absolute IEEE-695 module: one section of `data` at `address`.
std::string absoluteModule(uint32_t address, const std::vector<uint8_t>& data) {
    auto bytes = [](std::initializer_list<int> list) {
        std::string s;
        for (int b : list) s += static_cast<char>(b);
        return s;
    };
    auto number = [&](uint32_t v) {
        if (v <= 0x7F) return bytes({static_cast<int>(v)});
        return bytes({0x84, static_cast<int>(v >> 24 & 0xFF), static_cast<int>(v >> 16 & 0xFF),
                      static_cast<int>(v >> 8 & 0xFF), static_cast<int>(v & 0xFF)});
    };
    auto name = [&](const std::string& s) { return number(static_cast<uint32_t>(s.size())) + s; };
    const std::string ad = bytes({0xF1, 0xCE, 0, 0, 38, 1});   // object format: absolute
    const std::string env = bytes({0xF1, 0xCE, 0, 0, 52, 0});  // producer status: fine
    const std::string sections = bytes({0xE6}) + number(1) + bytes({0xC3, 0xD2}) + name("P") +
                                 bytes({0xE2, 0xD3}) + number(1) +
                                 number(static_cast<uint32_t>(data.size())) + bytes({0xE2, 0xCC}) +
                                 number(1) + number(address);
    std::string load =
        bytes({0xE5}) + number(1) + bytes({0xE2, 0xD0}) + number(1) + number(address);
    for (size_t at = 0; at < data.size(); at += 100) {
        const size_t n = std::min<size_t>(100, data.size() - at);
        load += bytes({0xED}) + number(static_cast<uint32_t>(n)) +
                std::string(reinterpret_cast<const char*>(data.data() + at), n);
    }
    load += bytes({0xE1});
    // Module begin, then the part offsets (W3 and W4 absent), W5 last.
    const std::string begin = bytes({0xE0}) + name("KR30");
    const uint32_t w0 = static_cast<uint32_t>(begin.size()) + 4 * 8;
    const uint32_t w1 = w0 + static_cast<uint32_t>(ad.size());
    const uint32_t w2 = w1 + static_cast<uint32_t>(env.size());
    const uint32_t w5 = w2 + static_cast<uint32_t>(sections.size());
    auto part = [&](int n, uint32_t offset) {
        return bytes({0xE2, 0xD7, n, 0x84, static_cast<int>(offset >> 24),
                      static_cast<int>(offset >> 16 & 0xFF), static_cast<int>(offset >> 8 & 0xFF),
                      static_cast<int>(offset & 0xFF)});
    };
    return begin + part(0, w0) + part(1, w1) + part(2, w2) + part(5, w5) + ad + env + sections +
           load;
}

}  // namespace

TEST_F(ObjFileTest, InfoCommand) {
    const fs::path cli = kBin / "ostrand-cli";
    if (!fs::exists(cli)) GTEST_SKIP() << "ostrand-cli not built";
    writeText(home / "p.h20", ihex(0, 0x100, {1, 2, 3}) + ihex(0, 0x200, {4}) + kEnd);
    ProgramRun ok = run(cli.string() + " info " + (home / "p.h20").string() + " --home " +
                        home.string() + " --device PLAIN");
    EXPECT_EQ(ok.status, 0) << ok.output;
    EXPECT_NE(ok.output.find("  0x000100-0x000102\n  0x000200-0x000200\n"), std::string::npos)
        << ok.output;
    const uint32_t sum = (1 + 2 + 3 + 4 + 0xFF * (0x80000 - 4)) & 0xFFFF;
    char line[32];
    std::snprintf(line, sizeof line, "sum: 0x%04X\n", sum);
    EXPECT_NE(ok.output.find(line), std::string::npos) << ok.output;
    EXPECT_NE(ok.output.find("program bytes: 4\n"), std::string::npos) << ok.output;
    EXPECT_NE(ok.output.find("expansion file: " + (home / "tmp" / "p.oex").string()),
              std::string::npos);

    // The password of a boot-type-8 file; the device named by the setup file.
    writeText(home / "pw.s24", srec('2', 3, 0xFFC0, std::vector<uint8_t>(12, 0x5A)));
    writeText(home / "Ostrand.ini", "[Ostrand]\nDevice=PW8\n");
    ProgramRun pw =
        run(cli.string() + " info " + (home / "pw.s24").string() + " --home " + home.string());
    EXPECT_EQ(pw.status, 0) << pw.output;
    EXPECT_NE(pw.output.find("device: PW8\n"), std::string::npos) << pw.output;
    EXPECT_NE(pw.output.find("object password: 5a5a5a5a5a5a5a5a5a5a5a5a\n"), std::string::npos)
        << pw.output;

    // A failure is its numbered message and exit status 1.
    writeText(home / "bad.h20", ihex(0, 0x100, {1}) + "\n" + kEnd);
    ProgramRun bad = run(cli.string() + " info " + (home / "bad.h20").string() + " --home " +
                         home.string() + " --device PLAIN");
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.output.find("E202-155 : "), std::string::npos) << bad.output;
    ProgramRun unknown =
        run(cli.string() + " info x.h20 --home " + home.string() + " --device NONE");
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.output.find("E114"), std::string::npos) << unknown.output;
}

TEST_F(ObjFileTest, RealConverterEndToEnd) {
    const fs::path mervel = kBin / "mervel";
    if (!fs::exists(mervel)) GTEST_SKIP() << "mervel not built yet";
    fs::create_symlink(mervel, home / "mervel");
    std::vector<uint8_t> data(300);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + 1);
    writeText(home / "prog.abs", absoluteModule(0x1F00, data));
    ASSERT_EQ(loadPath((home / "prog.abs").string()), 1) << lastMessage();
    EXPECT_EQ(image.readPath(), (home / "tmp" / "prog.h20").string());
    EXPECT_EQ(image.loadedRanges(), (std::vector<AddressRange>{{0x1F00, 0x202B}}));
    for (size_t i = 0; i < data.size(); ++i) ASSERT_EQ(image.image()[0x1F00 + i], data[i]) << i;
}

}  // namespace ostrand::testing
