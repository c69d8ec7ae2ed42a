#include "tools/commands.h"

namespace brindle::tools {
void RegisterPhoneCommand(CLI::App& /*app*/, int& /*status*/) {}
}  // namespace brindle::tools
