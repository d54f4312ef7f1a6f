#include "protocol_tables.h"

#include <cmath>
#include <initializer_list>
#include <utility>

#include "app/device_database.h"

namespace ostrand {

namespace {

constexpr uint8_t kWcpCommands[11] = {0x50, 0x60, 0x40, 0x70, 0x20, 0x80,
                                      0x00, 0xF0, 0xE0, 0xE0, 0xE0};

struct Pair {
    uint8_t reply;
    int32_t code;
};

// The reply tables, searched from the top; the first equal reply decides.
constexpr Pair kRamLoaderTable[] = {
    {0x58, 10007}, {0x51, 10008}, {0x54, 10016}, {0x58, 10010}, {0x68, 10007}, {0x61, 10008},
    {0x48, 10007}, {0x41, 10008}, {0x44, 10009}, {0x48, 10010}, {0x78, 10007}, {0x71, 10008},
    {0x28, 10007}, {0x21, 10008}, {0xF8, 10007}, {0xE8, 10007}, {0xE1, 10008}, {0xE4, 10009},
    {0xE8, 10010}, {0x88, 10007}, {0x84, 10009}, {0x82, 11026}, {0x81, 10008}, {0x52, 10022},
    {0x62, 10022}, {0x72, 10022}, {0xE8, 10007}, {0xE1, 10008}, {0xE2, 10024}, {0xE8, 10007},
    {0xE1, 10008}, {0xE2, 10011},
};
constexpr Pair kGenericTable[] = {
    {0xA1, 10003}, {0xA2, 10004}, {0xA3, 10005}, {0x62, 10011}, {0x63, 10006}, {0x64, 11018},
    {0xF4, 10003}, {0xF6, 10005}, {0x61, 10006}, {0x4A, 10003}, {0x8A, 10004}, {0x2A, 10005},
    {0x66, 10019}, {0x67, 10008}, {0xEA, 10020}, {0xCA, 10020}, {0xAA, 10020}, {0x6A, 10020},
};
constexpr Pair kBt7Table[] = {
    {0x11, 10006}, {0x18, 10007}, {0x21, 10006}, {0x28, 10007}, {0x31, 10006},
    {0x38, 10007}, {0x41, 10006}, {0x48, 10007}, {0x51, 10006}, {0x58, 10007},
};
constexpr Pair kBt8Table[] = {
    {0x11, 10006}, {0x18, 10007}, {0x16, 10006}, {0x21, 10006}, {0x28, 10007}, {0x31, 10006},
    {0x38, 10007}, {0x41, 10006}, {0x48, 10007}, {0x51, 10006}, {0x58, 10007}, {0x51, 10006},
    {0x58, 10007}, {0x54, 10006}, {0x56, 10006}, {0x61, 10006}, {0x68, 10007},
};
constexpr Pair kBt10Table[] = {
    {0x11, 10006}, {0x18, 10007}, {0x21, 10006}, {0x28, 10007}, {0x41, 10006}, {0x48, 10007},
    {0x51, 10006}, {0x58, 10007}, {0x51, 10006}, {0x58, 10007}, {0x54, 10006},
};

template <size_t N>
const Pair* find(const Pair (&table)[N], uint8_t reply, bool (*counts)(const Pair&) = nullptr) {
    for (const Pair& p : table)
        if (p.reply == reply && (!counts || counts(p))) return &p;
    return nullptr;
}

// The reply tables of the boot programs that have one of their own.
const Pair* ownReplies(int32_t bootType, uint8_t byte) {
    const BootTypeRow& row = bootTypeRow(bootType);
    if (!row.passwordType) return nullptr;
    if (row.protectReplies) return find(kBt8Table, byte);
    if (row.protectStatus) return find(kBt7Table, byte);
    return find(kBt10Table, byte);
}

}  // namespace

uint8_t bootCommand(int32_t bootType, int32_t column) {
    if (column < 0 || column > 9) return 0;
    return bootTypeRow(bootType).commands[column];
}

uint8_t wcpCommand(int32_t column) {
    return column >= 0 && column <= 10 ? kWcpCommands[column] : 0;
}

uint8_t matchingByte(int32_t bootType) {
    return bootTypeRow(bootType).matchingByte;
}

uint8_t eraseSelector(uint32_t start) {
    return static_cast<uint8_t>(start >> 12);
}

int32_t rateCodeFor(int32_t bootType, int32_t clockSetting, DataRate rate) {
    const int32_t i = rate.index();
    if (i < 0) return -1;
    const BootTypeRow& row = bootTypeRow(bootType);
    if (!row.rateCodes) return -1;
    const int setting = !row.adapterClock ? 0 : clockSetting == 4 ? 0 : clockSetting == 8 ? 1 : 2;
    return row.rateCodes[setting][i];
}

bool findDivisor(double clockHz, uint8_t& n, uint8_t& k) {
    constexpr double kTarget = 115200.0;
    for (int p = 1; p <= 3; ++p) {
        const double low = kTarget * (100 - p) / 100.0, high = kTarget * (100 + p) / 100.0;
        auto fits = [&](double rate) { return rate >= low && rate <= high; };
        for (int tryN = 1; tryN <= 16; ++tryN) {
            if (fits(clockHz / tryN / 64.0)) {
                n = static_cast<uint8_t>(tryN % 16);
                k = 0;
                return true;
            }
        }
        for (int tryN = 2; tryN <= 15; ++tryN) {
            for (int tryK = 1; tryK <= 15; ++tryK) {
                if (fits(clockHz / (tryN + (16 - tryK) / 16.0) / 64.0)) {
                    n = static_cast<uint8_t>(tryN);
                    k = static_cast<uint8_t>(tryK);
                    return true;
                }
            }
        }
    }
    return false;
}

ReplyVerdict classifyReply(ReplyKind kind, int32_t bootType, int32_t column, uint8_t byte) {
    const uint8_t expected = kind == BootKind ? bootCommand(bootType, column) : wcpCommand(column);
    if (byte == expected) return {ReplyVerdict::Echo, 0, 0};

    if (kind == WcpKind || !PasswordBootTypes(bootType)) {
        // The protect replies 52, 62 and 72 mean something only to BootType 8.
        const bool protectReplies = bootTypeRow(bootType).protectReplies;
        for (const Pair& p : kRamLoaderTable) {
            if (p.reply != byte) continue;
            if ((p.reply == 0x52 || p.reply == 0x62 || p.reply == 0x72) && !protectReplies)
                continue;
            if (p.code == 10016) return {ReplyVerdict::IllegalWrite, 10016, 0};
            return {ReplyVerdict::Message, p.code, 0};
        }
    }
    if (const Pair* p = find(kGenericTable, byte)) {
        if (p->code == 10006) return {ReplyVerdict::CommandError, 10006, 12127};
        int32_t hint = p->code == 11018 ? 12101 : p->code == 10011 ? 12144 : 0;
        return {ReplyVerdict::Message, p->code, hint};
    }
    const Pair* own = ownReplies(bootType, byte);
    if (own && own->code != 10006) return {ReplyVerdict::Message, own->code, 0};
    return {ReplyVerdict::CommandError, 10006, 12127};
}

void buildHeader(uint8_t* b, uint32_t address, uint32_t count) {
    b[0] = static_cast<uint8_t>(address >> 24);
    b[1] = static_cast<uint8_t>(address >> 16);
    b[2] = static_cast<uint8_t>(address >> 8);
    b[3] = static_cast<uint8_t>(address);
    b[4] = static_cast<uint8_t>(count >> 8);
    b[5] = static_cast<uint8_t>(count);
    b[6] = checksum8(b, 6);
    b[7] = 0;
}

uint16_t sum16(const uint8_t* bytes, int32_t count) {
    uint32_t s = 0;
    for (int32_t i = 0; i < count; ++i) s += bytes[i];
    return static_cast<uint16_t>(s);
}

uint8_t checksum8(const uint8_t* bytes, int32_t count) {
    uint8_t s = 0;
    for (int32_t i = 0; i < count; ++i) s = static_cast<uint8_t>(s + bytes[i]);
    return static_cast<uint8_t>(0x100 - s);
}

void buildRegisterFrame(uint8_t* b, uint16_t reg, uint8_t value) {
    b[0] = static_cast<uint8_t>(reg >> 8);
    b[1] = static_cast<uint8_t>(reg);
    b[2] = value;
    b[3] = checksum8(b, 3);
}

}  // namespace ostrand
