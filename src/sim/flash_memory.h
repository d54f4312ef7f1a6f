// The simulated chip's flash: one or two areas that obey flash rules.
// Programming only clears bits; erase sets bytes to 0xFF; addresses outside
// every area read as 0xFF and cannot be written.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/numbers.h"

namespace ostrand::sim {

class FlashMemory {
  public:
    // areas: the main area first, then an optional second area.
    explicit FlashMemory(std::vector<AddressRange> areas);

    const std::vector<AddressRange>& areas() const { return areas_; }
    bool contains(uint32_t address) const;
    // True when [start, start + count) lies inside one area.
    bool containsBlock(uint32_t start, uint32_t count) const;

    uint8_t read(uint32_t address) const;
    // ANDs the bytes into flash. False when a byte lies outside the flash or
    // needs a 0 bit made 1 (the AND still happens where it can).
    bool program(uint32_t start, const uint8_t* data, uint32_t count);
    void erase(uint32_t start, uint32_t count);
    void eraseAll();
    bool isBlank(uint32_t start, uint32_t count) const;
    bool isBlank() const;
    // 16-bit sum of [start, end], addresses outside the flash counted as 0xFF.
    uint16_t sum(uint32_t start, uint32_t end) const;

    // The bytes of every area in order: the --flash file's content.
    std::string image() const;
    // Takes an image; a short one is padded with 0xFF, a long one cut.
    // Returns false when the size did not match.
    bool setImage(std::string_view bytes);

  private:
    int areaOf(uint32_t address) const;
    std::vector<AddressRange> areas_;
    std::vector<std::vector<uint8_t>> bytes_;
};

}  // namespace ostrand::sim
