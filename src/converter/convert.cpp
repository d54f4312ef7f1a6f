// Sections, overlay files, address ranges and the data part.
#include <algorithm>
#include <cstring>
#include <iterator>

#include "converter/converter_impl.h"

namespace mervel::detail {

namespace {

constexpr size_t ChunkSize = 1 << 16;

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

}  // namespace mervel::detail
