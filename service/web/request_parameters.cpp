#include "service/web/request_parameters.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <utility>

namespace brindle::service::web {
namespace {

std::optional<std::int64_t> ParseNumber(std::string_view text) {
  std::int64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, status] = std::from_chars(text.data(), end, value);
  if (text.empty() || status != std::errc() || stop != end) {
    return std::nullopt;
  }
  return value;
}

// %XX escapes as their bytes; '+' stays itself. False for a '%' without two hex digits.
bool PercentDecode(std::string_view text, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    unsigned byte = 0;
    const char* digits = text.data() + i + 1;
    constexpr int kHex = 16;
    if (text.size() - i < 3 || std::from_chars(digits, digits + 2, byte, kHex).ptr != digits + 2) {
      return false;
    }
    out += static_cast<char>(byte);
    i += 2;
  }
  return true;
}

}  // namespace

std::optional<std::int64_t> ParseGameId(std::string_view text) {
  const auto value = ParseNumber(text);
  if (!value || *value < std::numeric_limits<std::int32_t>::min() ||
      *value > std::numeric_limits<std::int32_t>::max()) {
    return std::nullopt;
  }
  return value;
}

std::optional<std::int64_t> ParseTop(std::string_view text) {
  const auto value = ParseNumber(text);
  if (!value || *value < 1 || *value > kMaxTop) {
    return std::nullopt;
  }
  return value;
}

bool ReadLeaderboardQuery(std::string_view text, LeaderboardQuery& query, std::string& why) {
  std::optional<std::string> game;
  std::optional<std::string> top;
  while (!text.empty()) {
    const std::string_view item = text.substr(0, text.find('&'));
    text.remove_prefix(std::min(text.size(), item.size() + 1));
    const std::size_t equals = item.find('=');
    std::string name;
    std::string value;
    if (!PercentDecode(item.substr(0, equals), name) ||
        (equals != std::string_view::npos && !PercentDecode(item.substr(equals + 1), value))) {
      why = "malformed %-escape in the query";
      return false;
    }
    std::optional<std::string>* const slot = name == "game"  ? &game
                                             : name == "top" ? &top
                                                             : nullptr;
    if (slot == nullptr) {
      why = "unknown parameter '" + name + "' (game, top)";
      return false;
    }
    if (slot->has_value()) {
      why = "parameter '" + name + "' given more than once";
      return false;
    }
    *slot = std::move(value);
  }
  query = {std::nullopt, kFrontPageTop};
  if (game) {
    query.gameId = ParseGameId(*game);
    if (!query.gameId) {
      why = "game must be a 32-bit whole number";
      return false;
    }
  }
  if (top) {
    const auto rows = ParseTop(*top);
    if (!rows) {
      why = "top must be a whole number from 1 to " + std::to_string(kMaxTop);
      return false;
    }
    query.top = *rows;
  }
  return true;
}

bool NamesTag(std::string_view ifNoneMatch, std::string_view tag) {
  constexpr std::string_view kBlanks = " \t";
  constexpr std::string_view kWeak = "W/";
  while (!ifNoneMatch.empty()) {
    std::string_view item = ifNoneMatch.substr(0, ifNoneMatch.find(','));
    ifNoneMatch.remove_prefix(std::min(ifNoneMatch.size(), item.size() + 1));
    item.remove_prefix(std::min(item.size(), item.find_first_not_of(kBlanks)));
    item.remove_suffix(item.size() - std::min(item.size(), item.find_last_not_of(kBlanks) + 1));
    if (item.starts_with(kWeak)) {
      item.remove_prefix(kWeak.size());
    }
    if (item == "*" || item == tag) {
      return true;
    }
  }
  return false;
}

}  // namespace brindle::service::web
