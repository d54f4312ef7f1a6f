// The programs with unusual files and signals: named pipes and folders where
// files should be, a flash file the simulator cannot keep, files without an
// end record, and a save and a programming cancelled by a signal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <thread>

#include "cli_run.h"
#include "engine/sim_rig.h"

namespace ostrand::test {
namespace {

using Clock = std::chrono::steady_clock;

struct Outcome {
    bool ended = false;  // within the time allowed
    int status = -1;
    std::string out, err;
};

// A program started with stdin from /dev/null and its output in files.
class Child {
  public:
    Child(const std::vector<std::string>& args, const std::filesystem::path& scratch)
        : out_(scratch / "child.out"), err_(scratch / "child.err") {
        pid_ = fork();
        if (pid_ == 0) {
            int in = open("/dev/null", O_RDONLY);
            int out = open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int err = open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(in, 0);
            dup2(out, 1);
            dup2(err, 2);
            std::vector<std::string> copy = args;
            std::vector<char*> argv;
            for (auto& a : copy) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }
    ~Child() { wait(std::chrono::milliseconds(0)); }
    pid_t pid() const { return pid_; }
    void signal(int number) const { kill(pid_, number); }
    // Waits; a child still running after `limit` is killed and reported so.
    Outcome wait(std::chrono::milliseconds limit) {
        Outcome r;
        if (pid_ <= 0) return r;
        const auto until = Clock::now() + limit;
        int status = 0;
        pid_t done;
        while ((done = waitpid(pid_, &status, WNOHANG)) == 0 && Clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (done == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        } else {
            r.ended = true;
            r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        pid_ = -1;
        auto slurp = [](const std::filesystem::path& p) {
            std::ifstream in(p, std::ios::binary);
            return std::string(std::istreambuf_iterator<char>(in), {});
        };
        r.out = slurp(out_);
        r.err = slurp(err_);
        return r;
    }

  private:
    pid_t pid_ = -1;
    std::filesystem::path out_, err_;
};

Outcome runWithin(const std::vector<std::string>& args, const std::filesystem::path& scratch,
                  std::chrono::milliseconds limit = std::chrono::seconds(2)) {
    return Child(args, scratch).wait(limit);
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The demo program folder with short waits.
class OddInputs : public ::testing::Test {
  protected:
    void SetUp() override { writeFastProgramFolder(folder.path()); }
    std::string at(const std::string& name) const { return (folder.path() / name).string(); }
    void fifo(const std::string& name) const { ASSERT_EQ(mkfifo(at(name).c_str(), 0644), 0); }
    std::vector<std::string> cli(std::vector<std::string> args) const {
        args.insert(args.begin(), OSTRAND_CLI);
        return args;
    }

    TestFolder folder;
    TestFolder scratch;
};

TEST_F(OddInputs, EveryReaderRefusesPipesAndFolders) {
    fifo("pipe.h20");
    Outcome r = runWithin(cli({"info", at("pipe.h20"), "--home", at(""), "--device", "KM16F48"}),
                          scratch.path());
    ASSERT_TRUE(r.ended) << "info waits on a pipe";
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r.err, "E203-42 : ") && has(r.err, "\"" + at("pipe.h20") + "\"")) << r.err;

    fifo("pipe.ini");
    r = runWithin(cli({"check", "--home", at(""), "--setup", at("pipe.ini")}), scratch.path());
    ASSERT_TRUE(r.ended) << "check waits on a setup pipe";
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r.err, "E109 : ") && has(r.err, "\"" + at("pipe.ini") + "\"")) << r.err;

    // The default setup file a folder: a numbered message, not a silent 1.
    std::filesystem::create_directory(folder.path() / "Ostrand.ini");
    r = runWithin(cli({"check", "--home", at("")}), scratch.path());
    ASSERT_TRUE(r.ended);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r.err, "E109 : ") && has(r.err, "\"" + at("Ostrand.ini") + "\"")) << r.err;

    // The definition file a pipe, for the programmer and the simulator alike.
    TestFolder other;
    const std::string def = (other.path() / "Ostrand.def").string();
    ASSERT_EQ(mkfifo(def.c_str(), 0644), 0);
    r = runWithin(cli({"check", "--home", other.path().string()}), scratch.path());
    ASSERT_TRUE(r.ended) << "check waits on a definition pipe";
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r.err, "E100 : ") && has(r.err, "\"" + def + "\"")) << r.err;
    r = runWithin({OSTRAND_SIM, "--home", other.path().string(), "--device", "KM16F48"},
                  scratch.path());
    ASSERT_TRUE(r.ended) << "the simulator waits on a definition pipe";
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r.err, "E100 : ")) << r.err;
}

// A write control program file that is a pipe is refused, not waited on.
TEST_F(OddInputs, WcpFileThatIsAPipe) {
    SimChip chip;
    const std::string port = chip.start(folder.path(), "KM16F48");
    ASSERT_FALSE(port.empty());
    std::filesystem::remove(folder.path() / "KM16F48" / "blank.wcp");
    fifo("KM16F48/blank.wcp");
    Outcome r = runWithin(
        cli({"blank", "--home", at(""), "--device", "KM16F48", "--port", port, "--blank-device"}),
        scratch.path(), std::chrono::seconds(20));
    ASSERT_TRUE(r.ended) << "blank waits on the pipe";
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r.err, "E304-")) << r.err;
}

TEST_F(OddInputs, SimulatorRefusesAFlashFileItCannotWrite) {
    fifo("pipe.bin");
    std::filesystem::create_directory(folder.path() / "dir.bin");
    for (const std::string bad : {"dir.bin", "pipe.bin", "nofolder/flash.bin"}) {
        Outcome r =
            runWithin({OSTRAND_SIM, "--home", at(""), "--device", "KM16F48", "--flash", at(bad)},
                      scratch.path());
        ASSERT_TRUE(r.ended) << bad << ": the simulator started";
        EXPECT_EQ(r.status, 1) << bad;
        EXPECT_EQ(r.out, "") << bad << ": no terminal offered";
        EXPECT_TRUE(has(r.err, "cannot write the flash file " + at(bad))) << r.err;
    }
}

// Programming must not be reported a success when the chip's flash file
// could not be written: the chip falls silent instead of acknowledging.
TEST_F(OddInputs, SimulatorFallsSilentWhenItsFlashFileFails) {
    folder.write("obj.h16", ":10000000000102030405060708090A0B0C0D0E0F78\n:00000001FF\n");
    SimChip chip;
    const std::string port = chip.start(folder.path(), "KM16F48", {}, at("flash.bin"));
    ASSERT_FALSE(port.empty());
    auto program = [&] {
        return runWithin(cli({"program", at("obj.h16"), "--home", at(""), "--device", "KM16F48",
                              "--port", port, "--blank-device"}),
                         scratch.path(), std::chrono::seconds(60));
    };
    Outcome r = program();
    ASSERT_EQ(r.status, 0) << r.err;
    // The flash file can no longer be replaced.
    std::filesystem::remove(folder.path() / "flash.bin");
    std::filesystem::create_directory(folder.path() / "flash.bin");
    r = program();
    ASSERT_TRUE(r.ended);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_FALSE(has(r.err, "R006")) << r.err;
    EXPECT_TRUE(has(r.err, "E002")) << r.err;
}

TEST_F(OddInputs, FileWithoutEndRecordLoadsWithAWarning) {
    const std::string data = ":03010000010203F6\n";
    folder.write("whole.h20", data + ":00000001FF\n");
    folder.write("cut.h20", data);
    const std::string warning = "has no end record";
    Outcome r = runWithin(cli({"info", at("whole.h20"), "--home", at(""), "--device", "KM16F48"}),
                          scratch.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(has(r.err, warning)) << r.err;
    r = runWithin(cli({"info", at("cut.h20"), "--home", at(""), "--device", "KM16F48"}),
                  scratch.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has(r.err, "warning: " + at("cut.h20") + " " + warning)) << r.err;
    EXPECT_TRUE(has(r.out, "  0x000100-0x000102\n")) << r.out;
    // program says it too, before it goes on (here to a port that is not there).
    r = runWithin(cli({"program", at("cut.h20"), "--home", at(""), "--device", "KM16F48", "--port",
                       at("no-port")}),
                  scratch.path(), std::chrono::seconds(20));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r.err, "warning: " + at("cut.h20") + " " + warning)) << r.err;
}

// A paced chip makes the save long enough to be cancelled in the middle.
TEST_F(OddInputs, SignalsCancelASaveAndLeaveNoPartialFile) {
    for (int number : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(number);
        TestFolder chipFolder;
        Child sim({OSTRAND_SIM, "--home", at(""), "--device", "KM16F48", "--pace", "--link",
                   (chipFolder.path() / "tty").string()},
                  chipFolder.path());
        const auto port = chipFolder.path() / "tty";
        for (int i = 0; i < 400 && !std::filesystem::exists(port); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_TRUE(std::filesystem::exists(port));
        folder.write("saved.h16", "earlier\n");
        Child save(cli({"save", at("saved.h16"), "--home", at(""), "--device", "KM16F48", "--port",
                        port.string(), "--rate", "57600", "--blank-device"}),
                   scratch.path());
        auto partials = [&] {
            std::vector<std::string> found;
            for (const auto& e : std::filesystem::directory_iterator(folder.path()))
                if (has(e.path().filename().string(), ".ostrand-partial-"))
                    found.push_back(e.path().filename().string());
            return found;
        };
        const auto until = Clock::now() + std::chrono::seconds(30);
        while (partials().empty() && Clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_EQ(partials().size(), 1u) << "the save never started writing";
        save.signal(number);
        Outcome r = save.wait(std::chrono::seconds(10));
        ASSERT_TRUE(r.ended) << "the save did not stop at the next block";
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(has(r.err, "R312 : Aborting processing...")) << r.err;
        EXPECT_TRUE(partials().empty());
        EXPECT_EQ(folder.read("saved.h16"), "earlier\n");
        sim.signal(SIGTERM);
        sim.wait(std::chrono::seconds(5));
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

// Root passes the terminal's exclusive mode; the lock on the device stops it.
TEST_F(OddInputs, SecondRunOnABusyPortStopsAtOnceAndLeavesTheChipAlone) {
    ASSERT_EQ(geteuid(), 0u) << "run as root: the exclusive mode alone stops other users";
    folder.write("obj.h16", hexFile(0x4000));
    TestFolder chipFolder, second;
    SimChip chip;
    const std::string port =
        chip.startWith(folder.path(), "KM16F48", {"--pace", "--log", at("chip.log")});
    ASSERT_FALSE(port.empty());
    const std::vector<std::string> common = {"--home",  at(""),   "--device",
                                             "KM16F48", "--port", port,
                                             "--rate",  "57600",  "--blank-device"};
    auto with = [&](std::vector<std::string> args) {
        args.insert(args.end(), common.begin(), common.end());
        return cli(args);
    };
    Child first(with({"program", at("obj.h16")}), scratch.path());
    // Talking to the chip: its log has grown past the connection.
    const auto until = Clock::now() + std::chrono::seconds(30);
    while (Clock::now() < until && (!std::filesystem::exists(at("chip.log")) ||
                                    std::filesystem::file_size(at("chip.log")) < 4000))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const std::string busy = "E001-3 : The communication port cannot be used.";
    const std::string holder = port + ": port in use by PID " + std::to_string(first.pid());
    for (const char* command : {"program", "auto"}) {
        const auto started = Clock::now();
        Outcome r =
            runWithin(with({command, at("obj.h16")}), second.path(), std::chrono::seconds(10));
        EXPECT_LT(Clock::now() - started, std::chrono::seconds(3)) << command;
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_TRUE(has(r.err, busy) && has(r.err, holder)) << command << ": " << r.err;
    }
    Outcome r = first.wait(std::chrono::seconds(60));
    EXPECT_EQ(r.status, 0) << r.err;  // undisturbed: the chip heard one host only
    EXPECT_TRUE(has(r.err, "R006")) << r.err;
}

// Ctrl-C on a terminal, SIGINT and SIGTERM with the output piped: the
// programming stops at the next block and says what the chip holds; a
// second run programs it completely.
TEST_F(OddInputs, InterruptedProgrammingSaysTheChipIsPartlyWritten) {
    // A paced chip at 57600 bps takes seconds over this object.
    folder.write("big.h16", hexFile(0x6000));
    const std::vector<std::string> run =
        cli({"auto", "--erase", "--program", "--verify", "--home", at(""), "--device", "KM16F48",
             "--rate", "57600", "--blank-device", "--port", at("tty"), at("big.h16")});
    Child sim({OSTRAND_SIM, "--home", at(""), "--device", "KM16F48", "--pace", "--link", at("tty")},
              scratch.path());
    for (int i = 0; i < 400 && !std::filesystem::exists(at("tty")); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(std::filesystem::exists(at("tty")));
    const std::string partly =
        "R005 : Reprogramming in RAM Loader mode failed.  \"The chip is "
        "partly written: erase it and program it again.\"";
    for (int how : {SIGINT, SIGTERM, 0}) {  // 0: Ctrl-C typed on a terminal
        SCOPED_TRACE(how);
        Outcome r;
        if (how != 0) {
            TestFolder out;
            Child auto_(run, out.path());
            const auto until = Clock::now() + std::chrono::seconds(20);
            while (!has(folder.read((out.path() / "child.out").string()), "All Erase:") &&
                   Clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            auto_.signal(how);
            r = auto_.wait(std::chrono::seconds(10));
        } else {
            int master = -1;
            const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
            if (pid == 0) {
                std::vector<std::string> copy = run;
                std::vector<char*> argv;
                for (auto& a : copy) argv.push_back(a.data());
                argv.push_back(nullptr);
                execv(argv[0], argv.data());
                _exit(127);
            }
            ASSERT_GT(pid, 0);
            std::string seen;
            bool typed = false;
            const auto until = Clock::now() + std::chrono::seconds(30);
            char buffer[512];
            for (;;) {
                struct pollfd p {
                    master, POLLIN, 0
                };
                if (Clock::now() > until || poll(&p, 1, 100) < 0) break;
                if (p.revents & POLLIN) {
                    const ssize_t n = read(master, buffer, sizeof buffer);
                    if (n <= 0) break;
                    seen.append(buffer, size_t(n));
                } else if (p.revents & (POLLHUP | POLLERR)) {
                    break;
                }
                // Once the bar has moved: the terminal's interrupt character.
                if (!typed && std::regex_search(seen, std::regex("Programming... \\[#"))) {
                    typed = write(master, "\x03", 1) == 1;
                }
            }
            int status = 0;
            r.ended = waitpid(pid, &status, 0) == pid && WIFEXITED(status);
            r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            r.out = r.err = seen;
            close(master);
            ASSERT_TRUE(typed) << seen;
        }
        ASSERT_TRUE(r.ended) << "the run did not stop at the next block";
        EXPECT_EQ(r.status, 1) << r.out << r.err;
        const size_t aborting = r.err.find("R312 : Aborting processing...");
        EXPECT_NE(aborting, std::string::npos) << r.err;
        EXPECT_GT(r.err.find(partly), aborting) << r.err;
        EXPECT_TRUE(has(r.out, "Programming:     NG")) << r.out;
        EXPECT_TRUE(has(r.out, "Result: NG")) << r.out;
    }
    // Erased and programmed again, the chip holds the whole object.
    Outcome again = runWithin(run, scratch.path(), std::chrono::seconds(60));
    EXPECT_EQ(again.status, 0) << again.out << again.err;
    EXPECT_TRUE(has(again.out, "Verify with SUM: OK")) << again.out;
    sim.signal(SIGTERM);
    sim.wait(std::chrono::seconds(5));
}

}  // namespace
}  // namespace ostrand::test
