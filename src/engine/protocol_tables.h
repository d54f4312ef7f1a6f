// Protocol constants of the boot programs and the WCPs: command tables, rate
// codes, the reply tables of the reply check, and the small frame helpers.
// Pure functions, so that every table can be checked without a chip.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/boot_types.h"
#include "app/data_rate.h"

namespace ostrand {

enum ReplyKind : int32_t { WcpKind = 0, BootKind = 1 };

// Columns of the boot-program command table.
enum BootColumn : int32_t {
    kColProgram = 0,
    kColRamTransfer = 1,
    kColSum = 2,
    kColStatus = 3,
    kColErase = 4,
    kColProtect = 5,
    kColErase2 = 6,
    kColRead = 7,
    kColIdent1 = 8,
    kColIdent2 = 9,
};

// Indexes of the WCP command table.
enum WcpColumn : int32_t {
    kWcpWrite = 0,
    kWcpRead = 1,
    kWcpBlockErase = 2,
    kWcpBlank = 3,
    kWcpSum = 4,
    kWcpReadProtect = 5,
    kWcpNone = 6,
    kWcpLeave = 7,
    kWcpRegister = 8,
    kWcpDivisor = 9,
    kWcpRateCode = 10,
};

uint8_t bootCommand(int32_t bootType, int32_t column);  // 0: no such command
uint8_t wcpCommand(int32_t column);
uint8_t matchingByte(int32_t bootType);
// The boot-mode erase selector of the 4 KiB block at `start` (BootType 11):
// the block's number counted from address 0. 0xF0 is the whole chip.
constexpr uint8_t kEraseWholeChip = 0xF0;
uint8_t eraseSelector(uint32_t start);

// The code that asks the boot program for `rate`; -1 when the boot type (and,
// for BootType 3, the adapter clock setting 4, 8 or other) does not support it.
int32_t rateCodeFor(int32_t bootType, int32_t clockSetting, DataRate rate);

// Clock-divisor search for 115200 bps from a target clock in Hz: three passes
// of +-1, 2, 3 %. N is stored modulo 16 and K is 0 for whole divisors.
bool findDivisor(double clockHz, uint8_t& n, uint8_t& k);

// What the reply check decides for an unexpected byte.
struct ReplyVerdict {
    enum Kind { Echo, Message, IllegalWrite, CommandError } kind = Echo;
    int32_t code = 0;
    int32_t hint = 0;
};
ReplyVerdict classifyReply(ReplyKind kind, int32_t bootType, int32_t column, uint8_t byte);

// Frame helpers.
void buildHeader(uint8_t* buffer, uint32_t address, uint32_t count);  // 8 bytes, 7 sent
uint16_t sum16(const uint8_t* bytes, int32_t count);
uint8_t checksum8(const uint8_t* bytes, int32_t count);  // two's complement of the 8-bit sum
void buildRegisterFrame(uint8_t* buffer, uint16_t reg, uint8_t value);  // 4 bytes

}  // namespace ostrand
