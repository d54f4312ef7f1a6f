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
    std::optional<AddressRange> range;
    std::string file;
    auto rangeOption = [&](Args& args) -> std::string {
        std::string text;
        if (!args.take("--range", text)) return {};
        range = parseRange(text);
        return range ? std::string() : "bad --range " + text;
    };
    auto oneFile = [&](std::vector<std::string>& rest) -> std::string {
        if (rest.size() != 1) return "needs one FILE";
        file = rest.front();
        return {};
    };
    auto save = [&](EngineContext& ctx) {
        const Outcome& o = ctx.record(ctx.doc.saveFlash(file, range));
        ctx.results.emplace_back("file", jsonString(file));
        return o.status == 1 ? kExitOk : kExitFailed;
    };
    return runFlashCommand(
        argv, {.name = "save", .options = rangeOption, .operands = oneFile, .body = save});
}

}  // namespace

}  // namespace ostrand::cli
