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
        kCommonUsage,
    runErase}};

int runErase(std::vector<std::string>& argv) {
    Args args(argv);
    CommonOptions options;
    const Command& self = commandNamed("erase");
    if (!takeCommonOptions(args, options)) return usageError(self, args.errorText());
    std::optional<uint32_t> start, size;
    auto& rest = args.rest();
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] != "--block") continue;
        if (i + 2 >= rest.size()) return usageError(self, "--block needs START and SIZE");
        start = parseNumber(rest[i + 1]);
        size = parseNumber(rest[i + 2]);
        if (!start || !size || *size == 0) return usageError(self, "bad block START or SIZE");
        rest.erase(rest.begin() + static_cast<long>(i), rest.begin() + static_cast<long>(i) + 3);
        break;
    }
    if (std::string unknown = args.unknownOption(); !unknown.empty())
        return usageError(self, "unknown option " + unknown);
    if (!rest.empty()) return usageError(self, "unexpected argument " + rest.front());
    EngineContext ctx(options);
    if (int r = ctx.open(false, {}); r != kExitOk) return ctx.finish("erase", r);
    const int32_t ok = start ? ctx.ops->eraseBlock(*start, *size) : ctx.ops->eraseChip(true);
    return ctx.finish("erase", ok == 1 ? kExitOk : kExitFailed);
}

}  // namespace

}  // namespace ostrand::cli
