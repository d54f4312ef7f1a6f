// The listing: the run's files, sections and overlay files.
#include <algorithm>
#include <cstring>
#include <iterator>

#include "converter/converter_impl.h"

namespace mervel::detail {

namespace {

std::string rightAligned8(const std::string& s) {
    return s.size() >= 8 ? s : std::string(8 - s.size(), ' ') + s;
}

const char* formatTitle(int format) {
    switch (format) {
        case Hex20:
            return "*** Intel extended HEX format ***";
        case S16:
            return "*** Motorola S-16 format ***";
        case S24:
            return "*** Motorola S-24 format ***";
        case S32:
            return "*** Motorola S-32 format ***";
        default:
            return "*** Intel HEX format ***";
    }
}

}  // namespace

void Converter::listing(std::string_view text) {
    if (!listingWanted_) return;
    if (listingFile_)
        listingFile_->write(text);
    else
        con_.err(text);
}

void Converter::listingHeader() {
    listing("CPU Name         : " + cpuDisplay_ + "\r\n");
    listing("Input  file name : " + sourceName + "\r\n");
}

void Converter::listingFileHeader(const std::string& name) {
    std::string line = "Output file name : " + name;
    line += name.size() < 15 ? std::string(15 - name.size(), ' ') : std::string(" ");
    line += formatTitle(format_);
    line += "\r\n\r\n";
    line += "Section Name/Padding              Address   Address   Size\r\n";
    line += std::string(34, ' ') + "(Orignal) (Offset)\r\n";
    line += std::string(62, '-') + "\r\n";
    listing(line);
}

void Converter::listingRow(const std::string& name, uint64_t address,
                           std::optional<uint64_t> output, uint64_t size, bool partial) {
    if (!listingWanted_) return;
    std::string line;
    std::string_view rest = name;
    while (rest.size() > 33) {
        line += std::string(rest.substr(0, 32)) + "\r\n";
        rest.remove_prefix(32);
    }
    line += std::string(rest) + std::string(33 - rest.size(), ' ');
    line += " " + rightAligned8(hexNoZeros(address)) + " ";
    line += " " + rightAligned8(output ? hexNoZeros(*output) : "--------") + " ";
    line += " " + rightAligned8(hexNoZeros(size));
    if (partial) line += " *";
    line += "\r\n";
    listing(line);
}

void Converter::listingOverlays() {
    if (!listingWanted_) return;
    std::vector<const Section*> list;
    for (const auto& s : sections_)
        if (s.overlapped) list.push_back(&s);
    std::sort(list.begin(), list.end(),
              [](const Section* a, const Section* b) { return a->index < b->index; });
    for (const Section* s : list) {
        std::string text = "\r\nOVERLAY FILE     : " + overlayName(s->overlay) + "\r\n";
        text += "Section Name                      Address   Address   Size\r\n";
        text += std::string(34, ' ') + "(Orignal) (Offset)\r\n";
        text += std::string(61, '-') + "\r\n";
        if (s->name.size() > 32)
            text += s->name + "\r\n" + std::string(14, ' ');
        else
            text += s->name + std::string(34 - s->name.size(), ' ');
        text += rightAligned8(hexNoZeros(s->address)) + " " + " -------- " +
                rightAligned8(hexNoZeros(s->size)) + "\r\n";
        listing(text);
    }
}

}  // namespace mervel::detail
