// The ostrand-sim program as a user starts it: for every device of the demo
// definition file it prints its terminal and answers the matching byte at
// the device's initial rate, through the program's own SerialPort.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "app/file_io.h"
#include "recording_operator.h"
#include "sim_host.h"

extern char** environ;

namespace ostrand::sim::test {
namespace {

struct Running {
    pid_t pid = -1;
    std::string path;
    Running(const std::vector<std::string>& args) {
        int out[2];
        EXPECT_EQ(pipe(out), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<char*> argv{const_cast<char*>(OSTRAND_SIM_EXE)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        EXPECT_EQ(posix_spawn(&pid, OSTRAND_SIM_EXE, &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        char c;
        while (read(out[0], &c, 1) == 1 && c != '\n') path += c;
        close(out[0]);
    }
    // SIGTERM ends it cleanly.
    int stop() {
        kill(pid, SIGTERM);
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

TEST(Program, EveryDemoDeviceAnswersItsMatchingByte) {
    Session session;
    RecordingOperator op(session);
    DeviceDatabase db(session, op);
    ASSERT_EQ(db.load(std::string(OSTRAND_DATA_DIR) + "/Ostrand.def"), 0);
    ASSERT_GE(db.records().size(), 12u);
    for (const DeviceDefinition& d : db.records()) {
        SCOPED_TRACE(d.deviceName);
        Running sim({"--home", OSTRAND_DATA_DIR, "--device", d.deviceName});
        ASSERT_EQ(sim.path.rfind("/dev/pts/", 0), 0u) << sim.path;
        SerialPort port(session);
        ASSERT_TRUE(port.open(sim.path, 9600));
        const uint8_t match =
            d.bootType == 7 || d.bootType == 8 || d.bootType == 10 || d.bootType == 11 ? 0x86
                                                                                       : 0x5A;
        ASSERT_TRUE(port.writeByte(&match, 0, 0));
        usleep(100 * 1000);
        uint8_t reply[16];
        uint32_t n = sizeof reply;
        ASSERT_TRUE(port.readAvailable(reply, n));
        ASSERT_GT(n, 0u);
        EXPECT_EQ(reply[n - 1], match);
        if (d.bootType == 11) {
            const uint8_t y = 0x79;
            uint8_t got = 0;
            ASSERT_TRUE(port.writeByte(&y, 0, 0));
            ASSERT_TRUE(port.readByte(&got, 1000));
            EXPECT_EQ(got, y);
        }
        port.close();
        EXPECT_EQ(sim.stop(), 0);
    }
}

TEST(Program, KeepsItsFlashInTheFileAndServesAReconnectingHost) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("ostrand-sim-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const auto flashFile = dir / "flash.bin";
    const std::string image(0x8000, '\x00');  // KM16F32S, all programmed
    ASSERT_TRUE(writeFileAtomic(flashFile, image));
    Running sim({"--home", OSTRAND_DATA_DIR, "--device", "KM16F32S", "--flash", flashFile.string(),
                 "--log", (dir / "log").string(), "--link", (dir / "tty").string()});
    Session session;
    SerialPort port(session);
    for (int round = 0; round < 2; ++round) {  // the second time after a close
        ASSERT_TRUE(port.open((dir / "tty").string(), 9600));
        const uint8_t match = 0x5A;
        uint8_t got = 0;
        ASSERT_TRUE(port.writeByte(&match, 0, 0));
        ASSERT_TRUE(port.readByte(&got, 1000));
        EXPECT_EQ(got, 0x5A);
        port.close();
        usleep(100 * 1000);  // the simulator notices the hang-up
    }
    // Erase through the programming command; the file follows.
    ASSERT_TRUE(port.open(sim.path, 9600));
    const Bytes erase = {0x5A, 0x30};
    ASSERT_TRUE(port.write(erase.data(), 2, 0, 0));
    uint8_t r[3];
    for (uint8_t& b : r) ASSERT_TRUE(port.readByte(&b, 1000));
    EXPECT_EQ((Bytes{r[0], r[1], r[2]}), (Bytes{0x5A, 0x30, 0xC1}));
    const Bytes end = record(0x01, 0, {});
    ASSERT_TRUE(port.write(end.data(), uint32_t(end.size()), 0, 0));
    ASSERT_TRUE(port.readByte(r, 1000));
    ASSERT_TRUE(port.readByte(r + 1, 1000));
    EXPECT_EQ(readWholeFile(flashFile), std::string(0x8000, '\xFF'));
    port.close();
    EXPECT_EQ(sim.stop(), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "tty"));
    const auto log = readWholeFile(dir / "log");
    ASSERT_TRUE(log);
    EXPECT_NE(log->find("rx 30"), std::string::npos);
    EXPECT_NE(log->find("reset host closed"), std::string::npos);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace ostrand::sim::test
