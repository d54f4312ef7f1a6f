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

namespace {

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

std::optional<ProfileFile> ProfileFile::load(const std::filesystem::path& path, OpenFailure* why) {
    auto text = readWholeFile(path, why, kMaxProfileFileBytes);
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
            // A later section of a name already seen is never read.
            auto [at, added] = file.index_.try_emplace(lowered(name), file.sections_.size());
            if (added) file.sections_.emplace_back();
            current = added ? &file.sections_.back() : nullptr;
            file.sectionNames_.push_back(std::move(name));
            continue;
        }
        if (line.front() == ';' || current == nullptr) continue;
        size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        current->entries.try_emplace(lowered(trimBlanks(line.substr(0, eq))),
                                     trimBlanks(line.substr(eq + 1)));
    }
    return file;
}

const ProfileFile::Section* ProfileFile::find(std::string_view section) const {
    auto it = index_.find(lowered(section));
    return it == index_.end() ? nullptr : &sections_[it->second];
}

std::optional<std::string> ProfileFile::value(std::string_view section,
                                              std::string_view key) const {
    const Section* s = find(section);
    if (!s) return std::nullopt;
    auto it = s->entries.find(lowered(key));
    if (it == s->entries.end()) return std::nullopt;
    return it->second;
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
