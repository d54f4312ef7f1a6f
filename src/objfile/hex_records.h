// Intel HEX records as the programs write them: upper-case digits and a line
// feed after every record. The object expansion file, a saved memory file and
// the tests' hand-made objects all come from here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ostrand {

// Appends one record of `count` (at most 255) data bytes, with the checksum
// that brings the sum of its bytes to zero.
void appendHexRecord(std::string& out, uint8_t type, uint16_t address, const uint8_t* data,
                     uint32_t count);
// Appends an extended segment address record: the addresses of the records
// after it count from segment x 16.
void appendHexSegment(std::string& out, uint16_t segment);
inline constexpr std::string_view kHexEndRecord = ":00000001FF\n";

// Where a saved memory file stands between pieces.
struct SegmentState {
    bool started = false;
    uint32_t block = 0;  // the 64 KiB block of the last segment record
    uint32_t base = 0;   // segment x 16
};

// The Intel HEX lines of a saved memory file for `bytes` at `start`
// (16-byte data records, a segment record before the first record of every
// 64 KiB block unless withSegments is false), without the end record.
std::string memoryFileRecords(uint32_t start, const uint8_t* bytes, uint32_t count,
                              bool withSegments, SegmentState& segments);

}  // namespace ostrand
