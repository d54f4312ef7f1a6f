// The command line of ostrand-sim.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sim/faults.h"

namespace ostrand::sim {

struct Options {
    std::string home;
    std::string device;
    std::string link;
    std::string flashFile;
    std::string logFile;
    bool pace = false;
    bool unlisted = false;
    bool help = false;
    std::vector<Fault> faults;
};

// nullopt with a reason in error when the line cannot be used.
std::optional<Options> parseOptions(const std::vector<std::string>& args, std::string& error);

extern const char* const kUsage;

}  // namespace ostrand::sim
