// The options of the command line and of command files, and the numbers and
// range definitions they carry.
#include <algorithm>
#include <cctype>
#include <iterator>

#include "converter/converter_impl.h"

namespace mervel::detail {

namespace {

enum class Opt {
    Fh16,
    Fh20,
    Fs16,
    Fs24,
    Fs32,
    V,
    Dollar,
    Cc,
    Cf,
    F,
    O,
    Refused,
    K,
    Ra,
    Rb,
    P,
    L,
    Lf,
    H,
    E
};

struct OptionEntry {
    const char* text;
    Opt opt;
};

// Table order decides which entry an argument matches first.
constexpr OptionEntry Options[] = {
    {"-Fh16", Opt::Fh16}, {"-Fh", Opt::Fh16},   {"-Fh20", Opt::Fh20}, {"-Fs16", Opt::Fs16},
    {"-Fs", Opt::Fs16},   {"-Fs24", Opt::Fs24}, {"-Fs32", Opt::Fs32}, {"-V", Opt::V},
    {"-$", Opt::Dollar},  {"-cc", Opt::Cc},     {"-cf", Opt::Cf},     {"-f", Opt::F},
    {"-o", Opt::O},       {"-p", Opt::Refused}, {"-n", Opt::Refused}, {"-r", Opt::Refused},
    {"-K", Opt::K},       {"-ra", Opt::Ra},     {"-rb", Opt::Rb},     {"-P", Opt::P},
    {"-l", Opt::L},       {"-lf", Opt::Lf},     {"-H", Opt::H},       {"-e", Opt::E},
};

struct CpuOption {
    const char* option;
    const char* homeVar;
};

constexpr CpuOption CpuOptions[] = {
    {"-KS6", "KVHOMEKS6"}, {"-KQ5", "KVHOMEQ516"},   {"-KQ40", "KVHOMEQ40"},
    {"-KQ2", "KVHOMEQ2"},  {"-KR30V", "KVHOMER30V"}, {"-KR30M", "KVHOMER30M"},
    {"-KQ7", "KVHOMEQ7"},  {"-KR30", "KVHOMER30"},
};

constexpr const char* DeviceNames[] = {"con",  "prn",  "lpt1", "lpt2", "lpt3", "aux",   "aux1",
                                       "aux2", "com1", "com2", "com3", "com4", "clock", "clock$"};

bool isHexDigit(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

std::string lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool takesValue(Opt o) {
    switch (o) {
        case Opt::Cc:
        case Opt::Cf:
        case Opt::F:
        case Opt::O:
        case Opt::Ra:
        case Opt::Rb:
        case Opt::P:
        case Opt::Lf:
        case Opt::E:
            return true;
        default:
            return false;
    }
}

const char* optionText(Opt o) {
    for (const auto& e : Options)
        if (e.opt == o) return e.text;
    return "";
}

}  // namespace

// An option of the table, the word that named it and its value.
struct Converter::Option {
    Opt opt;
    std::string word;
    std::string value;
};

void Converter::checkFileName(const std::string& name, size_t maxLength) {
    if (name.empty() || name.size() > maxLength) fatal(101);
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7F || std::string_view("+,;=[]").find(char(c)) != std::string::npos)
            fatal(101);
}

void Converter::checkNotDevice(const std::string& name) {
    std::string base = name;
    if (auto slash = base.find_last_of('/'); slash != std::string::npos) base.erase(0, slash + 1);
    base = lower(base);
    for (const char* device : DeviceNames) {
        std::string d = device;
        if (base == d || base.rfind(d + ".", 0) == 0) fatal(102);
    }
}

void Converter::processWords(const std::vector<std::string>& words, bool fromCommandFile) {
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& a = words[i];
        if (a.empty() || a[0] != '-') {
            checkFileName(a, 260);
            checkNotDevice(a);
            sourceName = a;
            sourceGiven_ = true;
            continue;
        }
        applyOption(readOption(words, i, fromCommandFile));
    }
}

// Matches words[i] against the option table and takes its value, attached or
// from the next word (i then moves on to it).
Converter::Option Converter::readOption(const std::vector<std::string>& words, size_t& i,
                                        bool fromCommandFile) {
    const std::string& a = words[i];
    if (a == "--") fatal(101);

    // Match the argument against the option table.
    std::optional<Opt> opt;
    std::optional<std::string> attached;
    for (const auto& e : Options)
        if (a == e.text) {
            opt = e.opt;
            break;
        }
    if (!opt && a.size() > 1 && std::string_view("focKe").find(a[1]) != std::string_view::npos) {
        for (const auto& e : Options) {
            std::string_view t = e.text;
            if (a.size() > t.size() && a.compare(0, t.size(), t) == 0) {
                opt = e.opt;
                attached = a.substr(t.size());
                break;
            }
        }
    }
    if (!opt) {
        if (a.rfind("-ra", 0) == 0 || a.rfind("-rb", 0) == 0) {
            opt = a[2] == 'a' ? Opt::Ra : Opt::Rb;
            attached = a.substr(3);
        } else if (a.rfind("-P", 0) == 0) {
            opt = Opt::P;
            attached = a.substr(2);
        } else if (a.size() > 2 && (a[1] == 'd' || a[1] == 's') && isHexDigit(a[2])) {
            fatal(109, a);
        } else if (a.size() > 2 && (a[1] == 'p' || a[1] == 'n' || a[1] == 'r') &&
                   isHexDigit(a[2])) {
            fatal(111, a);
        } else {
            fatal(109, a);
        }
    }
    if (*opt == Opt::Refused) fatal(111, a);
    if (*opt == Opt::F && fromCommandFile) fatal(110);

    std::string value;
    if (takesValue(*opt)) {
        if (attached) {
            if (*opt == Opt::Cc || *opt == Opt::Cf || *opt == Opt::Lf || *opt == Opt::E) fatal(105);
            value = *attached;
        } else {
            if (i + 1 >= words.size()) fatal(106, optionText(*opt));
            const std::string& next = words[++i];
            if (*opt != Opt::Cc && !next.empty() && next[0] == '-') {
                if (next != "--") fatal(105);
                if (i + 1 >= words.size()) fatal(106, optionText(*opt));
                value = words[++i];
            } else {
                value = next;
            }
        }
    }
    return {*opt, a, value};
}

void Converter::applyOption(const Option& option) {
    const std::string& a = option.word;
    const std::string& value = option.value;
    switch (option.opt) {
        case Opt::Fh16:
            setFormat(Hex16);
            break;
        case Opt::Fh20:
            setFormat(Hex20);
            break;
        case Opt::Fs16:
            setFormat(S16);
            break;
        case Opt::Fs24:
            setFormat(S24);
            break;
        case Opt::Fs32:
            setFormat(S32);
            break;
        case Opt::V:
            verbose_ = true;
            break;
        case Opt::Dollar:
            noBanner_ = true;
            break;
        case Opt::Cc: {
            size_t start = value.find_first_not_of(" \t");
            if (start == std::string::npos) fatal(107);
            comments_.push_back({false, value.substr(start, 256)});
            break;
        }
        case Opt::Cf:
            checkFileName(value, 260);
            comments_.push_back({true, value});
            break;
        case Opt::F: {
            checkFileName(value, 260);
            checkNotDevice(value);
            processWords(readCommandFile(value), true);
            break;
        }
        case Opt::O:
            checkFileName(value, 256);
            checkNotDevice(value);
            if (rangeMode_) {
                if (!ignoredOWarned_) report(516, "\"-o\"");
                ignoredOWarned_ = true;
                outputDropped_ = true;
            } else if (outputGiven_ && value != output_) {
                report(515);
            } else {
                output_ = value;
                outputGiven_ = true;
            }
            break;
        case Opt::K: {
            std::string head = lower(a.substr(0, 10));
            int row = -1;
            for (int r = 0; r < int(std::size(CpuOptions)); ++r)
                if (head == lower(CpuOptions[r].option)) row = r;
            if (row < 0) fatal(106, "-K");
            if (cpuGiven_ && row != cpuRow_) {
                report(515);
            } else {
                cpuGiven_ = true;
                cpuRow_ = row;
                homeVar_ = CpuOptions[row].homeVar;
            }
            break;
        }
        case Opt::Ra:
        case Opt::Rb:
        case Opt::P:
            parseRangeOption(option.opt == Opt::Ra   ? RangeKind::Ra
                             : option.opt == Opt::Rb ? RangeKind::Rb
                                                     : RangeKind::P,
                             value);
            rangeMode_ = true;
            if (outputGiven_ && !outputDropped_) {
                if (!ignoredOWarned_) report(516, "\"-o\"");
                ignoredOWarned_ = true;
                outputDropped_ = true;
            }
            break;
        case Opt::L:
            listingWanted_ = true;
            listingToFile_ = false;
            break;
        case Opt::Lf:
            checkFileName(value, 260);
            checkNotDevice(value);
            listingWanted_ = true;
            listingToFile_ = true;
            listingName_ = value;
            break;
        case Opt::H:
            hexSuffix_ = true;
            break;
        case Opt::E:
            checkFileName(value, 260);
            if (errorFile_) {
                if (value != errorFileName_) report(515);
                break;
            }
            errorFile_ = std::make_unique<OutFile>(*this);
            errorFileName_ = value;
            errorFile_->create(value, true, false);
            break;
        case Opt::Refused:
            break;
    }
}

// Numbers of range and block options: prefix notation (0x, 0y, 0 octal, decimal) or,
// with -H, suffix notation (H, O/Q, B, D); size fields may end in K or M.
uint32_t Converter::parseNumber(const std::string& field, bool isSize) {
    if (field.empty() || field.size() > 100) fatal(113);
    std::string s = field;
    uint64_t multiplier = 1;
    if (isSize && (s.back() == 'K' || s.back() == 'k' || s.back() == 'M' || s.back() == 'm')) {
        multiplier = (s.back() == 'K' || s.back() == 'k') ? 1024 : 1048576;
        s.pop_back();
    }
    int base = 10;
    if (!hexSuffix_) {
        if (s.size() > 1 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
            base = 16;
            s.erase(0, 2);
        } else if (s.size() > 1 && s[0] == '0' && (s[1] == 'y' || s[1] == 'Y')) {
            base = 2;
            s.erase(0, 2);
        } else if (s.size() > 1 && s[0] == '0') {
            base = 8;
            s.erase(0, 1);
        }
    } else if (!s.empty()) {
        switch (s.back()) {
            case 'H':
            case 'h':
                base = 16;
                s.pop_back();
                break;
            case 'O':
            case 'o':
            case 'Q':
            case 'q':
                base = 8;
                s.pop_back();
                break;
            case 'B':
            case 'b':
                base = 2;
                s.pop_back();
                break;
            case 'D':
            case 'd':
                s.pop_back();
                break;
            default:
                break;
        }
    }
    if (s.empty() || (multiplier != 1 && base != 10)) fatal(113);
    uint64_t value = 0;
    for (char c : s) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            fatal(113);
        if (digit >= base) fatal(113);
        value = value * uint64_t(base) + uint64_t(digit);
        if (value > 0xFFFFFFFFu) fatal(113);
    }
    value *= multiplier;
    if (value > 0xFFFFFFFFu) fatal(113);
    return uint32_t(value);
}

// One definition per option: "start,size[,offset[,file]]" for -ra, the same with a
// section name for -rb, "start,size,pad[,file]" for -P.
void Converter::parseRangeOption(RangeKind kind, const std::string& text) {
    std::vector<std::string> fields;
    size_t pos = 0;
    while (fields.size() < 3) {
        size_t comma = text.find(',', pos);
        if (comma == std::string::npos) break;
        fields.push_back(text.substr(pos, comma - pos));
        pos = comma + 1;
    }
    fields.push_back(text.substr(pos));
    size_t required = kind == RangeKind::P ? 3 : 2;
    if (fields.size() < required) fatal(105);
    for (size_t f = 0; f < fields.size(); ++f) {
        bool offsetField = kind != RangeKind::P && f == 2;
        if (!offsetField && !fields[f].empty() && fields[f][0] == '-') fatal(105);
    }
    RangeDef def;
    def.kind = kind;
    if (kind == RangeKind::Rb) {
        if (fields[0].empty()) fatal(105);
        def.section = fields[0];
    } else if (!fields[0].empty()) {
        def.start = parseNumber(fields[0], false);
    }
    if (kind == RangeKind::P) {
        if (fields[1].empty() || fields[2].empty()) fatal(105);
        def.size = parseNumber(fields[1], true);
        if (def.size == 0) fatal(113);
        def.pad = uint8_t(parseNumber(fields[2], false) & 0xFF);
    } else {
        if (!fields[1].empty()) def.size = parseNumber(fields[1], true);
        if (fields.size() > 2 && !fields[2].empty()) {
            std::string off = fields[2];
            def.mode = AddrMode::Move;
            if (off[0] == '+' || off[0] == '-') {
                def.mode = off[0] == '+' ? AddrMode::Add : AddrMode::Sub;
                off.erase(0, 1);
            }
            def.offset = parseNumber(off, false);
        }
    }
    if (fields.size() > 3 && !fields[3].empty()) {
        checkFileName(fields[3], 260);
        def.file = fields[3];
    }
    ranges_.push_back(def);
}

}  // namespace mervel::detail
