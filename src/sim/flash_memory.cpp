#include "sim/flash_memory.h"

#include <algorithm>

namespace ostrand::sim {

FlashMemory::FlashMemory(std::vector<AddressRange> areas) : areas_(std::move(areas)) {
    size_t base = 0;
    for (const AddressRange& a : areas_) {
        bases_.push_back(base);
        bytes_.emplace_back(size_t{a.end - a.start} + 1, 0xFF);
        base += bytes_.back().size();
    }
}

void FlashMemory::markChanged(size_t begin, size_t end) {
    if (begin >= end) return;
    if (changedBegin_ == changedEnd_) {
        changedBegin_ = begin;
        changedEnd_ = end;
        return;
    }
    changedBegin_ = std::min(changedBegin_, begin);
    changedEnd_ = std::max(changedEnd_, end);
}

std::pair<size_t, size_t> FlashMemory::takeChanged() {
    const std::pair<size_t, size_t> span{changedBegin_, changedEnd_};
    changedBegin_ = changedEnd_ = 0;
    return span;
}

int FlashMemory::areaOf(uint32_t address) const {
    for (size_t i = 0; i < areas_.size(); ++i)
        if (areas_[i].contains(address)) return static_cast<int>(i);
    return -1;
}

bool FlashMemory::contains(uint32_t address) const {
    return areaOf(address) >= 0;
}

bool FlashMemory::containsBlock(uint32_t start, uint32_t count) const {
    if (count == 0) return false;
    const int a = areaOf(start);
    if (a < 0) return false;
    const uint64_t last = uint64_t{start} + count - 1;
    return last <= areas_[a].end;
}

uint8_t FlashMemory::read(uint32_t address) const {
    const int a = areaOf(address);
    return a < 0 ? 0xFF : bytes_[a][address - areas_[a].start];
}

bool FlashMemory::program(uint32_t start, const uint8_t* data, uint32_t count) {
    bool ok = true;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t address = start + i;
        const int a = areaOf(address);
        if (a < 0) {
            ok = false;
            continue;
        }
        uint8_t& cell = bytes_[a][address - areas_[a].start];
        if ((data[i] & ~cell) != 0) ok = false;
        cell &= data[i];
        const size_t offset = offsetOf(a, address);
        markChanged(offset, offset + 1);
    }
    return ok;
}

void FlashMemory::erase(uint32_t start, uint32_t count) {
    for (uint64_t address = start; address < uint64_t{start} + count; ++address) {
        const int a = areaOf(static_cast<uint32_t>(address));
        if (a < 0) continue;
        bytes_[a][address - areas_[a].start] = 0xFF;
        const size_t offset = offsetOf(a, static_cast<uint32_t>(address));
        markChanged(offset, offset + 1);
    }
}

void FlashMemory::eraseAll() {
    for (auto& area : bytes_) std::fill(area.begin(), area.end(), 0xFF);
    markChanged(0, bases_.back() + bytes_.back().size());
}

bool FlashMemory::isBlank(uint32_t start, uint32_t count) const {
    for (uint64_t address = start; address < uint64_t{start} + count; ++address)
        if (read(static_cast<uint32_t>(address)) != 0xFF) return false;
    return true;
}

bool FlashMemory::isBlank() const {
    for (const auto& area : bytes_)
        if (std::any_of(area.begin(), area.end(), [](uint8_t b) { return b != 0xFF; }))
            return false;
    return true;
}

uint16_t FlashMemory::sum(uint32_t start, uint32_t end) const {
    uint32_t total = 0;
    for (uint64_t address = start; address <= end; ++address)
        total += read(static_cast<uint32_t>(address));
    return static_cast<uint16_t>(total);
}

std::string FlashMemory::image() const {
    std::string out;
    for (const auto& area : bytes_) out.append(area.begin(), area.end());
    return out;
}

bool FlashMemory::setImage(std::string_view bytes) {
    size_t total = 0;
    size_t pos = 0;
    for (auto& area : bytes_) {
        total += area.size();
        for (uint8_t& cell : area)
            cell = pos < bytes.size() ? static_cast<uint8_t>(bytes[pos++]) : 0xFF;
    }
    markChanged(0, total);
    return total == bytes.size();
}

std::string FlashMemory::image(size_t begin, size_t end) const {
    std::string out;
    for (size_t i = 0; i < bytes_.size(); ++i) {
        const size_t areaBegin = bases_[i], areaEnd = bases_[i] + bytes_[i].size();
        const size_t from = std::max(begin, areaBegin), to = std::min(end, areaEnd);
        if (from < to)
            out.append(bytes_[i].begin() + static_cast<ptrdiff_t>(from - areaBegin),
                       bytes_[i].begin() + static_cast<ptrdiff_t>(to - areaBegin));
    }
    return out;
}

}  // namespace ostrand::sim
