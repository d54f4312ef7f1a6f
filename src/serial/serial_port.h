// The serial port the engine talks to the target through: a terminal device
// on termios, 8 data bits, no parity, raw, held exclusively.
#pragma once

#include <termios.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "app/session.h"
#include "serial/port.h"
#include "serial/wire_trace.h"

namespace ostrand {

class SerialPort : public Port {
  public:
    explicit SerialPort(Session& session);
    ~SerialPort() override;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // port: a device path ("/dev/ttyUSB0", "/dev/pts/3"); a bare name is taken
    // from /dev. baud: decimal text. On failure nothing stays open and
    // lastErrno() tells why (EACCES: the user may not use the device; EBUSY:
    // another program holds it, see busyHolder()). The device is held with
    // an exclusive advisory lock (flock) besides the terminal's exclusive
    // mode, which does not stop root.
    bool open(const std::string& port, uint32_t baud) override;
    // Puts back savedState and releases the device; harmless when closed.
    void close() override;
    // A text that names no rate this port can take leaves the settings as
    // they are and fails.
    bool setBaudRate(uint32_t baud) override;

    // twoStopBitsFirst sends with two stop bits and lastByteApart sends the
    // last byte alone with one stop bit, with the pauses ComDelayFlags asks
    // for. Stop-bit changes wait until earlier bytes have left.
    bool write(const uint8_t* buffer, uint32_t count, int twoStopBitsFirst,
               int lastByteApart) override;
    // Waits up to timeoutMs (at least one read attempt) for one byte.
    bool readByte(uint8_t* byte, uint32_t timeoutMs) override;
    // count in: room in buffer; out: bytes taken from what was already waiting.
    bool readAvailable(uint8_t* buffer, uint32_t& count) override;
    // 1 = on, anything else = off. False when the port refuses, also on a
    // terminal that has no modem lines (a pseudo-terminal): see noModemLines().
    bool setRts(int on) override;
    bool setDtr(int on) override;
    // The last refused line change came from a terminal without modem lines.
    bool noModemLines() const override { return noModemLines_; }

    // Waits until every written byte has left.
    bool drain() override;

    // The serial devices of this machine as "/dev/<name>", in natural order.
    // ownPort: the port named in this instance's settings; in multi-instance
    // mode it is listed even when it cannot be opened (we may hold it).
    void listPorts(std::vector<std::string>& list, const std::string& ownPort) const;
    // The same, over any sysfs class folder and device folder.
    static std::vector<std::string> listPortsIn(const std::filesystem::path& sysClassTty,
                                                const std::filesystem::path& devDir,
                                                bool multiInstance, const std::string& ownPort);
    // The terminals registered in `folder` (links NAME.PID of running
    // programs that open as terminals), as paths in natural order.
    static std::vector<std::string> virtualPortsIn(const std::filesystem::path& folder);
    // The machine's serial devices, then this user's registered terminals.
    static std::vector<std::string> systemPorts(bool multiInstance, const std::string& ownPort);

    bool isOpen() const override { return handle >= 0; }
    uint32_t currentBaud() const override { return currentRate_; }
    int stopBits() const { return (currentState.c_cflag & CSTOPB) ? 2 : 1; }
    int lastErrno() const override { return lastErrno_; }
    // The process that holds the device locked, when the last open found it
    // busy and the holder can be known; else 0.
    int busyHolder() const { return busyHolder_; }
    // "PATH: port in use" and the holder's PID when known.
    std::string openFailureDetail() const override;
    const std::string& portName() const { return portName_; }

    // Whether this machine's ports can be set to `rate`.
    static bool takesRate(uint32_t rate);

    uint32_t rtsControl = 1;
    uint32_t dtrControl = 0;
    struct termios savedState {};
    struct termios currentState {};
    int handle = -1;

  private:
    bool apply(const struct termios& state, uint32_t rate);
    bool setStopBits(int bits);
    bool setModemLine(int bit, int on);
    bool writeAll(const uint8_t* data, uint32_t count);

    // The wire trace (serial_port_trace.cpp); trace_ is null while off.
    void startTrace();
    void endTrace();
    void traceRate();
    void traceSent(const uint8_t* data, uint32_t count, WireTrace::Clock::time_point at);
    void traceReceived(const uint8_t* data, uint32_t count);
    void flushReceived();
    WireTrace* trace_ = nullptr;
    std::vector<uint8_t> rxBurst_;
    WireTrace::Clock::time_point rxFirst_{}, rxLast_{};
    uint32_t rxRate_ = 0;
    int rxStopBits_ = 1;

    Session& session_;
    uint32_t currentRate_ = 0;
    uint32_t savedRate_ = 0;
    int lastErrno_ = 0;
    int busyHolder_ = 0;
    std::string failedPath_;
    bool noModemLines_ = false;
    std::string portName_;
};

}  // namespace ostrand
