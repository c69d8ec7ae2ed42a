// `brindle serve`, `brindle messages` and `brindle scores`: the score service and its two
// readers of the database.
#include "tools/serve/serve_run.h"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/clock.h"
#include "base/sleeper.h"
#include "base/utf8.h"
#include "phone/posix_serial_port.h"
#include "service/api_json.h"
#include "service/message_store.h"
#include "service/postgres_store.h"
#include "service/score_service.h"
#include "service/web/request_parameters.h"
#include "tools/config_file.h"
#include "tools/exit_status.h"
#include "tools/log_line.h"
#include "tools/serve/commit_hook.h"
#include "tools/serve/serve_settings.h"
#include "tools/stop_signals.h"
#include "tools/systemd_notify.h"

namespace brindle::tools {
namespace {

// The narrowest the handle and sender columns of `brindle scores` are.
constexpr std::size_t kHandleColumn = 16;
constexpr std::size_t kSenderColumn = 16;

class StderrLog final : public service::ServiceLog {
 public:
  void Line(std::string_view text) override { LogLine(LogLevel::kInfo, "brindle serve", text); }
  void Warning(std::string_view text) override {
    LogLine(LogLevel::kWarning, "brindle serve", text);
  }
};

int Refuse(const char* command, const std::string& what) {
  static_cast<void>(std::fprintf(stderr, "brindle %s: %s\n", command, what.c_str()));
  return kExitBadInput;
}

std::unique_ptr<service::MessageStore> OpenForReading(const char* command, const std::string& db,
                                                      int& status) {
  service::StoreError error;
  auto store = service::OpenMessageStore(db, service::OpenMode::kExistingOnly, error);
  if (!store) {
    status = Refuse(command, "cannot read the database " + db + ": " + error.text);
  }
  return store;
}

// The service's store. A PostgreSQL server that cannot be reached yet (the machine is
// starting, the server restarting) is waited for as a lost connection is, a line a try, until
// it answers or the service is told to stop; anything else ends the start at once.
std::unique_ptr<service::MessageStore> OpenForServing(const std::string& db,
                                                      service::StoreError& error) {
  constexpr std::uint32_t kStopCheckMs = 100;
  StderrLog log;
  RealSleeper sleeper;
  std::uint32_t delayMs = service::kFirstBackoffMs;
  for (;;) {
    auto store = service::OpenMessageStore(db, service::OpenMode::kCreateIfMissing, error);
    if (store || error.kind != service::StoreErrorKind::kUnavailable ||
        !service::IsPostgresLocation(db)) {
      return store;
    }
    log.Warning("cannot reach the database: " + error.text + "; trying again in " +
                std::to_string(delayMs / 1000) + " s");
    for (std::uint32_t waited = 0; waited < delayMs && !StopRequested(); waited += kStopCheckMs) {
      sleeper.Pause(kStopCheckMs);
    }
    if (StopRequested()) {
      return nullptr;
    }
    delayMs = std::min(delayMs * 2, service::kMaxBackoffMs);
  }
}

// SIGHUP: the config file read again. Game names and the phone's settings change; the
// database and the port stay until a restart. A refused file changes nothing.
void Reload(const ServeArguments& arguments, const ServeSettings& current,
            service::MessageStore& store, service::ScoreService& server) {
  SystemdNotifier::Reloading();
  std::string why;
  const auto fresh = ResolveServeSettings(arguments, why);
  if (!fresh) {
    LogLine(LogLevel::kError, "brindle serve", "settings not reloaded: " + why);
  } else {
    ApplyGameNames(store, fresh->gameNames);
    server.Reconfigure(fresh->modem, fresh->pollSeconds);
    LogLine(LogLevel::kInfo, "brindle serve",
            "settings reloaded" +
                (fresh->configPath.empty() ? std::string() : " from " + fresh->configPath) +
                (fresh->port != current.port || fresh->db != current.db
                     ? "; the port and the database stay until a restart"
                     : ""));
  }
  SystemdNotifier::Ready();
}

// Latin-1 bytes as UTF-8 text for a terminal, padded to `width` columns (printf pads bytes).
std::string Shown(std::string_view bytes, std::size_t width = 0) {
  std::string text = Latin1ToUtf8(EscapeControls(bytes));
  const std::size_t columns = DisplayWidth(text);
  if (columns < width) {
    text.append(width - columns, ' ');
  }
  return text;
}

}  // namespace

int RunServe(const ServeArguments& arguments) {
  std::string why;
  const auto settings = ResolveServeSettings(arguments, why);
  if (!settings) {
    return Refuse("serve", why);
  }
  CatchStopSignals();
  service::StoreError error;
  auto store = OpenForServing(settings->db, error);
  if (!store) {
    return StopRequested()
               ? kExitOk
               : Refuse("serve", "cannot use the database " + settings->db + ": " + error.text);
  }
  ApplyGameNames(*store, settings->gameNames);
  PosixSerialPort port;
  SteadyClock clock;
  RealSleeper sleeper;
  StderrLog log;
  service::ServiceParts parts;
  parts.port = &port;
  parts.store = store.get();
  parts.clock = &clock;
  parts.sleeper = &sleeper;
  parts.log = &log;
  SystemdNotifier notifier;
  service::ScoreService* running = nullptr;
  // Polled wherever the service waits, so it also tells the watchdog that the loop turns, and
  // takes a SIGHUP's fresh settings there.
  parts.stopRequested = [&] {
    notifier.Alive();
    if (TakeReloadRequest() && running != nullptr) {
      Reload(arguments, *settings, *store, *running);
    }
    return StopRequested();
  };
  parts.phoneReady = [] { SystemdNotifier::Ready(); };
  parts.utcNow = [] {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    std::array<char, 32> text{};
    return gmtime_r(&now, &utc) == nullptr
               ? std::string()
               : std::string(text.data(),
                             std::strftime(text.data(), text.size(), "%Y-%m-%dT%H:%M:%SZ", &utc));
  };
  parts.afterCommit = AfterCommitHook();
  service::ServiceOptions options;
  options.port = settings->port;
  options.once = arguments.once;
  options.pollSeconds = settings->pollSeconds;
  options.modem = settings->modem;
  const std::uint64_t start = clock.NowMs();
  service::ScoreService server(options, parts);
  running = &server;
  const service::ServiceExit exit = server.Run();
  const service::ServiceCounts& counts = server.counts();
  const std::uint64_t elapsed = clock.NowMs() - start;
  log.Line(std::to_string(counts.stored) + " stored, " + std::to_string(counts.deleted) +
           " deleted, " + std::to_string(counts.refused) + " deletions refused; " +
           std::to_string(elapsed) + " ms, " + std::to_string(counts.waitedMs) +
           " ms of it waiting for the phone");
  switch (exit) {
    case service::ServiceExit::kDone:
      return kExitOk;
    case service::ServiceExit::kNoPhone:
    case service::ServiceExit::kStoreFailed:
      break;
  }
  return kExitFailed;
}

int RunMessages(const std::string& db, bool json, std::FILE* out) {
  int status = kExitOk;
  auto store = OpenForReading("messages", db, status);
  if (!store) {
    return status;
  }
  service::StoreError error;
  const bool listed = store->ForEachMessage(
      [&](const service::StoredMessage& stored) {
        const service::Message& m = stored.message;
        const bool score = m.status == service::MessageStatus::kScore;
        if (json) {
          static_cast<void>(std::fprintf(out, "%s\n", service::MessageJson(stored).c_str()));
        } else if (score) {
          static_cast<void>(
              std::fprintf(out,
                           "%6" PRId64 "  score     %s  %s  game %" PRId64 ", score %" PRId64
                           ", handle \"%s\"%s%s\n",
                           stored.id, Shown(m.sentAt, 25).c_str(), Shown(m.sender, 16).c_str(),
                           m.gameId, m.score, Shown(m.handle).c_str(),
                           stored.hiddenBy.empty() ? "" : "; hidden by ", stored.hiddenBy.c_str()));
        } else {
          static_cast<void>(std::fprintf(out, "%6" PRId64 "  rejected  %s  %s  %s\n", stored.id,
                                         Shown(m.sentAt.empty() ? "-" : m.sentAt, 25).c_str(),
                                         Shown(m.sender.empty() ? "-" : m.sender, 16).c_str(),
                                         Shown(m.reason).c_str()));
        }
        return true;
      },
      error);
  if (!listed) {
    return Refuse("messages", "cannot read the database " + db + ": " + error.text);
  }
  return kExitOk;
}

int RunScores(const ScoresArguments& arguments, std::FILE* out) {
  int status = kExitOk;
  auto store = OpenForReading("scores", arguments.db, status);
  if (!store) {
    return status;
  }
  service::LeaderboardQuery query;
  query.gameId = arguments.gameId;
  query.top = arguments.top;
  std::vector<service::GameLeaderboard> games;
  service::StoreError error;
  if (!store->Leaderboard(query, games, error)) {
    return Refuse("scores", "cannot read the database " + arguments.db + ": " + error.text);
  }
  if (arguments.json) {
    static_cast<void>(
        std::fprintf(out, "%s\n", service::ScoresJson(games, service::Senders::kShown).c_str()));
    return kExitOk;
  }
  if (games.empty()) {
    static_cast<void>(std::fputs("No scores yet.\n", out));
  }
  for (const service::GameLeaderboard& game : games) {
    static_cast<void>(std::fprintf(out, "Game %" PRId64 "%s%s\n", game.gameId,
                                   game.gameName.empty() ? "" : ": ", game.gameName.c_str()));
    // Each column as wide as its widest text, so a long handle moves no other row's columns.
    std::size_t handleWidth = kHandleColumn;
    std::size_t senderWidth = kSenderColumn;
    for (const service::LeaderboardEntry& entry : game.entries) {
      handleWidth = std::max(handleWidth, DisplayWidth(Shown(entry.handle)));
      senderWidth = std::max(senderWidth, DisplayWidth(Shown(entry.sender)));
    }
    static_cast<void>(std::fprintf(out, "  %4s  %10s  %s  %s  %s\n", "rank", "score",
                                   Shown("handle", handleWidth).c_str(),
                                   Shown("sender", senderWidth).c_str(), "sent at"));
    for (const service::LeaderboardEntry& entry : game.entries) {
      static_cast<void>(std::fprintf(out, "  %4" PRId64 "  %10" PRId64 "  %s  %s  %s\n", entry.rank,
                                     entry.score, Shown(entry.handle, handleWidth).c_str(),
                                     Shown(entry.sender, senderWidth).c_str(),
                                     Shown(entry.sentAt).c_str()));
    }
  }
  return kExitOk;
}

int RunScoresCommand(ScoresArguments arguments, const std::optional<std::string>& gameId,
                     std::FILE* out) {
  if (gameId) {
    arguments.gameId = service::web::ParseGameId(*gameId);
    if (!arguments.gameId) {
      return Refuse("scores",
                    "--game-id takes a decimal 32-bit whole number, not '" + Shown(*gameId) + "'");
    }
  }
  return RunScores(arguments, out);
}

}  // namespace brindle::tools
