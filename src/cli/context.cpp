#include "context.h"

#include "app/file_io.h"
#include "document/advice.h"

namespace ostrand::cli {

bool Context::loadHome(Args& args) {
    std::string dir;
    home = args.take("--home", dir) ? std::filesystem::path(dir) : programFolder();
    std::error_code ec;
    home = std::filesystem::absolute(home, ec).lexically_normal();
    parts = std::make_unique<EngineSession>(session, op, home);
    op.advice = [this](const ShownMessage& m) { return adviceFor(m, adviceFacts(*parts)); };
    return parts->loadDefinitions();
}

}  // namespace ostrand::cli
