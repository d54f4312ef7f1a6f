// ostrand-cli blank: checks whether the whole flash is erased.
#include "engine_context.h"

namespace ostrand::cli {

namespace {

int runBlank(std::vector<std::string>& argv);

const Registrar kBlank{
    Command{"blank", "check whether the whole flash is erased",
            std::string("usage: ostrand-cli blank [OPTIONS]\n\n"
                        "Checks the whole flash. Exit status 0 when it is blank, 1 when it is not\n"
                        "or the check failed.\n\n") +
                kCommonUsage,
            runBlank}};

int runBlank(std::vector<std::string>& argv) {
    Args args(argv);
    CommonOptions options;
    const Command& self = commandNamed("blank");
    if (!takeCommonOptions(args, options)) return usageError(self, args.errorText());
    if (std::string unknown = args.unknownOption(); !unknown.empty())
        return usageError(self, "unknown option " + unknown);
    if (!args.rest().empty()) return usageError(self, "takes no arguments");
    EngineContext ctx(options);
    if (int r = ctx.open(false, {}); r != kExitOk) return ctx.finish("blank", r);
    const size_t before = ctx.op.shown.size();
    const int32_t blank = ctx.ops->blankCheck(true);
    // The check ran when it showed its result (11016 or 11017).
    bool checked = false;
    for (size_t i = before; i < ctx.op.shown.size(); ++i)
        checked = checked || ctx.op.shown[i].code == 11016 || ctx.op.shown[i].code == 11017;
    if (checked) ctx.results.emplace_back("blank", blank == 1 ? "true" : "false");
    return ctx.finish("blank", blank == 1 ? kExitOk : kExitFailed);
}

}  // namespace

}  // namespace ostrand::cli
