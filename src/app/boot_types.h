// What sets one boot type apart from another: one row per BootType 1 to 12.
// Everything the program asks of a boot type is read from its row; the named
// groups below are lookups in it.
#pragma once

#include <array>
#include <cstdint>

namespace ostrand {

// Rate codes by DataRate::index(); -1: the boot program does not offer it.
using RateCodes = std::array<int16_t, 11>;

// How a WCP takes over after its RAM transfer.
enum class WcpStart : uint8_t {
    Settle,                // a pause of wcpSettleMs, then the WCP answers
    LineResetChangeRate,   // reset line, start byte, the WCP's own rate change
    LineResetSetRateCode,  // reset line at 9600, start byte, rate code to the WCP
};

struct BootTypeRow {
    int32_t bootType = 0;
    std::array<uint8_t, 10> commands{};  // by BootColumn; 0: no such command
    uint8_t matchingByte = 0x5A;
    // One row, or for adapterClock three: adapter clock setting 4, 8, other.
    const RateCodes* rateCodes = nullptr;
    uint32_t fixedPasswordLength = 0;  // at the password area's start; 0: found in the image
    uint32_t addressWidth = 3;         // bytes per address in the password frame's address part
    double fixedClockMHz = 0.0;        // a clock that the setup cannot change; 0: none
    uint32_t writeUnit = 2;            // alignment of writes when the bus width does not decide
    uint32_t replyTimeoutMs = 1000;    // RecTimeOut when the definition gives none
    uint32_t statusTail = 19;          // bytes after the 42 of the long status answer
    uint32_t protectRounds = 1;
    WcpStart wcpStart = WcpStart::Settle;
    uint32_t wcpSettleMs = 0;

    bool fastReply = false;          // vectors cached at link-up, short reply time-out
    bool passwordType = false;       // matched at the working rate, checksummed 12-byte password
    bool eraseFirst = false;         // the boot program erases the chip before it programs
    bool protect = false;            // has a read protection
    bool ownReadProtect = false;     // its own ReadProtect setting; the second form has none
    bool secondArea = false;         // a second flash area
    bool ownRate = false;            // matched at the data rate with 0x86
    bool lineReset = false;          // reset through the modem lines before matching
    bool resetSetsMode = false;      // the reset sets DTR, the mode line, before and after
    bool adapterClock = false;       // rates follow the adapter clock; A0 before the rate step
    bool bootAt9600 = false;         // the boot program runs at 9600 only: FF step
    bool identBeforeAnswer = false;  // 61/F4/F6 xx xx may come before the matching answer
    bool passwordRecord = false;     // opens its chip with a password record of its own
    bool leaveCompletion = false;    // the WCP's leave ends with a completion byte
    bool secondExchange = false;     // 79 after the matching byte
    bool blockCommands = false;      // boot program reads, sums, identifies and erases by block
    bool memorySizes = false;        // memory size settings 60/96/124 apply
    bool oneTransfer = false;        // single boot takes the object in one transfer
    bool protectStatus = false;      // the long status answer tells the protection
    bool protectReplies = false;     // replies 52/62/72 are protect answers
    bool statusBlank = false;  // short status answer: blank, protect; blank takes addresses only
    bool eraseWithoutPassword = false;      // erase offered at start without a password
    bool colonFree = false;                 // single boot passwords hold no ':'
    bool flatAddress = false;               // objects without segments (.h16)
    bool pageCount = false;                 // programs whole pages
    bool pageMerge = false;                 // a data write merges its page; starts are not aligned
    bool pageWriter = false;                // the expansion file is written page by page
    bool objectFromZero = false;            // object records are addressed from 0
    bool absToS24 = false;                  // .abs objects convert to .s24
    bool segmentRecord = false;             // WCP records open with a segment record, take none
    bool resyncKeepsRate = false;           // after a WCP resync the rate step is not repeated
    bool programPassword = false;           // the programming command takes the password frame
    bool readyByte = false;                 // RAM transfer: a ready byte, no password frame
    bool wcpRateCode = false;               // the data rate is set through the WCP
    bool wcpViaWriteOnly = false;           // its WCP comes only with an erase or a programming
    bool sumAfterProgram = false;           // a whole-flash sum follows a programming
    bool bootBlock = false;                 // has the boot block kBootBlockStart-kBootBlockEnd
    bool noPassword = false;                // no password steps, no password log
    bool singleBootPasswordAlways = false;  // SingleBootPassword 1 whatever the file says
    // What the operator's commands may do with it.
    bool singleBootCommands = false;  // erase, blank check, read and protect in single boot only
    bool wcpProgramOnly = false;      // programmed through a WCP only
    bool noBlockErase = false;        // no block erase
    bool optionCommand = false;       // the Option hand-off applies
    bool protectNeedsObjectPassword = false;  // ReadProtect programming needs the object's password
};

// The row of `bootType`; an empty row (no commands, no flags) outside 1 to 12.
const BootTypeRow& bootTypeRow(int32_t bootType);
bool knownBootType(int32_t bootType);
// The length of the blank-chip password: the fixed length, or 255.
uint32_t blankPasswordLength(int32_t bootType);

// The boot block of a chip that has one: always programmed, summed up to
// its end, never compared.
inline constexpr uint32_t kBootBlockStart = 0x7FF8, kBootBlockEnd = 0x7FFF;
bool inBootBlock(int32_t bootType, uint64_t address);

// Named groups of boot types.
bool FastReplyBootTypes(int32_t bootType);
bool PasswordBootTypes(int32_t bootType);
bool EraseFirstTypes(int32_t bootType);
bool ProtectTypes(int32_t bootType, int32_t second = 0);
bool BootTypesB(int32_t bootType);  // erase without password
bool BootTypesC(int32_t bootType);  // fixed password at the area's start
bool SecondAreaBootTypes(int32_t bootType);
bool OwnRateBootTypes(int32_t bootType);
bool BootTypesF(int32_t bootType);                             // colon-free single boot passwords
bool BootTypesG(int32_t bootType, int32_t memSizeEmulat = 0);  // flat addressing
bool BootTypesH(int32_t bootType);                             // whole pages
bool BootTypesI(int32_t bootType);                             // short status answer
bool LineResetBootTypes(int32_t bootType);

}  // namespace ostrand
