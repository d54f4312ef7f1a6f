#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "serial/serial_port.h"
#include "serial/wire_trace.h"

namespace ostrand {
namespace {

namespace fs = std::filesystem;

// Every line of the trace without its time stamp; the stamps must not go back.
std::vector<std::string> traceLines(const fs::path& file, const std::string& port) {
    std::ifstream in(file);
    std::vector<std::string> lines;
    std::string line;
    double last = 0;
    while (std::getline(in, line)) {
        if (line.starts_with("#")) continue;
        std::istringstream words(line);
        double at = -1;
        std::string name;
        words >> at >> name;
        EXPECT_GE(at, last) << line;
        EXPECT_EQ(name, port) << line;
        last = at;
        std::string rest;
        std::getline(words, rest);
        lines.push_back(rest.substr(1));
    }
    return lines;
}

TEST(WireTrace, RecordsWhatTheLineCarriedBurstByBurst) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master) | unlockpt(master), 0);
    const std::string slave = ptsname(master);
    const fs::path file = fs::temp_directory_path() / ("ostrand-trace-" + std::to_string(getpid()));
    Session session;
    SerialPort port(session);
    const uint8_t hello[] = {0x5A, 0x00, 0xFF};
    uint8_t byte = 0;

    // Off: the port writes nothing anywhere.
    ASSERT_TRUE(port.open(slave, 9600));
    ASSERT_TRUE(port.write(hello, 3, 0, 0));
    port.close();

    WireTrace trace;
    ASSERT_TRUE(trace.open(file.string()));
    WireTrace::setActive(&trace);
    ASSERT_TRUE(port.open(slave, 9600));
    ASSERT_TRUE(port.write(hello, 3, 0, 0));
    // Three bytes read one by one are one burst; after a pause, a new one.
    ASSERT_EQ(::write(master, "\x11\x22\x33", 3), 3);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(port.readByte(&byte, 500));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(::write(master, "\x44", 1), 1);
    ASSERT_TRUE(port.readByte(&byte, 500));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(::write(master, "\x55", 1), 1);
    ASSERT_TRUE(port.readByte(&byte, 500));
    ASSERT_TRUE(port.setBaudRate(76800));
    // The two-stop-bit split: the frame with two, its last byte with one.
    session.ComDelayFlags = 1;
    ASSERT_TRUE(port.write(hello, 3, 1, 1));
    port.close();
    WireTrace::setActive(nullptr);

    const std::vector<std::string> want = {
        "open 9600 8N1",     "> 9600 8N1 5A 00 FF", "< 9600 8N1 11 22 33",
        "< 9600 8N1 44",     "< 9600 8N1 55",       "rate 76800",
        "> 76800 8N2 5A 00", "> 76800 8N1 FF",      "close",
    };
    EXPECT_EQ(traceLines(file, slave), want);
    fs::remove(file);
    ::close(master);
}

}  // namespace
}  // namespace ostrand
