// The ostrand-sim program as a user starts it: for every device of the demo
// definition file it prints its terminal and answers the matching byte at
// the device's initial rate, through the program's own SerialPort.
#include <filesystem>

#include "app/file_io.h"
#include "recording_operator.h"
#include "sim_host.h"
#include "sim_process.h"

namespace ostrand::sim::test {
namespace {

TEST(Program, EveryDemoDeviceAnswersItsMatchingByte) {
    Session session;
    RecordingOperator op(session);
    DeviceDatabase db(session, op);
    ASSERT_EQ(db.load(std::string(OSTRAND_DATA_DIR) + "/Ostrand.def"), 0);
    ASSERT_GE(db.records().size(), 12u);
    for (const DeviceDefinition& d : db.records()) {
        SCOPED_TRACE(d.deviceName);
        ostrand::test::SimChip sim;
        const std::string path = sim.startWith(OSTRAND_DATA_DIR, d.deviceName, {});
        ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
        SerialPort port(session);
        ASSERT_TRUE(port.open(path, 9600));
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
    ostrand::test::SimChip sim;
    const std::string path =
        sim.startWith(OSTRAND_DATA_DIR, "KM16F32S",
                      {"--flash", flashFile.string(), "--log", (dir / "log").string(), "--link",
                       (dir / "tty").string()});
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
    ASSERT_TRUE(port.open(path, 9600));
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
