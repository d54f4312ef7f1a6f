// The memory image of the operator's object file: 512 KiB laid out like the
// device's flash, the address ranges the file filled, its 16-bit SUM and the
// object expansion file that the programming operations send.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/numbers.h"
#include "app/password_set.h"
#include "objfile/record_reader.h"

namespace ostrand {

class DeviceDatabase;
class Operator;
struct Session;
struct SetupValues;

// True when every character is printable single-byte ASCII other than
// "+", ",", ";", "=", "[" and "]": what the converter accepts in a path.
bool isConvertiblePath(std::string_view path);

class ObjectImage {
  public:
    // `settings` are the values in force; `programFolder` holds the work
    // folder "tmp" and the converter.
    ObjectImage(Session& session, Operator& op, const DeviceDatabase& devices,
                const SetupValues& settings, std::filesystem::path programFolder);
    ~ObjectImage();
    ObjectImage(const ObjectImage&) = delete;
    ObjectImage& operator=(const ObjectImage&) = delete;

    // Reads the settings' object file again. 1 success or nothing to do,
    // 0 failure (message shown; the image is then not loaded).
    int32_t load(bool showProgress);
    // Another object file into the second buffer, for comparisons. 1 or 0.
    int32_t loadSecondFile(const std::string& path);
    // Frees both image buffers.
    void release();

    bool loaded() const { return loaded_; }
    const std::string& path() const { return path_; }
    // The file really read: the converted file for an absolute object.
    const std::string& readPath() const { return readPath_; }
    int32_t fileType() const { return fileType_; }
    // The last record of the file read was no end record: loaded all the
    // same, but that is how a file cut short looks.
    bool endRecordMissing() const { return endRecordMissing_; }
    // The line (from 1) of the record the last load refused; 0: none.
    uint64_t refusedLine() const { return refusedLine_; }
    // The whole image (empty before the first load). Index 0 is the start of
    // the single-boot flash; a second flash area follows the first.
    std::span<const uint8_t> image() const;
    const std::vector<AddressRange>& loadedRanges() const { return loadedRanges_; }
    const std::vector<AddressRange>& deviceRanges() const { return deviceRanges_; }
    // deviceRanges with the address option, else loadedRanges.
    const std::vector<AddressRange>& rangesToProgram() const;
    uint32_t minAddress() const { return minAddress_; }
    uint32_t maxAddress() const { return maxAddress_; }
    uint32_t secondMin() const { return secondMin_; }
    uint32_t secondMax() const { return secondMax_; }
    uint16_t fileSum() const { return fileSum_; }
    const std::string& expansionPath() const { return expansionPath_; }
    // Where the expansion file goes; empty: the folder "tmp" of the program
    // folder. Images programmed side by side each need their own.
    std::filesystem::path expansionFolder;
    // Lowest address and data byte count of the expansion file (writer A).
    uint32_t expansionLowAddress() const { return expansionLowAddress_; }
    uint32_t expansionByteCount() const { return expansionByteCount_; }
    // Bytes an operation sends, for progress counts.
    uint32_t programByteCount() const { return programByteCount_; }
    const ObjectPassword& objectPassword() const { return objectPassword_; }
    const ImageLayout& layout() const { return layout_; }
    int32_t pageSize() const { return pageSize_; }

    // Copies the image bytes of addresses A .. A+N-1 into dest and ends them
    // with a 0 byte (dest holds N + 1 bytes). 0 when an address lies beyond
    // the image (dest then ends there), else 1.
    int32_t readImage(std::span<uint8_t> dest, uint32_t address, uint32_t count) const;

    // The second file's image and ranges.
    std::span<const uint8_t> secondImage() const;
    const std::vector<AddressRange>& secondLoadedRanges() const { return secondRanges_; }

    // The image as the password operations see it.
    PasswordImageView passwordView(bool secondFile = false) const;

    // Settings copied at the last load.
    int32_t addressOption() const { return addressOption_; }

    // Writes the object expansion file from the image. 1 written; 0 failure
    // (message shown, file deleted, expansionPath emptied).
    int32_t writeExpansionFile();
    // Whether the expansion file is written in whole pages without segments.
    bool usesPageWriter() const;
    // The address ranges the expansion file holds, in writing order.
    std::vector<AddressRange> expansionRanges() const;

    // Converts an absolute object by starting the converter. 1: `path` now
    // names the converted file and `fileType` is set; 0: failure (shown).
    int32_t convertAbs(std::string& path, int32_t& fileType);

  private:
    bool takeDevice(int32_t place);
    // Image index of an address, -1 when the image has no byte for it.
    int64_t imageIndex(uint32_t address) const;
    int32_t readFile(const std::string& path, int32_t fileType, uint8_t* image,
                     std::vector<AddressRange>& ranges, bool showProgress, bool mainImage);
    void preFill();
    uint16_t computeSum() const;
    uint32_t computeProgramByteCount() const;
    void addBootBlock();
    void programmingNotices();

    Session& session_;
    Operator& op_;
    const DeviceDatabase& devices_;
    const SetupValues& settings_;
    std::filesystem::path programFolder_;

    std::string path_;
    std::string readPath_;  // the file really read (the converted one for .abs)
    int32_t addressOption_ = 0, addressMode_ = 1, fillByte_ = 0xFF, addNoRomAreaToSum_ = 0;
    uint32_t romArea1Start_ = 0, romArea1End_ = 0, romArea2Start_ = 0, romArea2End_ = 0;
    int32_t memSizeEmulat_ = 124;
    std::vector<AddressRange> deviceRanges_;
    uint32_t secondMin_ = kNoMinAddress, secondMax_ = 0;
    uint32_t sumAreaStart_ = 0, sumAreaEnd_ = 0;
    uint32_t passwordAreaStart_ = 0, passwordAreaEnd_ = 0;
    ImageLayout layout_;
    int32_t pageSize_ = -1;
    std::string deviceName_;
    bool loaded_ = false;
    bool endRecordMissing_ = false;
    uint64_t refusedLine_ = 0;
    std::vector<AddressRange> loadedRanges_;
    uint32_t minAddress_ = kNoMinAddress, maxAddress_ = 0;
    std::unique_ptr<uint8_t[]> image_;
    std::string expansionPath_;
    uint32_t expansionLowAddress_ = 0, expansionByteCount_ = 0;
    uint16_t fileSum_ = 0;
    int32_t fileType_ = kFileNone;
    uint32_t programByteCount_ = 0;
    ObjectPassword objectPassword_;

    std::unique_ptr<uint8_t[]> second_;
    std::vector<AddressRange> secondRanges_;
    ImageLayout secondLayout_;
};

}  // namespace ostrand
