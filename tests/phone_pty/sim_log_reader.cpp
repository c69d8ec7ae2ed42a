#include "sim_log_reader.h"

#include <fstream>

namespace brindle::ptytest {
namespace {

class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}
  void SkipBlanks() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) {
      ++pos_;
    }
  }
  bool Take(char c) {
    SkipBlanks();
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  [[nodiscard]] bool AtEnd() const { return pos_ >= text_.size(); }
  [[nodiscard]] char Peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }
  char Next() { return pos_ < text_.size() ? text_[pos_++] : '\0'; }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

int HexValue(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

// A JSON string whose characters are all U+0000..U+00FF, as the bytes of those codes.
std::optional<std::string> ReadString(Cursor& in) {
  if (!in.Take('"')) {
    return std::nullopt;
  }
  std::string bytes;
  for (;;) {
    if (in.AtEnd()) {
      return std::nullopt;
    }
    const auto c = static_cast<unsigned char>(in.Next());
    if (c == '"') {
      return bytes;
    }
    unsigned code = c;
    if (c == '\\') {
      switch (in.Next()) {
        case '"':
          code = '"';
          break;
        case '\\':
          code = '\\';
          break;
        case '/':
          code = '/';
          break;
        case 'n':
          code = '\n';
          break;
        case 'r':
          code = '\r';
          break;
        case 't':
          code = '\t';
          break;
        case 'b':
          code = '\b';
          break;
        case 'f':
          code = '\f';
          break;
        case 'u': {
          code = 0;
          for (int i = 0; i < 4; ++i) {
            const int digit = HexValue(in.Next());
            if (digit < 0) {
              return std::nullopt;
            }
            code = code * 16 + static_cast<unsigned>(digit);
          }
          break;
        }
        default:
          return std::nullopt;
      }
    } else if (c >= 0x80) {
      // Two-byte UTF-8 covers U+0080..U+07FF; anything else cannot stand for a byte.
      const auto next = static_cast<unsigned char>(in.Next());
      if ((c & 0xE0U) != 0xC0U || (next & 0xC0U) != 0x80U) {
        return std::nullopt;
      }
      code = ((c & 0x1FU) << 6U) | (next & 0x3FU);
    }
    if (code > 0xFF) {
      return std::nullopt;
    }
    bytes.push_back(static_cast<char>(code));
  }
}

std::optional<std::int64_t> ReadInteger(Cursor& in) {
  in.SkipBlanks();
  bool negative = false;
  if (in.Peek() == '-') {
    negative = true;
    in.Next();
  }
  if (in.Peek() < '0' || in.Peek() > '9') {
    return std::nullopt;
  }
  std::int64_t value = 0;
  while (in.Peek() >= '0' && in.Peek() <= '9') {
    value = value * 10 + (in.Next() - '0');
  }
  return negative ? -value : value;
}

}  // namespace

std::uint64_t LogEntry::t() const { return static_cast<std::uint64_t>(Number("t").value_or(-1)); }

std::string LogEntry::Text(const std::string& key) const {
  const auto found = strings.find(key);
  return found == strings.end() ? std::string() : found->second;
}

std::optional<std::int64_t> LogEntry::Number(const std::string& key) const {
  const auto found = numbers.find(key);
  if (found == numbers.end()) {
    return std::nullopt;
  }
  return found->second;
}

bool LogEntry::IsBytes(std::string_view direction) const {
  return strings.count("data") == 1 && Text("dir") == direction;
}

bool LogEntry::IsEvent(std::string_view name) const { return Text("event") == name; }

std::optional<LogEntry> ParseLogLine(std::string_view line) {
  Cursor in(line);
  LogEntry entry;
  if (!in.Take('{')) {
    return std::nullopt;
  }
  if (in.Take('}')) {
    return entry;
  }
  do {
    const auto key = ReadString(in);
    if (!key || !in.Take(':')) {
      return std::nullopt;
    }
    in.SkipBlanks();
    if (in.Peek() == '"') {
      const auto value = ReadString(in);
      if (!value) {
        return std::nullopt;
      }
      entry.strings[*key] = *value;
    } else {
      const auto value = ReadInteger(in);
      if (!value) {
        return std::nullopt;
      }
      entry.numbers[*key] = *value;
    }
  } while (in.Take(','));
  if (!in.Take('}')) {
    return std::nullopt;
  }
  in.SkipBlanks();
  if (!in.AtEnd()) {
    return std::nullopt;
  }
  return entry;
}

std::vector<LogEntry> ReadLog(const std::string& path) {
  std::vector<LogEntry> log;
  std::ifstream file(path, std::ios::binary);
  std::string line;
  while (std::getline(file, line)) {
    if (auto entry = ParseLogLine(line)) {
      log.push_back(std::move(*entry));
    } else {
      LogEntry bad;
      bad.strings["bad"] = line;
      log.push_back(std::move(bad));
    }
  }
  return log;
}

std::string Transcript(const std::vector<LogEntry>& log, std::string_view direction) {
  std::string bytes;
  for (const LogEntry& entry : log) {
    if (entry.IsBytes(direction)) {
      bytes += entry.Text("data");
    }
  }
  return bytes;
}

}  // namespace brindle::ptytest
