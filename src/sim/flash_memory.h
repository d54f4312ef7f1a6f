// The simulated chip's flash: one or two areas that obey flash rules.
// Programming only clears bits; erase sets bytes to 0xFF; addresses outside
// every area read as 0xFF and cannot be written.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
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
    // The image's bytes [begin, end).
    std::string image(size_t begin, size_t end) const;

    // Image offsets [begin, end) that may have changed since the last call;
    // begin == end when nothing did. Lets the --flash file be updated where
    // the flash changed instead of rewritten whole.
    std::pair<size_t, size_t> takeChanged();

  private:
    int areaOf(uint32_t address) const;
    size_t offsetOf(int area, uint32_t address) const {
        return bases_[area] + (address - areas_[area].start);
    }
    void markChanged(size_t begin, size_t end);
    std::vector<AddressRange> areas_;
    std::vector<std::vector<uint8_t>> bytes_;
    std::vector<size_t> bases_;  // each area's offset in the image
    size_t changedBegin_ = 0;
    size_t changedEnd_ = 0;
};

}  // namespace ostrand::sim
