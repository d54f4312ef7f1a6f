// Port: what the engine needs of a serial line to the target. SerialPort is
// the real one on termios; a test may give the engine one of its own.
#pragma once

#include <cstdint>
#include <string>

namespace ostrand {

class Port {
  public:
    virtual ~Port() = default;

    // port: a device name; baud: bits per second. On failure nothing stays
    // open and lastErrno() tells why.
    virtual bool open(const std::string& port, uint32_t baud) = 0;
    // Harmless when closed.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual int lastErrno() const = 0;
    // What the operator is told about the last failed open, beyond its
    // message: who holds a busy port. Empty when there is nothing to add.
    virtual std::string openFailureDetail() const { return {}; }

    // A rate this port cannot take (0 among them) leaves the rate as it is
    // and fails. One stop bit, 8 data bits, no parity.
    virtual bool setBaudRate(uint32_t baud) = 0;
    virtual uint32_t currentBaud() const = 0;

    // twoStopBitsFirst: the frame goes out with two stop bits; lastByteApart:
    // its last byte goes alone with one stop bit. The caller decides when
    // the split applies.
    virtual bool write(const uint8_t* buffer, uint32_t count, int twoStopBitsFirst,
                       int lastByteApart) = 0;
    bool writeByte(const uint8_t* byte, int twoStopBitsFirst, int lastByteApart) {
        return write(byte, 1, twoStopBitsFirst, lastByteApart);
    }
    // Waits up to timeoutMs (at least one read attempt) for one byte.
    virtual bool readByte(uint8_t* byte, uint32_t timeoutMs) = 0;
    // count in: room in buffer; out: bytes taken from what was already waiting.
    virtual bool readAvailable(uint8_t* buffer, uint32_t& count) = 0;
    // Reads and drops whatever is already waiting.
    void discardInput();
    // Waits until every written byte has left.
    virtual bool drain() = 0;

    // 1 = on, anything else = off. False when the port refuses.
    virtual bool setRts(int on) = 0;
    virtual bool setDtr(int on) = 0;
    // The last refused line change came from a line without modem lines.
    virtual bool noModemLines() const = 0;

    // Send *send at the current rate, wait for the target's reply, and only
    // then change the local rate. 0 done, 1 no reply, 2 rate refused,
    // 3 (checked only) reply differs from the byte sent.
    int switchBaudChecked(uint32_t baud, const uint8_t* send, uint8_t* reply, uint32_t timeoutMs);
    int switchBaudUnchecked(uint32_t baud, const uint8_t* send, uint8_t* reply, uint32_t timeoutMs);

  private:
    int switchBaud(uint32_t baud, const uint8_t* send, uint8_t* reply, uint32_t timeoutMs,
                   bool checked);
};

}  // namespace ostrand
