#include "tools/phone_sim/at_text.h"

#include <algorithm>
#include <charconv>

namespace brindle::sim {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && text.front() == ' ') {
    text.remove_prefix(1);
  }
  while (!text.empty() && text.back() == ' ') {
    text.remove_suffix(1);
  }
  return text;
}

std::string UpperText(std::string_view text) {
  std::string upper(text);
  std::transform(upper.begin(), upper.end(), upper.begin(), Upper);
  return upper;
}

std::optional<int> SmallNumber(std::string_view text) {
  if (text.empty() || text.size() > 3 || !std::all_of(text.begin(), text.end(), IsDigit)) {
    return std::nullopt;
  }
  int value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

std::vector<std::string_view> Items(std::string_view text) {
  std::vector<std::string_view> items;
  for (;;) {
    const std::size_t comma = std::min(text.find(','), text.size());
    items.push_back(Trim(text.substr(0, comma)));
    if (comma == text.size()) {
      return items;
    }
    text.remove_prefix(comma + 1);
  }
}

std::optional<std::vector<std::optional<int>>> Numbers(std::string_view text) {
  std::vector<std::optional<int>> values;
  if (Trim(text).empty()) {
    return values;
  }
  for (const std::string_view item : Items(text)) {
    if (item.empty()) {
      values.emplace_back();
    } else if (item.size() > 6 || !std::all_of(item.begin(), item.end(), IsDigit)) {
      return std::nullopt;
    } else {
      int value = 0;
      std::from_chars(item.data(), item.data() + item.size(), value);
      values.emplace_back(value);
    }
  }
  return values;
}

}  // namespace brindle::sim
