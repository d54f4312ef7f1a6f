// ostrand-cli save: saves the flash contents as an Intel HEX file.
#include "app/numbers.h"
#include "engine_context.h"

namespace ostrand::cli {

namespace {

int runSave(std::vector<std::string>& argv);

const Registrar kSave{Command{
    "save", "save the flash contents as an Intel HEX file",
    std::string("usage: ostrand-cli save FILE [--range START-END] [OPTIONS]\n\n"
                "Reads the whole flash (or START-END) and writes it to FILE as Intel HEX. The\n"
                "file is replaced as a whole: a failure leaves an old FILE as it was.\n\n") +
        kCommonUsage,
    runSave}};

int runSave(std::vector<std::string>& argv) {
    Args args(argv);
    CommonOptions options;
    const Command& self = commandNamed("save");
    if (!takeCommonOptions(args, options)) return usageError(self, args.errorText());
    std::string rangeText;
    std::optional<AddressRange> range;
    if (args.take("--range", rangeText)) {
        range = parseRange(rangeText);
        if (!range) return usageError(self, "bad --range " + rangeText);
    }
    if (args.error()) return usageError(self, args.errorText());
    if (std::string unknown = args.unknownOption(); !unknown.empty())
        return usageError(self, "unknown option " + unknown);
    if (args.rest().size() != 1) return usageError(self, "needs one FILE");
    EngineContext ctx(options);
    if (int r = ctx.open(false, {}); r != kExitOk) return ctx.finish("save", r);
    const int32_t ok = ctx.ops->saveMemoryFile(args.rest().front(), range);
    ctx.results.emplace_back("file", jsonString(args.rest().front()));
    return ctx.finish("save", ok == 1 ? kExitOk : kExitFailed);
}

}  // namespace

}  // namespace ostrand::cli
