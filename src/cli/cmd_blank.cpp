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

int blank(EngineContext& ctx) {
    const Outcome& o = ctx.record(ctx.doc.blankCheck());
    // The check ran when it told its result (11016 or 11017).
    if (o.code == 11016 || o.code == 11017)
        ctx.results.emplace_back("blank", o.status == 1 ? "true" : "false");
    return o.status == 1 ? kExitOk : kExitFailed;
}

int runBlank(std::vector<std::string>& argv) {
    return runFlashCommand(argv, {.name = "blank", .body = blank});
}

}  // namespace

}  // namespace ostrand::cli
