// Command line, command files, file-name rules, CPU options and the help file.
#include <sys/stat.h>

#include "mervel_fixture.h"

namespace mervel_test {
namespace {

using ieee695::Module;
using ieee695::sequence;

Module simpleModule() {
    Module m;
    m.section(1, "CODE", 0x100, 0x10).load(1, 0x100, sequence(16));
    return m;
}

class CommandLine : public MervelTest {};

TEST_F(CommandLine, DefaultFormatAndOutputName) {
    auto r = convert(simpleModule(), {}, "prog.x.abs");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(exists("prog.x.h16"));
    for (auto [option, ext] : {std::pair{"-Fs", ".s16"}, {"-Fh", ".h16"}}) {
        EXPECT_EQ(convert(simpleModule(), {option}, "b.abs").code, 0);
        EXPECT_TRUE(exists(std::string("b") + ext)) << option;
    }
}

TEST_F(CommandLine, OptionValues) {
    writeFile(path("a.abs"), simpleModule().build());
    writeFile(path("COM1.abs"), simpleModule().build());
    writeFile(path("nest.txt"), "-f nest.txt");
    fs::create_directories(path("folder.abs"));  // opens, but cannot be read
    // Named pipes are refused at once: nothing would ever write or read them.
    ASSERT_EQ(mkfifo(path("p.abs").c_str(), 0644), 0);
    ASSERT_EQ(mkfifo(path("p.txt").c_str(), 0644), 0);
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string err;
    };
    std::vector<Case> cases = {
        {{"-$", "a.abs", "-o"}, 128, fatalLine(106, "Missing parameter \"-o\"")},
        {{"-$", "-o", "-x", "a.abs"}, 128, fatalLine(105, "Bad parameter syntax")},
        {{"-$", "-cc", "   ", "a.abs"}, 128, fatalLine(107, "Illegal sub option")},
        {{"-$", "-cctext", "a.abs"}, 128, fatalLine(105, "Bad parameter syntax")},
        {{"-$", "-p", "a.abs"}, 128, fatalLine(111, "Not supported option \"-p\"")},
        {{"-$", "-Fh2", "a.abs"}, 128, fatalLine(109, "Unrecognized option \"-Fh2\"")},
        {{"-$", "--", "a.abs"}, 128, fatalLine(101, "Illegal file specification")},
        {{"-$", "-KZ80", "a.abs"}, 128, fatalLine(106, "Missing parameter \"-K\"")},
        {{"-$"}, 128, fatalLine(100, "No source file found in invocation")},
        {{"-$", "-f", "nest.txt", "a.abs"}, 128, fatalLine(110, "Can't nest a command file")},
        {{"-$", "-f", "missing.txt", "a.abs"},
         176,
         "MERVEL-Fatal-  20 : Can't open \"missing.txt\"\r\n"},
        {{"-$", "folder.abs"}, 176, "MERVEL-Fatal-  22 : Can't read \"folder.abs\"\r\n"},
        {{"-$", "p.abs"}, 176, "MERVEL-Fatal-  20 : Can't open \"p.abs\"\r\n"},
        {{"-$", "-o", "p.txt", "a.abs"}, 176, "MERVEL-Fatal-  20 : Can't open \"p.txt\"\r\n"},
    };
    for (std::string bad : {"a+b.h16", "a]b.h16", "a\tb.h16", "a\x7f.h16"})
        cases.push_back(
            {{"-$", "-o", bad, "a.abs"}, 128, fatalLine(101, "Illegal file specification")});
    cases.push_back({{"-$", "-o", std::string(257, 'n'), "a.abs"},
                     128,
                     fatalLine(101, "Illegal file specification")});
    cases.push_back({{"-$", "COM1.abs"}, 128, fatalLine(102, "File must be a disk")});
    for (std::string device : {"con", "dir/Aux", "clock$.x", "prn.h16"})
        cases.push_back(
            {{"-$", "-o", device, "a.abs"}, 128, fatalLine(102, "File must be a disk")});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.size() > 2 ? c.args[2] : c.args.back());
        auto r = run(c.args);
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.err, c.err);
    }
    // "--" lets a value begin with '-'; -cc takes its next argument as it stands.
    auto r = run({"-$", "-Fs16", "-cc", "-note", "-o", "--", "-x", "a.abs"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(lines(file("-x"))[0], "S00A00002D6E6F74650D0AFB");
}

TEST_F(CommandLine, FileNameRules) {
    writeFile(path("a.abs"), simpleModule().build());
    // The longest -o allowed converts: 256 characters, with a file name of 254 bytes.
    ASSERT_EQ(run({"-$", "a.abs"}).code, 0);
    fs::create_directories(path("d"));
    auto r = run({"-$", "-o", "d/" + std::string(254, 'n'), "a.abs"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(file("d/" + std::string(254, 'n')), file("a.h16"));
    EXPECT_EQ(run({"-$", "-o", "console.h16", "a.abs"}).code, 0);
}

TEST_F(CommandLine, CommandFiles) {
    writeFile(path("a.abs"), simpleModule().build());
    writeFile(path("cmd.txt"), "-Fs24\r\n  -o \"out put.s24\"\t-cc   hello\n");
    auto r = run({"-$", "-f", "cmd.txt", "a.abs"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(file("out put.s24").rfind("S00A000068656C6C6F0D0A", 0), 0u);

    // Words after a 0x1A byte are not read; the source may come from the file.
    writeFile(path("cmd2.txt"), std::string("-Fs32 a.abs\x1A -p"));
    EXPECT_EQ(run({"-$", "-fcmd2.txt"}).code, 0);
    EXPECT_TRUE(exists("a.s32"));
}

TEST_F(CommandLine, HelpFileLookup) {
    const std::string help = readFile(fs::path(MERVEL_DATA_DIR) / "etc/mervel.hlp");
    ASSERT_FALSE(help.empty());
    RunOptions withHome;
    withHome.env = {{"KVHOME", std::string(MERVEL_DATA_DIR) + "/"}};
    auto r = run({}, withHome);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, help);

    // A family variable wins over KVHOME; the current folder comes last.
    fs::create_directories(path("ks6/etc"));
    writeFile(path("ks6/etc/mervel.hlp"), "KS6 help\n");
    withHome.env.push_back({"KVHOMEKS6", path("ks6").string()});
    EXPECT_EQ(run({"-KS6"}, withHome).out, "KS6 help\n");
    fs::create_directories(path("etc"));
    writeFile(path("etc/mervel.hlp"), "local help\n");
    EXPECT_EQ(run({}).out, "local help\n");
    fs::remove_all(path("etc"));
    EXPECT_EQ(run({}).out, "");
}

}  // namespace
}  // namespace mervel_test
