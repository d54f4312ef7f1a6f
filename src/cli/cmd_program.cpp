// ostrand-cli program: writes the object file into the chip's flash.
#include "engine_context.h"

namespace ostrand::cli {

namespace {

int runProgram(std::vector<std::string>& argv);

const Registrar kProgram{Command{
    "program", "program the object file into the flash (erasing first where the chip needs it)",
    std::string(
        "usage: ostrand-cli program [FILE] [OPTIONS]\n\n"
        "Connects, and writes FILE (or the setup's object file) into the flash: through\n"
        "the write control programs in RAM loader mode, through the boot program in\n"
        "single-boot mode. Devices whose programming implies erasing are erased first.\n\n") +
        kCommonUsage + kRecordUsage,
    runProgram}};

int program(EngineContext& ctx) {
    const Outcome& o = ctx.record(ctx.doc.program());
    ctx.results.emplace_back("bytes", std::to_string(ctx.doc.image.programByteCount()));
    ctx.results.emplace_back("fileSum", std::to_string(ctx.doc.image.fileSum()));
    return o.status == 1 ? kExitOk : kExitFailed;
}

int runProgram(std::vector<std::string>& argv) {
    return runFlashCommand(
        argv, {.name = "program",
               .needObject = true,
               .fileOperand = true,
               .recordStep = "Programming",
               .opened = [](EngineContext& ctx, int) { warnIfEndRecordMissing(ctx.doc.image); },
               .body = program});
}

}  // namespace

}  // namespace ostrand::cli
