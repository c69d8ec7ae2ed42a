// Reads the simulated phone's JSON-lines log back: flat objects of strings and integers,
// strings turned back into the bytes they stand for.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brindle::ptytest {

struct LogEntry {
  std::map<std::string, std::string> strings;
  std::map<std::string, std::int64_t> numbers;

  [[nodiscard]] std::uint64_t t() const;
  [[nodiscard]] std::string Text(const std::string& key) const;
  [[nodiscard]] std::optional<std::int64_t> Number(const std::string& key) const;
  [[nodiscard]] bool IsBytes(std::string_view direction) const;
  [[nodiscard]] bool IsEvent(std::string_view name) const;
};

// One object; nothing when the line is not such an object.
std::optional<LogEntry> ParseLogLine(std::string_view line);
// Every line of the file; a line that does not parse becomes an entry with key "bad".
std::vector<LogEntry> ReadLog(const std::string& path);
// The bytes of one direction ("in" or "out"), in order.
std::string Transcript(const std::vector<LogEntry>& log, std::string_view direction);

}  // namespace brindle::ptytest
