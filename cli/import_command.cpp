#include "cli/commands.h"

namespace tq::cli {
int RunImportCommand(const CommandOptions&) { return kExitError; }  // placeholder
}  // namespace tq::cli
