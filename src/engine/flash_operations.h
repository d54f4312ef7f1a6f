// The operations behind the operator's commands: program, erase, blank check,
// verify, read, save, compare and data write. Each picks its path from the
// ProgrammingMode (WCP commands in modes 1 and 2, boot-mode operations in
// modes 3 and 4), shows its progress and ends with one numbered message.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "app/numbers.h"
#include "engine/flash_engine.h"
#include "objfile/hex_records.h"

namespace ostrand {

class ObjectImage;

// One write of the programming plan.
struct WriteChunk {
    uint32_t address = 0;
    uint32_t length = 0;
    bool operator==(const WriteChunk&) const = default;
};

// The chunks that program `ranges`: each range start moved down to the unit
// (unless alignStarts is false), chunks of maxChunk, the last of a range
// rounded up to the unit.
std::vector<WriteChunk> planWrites(const std::vector<AddressRange>& ranges, uint32_t unit,
                                   uint32_t maxChunk, bool alignStarts);

// The detail of 10203 when the image has no byte for `address`.
std::string imageReadErrorDetail(uint32_t address);

// What the Compare dialog gives the comparison.
struct CompareView {
    std::function<void(int32_t textCode)> showText;
    std::function<void()> step;
    std::function<bool()> aborted;
};

struct CompareDifference {
    uint32_t address = 0;
    uint8_t device = 0;
    uint8_t file = 0;
};

class FlashOperations {
  public:
    FlashOperations(CFlashEngine& engine, const ObjectImage& image);

    int32_t programDevice();
    int32_t programForAuto();
    int32_t eraseChip(bool showProgress);
    // `pieceSize` (0: none): the WCP erases the block in pieces of that size.
    int32_t eraseBlock(uint32_t start, uint32_t size, uint32_t pieceSize = 0);
    int32_t blankCheck(bool showProgress);
    // 0 match, 1 mismatch, -1 failed.
    int32_t verifySum(bool showProgress, uint16_t& deviceSum);
    int32_t readFlash(uint32_t start, uint8_t* buffer, uint32_t count);
    // range: empty for the whole flash (both areas where there are two).
    int32_t saveMemoryFile(const std::filesystem::path& file,
                           std::optional<AddressRange> range = std::nullopt);
    // 0 all equal, 1 difference (first one in `difference`), -1 failed. With
    // showResult it also shows 11015 or 11014 (the difference in its detail).
    int32_t compareWithFile(bool showProgress, bool showResult = false,
                            CompareDifference* difference = nullptr);
    // 0 no (further) difference or aborted, 1 difference found, -1 failed.
    int32_t compareStep(const CompareView& view, uint32_t& address, uint8_t& fileByte,
                        uint8_t& flashByte, int32_t fromStart);
    int32_t writeData(uint32_t address, const uint8_t* bytes, uint32_t count);

    // Runs one of the operations above (a callable returning its status) and
    // gives its outcome as a value; the messages still reach the operator.
    template <class F>
    Outcome run(F&& operation) {
        return captureOutcome(op_, std::forward<F>(operation));
    }

    // The 0-to-1 notice was ticked "don't show again".
    int32_t zeroToOneWarned = 0;

  private:
    int32_t finishProgramming();
    bool imageByte(uint32_t address, uint8_t& byte) const;
    void enableCommands(bool on);

    CFlashEngine& engine_;
    const ObjectImage& image_;
    Session& session_;
    Operator& op_;
    std::vector<uint8_t> readBuffer_ = std::vector<uint8_t>(0x2000);
    // Where compareStep stands between calls.
    size_t stepRange_ = 0;
    uint32_t stepAddress_ = 0;
    uint32_t pieceStart_ = 0, pieceLength_ = 0;
};

}  // namespace ostrand
