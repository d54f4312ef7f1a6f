// The rules of the manual operations (memory dump, chip and block erase, data
// read and write, verify, compare): what the operator typed is checked here,
// and each operation runs here with its follow-up. The windows only ask and
// show.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/numbers.h"
#include "document/dump_layout.h"
#include "engine/flash_operations.h"

namespace ostrand {

class DeviceDatabase;
class DocumentCore;

// A refusal of what was typed: a numbered message, shown by the caller.
struct Refusal {
    int32_t code = 0;
    int32_t hint = 0;
    std::string detail;
    explicit operator bool() const { return code != 0; }
};

// "0x" or "0X" and one to eight hexadecimal digits.
bool parseHexAddress(std::string_view text, uint32_t& value);

// The selected device's flash areas: the single-boot flash, and for the boot
// types with a data flash also that area. Empty without a device.
std::vector<AddressRange> flashAreasOf(const DeviceDatabase& devices);
// The area that holds `address`, or none.
const AddressRange* areaHolding(const std::vector<AddressRange>& areas, uint32_t address);

// The messages of one address box: empty, not hex, outside the flash.
struct AddressMessages {
    int32_t empty, format, range, rangeHint;
};
inline constexpr AddressMessages kDumpAddress{10514, 10500, 10513, 12110};
inline constexpr AddressMessages kStartAddress{10506, 10501, 10502, 12110};
inline constexpr AddressMessages kEndAddress{10507, 10503, 10504, 12110};
inline constexpr AddressMessages kBlockAddress{10506, 10501, 10315, 12110};

Refusal checkAddress(std::string_view text, const DeviceDatabase& devices,
                     const AddressMessages& messages, uint32_t& address);
// Start and End of the Data Read/Write dialog.
Refusal checkAddressRange(std::string_view start, std::string_view end,
                          const DeviceDatabase& devices, uint32_t& first, uint32_t& last);

// "4 KB" ... "256 KB": the number times 1024 when "KB" follows its first
// character, otherwise the number itself.
uint32_t blockSizeOf(std::string_view text);
// The block erase's header counts 16-bit words in 16 bits: a block above
// 64 KB is erased in pieces of 64 KB.
inline constexpr uint32_t kBlockErasePiece = 0x10000;
Refusal checkBlockErase(std::string_view start, std::string_view size,
                        const DeviceDatabase& devices, uint32_t& address, uint32_t& bytes);

// The Data box: hex items separated by blanks or commas, each one byte, as
// many as the range holds.
Refusal parseDataBytes(std::string_view text, uint32_t first, uint32_t last,
                       std::vector<uint8_t>& bytes);
// The Data box of a read: every byte as "%02x ".
std::string dataText(const std::vector<uint8_t>& bytes);

// Whether the command's preamble asks for the password: Chip Erase not in
// S-Boot, Verify neither in S-Boot nor, for the boot types whose boot program
// verifies by itself, in S-Boot-PW.
bool chipEraseNeedsPassword(int32_t mode);
bool verifyNeedsPassword(int32_t mode, int32_t bootType);

// Results the dialogs keep for the command that opened them.
enum ManualResult : int32_t { kManualDone = 0, kManualFailed = 1, kManualNotRun = 2 };

// The operations of the dialogs with what follows them in the document.
class ManualOperations {
  public:
    explicit ManualOperations(DocumentCore& core) : core_(core) {}

    // Chip Erase (AutoRunPhase 2 while it runs). On success the protect
    // types lose the Protect option and ProtectState.
    int32_t chipErase();
    // Asks 12002 first; `running` is told when the erase starts and ends.
    // kManualNotRun when the operator said No.
    int32_t blockErase(uint32_t start, uint32_t size,
                       const std::function<void(bool running)>& running = {});
    // readFlash into `bytes` (count of them).
    int32_t readRange(uint32_t start, uint32_t count, std::vector<uint8_t>& bytes);
    // writeData, then the protect when the setup's Protect option holds for
    // the device. 0 done, 1 failed.
    int32_t writeBytes(uint32_t start, const std::vector<uint8_t>& bytes);
    // A value edited in the dump: outside the flash 10520 with 12110.
    int32_t writeDumpValue(uint32_t address, const std::vector<uint8_t>& bytes);

    // Verify: 0 matched, 1 not matched or failed; `read` is false when it
    // failed before the device gave its SUM.
    int32_t verify(uint16_t& fileSum, uint16_t& deviceSum, bool& read);

    // One Compare run (Start: fromStart), stepping `view`. The message line
    // it leaves (11014, 11015, 11023, or 0 after a failure or an abort).
    struct CompareReport {
        int32_t status = 0;  // compareStep's
        int32_t line = 0;
        uint32_t address = 0;
        uint8_t fileByte = 0, flashByte = 0;
    };
    CompareReport compare(const CompareView& view, bool fromStart);
    // 0 matched, 1 differences, 2 failed or never run.
    int32_t compareResult() const { return compareResult_; }

  private:
    DocumentCore& core_;
    bool differenceSeen_ = false;
    int32_t compareResult_ = kManualNotRun;
};

// The rows the dump shows, read through a read-ahead window of seven pages
// (one device read serves them). A failed read shows 11007.
class DumpReader {
  public:
    explicit DumpReader(DocumentCore& core) : core_(core) {}

    // The area shown and the page height; clears the window.
    void setRange(uint32_t first, uint32_t last, uint32_t rows);
    // Fills `rows` rows from `top`; false after a failed read (11007 shown).
    bool page(uint32_t top, std::vector<std::array<uint8_t, kDumpRowBytes>>& out);
    // Forget what was read (after a write, a unit change).
    void discard() { window_ = {}; }
    int32_t deviceReads() const { return reads_; }
    uint32_t first() const { return first_; }
    uint32_t last() const { return last_; }
    uint32_t rows() const { return rows_; }

  private:
    DocumentCore& core_;
    uint32_t first_ = 0, last_ = 0, rows_ = 1;
    DumpWindow window_;
    std::vector<uint8_t> data_;
    int32_t reads_ = 0;
};

}  // namespace ostrand
