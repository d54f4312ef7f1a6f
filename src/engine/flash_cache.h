// FlashCache: what the engine knows of the vector area's flash bytes. The
// boot programs of the fast-reply types cannot read, so their password
// frame is chosen from these bytes; writes and erases keep it current.
#pragma once

#include <cstdint>
#include <vector>

namespace ostrand {

class FlashCache {
  public:
    // Covers start..end (inclusive), nothing known yet. With `held`, the
    // bytes are kept (all FF until read); otherwise the cache holds nothing.
    void reset(uint32_t start, uint32_t end, bool held);

    uint32_t start() const { return start_; }
    uint32_t end() const { return end_; }
    uint32_t length() const { return length_; }
    // The bytes were read from the chip.
    bool valid() const { return valid_; }
    // Nothing is kept: updates and fills do nothing.
    bool empty() const { return data_.empty(); }
    const std::vector<uint8_t>& data() const { return data_; }
    // Every byte kept has this value (false when nothing is kept).
    bool allBytes(uint8_t value) const;

    // The bytes just read from the chip, start() to end().
    void take(std::vector<uint8_t> bytes);
    // Puts written bytes in where the cache covers them.
    void update(uint32_t address, const uint8_t* data, uint32_t count);
    // Puts erased (or otherwise known) bytes in where the cache covers them.
    void fill(uint32_t address, uint32_t count, uint8_t value);
    void fillAll(uint8_t value) { fill(start_, length_, value); }

  private:
    uint32_t start_ = 0, end_ = 0, length_ = 0;
    bool valid_ = false;
    std::vector<uint8_t> data_;
};

}  // namespace ostrand
