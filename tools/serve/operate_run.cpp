#include "tools/serve/operate_run.h"

#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "base/utf8.h"
#include "service/message_store.h"
#include "service/postgres_store.h"
#include "service/sqlite_backup.h"
#include "service/web/request_parameters.h"
#include "tools/exit_status.h"

namespace brindle::tools {
namespace {

int Say(const char* command, const std::string& what, int status) {
  static_cast<void>(std::fprintf(stderr, "brindle %s: %s\n", command, what.c_str()));
  return status;
}

std::unique_ptr<service::MessageStore> Open(const char* command, const std::string& db,
                                            service::OpenMode mode, int& status) {
  service::StoreError error;
  auto store = service::OpenMessageStore(db, mode, error);
  if (!store) {
    status = Say(command, "cannot use the database " + db + ": " + error.text, kExitBadInput);
  }
  return store;
}

// Each byte as a terminal may show it (controls escaped), Latin-1 into UTF-8.
std::string EscapedUtf8(std::string_view bytes) { return Latin1ToUtf8(EscapeControls(bytes)); }

// Runs `act` on the database opened for writing; the exit status.
template <typename Act>
int Write(const char* command, const std::string& db, const Act& act) {
  int status = kExitOk;
  auto store = Open(command, db, service::OpenMode::kExistingWrite, status);
  if (!store) {
    return status;
  }
  service::StoreError error;
  if (!act(*store, error)) {
    return Say(command, "cannot change the database " + db + ": " + error.text, kExitFailed);
  }
  return kExitOk;
}

std::string Ago(const std::optional<std::int64_t>& seconds) {
  return seconds ? std::to_string(*seconds) + " s ago" : "never";
}

// Runs a hide/unhide/block/unblock `act` on the database and says what it did, in a line;
// the exit status, 1 when there was nothing to act on.
template <typename Act>
int Moderate(const char* command, const std::string& db, const Act& act, const std::string& done,
             const std::string& unchanged, const std::string& target) {
  service::Moderated outcome = service::Moderated::kDone;
  const int status =
      Write(command, db, [&](service::MessageStore& store, service::StoreError& error) {
        return act(store, outcome, error);
      });
  if (status != kExitOk) {
    return status;
  }
  switch (outcome) {
    case service::Moderated::kDone:
      static_cast<void>(std::printf("%s %s\n", target.c_str(), done.c_str()));
      return kExitOk;
    case service::Moderated::kUnchanged:
      static_cast<void>(std::printf("%s %s\n", target.c_str(), unchanged.c_str()));
      return kExitOk;
    case service::Moderated::kNoScore:
      break;
  }
  return Say(command, "no score message has the id " + target.substr(target.find(' ') + 1),
             kExitFailed);
}

}  // namespace

int RunStatus(const std::string& db) {
  int status = kExitOk;
  auto store = Open("status", db, service::OpenMode::kExistingOnly, status);
  std::vector<service::PortStatus> ports;
  service::StoreError error;
  if (!store) {
    return status;
  }
  if (!store->PortStatuses(ports, error)) {
    return Say("status", "cannot read the database " + db + ": " + error.text, kExitBadInput);
  }
  if (ports.empty()) {
    static_cast<void>(std::puts("No service has reported yet."));
  }
  for (const service::PortStatus& port : ports) {
    const service::PortReport& r = port.report;
    const bool unheard = service::IsUnheard(port);
    status = unheard ? kExitFailed : status;
    static_cast<void>(std::printf(
        "%s: %s%s\n  heard from %s (polls every %" PRIu32
        " s), last listing %s, last message %s\n"
        "  %" PRIu64 " stored (%" PRIu64 " of them rejected), %" PRIu64 " deleted from the phone\n",
        EscapedUtf8(r.port).c_str(), std::string(service::PortStateName(r.state)).c_str(),
        unheard ? ", NOT HEARD FROM for more than three poll periods" : "",
        Ago(port.heardAgo).c_str(), r.pollSeconds, Ago(port.listedAgo).c_str(),
        Ago(port.messageAgo).c_str(), r.storedCount, r.rejectedCount, r.deletedCount));
  }
  return status;
}

int RunModerationLog(const std::string& db) {
  int status = kExitOk;
  auto store = Open("moderation", db, service::OpenMode::kExistingOnly, status);
  if (!store) {
    return status;
  }
  service::StoreError error;
  bool any = false;
  const bool listed = store->ForEachModeration(
      [&](const service::ModerationAct& act) {
        any = true;
        static_cast<void>(std::printf("%s  %-8s %s%s%s\n", act.at.c_str(), act.action.c_str(),
                                      EscapedUtf8(act.target).c_str(),
                                      act.detail.empty() ? "" : ": ", act.detail.c_str()));
        return true;
      },
      error);
  if (!listed) {
    return Say("moderation", "cannot read the database " + db + ": " + error.text, kExitBadInput);
  }
  if (!any) {
    static_cast<void>(std::puts("No moderation yet."));
  }
  return kExitOk;
}

int RunHide(const std::string& db, std::int64_t id, bool hide) {
  return Moderate(
      hide ? "scores hide" : "scores unhide", db,
      [&](service::MessageStore& store, service::Moderated& outcome, service::StoreError& error) {
        return store.SetHidden(id, hide, outcome, error);
      },
      hide ? "hidden" : "shown again", hide ? "was hidden already" : "was not hidden",
      "message " + std::to_string(id));
}

int RunBlock(const std::string& db, const std::string& number, bool block) {
  return Moderate(
      block ? "senders block" : "senders unblock", db,
      [&](service::MessageStore& store, service::Moderated& outcome, service::StoreError& error) {
        return store.SetBlocked(number, block, outcome, error);
      },
      block ? "blocked; its scores are hidden" : "unblocked",
      block ? "was blocked already" : "was not blocked", number);
}

int RunGameSet(const GameArguments& arguments) {
  const std::optional<std::int64_t> id = service::web::ParseGameId(arguments.id);
  if (!id) {
    return Say("games set", "a game id is a decimal 32-bit whole number", kExitBadInput);
  }
  if (!service::IsGameName(arguments.name)) {
    return Say("games set", "a name is UTF-8 text of at most 100 bytes without control characters",
               kExitBadInput);
  }
  return Write("games set", arguments.db,
               [&](service::MessageStore& store, service::StoreError& error) {
                 return store.SetGameName(*id, arguments.name, error);
               });
}

int RunBackup(const BackupArguments& arguments) {
  if (service::IsPostgresLocation(arguments.db)) {
    return Say("backup", "this copies SQLite files; back PostgreSQL up with pg_dump",
               kExitBadInput);
  }
  // Any schema of ours, so that a database can be kept as it was before an upgrade.
  std::error_code fault;
  if (!std::filesystem::is_regular_file(arguments.db, fault)) {
    return Say("backup", "no database at " + arguments.db, kExitBadInput);
  }
  if (std::filesystem::equivalent(arguments.db, arguments.file, fault)) {
    return Say("backup", "the copy cannot replace the database itself", kExitBadInput);
  }
  service::StoreError error;
  if (!service::BackupSqliteFile(arguments.db, arguments.file, error)) {
    return Say("backup", "cannot copy " + arguments.db + ": " + error.text, kExitFailed);
  }
  return kExitOk;
}

}  // namespace brindle::tools
