#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "serial/line_settings.h"
#include "serial/port_info.h"
#include "serial/serial_port.h"
#include "serial/wire_trace.h"

namespace ostrand {
namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

long msSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// The test holds the master side of a pseudo-terminal; the port opens the slave.
class SerialPortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master), 0);
        ASSERT_EQ(unlockpt(master), 0);
        slave = ptsname(master);
        ASSERT_TRUE(port.open(slave, 9600));
    }
    void TearDown() override {
        port.close();
        if (master >= 0) ::close(master);
    }
    LineSettings line() {
        LineSettings s;
        EXPECT_TRUE(readLineSettings(master, s));
        return s;
    }
    std::string receive(size_t n, int timeoutMs = 1000) {
        std::string got;
        while (got.size() < n) {
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, timeoutMs) <= 0) break;
            char buf[64];
            ssize_t r = ::read(master, buf, std::min(sizeof buf, n - got.size()));
            if (r <= 0) break;
            got.append(buf, static_cast<size_t>(r));
        }
        return got;
    }

    Session session;
    SerialPort port{session};
    int master = -1;
    std::string slave;
};

TEST_F(SerialPortTest, OpenSetsRawLineAndCloseRestoresIt) {
    const LineSettings s = line();
    EXPECT_TRUE(s.baud == 9600 && s.dataBits == 8 && s.stopBits == 1 && !s.parity);
    termios t{};
    ASSERT_EQ(tcgetattr(master, &t), 0);
    EXPECT_FALSE((t.c_lflag & (ICANON | ECHO | ISIG)) || (t.c_iflag & (ICRNL | IXON)) ||
                 (t.c_oflag & OPOST));
    // No modem lines on a pseudo-terminal: the port opens all the same, but
    // a line change is refused, says why, and leaves the recorded state.
    EXPECT_TRUE(port.noModemLines());
    EXPECT_FALSE(port.setRts(0));
    EXPECT_FALSE(port.setDtr(1));
    EXPECT_EQ(port.rtsControl, 1u);
    EXPECT_EQ(port.dtrControl, 0u);

    port.close();
    port.close();
    EXPECT_FALSE(port.isOpen());
    ASSERT_EQ(tcgetattr(master, &t), 0);
    EXPECT_TRUE(t.c_lflag & ICANON);
    EXPECT_EQ(line().baud, 38400u);
    // The exclusive mark does not outlive the port.
    EXPECT_TRUE(port.open(slave, 115200));
}

TEST_F(SerialPortTest, OpenFailuresLeaveNothingOpen) {
    SerialPort other(session);
    // Held: also root, whom the terminal's exclusive mode lets through.
    EXPECT_FALSE(other.open(slave, 9600));
    EXPECT_EQ(other.lastErrno(), EBUSY);
    EXPECT_EQ(other.busyHolder(), getpid());
    EXPECT_EQ(other.openFailureDetail(),
              slave + ": port in use by PID " + std::to_string(getpid()));
    EXPECT_FALSE(other.open("/nonexistent/ttyUSB9", 9600));
    EXPECT_EQ(other.lastErrno(), ENOENT);
    const fs::path file =
        fs::temp_directory_path() / ("ostrand-serial-" + std::to_string(getpid()));
    std::ofstream(file) << "x";
    EXPECT_FALSE(other.open(file.string(), 9600));
    EXPECT_EQ(other.lastErrno(), ENOTTY);
    EXPECT_FALSE(other.isOpen());
    fs::remove(file);
    port.close();
    EXPECT_FALSE(other.open(slave, 12345));
    EXPECT_FALSE(other.isOpen());
    EXPECT_EQ(line().baud, 38400u);  // nothing changed on the line
}

TEST_F(SerialPortTest, EveryBootRateIsTakenAndBadRatesChangeNothing) {
    for (uint32_t rate : {2400u, 4800u, 9600u, 19200u, 31250u, 38400u, 57600u, 62500u, 76800u,
                          115200u, 128000u, 230400u}) {
        ASSERT_TRUE(port.setBaudRate(rate)) << rate;
        EXPECT_EQ(line().baud, rate);
        EXPECT_EQ(port.currentBaud(), rate);
    }
    ASSERT_TRUE(port.setBaudRate(62500));
    for (uint32_t bad : {0u, 1u, 12345u, 62501u, 4294967295u}) {
        EXPECT_FALSE(port.setBaudRate(bad)) << bad;
        EXPECT_EQ(line().baud, 62500u) << bad;
        EXPECT_EQ(port.currentBaud(), 62500u);
    }
}

TEST_F(SerialPortTest, SplitSendsFrameAndLeavesTheStopBitsItOwes) {
    ASSERT_TRUE(port.setBaudRate(62500));
    const uint8_t frame[] = {0x10, 0x20, 0x30};
    ASSERT_TRUE(port.write(frame, 3, 1, 0));
    EXPECT_EQ(receive(3), "\x10\x20\x30");
    EXPECT_EQ(line().stopBits, 2);
    EXPECT_EQ(line().baud, 62500u);  // the stop-bit change keeps a termios2 rate

    ASSERT_TRUE(port.writeByte(frame, 1, 1));
    EXPECT_EQ(receive(1), "\x10");
    EXPECT_EQ(line().stopBits, 1);

    ASSERT_TRUE(port.write(frame, 0, 1, 1));  // an empty frame changes nothing
    EXPECT_EQ(receive(1, 50), "");
    EXPECT_EQ(line().stopBits, 1);

    ASSERT_TRUE(port.write(frame, 3, 0, 0));  // no marks: no split
    EXPECT_EQ(receive(3), "\x10\x20\x30");
    EXPECT_EQ(line().stopBits, 1);

    session.ComDelayFlags = 0x3F | (25 << 8);  // all four pauses, 25 ms each
    const auto start = Clock::now();
    ASSERT_TRUE(port.write(frame, 3, 1, 1));
    EXPECT_GE(msSince(start), 100);
    EXPECT_EQ(receive(3), "\x10\x20\x30");
    EXPECT_EQ(line().stopBits, 1);
}

TEST_F(SerialPortTest, ReadsHonourTimeOutsAndBufferRoom) {
    uint8_t b = 0;
    auto start = Clock::now();
    EXPECT_FALSE(port.readByte(&b, 0));
    EXPECT_LT(msSince(start), 50);
    start = Clock::now();
    EXPECT_FALSE(port.readByte(&b, 300));
    EXPECT_GE(msSince(start), 295);
    EXPECT_LT(msSince(start), 800);

    uint8_t buf[8] = {};
    uint32_t count = sizeof buf;
    EXPECT_TRUE(port.readAvailable(buf, count));
    EXPECT_EQ(count, 0u);
    ASSERT_EQ(::write(master, "abcde", 5), 5);
    pollfd p{port.handle, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 1000), 1);
    count = 3;  // less room than what waits
    EXPECT_TRUE(port.readAvailable(buf, count));
    EXPECT_EQ(std::string(buf, buf + count), "abc");
    count = sizeof buf;
    EXPECT_TRUE(port.readAvailable(buf, count));
    EXPECT_EQ(std::string(buf, buf + count), "de");

    ::close(master);  // the other end goes away: no waiting out the time-out
    master = -1;
    start = Clock::now();
    EXPECT_FALSE(port.readByte(&b, 2000));
    EXPECT_LT(msSince(start), 1000);
}

TEST_F(SerialPortTest, BaudSwitchesChangeTheRateOnlyAfterAGoodReply) {
    struct Case {
        bool checked;
        int reply;  // -1 none
        uint32_t rate;
        int expect;
    };
    const Case cases[] = {{true, 0x55, 115200, 0}, {true, 0x54, 115200, 3}, {true, -1, 115200, 1},
                          {true, 0x55, 12345, 2},  {false, 0x54, 62500, 0}, {false, -1, 62500, 1}};
    for (const Case& c : cases) {
        ASSERT_TRUE(port.setBaudRate(9600));
        uint32_t rateAtReceipt = 0;
        std::thread target([&] {
            std::string got = receive(1);
            rateAtReceipt = line().baud;
            if (got == "\x55" && c.reply >= 0) {
                const char r = static_cast<char>(c.reply);
                ASSERT_EQ(::write(master, &r, 1), 1);
            }
        });
        const uint8_t send = 0x55;
        uint8_t reply = 0;
        const int result = c.checked ? port.switchBaudChecked(c.rate, &send, &reply, 300)
                                     : port.switchBaudUnchecked(c.rate, &send, &reply, 300);
        target.join();
        EXPECT_EQ(result, c.expect) << c.rate << " " << c.reply;
        EXPECT_EQ(rateAtReceipt, 9600u);
        const uint32_t want = c.expect == 0 ? c.rate : 9600u;
        EXPECT_EQ(line().baud, want);
        EXPECT_EQ(port.currentBaud(), want);
    }
}

// Registered terminals: links NAME.PID of running programs that open as
// terminals, in natural order; stale, dangling and unnamed links are not.
TEST_F(SerialPortTest, RegisteredTerminalsOfRunningPrograms) {
    port.close();
    const fs::path folder =
        fs::temp_directory_path() / ("ostrand-ports-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const std::string me = std::to_string(getpid());
    pid_t gone = fork();
    if (gone == 0) _exit(0);
    waitpid(gone, nullptr, 0);
    for (const std::string& name : {"KM16F48." + me, "KM8P32." + me, "KM8P4." + me,
                                    "KM16F96." + std::to_string(gone), std::string("KM16F48")})
        fs::create_symlink(slave, folder / name);
    fs::create_symlink(folder / "nothing", folder / ("KMV5A128." + me));
    std::ofstream(folder / ("file." + me)) << "not a link\n";
    const std::vector<std::string> expected = {(folder / ("KM8P4." + me)).string(),
                                               (folder / ("KM8P32." + me)).string(),
                                               (folder / ("KM16F48." + me)).string()};
    EXPECT_EQ(SerialPort::virtualPortsIn(folder), expected);
    EXPECT_TRUE(SerialPort::virtualPortsIn(folder / "missing").empty());
    fs::remove_all(folder);
}

// A sysfs and /dev as the kernel lays them out: an FTDI converter (ids on the
// USB device two levels up), a CDC modem (the interface is the device), an
// on-board UART; for the list also an empty UART slot, a virtual console, a
// port whose node is gone and two converters to sort. The nodes are links to
// a real pseudo-terminal so that they open as terminals.
TEST_F(SerialPortTest, PortListAndDescriptionsFollowSysfs) {
    port.close();  // a port held exclusively does not open for the probe
    const fs::path root = fs::temp_directory_path() / ("ostrand-ports-" + std::to_string(getpid()));
    const fs::path sys = root / "sys", dev = root / "dev", tty = sys / "class" / "tty";
    auto file = [](const fs::path& p, const std::string& text) {
        fs::create_directories(p.parent_path());
        std::ofstream(p) << text << "\n";
    };
    // device: the tty's device folder below `usb`; driver: its driver's name.
    auto add = [&](const std::string& name, const fs::path& device, const std::string& driver,
                   bool node = true) {
        const fs::path own = device / "tty" / name;
        fs::create_directories(own);
        fs::create_directory_symlink(device, own / "device");
        fs::create_directories(sys / "bus" / "drivers" / driver);
        fs::create_directory_symlink(sys / "bus" / "drivers" / driver, device / "driver");
        fs::create_directories(tty);
        fs::create_directory_symlink(own, tty / name);
        fs::create_directories(dev);
        if (node) fs::create_symlink(slave, dev / name);
    };
    const fs::path ftdi = sys / "devices" / "usb1" / "1-1";
    for (auto [key, value] : {std::pair{"idVendor", "0403"},
                              {"idProduct", "6001"},
                              {"serial", "A10KX3"},
                              {"manufacturer", "FTDI"},
                              {"product", "FT232R USB UART"}})
        file(ftdi / key, value);
    add("ttyUSB0", ftdi / "1-1:1.0" / "ttyUSB0", "ftdi_sio");
    const fs::path acm = sys / "devices" / "usb1" / "1-2";
    file(acm / "idVendor", "2341");
    file(acm / "idProduct", "0043");
    file(acm / "1-2:1.0" / "interface", "CDC Abstract Control Model");
    add("ttyACM0", acm / "1-2:1.0", "cdc_acm");
    add("ttyS0", sys / "devices" / "platform" / "serial8250", "serial8250");
    file(tty / "ttyS0" / "type", "4");
    add("ttyS1", sys / "devices" / "platform" / "slot1", "serial8250");
    file(tty / "ttyS1" / "type", "0");  // no UART in that slot
    add("ttyUSB10", sys / "devices" / "usb2", "ftdi_sio");
    add("ttyUSB2", sys / "devices" / "usb3", "ftdi_sio");
    add("ttyACM1", sys / "devices" / "usb4", "cdc_acm", false);  // held elsewhere or gone
    fs::create_directories(tty / "tty3");                        // a virtual console
    fs::create_symlink(slave, dev / "tty3");
    fs::create_directories(dev / "serial" / "by-id");
    fs::create_symlink("../../ttyUSB0", dev / "serial" / "by-id" / "usb-FTDI_FT232R_A10KX3-port0");

    const std::string d = dev.string() + "/", gone = d + "ttyACM1";
    const std::vector<std::string> free = {d + "ttyACM0", d + "ttyS0", d + "ttyUSB0", d + "ttyUSB2",
                                           d + "ttyUSB10"};
    EXPECT_EQ(SerialPort::listPortsIn(tty, dev, false, gone), free);
    EXPECT_EQ(SerialPort::listPortsIn(tty, dev, true, "/dev/ttyUSB7"), free);
    std::vector<std::string> withOwn = free;
    withOwn.insert(withOwn.begin() + 1, gone);
    EXPECT_EQ(SerialPort::listPortsIn(tty, dev, true, gone), withOwn);

    // Path, by-id link, driver, vendor, product, serial number, description.
    const std::vector<std::string> want = {
        d + "ttyACM0||cdc_acm|2341|0043||CDC Abstract Control Model", d + "ttyS0||serial8250||||",
        d + "ttyUSB0|" + d +
            "serial/by-id/usb-FTDI_FT232R_A10KX3-port0|ftdi_sio|0403|6001|A10KX3|" +
            "FTDI FT232R USB UART",
        d + "ttyUSB2||ftdi_sio||||", d + "ttyUSB10||ftdi_sio||||"};
    std::vector<std::string> got;
    for (const PortInfo& p : describePorts(sys, dev))
        got.push_back(p.path + "|" + p.byId + "|" + p.driver + "|" + p.vendorId + "|" +
                      p.productId + "|" + p.serialNumber + "|" + p.description);
    EXPECT_EQ(got, want);
    fs::remove_all(root);
}

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

TEST_F(SerialPortTest, WireTraceRecordsWhatTheLineCarriedBurstByBurst) {
    port.close();
    const fs::path file = fs::temp_directory_path() / ("ostrand-trace-" + std::to_string(getpid()));
    const uint8_t hello[] = {0x5A, 0x00, 0xFF};
    uint8_t byte = 0;

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
}

}  // namespace
}  // namespace ostrand
