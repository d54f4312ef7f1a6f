// Intel HEX records as the programs write and read them. Written: upper-case
// digits and a line feed after every record; the object expansion file, a
// saved memory file and the tests' hand-made objects all come from here.
// Read: the one record decoder behind object files, WCP files and the object
// expansion file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
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

// One Intel HEX record decoded: the bytes after the colon.
struct HexRecord {
    uint8_t bytes[260] = {};  // count, address high, address low, type, data, checksum
    uint32_t size = 0;        // count + 5

    uint8_t count() const { return bytes[0]; }
    uint16_t address() const { return static_cast<uint16_t>(bytes[1] << 8 | bytes[2]); }
    uint8_t type() const { return bytes[3]; }
    const uint8_t* data() const { return bytes + 4; }
    uint8_t checksum() const { return bytes[size - 1]; }
    // The checksum brings the sum of all bytes to zero.
    bool sumOk() const;
    // An extended segment address record: type 02 with two data bytes.
    bool isSegment() const { return type() == 0x02 && count() == 2; }
    // Its segment: the records after it count from segment x 16.
    uint32_t segment() const { return uint32_t{bytes[4]} << 8 | bytes[5]; }
};

// Decodes one line, its line end already removed. False when it is no
// well-formed record: no colon, a non-hex digit, a count that disagrees with
// the length. The checksum is the caller's to judge.
bool decodeHexRecord(std::string_view line, HexRecord& out);

// An Intel HEX file read record by record, for the files the engine sends:
// WCP files and the object expansion file.
class HexFileReader {
  public:
    // Opens only a regular file: a named pipe would wait for ever.
    explicit HexFileReader(const std::filesystem::path& path);
    bool isOpen() const { return in_.is_open(); }
    // The next line that is not blank, its line end and trailing blanks
    // removed; false at the end of the file. `wellFormed` tells whether it
    // decoded into `record`.
    bool next(HexRecord& record, bool& wellFormed);
    // Reading failed part-way.
    bool failed() const { return in_.bad(); }

  private:
    std::ifstream in_;
    std::string line_;
};

}  // namespace ostrand
