// The programs with unusual files and signals: named pipes and folders where
// files should be, a flash file the simulator cannot keep, files without an
// end record, and a save and a programming cancelled by a signal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "cli_run.h"
#include "engine/sim_rig.h"

namespace ostrand::test {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Polls `done` until it holds or `limit` has passed.
template <typename F>
bool waitFor(F done, std::chrono::milliseconds limit) {
    for (const auto until = Clock::now() + limit; !done(); std::this_thread::sleep_for(5ms))
        if (Clock::now() > until) return false;
    return true;
}

// A program in the background: stdin from /dev/null, stdout and stderr into
// one file.
class Child {
  public:
    Child(std::vector<std::string> args, const std::filesystem::path& scratch)
        : out_(scratch / "child.out") {
        pid_ = fork();
        if (pid_ != 0) return;
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(in, 0), dup2(out, 1), dup2(out, 2);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    ~Child() {
        if (pid_ > 0) kill(pid_, SIGKILL), waitpid(pid_, nullptr, 0);
    }
    void signal(int number) const { kill(pid_, number); }
    std::string output() const {
        std::ifstream in(out_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // The exit status, or -1 when it still ran after `limit` (it is killed).
    int wait(std::chrono::milliseconds limit) {
        int status = 0;
        const bool ended = waitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, limit);
        if (!ended) kill(pid_, SIGKILL), waitpid(pid_, &status, 0);
        pid_ = -1;
        return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    pid_t pid_ = -1;
    std::filesystem::path out_;
};

// The demo program folder with short waits.
class OddInputs : public ::testing::Test {
  protected:
    void SetUp() override { writeFastProgramFolder(folder.path()); }
    std::string at(const std::string& name) const { return (folder.path() / name).string(); }
    void fifo(const std::string& name) const { ASSERT_EQ(mkfifo(at(name).c_str(), 0644), 0); }
    std::vector<std::string> cli(std::vector<std::string> args) const {
        args.insert(args.begin(), OSTRAND_CLI);
        args.insert(args.end(), {"--home", at(""), "--device", "KM16F48"});
        return args;
    }
    // Runs to its end; one that waits on a pipe is stopped (status 124).
    CliResult run(const std::string& arguments, int limit = 5) {
        return runCli(arguments + " --home " + at(""), scratch.path(), "</dev/null", limit);
    }

    TestFolder folder;
    TestFolder scratch;
};

// Every reader refuses a pipe, a folder or a broken file with a numbered
// message naming it, rather than waiting on it or failing silently.
TEST_F(OddInputs, EveryReaderRefusesPipesAndFolders) {
    TestFolder other;  // its definition file a pipe
    const std::string def = (other.path() / "Ostrand.def").string();
    ASSERT_EQ(mkfifo(def.c_str(), 0644), 0);
    fifo("pipe.h20");
    fifo("pipe.ini");
    fifo("pipe.bin");
    std::filesystem::create_directory(folder.path() / "dir.bin");
    SimChip chip;
    const std::string port = chip.start(folder.path(), "KM16F48");
    ASSERT_FALSE(port.empty());
    std::filesystem::remove(folder.path() / "KM16F48" / "blank.wcp");
    fifo("KM16F48/blank.wcp");
    folder.write("cut.h20", ":03010000010203F6\n");
    // A definition file without a boot type, a setup file with an unknown item.
    TestFolder broken;
    const std::string fast = folder.read("Ostrand.def");
    broken.write("Ostrand.def", fast.substr(0, fast.find("BootType=1\n")) +
                                    fast.substr(fast.find("BootType=1\n") + 11));
    folder.write("bad.ini",
                 "[Ostrand]\nDevice=KM16F48\nCOMPort=/dev/null\nDataRate=9600\n"
                 "OpenFile=\nAllErase=1\nBlankCheck=1\nProgramming=1\nVerify=1\n"
                 "FileCompare=1\nClock=12\n");
    const std::string home = " --home " + at(""), cli = OSTRAND_CLI, sim = OSTRAND_SIM;
    const std::string simHere = "--device KM16F48" + home + " --flash ";
    const struct {
        std::string program, arguments, says, names;  // names: the path the message quotes
    } cases[] = {
        {cli, "info --device KM16F48" + home + " " + at("pipe.h20"), "E203-42 : ", at("pipe.h20")},
        {cli, "check --setup " + at("pipe.ini") + home, "E109 : ", at("pipe.ini")},
        {cli, "check --home " + other.path().string(), "E100 : ", def},
        // A broken file is named with its item, and the hint follows.
        {cli, "check --home " + broken.path().string(),
         "E102 : The definition file contains undefined or invalid or missing items.  "
         "\"KM16-KM16F48\"\nGet the latest definition file from our Web site. \n",
         ""},
        {cli, "check --setup " + at("bad.ini") + home,
         "E111 : The specified setup file contains undefined or invalid or missing items.   "
         "\"Clock\"\nSpecify new settings.\n",
         ""},
        {sim, "--device KM16F48 --home " + other.path().string(), "E100 : ", ""},
        {sim, simHere + at("dir.bin"), "cannot write the flash file " + at("dir.bin"), ""},
        {sim, simHere + at("pipe.bin"), "cannot write the flash file " + at("pipe.bin"), ""},
        {sim, simHere + at("no/f.bin"), "cannot write the flash file " + at("no/f.bin"), ""},
        // The default setup file a folder: a numbered message, not a silent 1.
        {"mkdir " + at("Ostrand.ini") + " && " + cli, "check" + home, "E109 : ", at("Ostrand.ini")},
        {cli, "blank --device KM16F48 --blank-device --port " + port + home, "E304-", ""},
        // A file without an end record loads with a warning, told before the run goes on.
        {cli, "program --device KM16F48 --port " + at("no-port") + home + " " + at("cut.h20"),
         "warning: " + at("cut.h20") + " has no end record", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const CliResult r = runProgram(c.program, c.arguments, scratch.path(), "</dev/null", 20);
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_TRUE(has(r.err, c.says)) << r.err;
        EXPECT_TRUE(has(r.err, "\"" + c.names + "\"") || c.names.empty()) << r.err;
        if (c.program == sim) {
            EXPECT_EQ(r.out, "") << "the simulator offered a terminal";
        }
    }
}

// A paced chip makes the save long enough to be cancelled in the middle.
TEST_F(OddInputs, SignalsCancelASaveAndLeaveNoPartialFile) {
    auto partials = [&] {
        size_t found = 0;
        for (const auto& e : std::filesystem::directory_iterator(folder.path()))
            found += has(e.path().filename().string(), ".ostrand-partial-");
        return found;
    };
    for (int number : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(number);
        SimChip chip;
        const std::string port = chip.startWith(folder.path(), "KM16F48", {"--pace"});
        ASSERT_FALSE(port.empty());
        folder.write("saved.h16", "earlier\n");
        Child save(
            cli({"save", at("saved.h16"), "--port", port, "--rate", "57600", "--blank-device"}),
            scratch.path());
        ASSERT_TRUE(waitFor([&] { return partials() > 0; }, 30s)) << "the save never started";
        EXPECT_EQ(partials(), 1u);
        save.signal(number);
        EXPECT_EQ(save.wait(10s), 1) << "the save did not stop at the next block";
        EXPECT_TRUE(has(save.output(), "R312 : Aborting processing...")) << save.output();
        EXPECT_EQ(partials(), 0u);
        EXPECT_EQ(folder.read("saved.h16"), "earlier\n");
    }
}

// Intel HEX of `count` bytes from 0, 32 to a record.
std::string hexFile(uint32_t count) {
    std::string text;
    for (uint32_t at = 0; at < count; at += 32) {
        std::vector<uint8_t> bytes(32);
        for (uint32_t i = 0; i < 32; ++i) bytes[i] = uint8_t((at + i) * 7);
        text += record(uint16_t(at), bytes);
    }
    return text + ":00000001FF\n";
}

// A signal stops the programming at the next block, which says what the
// chip holds.
TEST_F(OddInputs, InterruptedProgrammingSaysTheChipIsPartlyWritten) {
    // A paced chip at 57600 bps takes seconds over this object.
    folder.write("big.h16", hexFile(0x6000));
    SimChip chip;
    const std::string port = chip.startWith(folder.path(), "KM16F48", {"--pace"});
    ASSERT_FALSE(port.empty());
    const std::vector<std::string> run =
        cli({"auto", "--erase", "--program", "--verify", "--rate", "57600", "--blank-device",
             "--port", port, at("big.h16")});
    TestFolder out;
    Child auto_(run, out.path());
    waitFor([&] { return has(auto_.output(), "All Erase:"); }, 20s);
    std::this_thread::sleep_for(500ms);
    auto_.signal(SIGINT);
    EXPECT_EQ(auto_.wait(10s), 1) << "the run did not stop at the next block";
    const std::string said = auto_.output();
    const size_t aborting = said.find("R312 : Aborting processing...");
    EXPECT_NE(aborting, std::string::npos) << said;
    EXPECT_GT(said.find("R005 : Reprogramming in RAM Loader mode failed.  \"The chip is partly "
                        "written: erase it and program it again.\""),
              aborting)
        << said;
    EXPECT_TRUE(has(said, "Programming:     NG")) << said;
    EXPECT_TRUE(has(said, "Result: NG")) << said;
}

}  // namespace
}  // namespace ostrand::test
