// The ostrand-sim program as a user starts it, through the program's own
// SerialPort: its flash file, its link, and a clean end.
#include <filesystem>

#include "app/file_io.h"
#include "sim_host.h"
#include "sim_process.h"

namespace ostrand::sim::test {
namespace {

TEST(Program, KeepsItsFlashInTheFileAndRemovesItsLinkAtTheEnd) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("ostrand-sim-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const auto flashFile = dir / "flash.bin";
    ASSERT_TRUE(writeFileAtomic(flashFile, std::string(0x8000, '\x00')));  // KM16F32S, all 0
    ostrand::test::SimChip sim;
    sim.startWith(OSTRAND_DATA_DIR, "KM16F32S",
                  {"--flash", flashFile.string(), "--link", (dir / "tty").string()});
    Session session;
    SerialPort port(session);
    ASSERT_TRUE(port.open((dir / "tty").string(), 9600));
    auto exchange = [&](const Bytes& out, size_t n) {
        EXPECT_TRUE(port.write(out.data(), uint32_t(out.size()), 0, 0));
        Bytes got(n);
        for (uint8_t& b : got) EXPECT_TRUE(port.readByte(&b, 1000));
        return got;
    };
    // Erase through the programming command; the file follows.
    EXPECT_EQ(exchange({0x5A, 0x30}, 3), (Bytes{0x5A, 0x30, 0xC1}));
    EXPECT_EQ(exchange(record(0x01, 0, {}), 2).size(), 2u);
    EXPECT_EQ(readWholeFile(flashFile), std::string(0x8000, '\xFF'));
    port.close();
    EXPECT_EQ(sim.stop(), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "tty"));
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace ostrand::sim::test
