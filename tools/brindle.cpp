#include <cstdio>
#include <exception>
#include <string>

#include "tools/commands.h"

namespace brindle::tools {
namespace {

int Run(int argc, char** argv) {
  CLI::App app{"Brindle: score messages as SMS, and a simulated phone to send them to"};
  app.require_subcommand(1);
  app.set_version_flag("--version", "brindle " BRINDLE_VERSION);
  // One line on standard error for every refused argument, as scripts expect.
  app.failure_message(
      [](const CLI::App* /*app*/, const CLI::Error& e) { return std::string(e.what()) + "\n"; });
  int status = kExitOk;
  RegisterCodecCommands(app, status);
  RegisterPhoneCommand(app, status);
  RegisterSendCommands(app, status);
  RegisterServeCommands(app, status);
  RegisterOperatorCommands(app, status);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    // Scripts tell bad input by status 2, whatever CLI11 would have used.
    app.exit(e);
    return kExitBadInput;
  }
  return status;
}

}  // namespace
}  // namespace brindle::tools

int main(int argc, char** argv) {
  try {
    return brindle::tools::Run(argc, argv);
  } catch (const std::exception& e) {
    static_cast<void>(std::fprintf(stderr, "brindle: %s\n", e.what()));
  } catch (...) {
    static_cast<void>(std::fputs("brindle: unexpected failure\n", stderr));
  }
  return brindle::tools::kExitBadInput;
}
