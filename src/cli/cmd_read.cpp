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

// The bytes as lines of an address, 16 bytes and their characters.
void printDump(uint32_t start, const std::vector<uint8_t>& bytes) {
    for (size_t line = 0; line < bytes.size(); line += 16) {
        std::string text;
        std::printf("%08X:", static_cast<unsigned>(start + line));
        for (size_t i = line; i < std::min(bytes.size(), line + 16); ++i) {
            std::printf(" %02X", bytes[i]);
            text += (bytes[i] >= 0x20 && bytes[i] < 0x7F) ? static_cast<char>(bytes[i]) : '.';
        }
        std::printf("%*s |%s|\n", static_cast<int>(3 * (16 - text.size())), "", text.c_str());
    }
}

int runRead(std::vector<std::string>& argv) {
    std::optional<uint32_t> start, end;
    auto range = [&](std::vector<std::string>& rest) -> std::string {
        if (rest.size() != 2) return "needs START and END";
        start = parseNumber(rest[0]);
        end = parseNumber(rest[1]);
        if (!start || !end || *end < *start || *end - *start >= 0x100000) return "bad START or END";
        return {};
    };
    auto read = [&](EngineContext& ctx) {
        std::vector<uint8_t> bytes(*end - *start + 1, 0xFF);
        const Outcome& o = ctx.record(
            ctx.doc.readMemory(*start, bytes.data(), static_cast<uint32_t>(bytes.size())));
        if (o.status != 1) return kExitFailed;
        std::string hex;
        for (uint8_t b : bytes) {
            char two[4];
            std::snprintf(two, sizeof two, "%02X", b);
            hex += two;
        }
        if (!ctx.options().json) printDump(*start, bytes);
        ctx.results.emplace_back("start", std::to_string(*start));
        ctx.results.emplace_back("data", jsonString(hex));
        return kExitOk;
    };
    return runFlashCommand(argv, {.name = "read", .operands = range, .body = read});
}

}  // namespace

}  // namespace ostrand::cli
