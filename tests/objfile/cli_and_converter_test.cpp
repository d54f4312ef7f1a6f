// The whole program: `ostrand-cli info` on the files of this subsystem. The
// real converter runs end to end in the console's tests (the sample object).
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
}

}  // namespace ostrand::testing
