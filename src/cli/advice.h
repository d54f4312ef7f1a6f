// The console's line of advice after the numbered messages operators meet
// most: what to check or do next. The message itself stays as it is.
#pragma once

#include <cstdint>
#include <string>

#include "app/operator.h"

namespace ostrand::cli {

struct AdviceFacts {
    bool connecting = false;   // the link to the chip was not up yet
    uint64_t refusedLine = 0;  // the object file's refused record, from 1; 0: unknown
};

// "ostrand-cli: advice: ..." for `message`, or empty.
std::string adviceFor(const ShownMessage& message, const AdviceFacts& facts);

}  // namespace ostrand::cli
