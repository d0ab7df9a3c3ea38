#include "cli/commands.h"

namespace tq::cli {
int RunExportCommand(const CommandOptions&) { return kExitError; }  // placeholder
}  // namespace tq::cli
