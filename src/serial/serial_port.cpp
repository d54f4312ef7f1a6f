#include "serial/serial_port.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "serial/line_settings.h"
#include "serial/wire_trace.h"

namespace ostrand {
namespace {

using Clock = std::chrono::steady_clock;

struct RateCode {
    uint32_t rate;
    speed_t code;
};

constexpr RateCode kStandardRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

// Rates of the boot programs that have no B-constant; they go through termios2.
constexpr uint32_t kOtherRates[] = {31250, 62500, 76800, 128000};

speed_t speedCode(uint32_t rate) {
    for (const auto& r : kStandardRates)
        if (r.rate == rate) return r.code;
    return B0;
}

std::string devicePath(const std::string& port) {
    return port.find('/') == std::string::npos ? "/dev/" + port : port;
}

// The process holding an flock on the device at `path`, from the kernel's
// list of locks ("1: FLOCK  ADVISORY  WRITE 1234 00:05:87 0 EOF"); 0 when
// none is listed (another PID namespace, or the holder has just let go).
int flockHolder(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return 0;
    char id[64];
    std::snprintf(id, sizeof id, "%02x:%02x:%llu", major(st.st_dev), minor(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string number, type, kind, mode, pid, where;
        if (!(fields >> number >> type) || type == "->") continue;  // a waiter
        if (fields >> kind >> mode >> pid >> where && type == "FLOCK" && where == id)
            return std::atoi(pid.c_str());
    }
    return 0;
}

uint32_t elapsedMs(Clock::time_point since) {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
    return static_cast<uint32_t>(ms);
}

}  // namespace

SerialPort::SerialPort(Session& session) : session_(session) {}

SerialPort::~SerialPort() {
    close();
}

bool SerialPort::takesRate(uint32_t rate) {
    if (rate == 0) return false;
    return speedCode(rate) != B0 ||
           std::find(std::begin(kOtherRates), std::end(kOtherRates), rate) != std::end(kOtherRates);
}

bool SerialPort::open(const std::string& port, uint32_t baud) {
    close();
    lastErrno_ = 0;
    busyHolder_ = 0;
    const std::string path = devicePath(port);
    failedPath_ = path;
    int fd = port.empty() ? -1 : ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        lastErrno_ = port.empty() ? ENOENT : errno;
        if (lastErrno_ == EBUSY) busyHolder_ = flockHolder(path);
        return false;
    }
    int err = isatty(fd) ? 0 : ENOTTY;
    // The lock first: until it is held nothing here may touch the line of
    // another holder (not even its exclusive mark).
    if (err == 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        err = errno == EWOULDBLOCK ? EBUSY : errno;
        if (err == EBUSY) busyHolder_ = flockHolder(path);
        ::close(fd);
        lastErrno_ = err;
        return false;
    }
    if (err == 0 && ioctl(fd, TIOCEXCL) != 0) err = errno;
    // savedState must be good before anything can restore it.
    if (err == 0 && tcgetattr(fd, &savedState) != 0) {
        err = errno;
        (void)ioctl(fd, TIOCNXCL);
    }
    if (err != 0) {
        ::close(fd);
        lastErrno_ = err;
        return false;
    }
    handle = fd;

    // USB adapters otherwise hold each reply back for up to 16 ms.
    struct serial_struct serial {};
    if (ioctl(fd, TIOCGSERIAL, &serial) == 0 && !(serial.flags & ASYNC_LOW_LATENCY)) {
        serial.flags |= ASYNC_LOW_LATENCY;
        (void)ioctl(fd, TIOCSSERIAL, &serial);
    }

    LineSettings line;
    savedRate_ = readLineSettings(fd, line) ? line.baud : 0;
    rtsControl = 1;
    dtrControl = 0;
    errno = 0;
    noModemLines_ = false;
    // A terminal without modem lines still carries data.
    const bool ok =
        setBaudRate(baud) && (setRts(1) || noModemLines_) && (setDtr(0) || noModemLines_);
    if (!ok) {
        lastErrno_ = errno ? errno : EINVAL;
        close();
        return false;
    }
    portName_ = path;
    startTrace();
    return true;
}

std::string SerialPort::openFailureDetail() const {
    if (lastErrno_ != EBUSY) return {};
    std::string text = failedPath_ + ": port in use";
    if (busyHolder_ > 0) text += " by PID " + std::to_string(busyHolder_);
    return text;
}

void SerialPort::close() {
    if (handle < 0) return;
    if (trace_) endTrace();
    (void)apply(savedState, savedRate_);
    // A pseudo-terminal keeps the exclusive mark after the last close.
    (void)ioctl(handle, TIOCNXCL);
    ::close(handle);
    handle = -1;
    currentRate_ = 0;
    portName_.clear();
}

bool SerialPort::apply(const struct termios& state, uint32_t rate) {
    const speed_t code = speedCode(rate);
    if (rate != 0 && code == B0) {
        detail::TermiosWords words;
        words.iflag = state.c_iflag;
        words.oflag = state.c_oflag;
        words.cflag = state.c_cflag;
        words.lflag = state.c_lflag;
        words.line = state.c_line;
        std::memcpy(words.cc, state.c_cc, std::min(sizeof words.cc, sizeof state.c_cc));
        return detail::applyWithRate(handle, words, rate, true);
    }
    struct termios t = state;
    t.c_cflag &= ~CIBAUD;
    if (code != B0) {
        cfsetispeed(&t, code);
        cfsetospeed(&t, code);
    }
    return tcsetattr(handle, TCSADRAIN, &t) == 0;
}

bool SerialPort::setBaudRate(uint32_t rate) {
    if (handle < 0) return false;
    if (tcgetattr(handle, &savedState) != 0) return false;
    LineSettings line;
    savedRate_ = readLineSettings(handle, line) ? line.baud : currentRate_;
    currentState = savedState;

    if (!takesRate(rate)) {
        errno = EINVAL;
        return false;
    }
    struct termios next = savedState;
    next.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                      IXANY | INPCK | IMAXBEL);
    next.c_oflag &= ~OPOST;
    next.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    next.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    next.c_cflag |= CS8 | CREAD | CLOCAL;
    next.c_cc[VMIN] = 0;
    next.c_cc[VTIME] = 0;
    if (!apply(next, rate)) return false;

    // A UART that cannot make the rate quietly picks another; a rate off by
    // more than a UART tolerates counts as refused.
    if (readLineSettings(handle, line) && line.baud != 0 &&
        (line.baud > rate ? line.baud - rate : rate - line.baud) > rate / 33) {
        (void)apply(savedState, savedRate_);
        errno = EINVAL;
        return false;
    }
    if (tcgetattr(handle, &currentState) != 0) currentState = next;
    currentRate_ = rate;
    if (trace_) traceRate();
    return true;
}

bool SerialPort::setStopBits(int bits) {
    if (trace_) flushReceived();
    struct termios t {};
    if (tcgetattr(handle, &t) != 0) return false;
    if (bits == 2)
        t.c_cflag |= CSTOPB;
    else
        t.c_cflag &= ~CSTOPB;
    if (!apply(t, currentRate_)) return false;
    currentState = t;
    return true;
}

bool SerialPort::writeAll(const uint8_t* data, uint32_t count) {
    // As long as a slow line may need, but never forever: 1 s plus 1 s a byte.
    const auto begun = Clock::now();
    const auto deadline = begun + std::chrono::milliseconds(1000 + 1000ull * count);
    uint32_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(handle, data + done, count - done);
        if (n > 0) {
            done += static_cast<uint32_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        pollfd p{handle, POLLOUT, 0};
        const int r = ::poll(&p, 1, static_cast<int>(std::min<int64_t>(left.count(), 2000)));
        if (r < 0 && errno != EINTR) return false;
        if (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL))) return false;
    }
    if (trace_) traceSent(data, count, begun);
    return true;
}

bool SerialPort::write(const uint8_t* buffer, uint32_t count, int twoStopBitsFirst,
                       int lastByteApart) {
    if (handle < 0 || (count > 0 && buffer == nullptr)) return false;
    // An empty frame has no last byte to send apart: nothing to do at all.
    if (count == 0) return true;
    const uint32_t flags = session_.ComDelayFlags.load();
    const uint32_t pauseMs = ((flags >> 8) & 0xFF) ? ((flags >> 8) & 0xFF) : 1;
    auto pauseIf = [&](uint32_t bit) {
        if (flags & bit) std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    };

    if (twoStopBitsFirst == 1) {
        pauseIf(0x01);
        if (!setStopBits(2)) return false;
        pauseIf(0x02);
    }
    const bool apart = lastByteApart == 1;
    const uint32_t n = apart ? count - 1 : count;
    if (n > 0 && !writeAll(buffer, n)) return false;
    if (apart) {
        pauseIf(0x04);
        if (!setStopBits(1)) return false;
        pauseIf(0x08);
        return writeAll(buffer + n, 1);
    }
    return true;
}

bool SerialPort::readByte(uint8_t* byte, uint32_t timeoutMs) {
    if (handle < 0 || byte == nullptr) return false;
    const auto start = Clock::now();
    for (;;) {
        const uint32_t elapsed = elapsedMs(start);
        const uint32_t remaining = elapsed >= timeoutMs ? 0 : timeoutMs - elapsed;
        pollfd p{handle, POLLIN, 0};
        const int r = ::poll(&p, 1, static_cast<int>(std::min<uint32_t>(remaining, 2000)));
        if (r < 0 && errno != EINTR) return false;
        if (r > 0) {
            const ssize_t got = ::read(handle, byte, 1);
            if (got == 1) {
                if (trace_) traceReceived(byte, 1);
                return true;
            }
            // End of file or an error other than "nothing yet": the device is gone.
            if (got == 0 || (errno != EAGAIN && errno != EINTR)) return false;
        }
        if (elapsedMs(start) >= timeoutMs) return false;
    }
}

bool SerialPort::readAvailable(uint8_t* buffer, uint32_t& count) {
    const uint32_t room = count;
    count = 0;
    if (handle < 0) return false;
    // Line errors arrive in-band on termios; there is no error word to clear.
    int queued = 0;
    if (ioctl(handle, FIONREAD, &queued) != 0) return false;
    const uint32_t want = std::min(static_cast<uint32_t>(std::max(queued, 0)), room);
    if (want == 0) return true;
    if (buffer == nullptr) return false;
    const ssize_t got = ::read(handle, buffer, want);
    if (got < 0) return errno == EAGAIN || errno == EINTR;
    count = static_cast<uint32_t>(got);
    if (trace_) traceReceived(buffer, count);
    return true;
}

bool SerialPort::setModemLine(int bit, int on) {
    if (handle < 0) return false;
    int bits = bit;
    if (ioctl(handle, on == 1 ? TIOCMBIS : TIOCMBIC, &bits) == 0) return true;
    // A terminal without modem lines (a pseudo-terminal): the line did not move.
    if (errno == ENOTTY || errno == EINVAL) noModemLines_ = true;
    return false;
}

bool SerialPort::setRts(int on) {
    if (!setModemLine(TIOCM_RTS, on)) return false;
    rtsControl = on == 1 ? 1 : 0;
    return true;
}

bool SerialPort::setDtr(int on) {
    if (!setModemLine(TIOCM_DTR, on)) return false;
    dtrControl = on == 1 ? 1 : 0;
    return true;
}

bool SerialPort::drain() {
    return handle >= 0 && tcdrain(handle) == 0;
}

void SerialPort::listPorts(std::vector<std::string>& list, const std::string& ownPort) const {
    list = systemPorts(session_.MultiInstance.load() == 1, devicePath(ownPort));
}

}  // namespace ostrand
