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
        kCommonUsage,
    runProgram}};

int runProgram(std::vector<std::string>& argv) {
    Args args(argv);
    CommonOptions options;
    std::string file;
    int status = kExitOk;
    if (!takeFileCommandOptions(args, commandNamed("program"), options, file, status))
        return status;
    EngineContext ctx(options);
    const int opened = ctx.open(true, file);
    if (ctx.image) warnIfEndRecordMissing(*ctx.image);
    if (opened != kExitOk) return ctx.finish("program", opened);
    const int32_t ok = ctx.ops->programDevice();
    ctx.results.emplace_back("bytes", std::to_string(ctx.image->programByteCount()));
    ctx.results.emplace_back("fileSum", std::to_string(ctx.image->fileSum()));
    return ctx.finish("program", ok == 1 ? kExitOk : kExitFailed);
}

}  // namespace

}  // namespace ostrand::cli
