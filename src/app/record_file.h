// Appending whole lines to a file that several processes (and threads) share:
// each line goes in one write under an exclusive lock, so lines never mix.
#pragma once

#include <filesystem>
#include <string>

namespace ostrand {

// Appends `line` and a line break. Waits for other writers; false (errno
// set) when the file cannot be opened or written.
bool appendLineExclusive(const std::filesystem::path& file, const std::string& line);

}  // namespace ostrand
