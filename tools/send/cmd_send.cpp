#include "tools/commands.h"

namespace brindle::tools {
void RegisterSendCommands(CLI::App& /*app*/, int& /*status*/) {}
}  // namespace brindle::tools
