#include "service/message_store.h"

#include <algorithm>
#include <array>

#include "base/utf8.h"
#include "service/postgres_store.h"
#include "service/sqlite_store.h"

namespace brindle::service {
namespace {

constexpr std::array<std::string_view, 4> kPortStateNames = {"initialising", "ready",
                                                             "reconnecting", "stopped"};

}  // namespace

std::uint64_t MessageKeyHash(std::string_view sender, std::string_view sentAt, std::string_view pdu,
                             std::string_view received) {
  constexpr std::uint64_t kOffset = 14695981039346656037ULL;
  constexpr std::uint64_t kPrime = 1099511628211ULL;
  std::uint64_t hash = kOffset;
  for (const std::string_view part : {sender, sentAt, pdu, received}) {
    for (const char c : part) {
      hash = (hash ^ static_cast<unsigned char>(c)) * kPrime;
    }
    hash = (hash ^ 0xFFU) * kPrime;
  }
  return hash;
}

bool IsGameName(std::string_view name) {
  const auto text = Utf8ToUtf16(name);
  return text && name.size() <= kMaxGameName && std::ranges::none_of(*text, [](char16_t c) {
           return c < 0x20 || (c >= 0x7F && c < 0xA0);
         });
}

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
