// The flash as the operator's commands see it, behind one interface: through
// the resident WCP (ProgrammingMode 1, 2) or through the boot program itself
// (ProgrammingMode 3, 4). Each call gives 1 done or 0 failed, its message
// shown; a time-out of the target has been recovered from.
#pragma once

#include <cstdint>
#include <filesystem>

namespace ostrand {

class CFlashEngine;
class ObjectImage;

class FlashTarget {
  public:
    virtual ~FlashTarget() = default;
    // The WCP does the work (the messages name the WCP mode).
    virtual bool viaWcp() const = 0;
    virtual int32_t eraseChip() = 0;
    // `pieceSize` (0: none): the WCP erases the block in pieces of that size.
    virtual int32_t eraseBlock(uint32_t start, uint32_t size, uint32_t pieceSize) = 0;
    virtual int32_t blankCheck(int32_t& blank) = 0;
    // The chip's SUM of its SUM area.
    virtual int32_t sum(uint16_t& sum) = 0;
    virtual int32_t read(uint32_t address, uint8_t* buffer, uint32_t count) = 0;
    // 1 when the object can be programmed this way; nothing is sent.
    virtual int32_t objectFits(const ObjectImage& image) = 0;
    // Programs the image: its ranges (starts aligned down to the write unit
    // when alignStarts) or its expansion file. ownProgress: a progress window
    // of its own.
    virtual int32_t program(const ObjectImage& image, bool alignStarts, bool ownProgress) = 0;

    // The flash of [regionStart, +regionCount) with `newBytes` at `address`
    // laid over it: 1 when a bit would go from 0 to 1, 0 when not, 2 when the
    // flash could not be read.
    int32_t overlayWithFlash(uint32_t address, const uint8_t* newBytes, uint32_t newCount,
                             uint32_t regionStart, uint8_t* region, uint32_t regionCount);
    // As overlayWithFlash, over one page.
    int32_t mergePage(uint32_t address, const uint8_t* newBytes, uint32_t newCount,
                      uint32_t pageStart, uint8_t* page, uint32_t pageLength);
};

class WcpTarget final : public FlashTarget {
  public:
    explicit WcpTarget(CFlashEngine& engine) : engine_(engine) {}
    bool viaWcp() const override { return true; }
    int32_t eraseChip() override;
    int32_t eraseBlock(uint32_t start, uint32_t size, uint32_t pieceSize) override;
    int32_t blankCheck(int32_t& blank) override;
    int32_t sum(uint16_t& sum) override;
    int32_t read(uint32_t address, uint8_t* buffer, uint32_t count) override;
    int32_t objectFits(const ObjectImage&) override { return 1; }
    int32_t program(const ObjectImage& image, bool alignStarts, bool ownProgress) override;

  private:
    CFlashEngine& engine_;
};

class BootTarget final : public FlashTarget {
  public:
    explicit BootTarget(CFlashEngine& engine) : engine_(engine) {}
    bool viaWcp() const override { return false; }
    int32_t eraseChip() override;
    int32_t eraseBlock(uint32_t start, uint32_t size, uint32_t pieceSize) override;
    int32_t blankCheck(int32_t& blank) override;
    int32_t sum(uint16_t& sum) override;
    int32_t read(uint32_t address, uint8_t* buffer, uint32_t count) override;
    int32_t objectFits(const ObjectImage& image) override;
    int32_t program(const ObjectImage& image, bool alignStarts, bool ownProgress) override;

  private:
    CFlashEngine& engine_;
};

}  // namespace ostrand
