// INI-form files read the way the platform's profile functions read them:
// section and key names match without regard to case, the first section of a
// name wins (and the first key within it), values are trimmed of blanks.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "file_io.h"

namespace ostrand {

// The largest definition, setup or log file read: far above any real one
// (a definition file of ten thousand devices is under 10 MB), so that a file
// that is no such thing is refused before it costs its size in memory.
inline constexpr size_t kMaxProfileFileBytes = 64u << 20;

class ProfileFile {
  public:
    // nullopt when the file cannot be opened for reading, is not a regular
    // file or is larger than kMaxProfileFileBytes (`why` tells which).
    static std::optional<ProfileFile> load(const std::filesystem::path& path,
                                           OpenFailure* why = nullptr);
    static ProfileFile fromText(std::string_view text);

    // The raw value, or nullopt when the section or key is absent.
    std::optional<std::string> value(std::string_view section, std::string_view key) const;

    // Value cut to bufferSize - 1 characters (the reading buffer of the caller);
    // the default when absent.
    std::string getString(std::string_view section, std::string_view key,
                          std::string_view defaultValue, size_t bufferSize = 1024) const;

    // Leading decimal integer of the value; the default when absent.
    int32_t getInt(std::string_view section, std::string_view key, int32_t defaultValue) const;

    // Section names in file order: every line whose first non-blank character
    // is "[" and that contains a "]" gives the text between the "[" and the
    // last "]", trimmed. Duplicates are kept.
    const std::vector<std::string>& sectionNames() const { return sectionNames_; }

  private:
    // Keys in lower case, each pointing at the first entry of that name:
    // definition files hold thousands of sections, and every lookup by a
    // scan made loading them quadratic.
    struct Section {
        std::unordered_map<std::string, std::string> entries;
    };
    const Section* find(std::string_view section) const;

    std::vector<Section> sections_;                  // the first section of each name only
    std::unordered_map<std::string, size_t> index_;  // lower-case name -> sections_
    std::vector<std::string> sectionNames_;
};

bool equalsNoCase(std::string_view a, std::string_view b);

}  // namespace ostrand
