// What --version prints: the program, its version, and the version lines of
// the definition file in the program folder (as the About box shows them).
#pragma once

#include <filesystem>
#include <string>

namespace ostrand {

// The version of this build ("1.0").
const char* buildVersion();

// "ostrand-cli 1.0 (Ver1.0d)", then the definition file's program line,
// package version (when set) and notice line, each ending in a line break.
// Without a loadable definition file the second part names the folder.
std::string versionText(const std::string& program, const std::filesystem::path& folder);

}  // namespace ostrand
