// The service's subcommands on the command line: `brindle serve`, `messages`, `scores`,
// `import` and `web`, and the operator's beside them (`status`, `scores hide|unhide`,
// `senders`, `moderation`, `games`, `backup`). What each does is in serve_run.h,
// operate_run.h, import_run.cpp and web_run.h.
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "service/config.h"
#include "service/score_service.h"
#include "tools/commands.h"
#include "tools/serve/operate_run.h"
#include "tools/serve/serve_run.h"
#include "tools/web/web_run.h"

namespace brindle::tools {
namespace {

CLI::Validator Checked(std::string (*why)(std::string_view)) {
  return {[why](const std::string& text) { return why(text); }, ""};
}

// --config, as the service commands take it: the file named, or the default one when present.
CLI::Option* AddConfigOption(CLI::App& command, std::string& path) {
  return command
      .add_option("--config", path,
                  "Settings file (TOML); the command line overrides it (default: " +
                      std::string(service::kDefaultConfigPath) + " when present)")
      ->type_name("FILE");
}

// --config, --phone and the modem's options.
void AddServeSettingOptions(CLI::App& command, ServeArguments& arguments) {
  AddConfigOption(command, arguments.config);
  command.add_option("--phone", arguments.phone,
                     "The config file's [[phone]] to serve, by its name or port (default: its "
                     "only one, or the one on --port)");
  command
      .add_option("--baud", arguments.baudRate,
                  "The port's speed in bits per second (default 115200)")
      ->check(CLI::Validator(
          [](const std::string& text) {
            std::uint32_t speed = 0;
            const char* end = text.data() + text.size();
            const auto [stop, status] = std::from_chars(text.data(), end, speed);
            return status == std::errc() && stop == end && service::IsSerialSpeed(speed)
                       ? std::string()
                       : "must be a serial speed (" + std::string(service::kSerialSpeeds) +
                             "), not '" + text + "'";
          },
          ""));
  command
      .add_option("--pin", arguments.pin,
                  "The SIM's PIN, sent only when the phone asks for it; a PIN the SIM refuses "
                  "is not sent again")
      ->check(Checked(service::CheckPin));
  command
      .add_option("--init", arguments.initCommands,
                  "An AT command sent after the standard start, which must answer OK "
                  "(repeatable, in order)")
      ->type_name("AT...")
      ->check(Checked(service::CheckInitCommand));
}

void AddHideCommands(CLI::App& app, int& status) {
  CLI::App* scores = app.get_subcommand("scores");
  for (const bool hide : {true, false}) {
    auto id = std::make_shared<std::int64_t>(0);
    CLI::App* command = scores->add_subcommand(
        hide ? "hide" : "unhide",
        hide ? "Take a score off the boards (the message stays stored); its handle's next best "
               "score takes its place at once. Exit 1: no score message has that id"
             : "Put a hidden score back on the boards");
    command->add_option("MESSAGE_ID", *id, "The id `brindle messages` shows")->required();
    command->fallthrough();
    command->callback([scores, id, hide, &status] {
      status = RunHide(scores->get_option("--db")->as<std::string>(), *id, hide);
    });
  }
}

}  // namespace

void RegisterServeCommands(CLI::App& app, int& status) {
  const auto [serveCommand, serve] = AddCommand<ServeArguments>(
      app, status, "serve",
      "Take the score messages off the phone into the database: what it holds now, then each "
      "one it announces, listing it again every --poll seconds",
      RunServe);
  AddPortOption(*serveCommand, serve->port);
  serveCommand->add_option("--db", serve->db,
                           "SQLite database file (made when missing) or PostgreSQL "
                           "(postgresql://... or libpq key=value; the database made by the "
                           "operator)");
  serveCommand->add_flag("--once", serve->once,
                         "Store what the phone holds now, delete it there and exit");
  serveCommand->add_option("--poll", serve->pollSeconds, "Seconds between listings (default 30)")
      ->check(CLI::Range(1U, 86400U));
  AddServeSettingOptions(*serveCommand, *serve);

  const auto [messagesCommand, messages] = AddCommand<std::pair<std::string, bool>>(
      app, status, "messages", "Every message the database holds, in the order stored",
      [](const std::pair<std::string, bool>& arguments) {
        return RunMessages(arguments.first, arguments.second, stdout);
      });
  AddDatabaseOption(*messagesCommand, messages->first);
  messagesCommand->add_flag("--json", messages->second, "One JSON object a line");

  auto scores = std::make_shared<ScoresArguments>();
  CLI::App* scoresCommand = app.add_subcommand(
      "scores", "The leaderboard: each handle's best score per game, higher first");
  AddDatabaseOption(*scoresCommand, scores->db);
  // Read here rather than by CLI11, which also takes 0x2A, +42 and blanks around the number.
  auto gameId = std::make_shared<std::string>();
  CLI::Option* gameIdOption =
      scoresCommand->add_option("--game-id", *gameId, "Only this game (a 32-bit whole number)");
  scoresCommand->add_option("--top", scores->top, "Rows per game")
      ->check(CLI::Range(std::int64_t{1}, std::int64_t{1000000}))
      ->capture_default_str();
  scoresCommand->add_flag("--json", scores->json, "One JSON object");
  scoresCommand->callback([scores, scoresCommand, gameId, gameIdOption, &status] {
    if (!scoresCommand->get_subcommands().empty()) {
      return;  // hide or unhide ran instead
    }
    status = RunScoresCommand(
        *scores, gameIdOption->count() > 0 ? std::optional(*gameId) : std::nullopt, stdout);
  });

  const auto [importCommand, importDb] = AddCommand<std::string>(
      app, status, "import",
      "Store PDU lines from standard input (as a phone lists them, service-centre field first) "
      "as serve stores what it takes off the phone; blank lines are skipped",
      [](const std::string& db) { return RunImport(db, stdin); });
  importCommand
      ->add_option("--db", *importDb, "SQLite database file (made when missing) or PostgreSQL")
      ->required();

  const auto [web, arguments] = AddCommand<WebArguments>(
      app, status, "web",
      "The leaderboard as web pages (/, /games/ID) and JSON (/api/scores?game=ID&top=N), "
      "read-only, without the senders' numbers, with /healthz and /metrics (Prometheus); runs "
      "until SIGTERM/SIGINT",
      RunWeb);
  AddDatabaseOption(*web, arguments->db)->required(false);
  web->add_option(
      "--listen", arguments->listen,
      "HOST:PORT to serve on (port 0: any free one; default " + std::string(kDefaultListen) + ")");
  AddConfigOption(*web, arguments->config);
}

void RegisterOperatorCommands(CLI::App& app, int& status) {
  const auto [statusCommand, statusDb] = AddCommand<std::string>(
      app, status, "status",
      "What each running service last said of its port: state, last listing and message, "
      "counters. Exit 1 when one has not been heard from for three poll periods",
      RunStatus);
  AddDatabaseOption(*statusCommand, *statusDb);

  AddHideCommands(app, status);

  struct SenderArguments {
    std::string db;
    std::string number;
  };
  auto senders = std::make_shared<SenderArguments>();
  CLI::App* sendersCommand = app.add_subcommand("senders", "Block or unblock a sender's number");
  sendersCommand->require_subcommand(1);
  AddDatabaseOption(*sendersCommand, senders->db);
  for (const bool block : {true, false}) {
    CLI::App* command = sendersCommand->add_subcommand(
        block ? "block" : "unblock",
        block ? "From now on keep the number's messages as rejected (\"blocked sender\") and "
                "hide its scores"
              : "Take the number's messages again and show the scores its block hid");
    command->add_option("NUMBER", senders->number, "As `brindle messages` shows it")->required();
    command->fallthrough();
    command->callback(
        [senders, block, &status] { status = RunBlock(senders->db, senders->number, block); });
  }

  const auto [moderationCommand, moderationDb] = AddCommand<std::string>(
      app, status, "moderation", "Every hide, unhide, block and unblock, with its time (UTC)",
      RunModerationLog);
  AddDatabaseOption(*moderationCommand, *moderationDb);

  auto games = std::make_shared<GameArguments>();
  CLI::App* gamesCommand = app.add_subcommand("games", "Name the games the boards show");
  gamesCommand->require_subcommand(1);
  AddDatabaseOption(*gamesCommand, games->db);
  CLI::App* set = gamesCommand->add_subcommand(
      "set",
      "Give game ID the name NAME on the pages, the API (gameName) and `brindle scores`; "
      "an empty NAME takes the name away");
  set->add_option("ID", games->id, "The game id (a 32-bit whole number)")->required();
  set->add_option("NAME", games->name, "UTF-8, at most 100 bytes")->required();
  set->fallthrough();
  set->callback([games, &status] { status = RunGameSet(*games); });

  const auto [backupCommand, backup] = AddCommand<BackupArguments>(
      app, status, "backup",
      "A consistent copy of an SQLite database, safe while serve writes to it (PostgreSQL: "
      "pg_dump)",
      RunBackup);
  backupCommand->add_option("FILE", backup->file, "Where the copy goes (replaced whole)")
      ->required();
  AddDatabaseOption(*backupCommand, backup->db);
}

}  // namespace brindle::tools
