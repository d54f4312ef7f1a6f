// The whole program: `ostrand-cli info` on the files of this subsystem, in
// its text form (the console's tests read its --json). The real converter runs
// end to end in the console's tests (the sample object).
#define OSTRAND_CLI OSTRAND_BIN_DIR "/ostrand-cli"
#include "cli/cli_run.h"
#include "objfile_fixture.h"

namespace ostrand::testing {

TEST_F(ObjFileTest, InfoCommand) {
    writeText(home / "p.h20", ihex(0, 0x100, {1, 2, 3}) + ihex(0, 0x200, {4}) + kEnd);
    const std::string at = " --home " + home.string() + " " + home.string() + "/";
    CliResult ok = runCli("info --device PLAIN" + at + "p.h20", home);
    EXPECT_EQ(ok.status, 0) << ok.err;
    char sum[32];
    std::snprintf(sum, sizeof sum, "\nsum: 0x%04X\n",
                  (1 + 2 + 3 + 4 + 0xFF * (0x80000 - 4)) & 0xFFFF);
    for (const std::string& line : {std::string("  0x000100-0x000102\n  0x000200-0x000200\n"),
                                    std::string(sum), std::string("\nprogram bytes: 4\n"),
                                    "expansion file: " + (home / "tmp" / "p.oex").string()})
        EXPECT_NE(ok.out.find(line), std::string::npos) << line << ok.out;
}

}  // namespace ostrand::testing
