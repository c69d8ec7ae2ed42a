#include "service/message_store.h"

#include <array>

#include "service/postgres_store.h"
#include "service/sqlite_store.h"

namespace brindle::service {
namespace {

constexpr std::array<std::string_view, 4> kPortStateNames = {"initialising", "ready",
                                                             "reconnecting", "stopped"};

}  // namespace

bool IsUnheard(const PortStatus& status) {
  return status.report.state != PortState::kStopped &&
         status.heardAgo > kUnheardPolls * std::int64_t{status.report.pollSeconds};
}

std::string_view PortStateName(PortState state) {
  return kPortStateNames.at(static_cast<std::size_t>(state));
}

std::optional<PortState> PortStateOf(std::string_view name) {
  for (std::size_t i = 0; i < kPortStateNames.size(); ++i) {
    if (kPortStateNames[i] == name) {
      return static_cast<PortState>(i);
    }
  }
  return std::nullopt;
}

std::unique_ptr<MessageStore> OpenMessageStore(std::string_view location, OpenMode mode,
                                               StoreError& error) {
  if (IsPostgresLocation(location)) {
    return OpenPostgresStore(location, mode, error);
  }
  return OpenSqliteStore(location, mode, error);
}

}  // namespace brindle::service
