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

int32_t readProtect(EngineContext& ctx) {
    CFlashEngine& e = ctx.engine();
    const int32_t mode = ctx.session.ProgrammingMode;
    if (mode == kModeSBootPw || mode == kModeSBoot) return e.protectChip(true, true);
    if (!ProtectTypes(e.device().bootType)) {
        ctx.op.showMessage(11026);  // this chip has no read protection
        return 0;
    }
    ctx.op.progressOpen(messageTextOrFallback(11313), 0, false, false, true);
    e.latchProgrammingMode();
    const int32_t ok = e.wcpReadProtect();
    ctx.op.progressClose();
    if (ok == 1) ctx.op.showMessage(11027);
    return ok;
}

int protect(EngineContext& ctx) {
    return ctx.perform([&] { return readProtect(ctx); }).status == 1 ? kExitOk : kExitFailed;
}

int runProtect(std::vector<std::string>& argv) {
    return runFlashCommand(argv, {.name = "protect", .body = protect});
}

}  // namespace

}  // namespace ostrand::cli
