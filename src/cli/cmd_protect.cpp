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
                kCommonUsage,
            runProtect}};

int runProtect(std::vector<std::string>& argv) {
    Args args(argv);
    CommonOptions options;
    const Command& self = commandNamed("protect");
    if (!takeCommonOptions(args, options)) return usageError(self, args.errorText());
    if (std::string unknown = args.unknownOption(); !unknown.empty())
        return usageError(self, "unknown option " + unknown);
    if (!args.rest().empty()) return usageError(self, "takes no arguments");
    EngineContext ctx(options);
    if (int r = ctx.open(false, {}); r != kExitOk) return ctx.finish("protect", r);
    CFlashEngine& e = *ctx.engine;
    const int32_t mode = ctx.session.ProgrammingMode;
    int32_t ok = 0;
    if (mode == kModeSBootPw || mode == kModeSBoot) {
        ok = e.protectChip(true, true);
    } else if (!ProtectTypes(e.device().bootType)) {
        ctx.op.showMessage(11026);  // this chip has no read protection
    } else {
        ctx.op.progressOpen(messageTextOrFallback(11313), 0, false, false, true);
        e.latchProgrammingMode();
        ok = e.wcpReadProtect();
        ctx.op.progressClose();
        if (ok == 1) ctx.op.showMessage(11027);
    }
    return ctx.finish("protect", ok == 1 ? kExitOk : kExitFailed);
}

}  // namespace

}  // namespace ostrand::cli
