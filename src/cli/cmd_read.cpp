// ostrand-cli read: reads a range of the flash and prints it as a hex dump.
#include <cstdio>

#include "app/numbers.h"
#include "engine_context.h"

namespace ostrand::cli {

namespace {

int runRead(std::vector<std::string>& argv);

const Registrar kRead{
    Command{"read", "read a range of the flash and print it as a hex dump",
            std::string("usage: ostrand-cli read START END [OPTIONS]\n\n"
                        "Reads the flash from START to END (inclusive) and prints a hex dump on\n"
                        "stdout: address, 16 bytes, their characters.\n\n") +
                kCommonUsage,
            runRead}};

int runRead(std::vector<std::string>& argv) {
    Args args(argv);
    CommonOptions options;
    const Command& self = commandNamed("read");
    if (!takeCommonOptions(args, options)) return usageError(self, args.errorText());
    if (std::string unknown = args.unknownOption(); !unknown.empty())
        return usageError(self, "unknown option " + unknown);
    if (args.rest().size() != 2) return usageError(self, "needs START and END");
    const auto start = parseNumber(args.rest()[0]);
    const auto end = parseNumber(args.rest()[1]);
    if (!start || !end || *end < *start || *end - *start >= 0x100000)
        return usageError(self, "bad START or END");
    EngineContext ctx(options);
    if (int r = ctx.open(false, {}); r != kExitOk) return ctx.finish("read", r);
    std::vector<uint8_t> bytes(*end - *start + 1, 0xFF);
    if (ctx.ops->readFlash(*start, bytes.data(), static_cast<uint32_t>(bytes.size())) != 1)
        return ctx.finish("read", kExitFailed);
    std::string hex;
    for (size_t line = 0; line < bytes.size(); line += 16) {
        std::string text;
        if (!options.json) std::printf("%08X:", static_cast<unsigned>(*start + line));
        for (size_t i = line; i < std::min(bytes.size(), line + 16); ++i) {
            char two[4];
            std::snprintf(two, sizeof two, "%02X", bytes[i]);
            hex += two;
            if (!options.json) std::printf(" %s", two);
            text += (bytes[i] >= 0x20 && bytes[i] < 0x7F) ? static_cast<char>(bytes[i]) : '.';
        }
        if (!options.json)
            std::printf("%*s |%s|\n", static_cast<int>(3 * (16 - text.size())), "", text.c_str());
    }
    ctx.results.emplace_back("start", std::to_string(*start));
    ctx.results.emplace_back("data", jsonString(hex));
    return ctx.finish("read", kExitOk);
}

}  // namespace

}  // namespace ostrand::cli
