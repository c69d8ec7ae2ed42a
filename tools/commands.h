// Each subcommand of `brindle` registers itself here; its callback stores the exit status.
// CLI11's header is costly to compile: only the few sources that declare options include this.
#pragma once

#include <CLI/CLI.hpp>
#include <memory>
#include <string>
#include <utility>

#include "tools/exit_status.h"

namespace brindle::tools {

// Adds the subcommand `name`, whose options fill one Arguments. The callback holds them, so
// they outlive the registration; after parsing it hands them to `run` and stores the exit
// status `run` returns. Gives the subcommand, for its options, and the arguments they fill.
template <typename Arguments, typename Run>
std::pair<CLI::App*, std::shared_ptr<Arguments>> AddCommand(CLI::App& app, int& status,
                                                            std::string name,
                                                            std::string description, Run run) {
  auto arguments = std::make_shared<Arguments>();
  CLI::App* command = app.add_subcommand(std::move(name), std::move(description));
  command->callback([arguments, run, &status] { status = run(*arguments); });
  return {command, arguments};
}

// --port, as every command that opens the phone's line names it.
inline CLI::Option* AddPortOption(CLI::App& command, std::string& port) {
  return command.add_option(
      "--port", port, "Serial port: COMn: (mapped by BRINDLE_COMn, else /dev/ttyS<n-1>) or a path");
}

// --db, required, for the commands that read a database the service made.
inline CLI::Option* AddDatabaseOption(CLI::App& command, std::string& db) {
  return command.add_option("--db", db, "SQLite database file or PostgreSQL (postgresql://...)")
      ->required();
}

void RegisterCodecCommands(CLI::App& app, int& status);  // encode, decode
void RegisterServeCommands(CLI::App& app, int& status);  // serve, messages, scores, web
// status, scores hide|unhide, senders, moderation, games, backup; after RegisterServeCommands
void RegisterOperatorCommands(CLI::App& app, int& status);

}  // namespace brindle::tools
