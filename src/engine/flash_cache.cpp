#include "flash_cache.h"

#include <algorithm>

namespace ostrand {

void FlashCache::reset(uint32_t start, uint32_t end, bool held) {
    start_ = start;
    end_ = end;
    length_ = end - start + 1;
    valid_ = false;
    data_.clear();
    if (held) data_.assign(length_, 0xFF);
}

bool FlashCache::allBytes(uint8_t value) const {
    return !data_.empty() &&
           std::all_of(data_.begin(), data_.end(), [value](uint8_t b) { return b == value; });
}

void FlashCache::take(std::vector<uint8_t> bytes) {
    data_ = std::move(bytes);
    valid_ = true;
}

void FlashCache::update(uint32_t address, const uint8_t* data, uint32_t count) {
    if (data_.empty() || count == 0) return;
    const uint64_t first = std::max<uint64_t>(address, start_);
    const uint64_t last = std::min<uint64_t>(uint64_t{address} + count - 1, end_);
    for (uint64_t a = first; a <= last; ++a) data_[a - start_] = data[a - address];
}

void FlashCache::fill(uint32_t address, uint32_t count, uint8_t value) {
    if (data_.empty() || count == 0) return;
    const uint64_t first = std::max<uint64_t>(address, start_);
    const uint64_t last = std::min<uint64_t>(uint64_t{address} + count - 1, end_);
    for (uint64_t a = first; a <= last; ++a) data_[a - start_] = value;
}

}  // namespace ostrand
