// ostrand-cli protect: sets the chip's read protection.
#include "engine_context.h"

namespace ostrand::cli {

namespace {

int runProtect(std::vector<std::string>& argv);

const Registrar kProtect{
    Command{"protect", "set the chip's read protection",
            std::string("usage: ostrand-cli protect [OPTIONS]\n\n"
                        "Sets read protection: through the read-protect WCP in RAM loader mode,\n"
                        "through the boot program in single-boot mode.\n\n") +
                kCommonUsage + kRecordUsage,
            runProtect}};

int protect(EngineContext& ctx) {
    return ctx.record(ctx.doc.protect()).status == 1 ? kExitOk : kExitFailed;
}

int runProtect(std::vector<std::string>& argv) {
    return runFlashCommand(argv, {.name = "protect", .recordStep = "Protect", .body = protect});
}

}  // namespace

}  // namespace ostrand::cli
