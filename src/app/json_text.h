// JSON text for the machine-readable outputs (--json, run records).
#pragma once

#include <string>
#include <string_view>

namespace ostrand {

// `text` as a JSON string, quotes included; control bytes escaped.
std::string jsonString(std::string_view text);

}  // namespace ostrand
