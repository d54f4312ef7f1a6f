// ostrand-cli erase: erases the whole flash, or one block of it.
#include "app/numbers.h"
#include "engine_context.h"

namespace ostrand::cli {

namespace {

int runErase(std::vector<std::string>& argv);

const Registrar kErase{Command{
    "erase", "erase the whole flash, or one block with --block START SIZE",
    std::string("usage: ostrand-cli erase [--block START SIZE] [OPTIONS]\n\n"
                "Erases the whole flash, or the block of SIZE bytes at START (numbers in decimal\n"
                "or with 0x); a block must lie inside one flash area.\n\n") +
        kCommonUsage + kRecordUsage,
    runErase}};

int runErase(std::vector<std::string>& argv) {
    std::optional<uint32_t> start, size;
    // --block takes two values, which the option reader does not know.
    auto block = [&](Args& args) -> std::string {
        auto& rest = args.rest();
        for (size_t i = 0; i < rest.size(); ++i) {
            if (rest[i] != "--block") continue;
            if (i + 2 >= rest.size()) return "--block needs START and SIZE";
            start = parseNumber(rest[i + 1]);
            size = parseNumber(rest[i + 2]);
            if (!start || !size || *size == 0) return "bad block START or SIZE";
            rest.erase(rest.begin() + static_cast<long>(i),
                       rest.begin() + static_cast<long>(i) + 3);
            break;
        }
        return {};
    };
    auto none = [](std::vector<std::string>& rest) {
        return rest.empty() ? std::string() : "unexpected argument " + rest.front();
    };
    auto erase = [&](EngineContext& ctx) {
        if (start) ctx.recordStep = "Block Erase";
        const Outcome& o =
            ctx.record(start ? ctx.doc.blockErase(*start, *size) : ctx.doc.chipErase());
        return o.status == 1 ? kExitOk : kExitFailed;
    };
    return runFlashCommand(argv, {.name = "erase",
                                  .recordStep = "All Erase",
                                  .options = block,
                                  .operands = none,
                                  .body = erase});
}

}  // namespace

}  // namespace ostrand::cli
