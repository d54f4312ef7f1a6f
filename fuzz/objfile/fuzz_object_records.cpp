// Feeds arbitrary text to the Intel HEX and S-record readers, as lines of
// each file type, into an image with a second flash area and an offset.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "objfile/record_reader.h"

using namespace ostrand;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::vector<uint8_t> image(kImageSize);
    if (size < 1) return 0;
    // The first byte picks the file type and the device layout.
    const int32_t fileType = 1 + data[0] % 5;
    ImageLayout layout;
    if (data[0] & 0x80) {
        layout = {0x10000, 0x1FFFF, 0x0, 0xFFFF, 0x0, 0x0, 4};  // single-chip offset
    } else {
        layout = {0x0, 0x7FFF, 0x0, 0x7FFF, 0x10000, 0x13FFF, 6};  // second flash area
    }
    std::vector<AddressRange> ranges;
    ObjectReader reader(layout, fileType, image.data(), ranges);
    std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    while (!text.empty()) {
        size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        if (reader.feedLine(line)) break;
        if (nl == std::string_view::npos) break;
        text.remove_prefix(nl + 1);
    }
    // Whatever was accepted lies inside the image and never overlaps.
    uint64_t total = 0;
    for (const auto& r : ranges) {
        if (r.end < r.start) __builtin_trap();
        total += uint64_t{r.end} - r.start + 1;
    }
    if (total != reader.dataBytes) __builtin_trap();
    return 0;
}
