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

    // The password of a boot-type-8 file; the device named by the setup file.
    writeText(home / "pw.s24", srec('2', 3, 0xFFC0, std::vector<uint8_t>(12, 0x5A)));
    writeText(home / "Ostrand.ini", "[Ostrand]\nDevice=PW8\n");
    CliResult pw = runCli("info" + at + "pw.s24", home);
    EXPECT_EQ(pw.status, 0) << pw.err;
    EXPECT_NE(pw.out.find("device: PW8\n"), std::string::npos) << pw.out;
    EXPECT_NE(pw.out.find("object password: 5a5a5a5a5a5a5a5a5a5a5a5a\n"), std::string::npos);

    // A failure is its numbered message and exit status 1.
    writeText(home / "bad.h20", ihex(0, 0x100, {1}) + "\n" + kEnd);
    CliResult bad = runCli("info --device PLAIN" + at + "bad.h20", home);
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE((bad.out + bad.err).find("E202-155 : "), std::string::npos) << bad.err;
}

}  // namespace ostrand::testing
