// Fatal clean-up, write failures, interrupts, the error file and the listing layout.
#include <algorithm>
#include <chrono>
#include <thread>

#include "converter/mervel.h"
#include "mervel_fixture.h"

namespace mervel_test {
namespace {

using ieee695::Bytes;
using ieee695::Module;
using ieee695::sequence;

class Failures : public MervelTest {
  protected:
    // The temporary files of unfinished outputs in the test folder.
    std::vector<std::string> partialFiles() const {
        std::vector<std::string> found;
        for (const auto& e : fs::directory_iterator(dir))
            if (e.path().filename().string().find(".mervel-partial-") != std::string::npos)
                found.push_back(e.path().filename().string());
        std::sort(found.begin(), found.end());
        return found;
    }
    static Module module() {
        Module m;
        m.section(1, "CODE", 0x1000, 0x400).load(1, 0x1000, sequence(0x400));
        return m;
    }
};

TEST_F(Failures, WriteFailureDeletesTheOutput) {
    writeFile(path("a.abs"), module().build());
    RunOptions small;
    small.fileSizeLimit = 1000;  // the output needs about 2.8 KB
    auto r = run({"-$", "a.abs"}, small);
    EXPECT_EQ(r.code, 176);
    EXPECT_EQ(r.err, "MERVEL-Fatal-  23 : Can't write \"a.h16\"\r\n");
    EXPECT_FALSE(exists("a.h16"));
}

TEST_F(Failures, FatalDuringConversionKeepsTheOverlaysAlreadyWritten) {
    // Overlays a.o00 and a.o01 are finished before the error comes; the main
    // file and the listing are not.
    Module m;
    m.section(1, "A", 0, 0x100).section(2, "B", 0x80, 0x100).section(3, "M", 0x1000, 0x10);
    m.section(4, "FAR", 0x20000, 0x10);
    m.load(1, 0, {1}).load(2, 0x80, {2}).load(3, 0x1000, {3}).load(4, 0x20000, {4});
    writeFile(path("a.h16"), "earlier main\n");
    writeFile(path("a.o00"), "earlier overlay\n");
    auto r = convert(m, {"-lf", "a.lst"});
    EXPECT_EQ(r.code, 192);
    EXPECT_EQ(r.err, fatalLine(152, "Too large address"));
    EXPECT_EQ(file("a.h16"), "earlier main\n");
    EXPECT_EQ(srecCat("a.o00", true).bytes, (std::map<uint32_t, uint8_t>{{0, 1}}));
    EXPECT_EQ(srecCat("a.o01", true).bytes, (std::map<uint32_t, uint8_t>{{0x80, 2}}));
    EXPECT_FALSE(exists("a.lst"));
    EXPECT_EQ(partialFiles(), std::vector<std::string>{});
}

TEST_F(Failures, OutputNamingTheSourceIsRefused) {
    Module m = module();
    Bytes original = m.build();
    writeFile(path("a.abs"), original);
    auto r = run({"-$", "-o", "./a.abs", "a.abs"});
    EXPECT_EQ(r.code, 128);
    EXPECT_EQ(r.err, "MERVEL-Fatal-103 : \"./a.abs\" files are the same\r\n");
    EXPECT_EQ(file("a.abs"), std::string(original.begin(), original.end()));
}

TEST_F(Failures, ErrorFileCollectsWarningsOnly) {
    writeFile(path("a.abs"), module().build());
    writeFile(path("err.txt"), "earlier\n");
    auto r = run({"-$", "-e", "err.txt", "-Fs16", "-Fh16", "missing.abs"});
    EXPECT_EQ(r.code, 128);
    EXPECT_EQ(r.err, "MERVEL-Warning-515 : Illegal parameter\n" +
                         fatalLine(100, "No source file found in invocation"));
    EXPECT_EQ(file("err.txt"), "earlier\nMERVEL-Warning-515 : Illegal parameter\n");
}

// A conversion long enough to be caught in the act: 8 MiB of repeated data
// as S32 records (about 24 MB of text, written in several pieces).
class Interrupts : public Failures {
  protected:
    void SetUp() override {
        Module m;
        m.section(1, "BIG", 0, 0x800000).sb(1).asp(1, 0).re(0x10000, sequence(128));
        writeFile(path("big.abs"), m.build());
        writeFile(path("big.s32"), previous);
    }
    // Starts the conversion and waits until its new output is being written.
    pid_t startCaught(const RunOptions& o = {}) {
        pid_t pid = start({"-$", "-Fs32", "big.abs"}, o);
        for (int i = 0; i < 5000; ++i) {
            for (const auto& name : partialFiles())
                if (fs::file_size(path(name)) > 0) return pid;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        kill(pid, SIGKILL);
        finish(pid);
        ADD_FAILURE() << "the conversion was not caught writing";
        return -1;
    }
    const std::string previous = "S70500000000FA\r\n";  // an earlier run's output
};

// Whatever stops the run, the previous output stays byte for byte. Nothing can
// clean up after SIGKILL; the leftover says what it is. An interrupt ignored
// when the run began stays ignored.
TEST_F(Interrupts, StoppedRunLeavesThePreviousOutput) {
    for (int signal : {SIGINT, SIGTERM, SIGKILL}) {
        pid_t pid = startCaught();
        ASSERT_GT(pid, 0);
        kill(pid, signal);
        EXPECT_EQ(finish(pid).code, signal == SIGKILL ? 1000 + SIGKILL : 192) << signal;
        EXPECT_EQ(file("big.s32"), previous) << signal;
        EXPECT_EQ(partialFiles().size(), signal == SIGKILL ? 1u : 0u) << signal;
    }
    ASSERT_EQ(partialFiles()[0].rfind(".mervel-partial-", 0), 0u);
    fs::remove(path(partialFiles()[0]));

    RunOptions ignoring;
    ignoring.ignoreInterrupt = true;
    pid_t pid = startCaught(ignoring);
    ASSERT_GT(pid, 0);
    kill(pid, SIGINT);
    auto r = finish(pid);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(file("big.s32").rfind("S3150000000000", 0), 0u);
    EXPECT_EQ(partialFiles(), std::vector<std::string>{});
}

// A name longer than 32 columns takes a line of its own; a long output name
// pushes the format along.
TEST_F(Failures, ListingOfLongNames) {
    Module m;
    const std::string longName = "A_VERY_LONG_SECTION_NAME_THAT_GOES_ON_AND_ON_X";  // 46
    m.section(1, longName, 0x3000, 0x10).load(1, 0x3000, {1});
    auto r = convert(m, {"-lf", "list.txt", "-o", "abcdefghijklmno.h16"});
    EXPECT_EQ(r.code, 0) << r.err;
    auto l = lines(file("list.txt"));
    ASSERT_EQ(l.size(), 10u);
    EXPECT_EQ(l[2], "Output file name : abcdefghijklmno.h16 *** Intel HEX format ***");
    EXPECT_EQ(l[7], longName.substr(0, 32));
    EXPECT_EQ(l[8], longName.substr(32) + std::string(19, ' ') + "     3000  --------        10");
}

// The core runs in-process too (the fuzzer does): nothing may leak between runs.
// A repeated option warns and the first one holds; a warning while the banner is
// held back puts an empty line in front of it.
TEST_F(Failures, CoreRunsRepeatedlyInProcess) {
    writeFile(path("a.abs"), module().build());
    auto cwd = fs::current_path();
    fs::current_path(dir);
    const std::string warning = "MERVEL-Warning-515 : Illegal parameter\n";
    for (int i = 0; i < 3; ++i) {
        mervel::StringConsole console;
        EXPECT_EQ(mervel::run({"-$", "-Fs16", "-Fh16", "-o", "x.s16", "-o", "y.s16", "-KS6", "-KQ2",
                               "-V", "a.abs"},
                              console),
                  0);
        EXPECT_EQ(console.stderr_, warning + warning + warning + "\n");
        EXPECT_EQ(console.stdout_.rfind("\nMervel Object Converter (32) V1.2g\n", 0), 0u);
        mervel::StringConsole failing;
        EXPECT_EQ(mervel::run({"-$", "-o", "b.s16", "missing.abs"}, failing), 128);
        EXPECT_EQ(failing.stdout_, "");
    }
    fs::current_path(cwd);
    EXPECT_TRUE(exists("x.s16"));
    EXPECT_FALSE(exists("y.s16"));
}

}  // namespace
}  // namespace mervel_test
