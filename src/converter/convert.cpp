// Sections, overlay files, address ranges and the record writers.
#include <algorithm>
#include <cstring>
#include <iterator>

#include "converter/converter_impl.h"

namespace mervel::detail {

namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";
constexpr size_t ChunkSize = 1 << 16;

inline char* putHex(char* p, unsigned byte) {
    p[0] = HexDigits[(byte >> 4) & 15];
    p[1] = HexDigits[byte & 15];
    return p + 2;
}

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

bool isIntel(int format) {
    return format == Hex16 || format == Hex20;
}

}  // namespace

uint64_t Converter::formatLimit() const {
    switch (format_) {
        case Hex20:
            return 0xFFFFF;
        case S24:
            return 0xFFFFFF;
        case S32:
            return 0xFFFFFFFF;
        default:
            return 0xFFFF;
    }
}

// ---------------------------------------------------------------- overlap marking

void Converter::markOverlaps() {
    std::vector<Section*> list;
    for (auto& s : sections_) list.push_back(&s);
    std::sort(list.begin(), list.end(),
              [](const Section* a, const Section* b) { return a->index < b->index; });
    if (list.size() > 1) {
        // This exact exchange sort decides the overlay numbers of equal addresses.
        for (size_t i = 0; i + 1 < list.size(); ++i)
            for (size_t j = i + 1; j < list.size(); ++j)
                if (list[j]->address < list[i]->address) std::swap(list[i], list[j]);
        auto mark = [&](Section* s) {
            if (s->overlapped) return;
            if (++overlayCount_ > 256) fatal(154);
            s->overlapped = true;
            s->overlay = overlayCount_;
        };
        for (size_t k = 0; k + 1 < list.size(); ++k) {
            int64_t last = int64_t(list[k]->address) + int64_t(list[k]->size) - 1;
            if (int64_t(list[k + 1]->address) <= last) {
                mark(list[k]);
                mark(list[k + 1]);
            }
        }
    }
    mainSections_ = 0;
    for (auto& s : sections_)
        if (!s.overlapped) ++mainSections_;
}

std::string Converter::overlayName(int number) const {
    std::string name = output_;
    size_t baseStart = name.find_last_of('/');
    baseStart = baseStart == std::string::npos ? 0 : baseStart + 1;
    if (auto dot = name.find('.', baseStart); dot != std::string::npos) name.erase(dot);
    char suffix[5] = {'.', 'o', "0123456789abcdef"[((number - 1) >> 4) & 15],
                      "0123456789abcdef"[(number - 1) & 15], 0};
    return name + suffix;
}

// ---------------------------------------------------------------- range definitions

void Converter::resolveRanges() {
    std::string firstNamed;
    for (const auto& d : ranges_)
        if (!d.file.empty()) {
            firstNamed = d.file;
            break;
        }
    bool anyRange = false;
    for (auto& d : ranges_) {
        if (d.kind == RangeKind::Rb) {
            auto it = std::find_if(sections_.begin(), sections_.end(),
                                   [&](const Section& s) { return s.name == d.section; });
            if (it == sections_.end()) fatal(115, d.section);
            uint64_t size = d.size == 0 ? it->size : std::min<uint64_t>(d.size, it->size);
            d.lo = it->address;
            d.hi = d.lo + size - 1;
            if (size == 0) d.hi = d.lo - 1;
        } else {
            d.lo = d.start;
            if (d.kind == RangeKind::Ra)
                d.hi =
                    d.size == 0 ? 0xFFFFFFFFu : std::min<uint64_t>(d.lo + d.size - 1, 0xFFFFFFFFu);
            else
                d.hi = d.lo + d.size - 1;
        }
        if (d.kind == RangeKind::Ra) {
            bool hit = std::any_of(sections_.begin(), sections_.end(), [&](const Section& s) {
                uint64_t sLast = uint64_t(s.address) + std::max<uint32_t>(s.size, 1) - 1;
                return s.address <= d.hi && sLast >= d.lo;
            });
            if (!hit) fatal(116);
        }
        if (d.kind != RangeKind::P) anyRange = true;
        if (!d.file.empty())
            d.diskName = d.file;
        else if (d.kind == RangeKind::P && !firstNamed.empty())
            d.diskName = firstNamed;
        else
            d.diskName = output_;  // the default output name
    }
    if (anyRange)
        for (const auto& d : ranges_)
            if (d.kind == RangeKind::P &&
                std::none_of(ranges_.begin(), ranges_.end(), [&](const RangeDef& r) {
                    return r.kind != RangeKind::P && r.diskName == d.diskName;
                }))
                fatal(112, d.diskName);
    // Output address ranges of one file must not overlap.
    auto outRange = [](const RangeDef& d) {
        int64_t lo = int64_t(d.lo), hi = int64_t(d.hi), off = int64_t(d.offset);
        switch (d.mode) {
            case AddrMode::Add:
                return std::pair(lo + off, hi + off);
            case AddrMode::Sub:
                return std::pair(lo - off, hi - off);
            case AddrMode::Move:
                return std::pair(off, off + hi - lo);
            default:
                return std::pair(lo, hi);
        }
    };
    for (size_t i = 0; i < ranges_.size(); ++i)
        for (size_t j = i + 1; j < ranges_.size(); ++j) {
            if (ranges_[i].diskName != ranges_[j].diskName) continue;
            auto a = outRange(ranges_[i]), b = outRange(ranges_[j]);
            if (a.second < a.first || b.second < b.first) continue;
            if (std::max(a.first, b.first) <= std::min(a.second, b.second))
                fatal(155, ranges_[i].diskName);
        }
    // A block over an overlapped section must not reach into the next section.
    for (const auto& d : ranges_) {
        if (d.kind != RangeKind::P) continue;
        for (const auto& s : sections_) {
            if (!s.overlapped) continue;
            uint64_t sLast = uint64_t(s.address) + std::max<uint32_t>(s.size, 1) - 1;
            if (s.address > d.hi || sLast < d.lo) continue;
            const Section* next = nullptr;
            for (const auto& t : sections_)
                if (t.index > s.index && (!next || t.index < next->index)) next = &t;
            if (next && next->address >= d.lo && next->address <= d.hi) fatal(114);
        }
    }
}

// ---------------------------------------------------------------- records

void Converter::writeDataRecord(uint64_t address, const uint8_t* data, int count) {
    char line[64];
    char* p = line;
    unsigned sum;
    if (isIntel(format_)) {
        *p++ = ':';
        unsigned hi = unsigned(address >> 8) & 0xFF, lo = unsigned(address) & 0xFF;
        p = putHex(p, unsigned(count));
        p = putHex(p, hi);
        p = putHex(p, lo);
        *p++ = '0';
        *p++ = '0';
        sum = unsigned(count) + hi + lo;
        for (int i = 0; i < count; ++i) {
            p = putHex(p, data[i]);
            sum += data[i];
        }
        p = putHex(p, (0x100 - (sum & 0xFF)) & 0xFF);
    } else {
        int addressBytes = format_ == S16 ? 2 : format_ == S24 ? 3 : 4;
        *p++ = 'S';
        *p++ = char('0' + addressBytes - 1);
        unsigned n = unsigned(addressBytes + count + 1);
        p = putHex(p, n);
        sum = n;
        for (int i = addressBytes - 1; i >= 0; --i) {
            unsigned b = unsigned(address >> (8 * i)) & 0xFF;
            p = putHex(p, b);
            sum += b;
        }
        for (int i = 0; i < count; ++i) {
            p = putHex(p, data[i]);
            sum += data[i];
        }
        p = putHex(p, ~sum & 0xFF);
    }
    *p++ = '\r';
    *p++ = '\n';
    current_->write(line, size_t(p - line));
    current_->dataWritten = true;
}

void Converter::announceSegment(uint64_t address) {
    if (format_ != Hex20 || !current_) return;
    if ((address >> 16) == (current_->lastSegment >> 16)) return;
    if (address > formatLimit()) return;  // no data can follow past the last segment
    unsigned segment = unsigned((address >> 16) & 0xF) << 12;
    char line[32];
    char* p = line;
    std::memcpy(p, ":02000002", 9);
    p += 9;
    p = putHex(p, segment >> 8);
    p = putHex(p, segment & 0xFF);
    unsigned sum = 2 + 2 + (segment >> 8) + (segment & 0xFF);
    p = putHex(p, (0x100 - (sum & 0xFF)) & 0xFF);
    *p++ = '\r';
    *p++ = '\n';
    current_->write(line, size_t(p - line));
    current_->lastSegment = uint32_t(address);
}

void Converter::flushPending() {
    if (pending_.count == 0) return;
    writeDataRecord(pending_.start, pending_.bytes, pending_.count);
    pending_.start += uint64_t(pending_.count);
    pending_.count = 0;
    announceSegment(pending_.start);
}

// Records never cross a 16-byte address boundary; a gap in the addresses ends a record.
void Converter::appendBytes(uint64_t address, const uint8_t* data, size_t n) {
    while (n > 0) {
        if (pending_.count > 0 && pending_.start + uint64_t(pending_.count) != address)
            flushPending();
        if (pending_.count == 0) {
            pending_.start = address;
            announceSegment(address);
        }
        size_t take = std::min<size_t>(n, 16 - size_t(address & 15));
        std::memcpy(pending_.bytes + pending_.count, data, take);
        pending_.count += int(take);
        address += take;
        data += take;
        n -= take;
        if ((address & 15) == 0) flushPending();
    }
}

void Converter::writeEndRecord(OutFile& f, bool withStart) {
    OutFile* saved = current_;
    current_ = &f;
    f.lengthBeforeEnd = f.size();
    char line[40];
    char* p = line;
    if (isIntel(format_)) {
        if (withStart && format_ == Hex20) {
            std::memcpy(p, ":04000003", 9);
            p += 9;
            unsigned sum = 4 + 3;
            for (int i = 3; i >= 0; --i) {
                unsigned b = (startAddress_ >> (8 * i)) & 0xFF;
                p = putHex(p, b);
                sum += b;
            }
            p = putHex(p, (0x100 - (sum & 0xFF)) & 0xFF);
            *p++ = '\r';
            *p++ = '\n';
        }
        std::memcpy(p, ":00000001FF\r\n", 13);
        p += 13;
    } else if (!withStart) {
        const char* text = format_ == S16   ? "S9030000FC\r\n"
                           : format_ == S24 ? "S804000000FB\r\n"
                                            : "S70500000000FA\r\n";
        size_t n = std::strlen(text);
        std::memcpy(p, text, n);
        p += n;
    } else {
        int addressBytes = format_ == S16 ? 2 : format_ == S24 ? 3 : 4;
        *p++ = 'S';
        *p++ = char('0' + 11 - addressBytes);  // S9, S8, S7
        unsigned n = unsigned(addressBytes + 1);
        p = putHex(p, n);
        unsigned sum = n;
        for (int i = addressBytes - 1; i >= 0; --i) {
            unsigned b = (startAddress_ >> (8 * i)) & 0xFF;
            p = putHex(p, b);
            sum += b;
        }
        p = putHex(p, ~sum & 0xFF);
        *p++ = '\r';
        *p++ = '\n';
    }
    f.write(line, size_t(p - line));
    f.ended = true;
    current_ = saved;
}

// Ends a file: its end record (the start address goes to the file that was current
// when the start address was read) and the close.
void Converter::finishFile(OutFile& f) {
    if (current_ == &f) flushPending();
    bool isMain = &f == main_.get();
    if (!isMain || f.dataWritten) writeEndRecord(f, startSeen_ && startOwner_ == &f);
    f.close();
    if (current_ == &f) current_ = nullptr;
}

void Converter::writeCommentPiece(OutFile& f, const char* p, size_t n) {
    if (isIntel(format_)) {
        f.write(p, n);
        return;
    }
    char line[300];
    char* q = line;
    *q++ = 'S';
    *q++ = '0';
    unsigned count = unsigned(n + 2 + 3);
    q = putHex(q, count);
    std::memcpy(q, "0000", 4);
    q += 4;
    unsigned sum = count;
    for (size_t i = 0; i < n; ++i) {
        q = putHex(q, static_cast<unsigned char>(p[i]));
        sum += static_cast<unsigned char>(p[i]);
    }
    q = putHex(q, 0x0D);
    q = putHex(q, 0x0A);
    sum += 0x0D + 0x0A;
    q = putHex(q, ~sum & 0xFF);
    *q++ = '\r';
    *q++ = '\n';
    f.write(line, size_t(q - line));
}

void Converter::writeComments(OutFile& f) {
    size_t total = 0;
    for (const auto& item : comments_) {
        std::string bytes;
        if (item.isFile) {
            if (readWholeFile(item.text, bytes) != 0) fatal(20, item.text);
            bytes.resize(std::min(bytes.size(), bytes.find('\x1A')));
        } else {
            bytes = item.text;
        }
        if (isIntel(format_)) {
            // A ':' at the start of a line would read as a record; it is dropped.
            std::string text;
            bool lineStart = true;
            for (char c : bytes) {
                if (lineStart && c == ':') {
                    if (!warned500_) report(500);
                    warned500_ = true;
                    continue;
                }
                text += c;
                lineStart = c == '\n';
            }
            if (text.empty()) continue;
            for (size_t pos = 0; pos < text.size(); pos += 128)
                writeCommentPiece(f, text.data() + pos, std::min<size_t>(128, text.size() - pos));
            if (text.back() != '\n') f.write("\r\n", 2);
        } else {
            total += bytes.size();
            for (size_t pos = 0; pos < bytes.size(); pos += 128)
                writeCommentPiece(f, bytes.data() + pos, std::min<size_t>(128, bytes.size() - pos));
        }
    }
    if (total > 128 && !warned501_) {
        report(501);
        warned501_ = true;
    }
}

void Converter::openOutput(OutFile& f, const std::string& name) {
    f.create(name, false, true);
    writeComments(f);
}

// ---------------------------------------------------------------- data part

void Converter::selectSection(Section* s, const RangeDef* range) {
    currentSection_ = s;
    rowPending_ = range != nullptr || !s->overlapped;
    if (range) return;
    OutFile* target;
    if (s->overlapped) {
        auto& slot = overlays_[size_t(s->overlay)];
        if (current_ == slot.get() && slot) return;
        flushPending();
        if (current_ && current_ != main_.get()) finishFile(*current_);
        if (!slot) {
            slot = std::make_unique<OutFile>(*this);
            openOutput(*slot, overlayName(s->overlay));
        } else {
            // Selected again after another overlay: continue behind its data.
            slot->reopenAt(slot->lengthBeforeEnd);
        }
        target = slot.get();
    } else {
        target = main_.get();
        if (current_ == target) return;
        flushPending();
        if (current_) finishFile(*current_);
    }
    current_ = target;
}

// Writes one contiguous run of data at its original address `origin`.
void Converter::emitRun(uint64_t origin, const uint8_t* data, size_t n, uint64_t runStart) {
    const uint64_t limit = formatLimit();
    uint64_t out = origin;
    const RangeDef* r = activeRange_;
    if (r) {
        switch (r->mode) {
            case AddrMode::Add:
                out = origin + r->offset;
                if (out + n - 1 > 0xFFFFFFFFu) fatal(153);
                break;
            case AddrMode::Sub:
                if (r->offset > origin) fatal(152);
                out = origin - r->offset;
                break;
            case AddrMode::Move:
                out = origin - r->lo + r->offset;
                if (out + n - 1 > 0xFFFFFFFFu) fatal(153);
                break;
            case AddrMode::Keep:
                break;
        }
        if (runStart == UINT64_MAX) runStart = out;
    }
    if (runStart > limit) fatal(152);
    if (out + n - 1 > limit) fatal(153);
    if (dryRun_) {
        if (!coverage_->empty() && coverage_->back().second + 1 == out)
            coverage_->back().second = out + n - 1;
        else
            coverage_->emplace_back(out, out + n - 1);
        return;
    }
    if (padDef_) padGapsBelow(out);
    if (rowPending_) {
        rowPending_ = false;
        const Section& s = *currentSection_;
        uint64_t sectionEnd = uint64_t(s.address) + s.size;
        uint64_t size = sectionEnd > origin ? sectionEnd - origin : 0;
        std::optional<uint64_t> shown;
        if (r && r->mode != AddrMode::Keep) shown = out;
        listingRow(s.name, origin, shown, size, origin > s.address);
    }
    appendBytes(out, data, n);
}

// Reads the data part from its start; with a range only the bytes whose original
// addresses it selects are written, at their output addresses.
void Converter::readDataPart(const RangeDef* range) {
    activeRange_ = range;
    in_.seek(parts_[5]);
    currentSection_ = nullptr;
    rowPending_ = false;
    for (auto& s : sections_) s.location = s.address;
    std::vector<uint8_t> buffer(ChunkSize);
    const uint64_t limit = formatLimit();

    for (;;) {
        int code = in_.get();
        if (code < 0) fatal(151);
        switch (code) {
            case 0x00:
            case 0xE1:
                flushPending();
                return;
            case 0xE5:
                selectSection(sectionAt(readNumber()), range);
                break;
            case 0xE2: {
                int letter = nextByte();
                if (letter == 0xD0) {
                    uint32_t index = readNumber();
                    uint32_t address = readNumber();
                    if (!currentSection_ || index != currentSection_->index + 1) fatal(151);
                    flushPending();
                    currentSection_->location = address;
                } else if (letter == 0xC7) {
                    nextByte();
                    uint32_t address = readNumber();
                    nextByte();
                    flushPending();
                    if (!range) {
                        startSeen_ = true;
                        startAddress_ = address;
                        startOwner_ = current_ ? current_ : main_.get();
                    }
                }
                break;
            }
            case 0xED:
            case 0xF7: {
                uint64_t repeat = 1;
                if (code == 0xF7) {
                    repeat = readNumber();
                    if (nextByte() != 0xED) fatal(151);
                }
                uint32_t count = readNumber();
                if (!currentSection_ || (code == 0xF7 && count > 128)) fatal(151);
                const uint64_t load = currentSection_->location;
                const uint64_t total = uint64_t(count) * repeat;
                currentSection_->location = load + total;
                if (!range) {
                    announceSegment(load);
                    // Checked up front: the record would fail at its first byte past the
                    // limit anyway, and a huge repeat count must not write first.
                    if (total > 0 && load > limit) fatal(152);
                    if (total > 0 && load + total - 1 > limit) fatal(153);
                }
                // Original addresses of this record that the range selects.
                uint64_t first = load, last = load + total - 1;
                if (range) {
                    first = std::max(first, range->lo);
                    last = std::min(last, range->hi);
                }
                bool empty = total == 0 || first > last;
                uint64_t runStart = range ? UINT64_MAX : load;
                if (repeat == 1) {
                    if (empty) {
                        in_.skip(count);
                        break;
                    }
                    in_.skip(first - load);
                    uint64_t remaining = last - first + 1;
                    uint64_t address = first;
                    while (remaining > 0) {
                        size_t n = size_t(std::min<uint64_t>(remaining, ChunkSize));
                        if (in_.read(buffer.data(), n) != n) fatal(151);
                        emitRun(address, buffer.data(), n, runStart);
                        if (range && runStart == UINT64_MAX) runStart = 0;  // later runs: 153
                        address += n;
                        remaining -= n;
                    }
                    in_.skip(load + total - 1 - last);
                } else {
                    if (in_.read(buffer.data(), count) != count) fatal(151);
                    if (empty) break;
                    uint64_t address = first;
                    while (address <= last) {
                        size_t pos = size_t((address - load) % count);
                        size_t n = size_t(std::min<uint64_t>(count - pos, last - address + 1));
                        emitRun(address, buffer.data() + pos, n, runStart);
                        if (range && runStart == UINT64_MAX) runStart = 0;
                        address += n;
                    }
                }
                break;
            }
            case 0xE4:
                fatal(150);
            default:
                fatal(151);
        }
    }
}

void Converter::convertWhole() {
    overlays_.clear();
    overlays_.resize(size_t(overlayCount_) + 1);
    pending_.count = 0;
    if (mainSections_ > 0) {
        main_ = std::make_unique<OutFile>(*this);
        openOutput(*main_, output_);
        if (listingWanted_) listingFileHeader(output_);
        current_ = main_.get();
    }
    readDataPart(nullptr);
    if (startSeen_ && !startOwner_) startOwner_ = current_;
    if (current_ && current_ != main_.get()) finishFile(*current_);
    if (main_) {
        finishFile(*main_);
        if (listingWanted_) listing("\r\n");
    }
}

void Converter::convertRanges() {
    std::vector<std::string> files;
    for (const auto& d : ranges_)
        if (std::find(files.begin(), files.end(), d.diskName) == files.end())
            files.push_back(d.diskName);
    for (const auto& name : files) {
        if (rangeFile_) finishedRangeFiles_.push_back(std::move(rangeFile_));
        rangeFile_ = std::make_unique<OutFile>(*this);
        rangeFile_->create(name, false, true);
        if (listingWanted_) listingFileHeader(name);
        writeComments(*rangeFile_);
        current_ = rangeFile_.get();
        pending_.count = 0;
        for (const auto& d : ranges_) {
            if (d.diskName != name) continue;
            if (d.kind == RangeKind::P) {
                std::vector<std::pair<uint64_t, uint64_t>> covered;
                coverage_ = &covered;
                dryRun_ = true;
                readDataPart(&d);
                dryRun_ = false;
                coverage_ = nullptr;
                std::sort(covered.begin(), covered.end());
                gaps_.clear();
                uint64_t next = d.lo;
                for (const auto& [lo, hi] : covered) {
                    if (hi < next) continue;
                    if (lo > next) gaps_.emplace_back(next, lo - 1);
                    next = hi + 1;
                }
                if (next <= d.hi) gaps_.emplace_back(next, d.hi);
                nextGap_ = 0;
                padDef_ = &d;
            }
            readDataPart(&d);
            if (padDef_) padGapsBelow(UINT64_MAX);
            padDef_ = nullptr;
        }
        flushPending();
        writeEndRecord(*rangeFile_, false);
        rangeFile_->close();
        current_ = nullptr;
        if (listingWanted_) listing("\r\n");
    }
    activeRange_ = nullptr;
}

// Fills the gaps of the current block that lie below `address` with the padding byte.
void Converter::padGapsBelow(uint64_t address) {
    const uint64_t limit = formatLimit();
    uint8_t fill[256];
    std::memset(fill, padDef_->pad, sizeof fill);
    for (; nextGap_ < gaps_.size() && gaps_[nextGap_].first < address; ++nextGap_) {
        auto [from, to] = gaps_[nextGap_];
        if (from > limit) fatal(152);
        if (to > limit) fatal(153);
        char head[16];
        std::snprintf(head, sizeof head, "Padding(%02x)", unsigned(padDef_->pad));
        listingRow(head, from, std::nullopt, to - from + 1, false);
        for (uint64_t a = from; a <= to;) {
            size_t n = size_t(std::min<uint64_t>(sizeof fill, to - a + 1));
            appendBytes(a, fill, n);
            a += n;
        }
    }
}

// ---------------------------------------------------------------- listing

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
