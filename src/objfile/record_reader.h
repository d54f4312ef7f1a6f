// Intel HEX and Motorola S record reading: one line is one record. The
// parser knows only record syntax; the reader places data into a memory
// image laid out like the device's flash.
#pragma once

#include <cstdint>
#include <map>
#include <string_view>
#include <vector>

#include "app/numbers.h"

namespace ostrand {

// File types by extension.
enum ObjectFileType : int32_t {
    kFileNone = 0,
    kFileH16 = 1,
    kFileH20 = 2,
    kFileS16 = 3,
    kFileS24 = 4,
    kFileS32 = 5,
    kFileAbs = 6,
};

// The file type from the last three characters of a path, without regard to
// case; kFileNone when none matches.
int32_t fileTypeOf(std::string_view path);

inline bool isIntelHexType(int32_t fileType) {
    return fileType == kFileH16 || fileType == kFileH20;
}

// A failure as the person sees it: message number, place, hint.
struct LoadFailure {
    int32_t code = 0;
    int32_t place = 0;
    int32_t hint = 0;
    explicit operator bool() const { return code != 0; }
};

struct ParsedRecord {
    bool hasData = false;  // a data record (possibly with no bytes)
    bool isEnd = false;    // an end record: Intel 01, Motorola S7, S8, S9
    uint64_t address = 0;  // file address of the first data byte
    uint32_t count = 0;
    uint8_t data[255] = {};
};

// Parses one line (line end removed). `segmentBase` is the Intel segment in
// force; a segment record changes it. Returns 0, or the place number of the
// syntax failure (shown as "corrupted object file").
int32_t parseRecord(std::string_view line, int32_t fileType, uint32_t& segmentBase,
                    ParsedRecord& out);

// Where the flash of the selected device lies, for placing file data.
struct ImageLayout {
    uint32_t singleChipFlashStart = 0, singleChipFlashEnd = 0;
    uint32_t singleBootFlashStart = 0, singleBootFlashEnd = 0;
    uint32_t flashSecondStart = 0, flashSecondEnd = 0;
    int32_t bootType = -1;

    // Image index of the first byte of the second flash area.
    uint32_t secondAreaIndex() const { return singleBootFlashEnd - singleBootFlashStart + 1; }
    // A second flash area follows the first in the image; 0-0 is none.
    bool hasSecondArea() const;
    // Image index of a single-boot address, or -1 when it has none.
    int64_t indexOf(uint32_t address) const;
};

inline constexpr uint32_t kImageSize = 0x80000;
inline constexpr uint32_t kNoMinAddress = 0xFFFFFF;

// Reads the records of one object file into an image buffer (kImageSize
// bytes) and a list of loaded ranges.
class ObjectReader {
  public:
    ObjectReader(const ImageLayout& layout, int32_t fileType, uint8_t* image,
                 std::vector<AddressRange>& loadedRanges);

    // One line of the file; a failure ends the file.
    LoadFailure feedLine(std::string_view line);

    uint32_t minAddress = kNoMinAddress, maxAddress = 0;
    uint32_t secondMin = kNoMinAddress, secondMax = 0;
    uint64_t dataBytes = 0;  // data bytes placed
    bool placedAny = false;  // at least one data byte placed
    bool endLast = false;    // the last record read was an end record

    // Place one data record at file address R (exposed for tests).
    LoadFailure place(uint64_t fileAddress, const uint8_t* data, uint32_t count);

  private:
    LoadFailure placeEach(uint64_t fileAddress, const uint8_t* data, uint32_t count, uint32_t low,
                          uint32_t high, int64_t offset);
    bool overlaps(int64_t first, int64_t last) const;
    void remember(uint32_t first, uint32_t last);

    ImageLayout layout_;
    int32_t fileType_;
    uint8_t* image_;
    std::vector<AddressRange>& ranges_;
    std::map<uint32_t, uint32_t> filled_;  // start -> end, disjoint, for overlap tests
    uint32_t segmentBase_ = 0;
    ParsedRecord record_;
};

}  // namespace ostrand
