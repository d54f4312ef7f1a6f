#include "boot_types.h"

namespace ostrand {

namespace {

constexpr int16_t X = -1;

constexpr RateCodes kCodesCommon = {X, X, 0x28, 0x18, 0x0A, 0x07, 0x06, 0x05, 0x04, X, X};
constexpr RateCodes kCodesBt4 = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, X, X, 0xFF, X, X, X};
constexpr RateCodes kCodesAuto = {0x86, 0x86, 0x86, 0x86, 0x86, 0x86, 0x86, 0x86, 0x86, 0x86, 0x86};
constexpr RateCodes kCodesBt11 = {X, X, 0x86, 0x86, 0x86, 0x86, 0x86, 0x86, 0x86, 0x86, 0x86};
constexpr RateCodes kCodesByClock[3] = {
    {0x03, 0x02, 0x01, 0x00, X, X, X, X, X, X, X},
    {0x04, 0x03, 0x02, 0x01, X, 0x00, X, X, X, X, X},
    {0x05, 0x04, 0x03, 0x02, X, 0x01, X, X, 0x00, X, X},
};

constexpr BootTypeRow kRows[13] = {
    {},
    {.bootType = 1,
     .commands = {0x30, 0x60, 0x90},
     .rateCodes = &kCodesCommon,
     .eraseWithoutPassword = true,
     .absToS24 = true,
     .optionCommand = true},
    {.bootType = 2,
     .commands = {0x30, 0x60, 0x90},
     .rateCodes = &kCodesCommon,
     .addressWidth = 2,
     .replyTimeoutMs = 15,
     .wcpSettleMs = 100,
     .fastReply = true,
     .colonFree = true,
     .pageCount = true,
     .pageMerge = true,
     .pageWriter = true,
     .objectFromZero = true,
     .segmentRecord = true,
     .resyncKeepsRate = true,
     .programPassword = true,
     .noBlockErase = true},
    {.bootType = 3,
     .commands = {0x30, 0x60, 0x90},
     .rateCodes = kCodesByClock,
     .fixedPasswordLength = 4,
     .adapterClock = true,
     .eraseWithoutPassword = true,
     .flatAddress = true,
     .objectFromZero = true,
     .noBlockErase = true,
     .optionCommand = true},
    {.bootType = 4,
     .commands = {0x30, 0x60, 0x90},
     .rateCodes = &kCodesBt4,
     .wcpStart = WcpStart::LineResetChangeRate,
     .lineReset = true,
     .resetSetsMode = true,
     .bootAt9600 = true,
     .identBeforeAnswer = true,
     .passwordRecord = true,
     .leaveCompletion = true,
     .noBlockErase = true},
    {.bootType = 5,
     .commands = {0x30, 0x60, 0x90, 0xC3, 0xF0, 0xFA},
     .rateCodes = &kCodesCommon,
     .addressWidth = 2,
     .replyTimeoutMs = 15,
     .wcpSettleMs = 100,
     .fastReply = true,
     .eraseFirst = true,
     .protect = true,
     .statusBlank = true,
     .colonFree = true,
     .pageWriter = true,
     .objectFromZero = true,
     .segmentRecord = true,
     .resyncKeepsRate = true,
     .programPassword = true,
     .optionCommand = true,
     .protectNeedsObjectPassword = true},
    {.bootType = 6,
     .commands = {0x30, 0x60, 0x90, 0xC3, 0xF0},
     .rateCodes = &kCodesCommon,
     .replyTimeoutMs = 15,
     .wcpSettleMs = 200,
     .fastReply = true,
     .eraseFirst = true,
     .secondArea = true,
     .statusBlank = true,
     .colonFree = true,
     .segmentRecord = true,
     .resyncKeepsRate = true,
     .programPassword = true},
    {.bootType = 7,
     .commands = {0x00, 0x10, 0x20, 0x30, 0x40, 0, 0x54},
     .matchingByte = 0x86,
     .rateCodes = &kCodesAuto,
     .fixedPasswordLength = 12,
     .writeUnit = 4,
     .statusTail = 37,
     .protectRounds = 2,
     .wcpSettleMs = 333,
     .passwordType = true,
     .eraseFirst = true,
     .protect = true,
     .ownRate = true,
     .protectStatus = true,
     .eraseWithoutPassword = true,
     .absToS24 = true,
     .wcpProgramOnly = true,
     .optionCommand = true},
    {.bootType = 8,
     .commands = {0x50, 0x10, 0x20, 0x30, 0x40, 0x60, 0x54},
     .matchingByte = 0x86,
     .rateCodes = &kCodesAuto,
     .fixedPasswordLength = 12,
     .wcpSettleMs = 333,
     .passwordType = true,
     .eraseFirst = true,
     .protect = true,
     .ownRate = true,
     .oneTransfer = true,
     .protectStatus = true,
     .protectReplies = true,
     .eraseWithoutPassword = true,
     .absToS24 = true,
     .optionCommand = true},
    {.bootType = 9,
     .commands = {0x30, 0x60, 0x90, 0xC3, 0xF0, 0xFA},
     .rateCodes = &kCodesCommon,
     .replyTimeoutMs = 15,
     .wcpSettleMs = 200,
     .fastReply = true,
     .eraseFirst = true,
     .protect = true,
     .secondArea = true,
     .statusBlank = true,
     .colonFree = true,
     .segmentRecord = true,
     .resyncKeepsRate = true,
     .programPassword = true,
     .optionCommand = true,
     .protectNeedsObjectPassword = true},
    {.bootType = 10,
     .commands = {0x50, 0x10, 0x20, 0, 0x40, 0, 0x54},
     .matchingByte = 0x86,
     .rateCodes = &kCodesAuto,
     .fixedPasswordLength = 12,
     .fixedClockMHz = 16.9344,
     .wcpSettleMs = 333,
     .passwordType = true,
     .eraseFirst = true,
     .ownRate = true,
     .oneTransfer = true,
     .eraseWithoutPassword = true,
     .absToS24 = true,
     .optionCommand = true},
    {.bootType = 11,
     .commands = {0x30, 0x60, 0x90, 0xC3, 0xF0, 0xFA, 0, 0x40, 0xD0, 0xC0},
     .matchingByte = 0x86,
     .rateCodes = &kCodesBt11,
     .replyTimeoutMs = 15,
     .eraseFirst = true,
     .protect = true,
     .ownReadProtect = true,
     .ownRate = true,
     .secondExchange = true,
     .blockCommands = true,
     .memorySizes = true,
     .statusBlank = true,
     .colonFree = true,
     .programPassword = true,
     .singleBootPasswordAlways = true,
     .singleBootCommands = true},
    {.bootType = 12,
     .commands = {0x30, 0x30, 0x90},
     .rateCodes = &kCodesCommon,
     .writeUnit = 64,
     .wcpStart = WcpStart::LineResetSetRateCode,
     .lineReset = true,
     .colonFree = true,
     .flatAddress = true,
     .pageCount = true,
     .pageWriter = true,
     .readyByte = true,
     .wcpRateCode = true,
     .wcpViaWriteOnly = true,
     .sumAfterProgram = true,
     .bootBlock = true,
     .noPassword = true},
};

}  // namespace

bool knownBootType(int32_t b) {
    return b >= 1 && b <= 12;
}

const BootTypeRow& bootTypeRow(int32_t b) {
    return kRows[knownBootType(b) ? b : 0];
}

uint32_t blankPasswordLength(int32_t b) {
    const uint32_t fixed = bootTypeRow(b).fixedPasswordLength;
    return fixed != 0 ? fixed : 255;
}

bool inBootBlock(int32_t b, uint64_t address) {
    return bootTypeRow(b).bootBlock && address >= kBootBlockStart && address <= kBootBlockEnd;
}

bool FastReplyBootTypes(int32_t b) {
    return bootTypeRow(b).fastReply;
}
bool PasswordBootTypes(int32_t b) {
    return bootTypeRow(b).passwordType;
}
bool EraseFirstTypes(int32_t b) {
    return bootTypeRow(b).eraseFirst;
}
bool ProtectTypes(int32_t b, int32_t second) {
    return bootTypeRow(b).protect && !(bootTypeRow(b).ownReadProtect && second == 1);
}
bool BootTypesB(int32_t b) {
    return bootTypeRow(b).eraseWithoutPassword;
}
bool BootTypesC(int32_t b) {
    return bootTypeRow(b).fixedPasswordLength != 0;
}
bool SecondAreaBootTypes(int32_t b) {
    return bootTypeRow(b).secondArea;
}
bool OwnRateBootTypes(int32_t b) {
    return bootTypeRow(b).ownRate;
}
bool BootTypesF(int32_t b) {
    return bootTypeRow(b).colonFree;
}
bool BootTypesG(int32_t b, int32_t memSizeEmulat) {
    return bootTypeRow(b).flatAddress || (bootTypeRow(b).memorySizes && memSizeEmulat == 60);
}
bool BootTypesH(int32_t b) {
    return bootTypeRow(b).pageCount;
}
bool BootTypesI(int32_t b) {
    return bootTypeRow(b).statusBlank;
}
bool LineResetBootTypes(int32_t b) {
    return bootTypeRow(b).lineReset;
}

}  // namespace ostrand
