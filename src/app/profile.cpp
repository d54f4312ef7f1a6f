#include "profile.h"

#include <cctype>

#include "file_io.h"
#include "numbers.h"

namespace ostrand {

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::optional<ProfileFile> ProfileFile::load(const std::filesystem::path& path) {
    auto text = readWholeFile(path);
    if (!text) return std::nullopt;
    return fromText(*text);
}

ProfileFile ProfileFile::fromText(std::string_view text) {
    ProfileFile file;
    Section* current = nullptr;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos) eol = text.size();
        std::string_view line = trimBlanks(text.substr(pos, eol - pos));
        pos = eol + 1;
        if (line.empty()) continue;
        if (line.front() == '[') {
            size_t close = line.rfind(']');
            if (close == std::string_view::npos) continue;
            std::string name(trimBlanks(line.substr(1, close - 1)));
            file.sectionNames_.push_back(name);
            file.sections_.push_back(Section{std::move(name), {}});
            current = &file.sections_.back();
            continue;
        }
        if (line.front() == ';' || current == nullptr) continue;
        size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        current->entries.emplace_back(std::string(trimBlanks(line.substr(0, eq))),
                                      std::string(trimBlanks(line.substr(eq + 1))));
    }
    return file;
}

const ProfileFile::Section* ProfileFile::find(std::string_view section) const {
    for (const auto& s : sections_)
        if (equalsNoCase(s.name, section)) return &s;
    return nullptr;
}

std::optional<std::string> ProfileFile::value(std::string_view section,
                                              std::string_view key) const {
    const Section* s = find(section);
    if (!s) return std::nullopt;
    for (const auto& [k, v] : s->entries)
        if (equalsNoCase(k, key)) return v;
    return std::nullopt;
}

std::string ProfileFile::getString(std::string_view section, std::string_view key,
                                   std::string_view defaultValue, size_t bufferSize) const {
    std::string v = value(section, key).value_or(std::string(defaultValue));
    if (bufferSize > 0 && v.size() > bufferSize - 1) v.resize(bufferSize - 1);
    return v;
}

int32_t ProfileFile::getInt(std::string_view section, std::string_view key,
                            int32_t defaultValue) const {
    auto v = value(section, key);
    if (!v) return defaultValue;
    return parseLeadingInt(*v);
}

}  // namespace ostrand
