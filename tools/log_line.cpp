#include "tools/log_line.h"

#include <sys/stat.h>

#include <array>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <string_view>

namespace brindle::tools {
namespace {

// systemd sets JOURNAL_STREAM to the device and inode of the stream it connected; a standard
// error redirected elsewhere since (a pipe the service opened itself) keeps plain lines.
bool ToJournal() {
  const char* stream = std::getenv("JOURNAL_STREAM");
  struct stat status {};
  if (stream == nullptr || fstat(2, &status) != 0) {
    return false;
  }
  const std::string_view text(stream);
  const std::size_t colon = text.find(':');
  std::uintmax_t device = 0;
  std::uintmax_t inode = 0;
  const char* end = text.data() + text.size();
  return colon != std::string_view::npos &&
         std::from_chars(text.data(), text.data() + colon, device).ptr == text.data() + colon &&
         std::from_chars(text.data() + colon + 1, end, inode).ptr == end &&
         device == status.st_dev && inode == status.st_ino;
}

const char* LevelName(LogLevel level) {
  switch (level) {
    case LogLevel::kError:
      return "error";
    case LogLevel::kWarning:
      return "warning";
    case LogLevel::kInfo:
      break;
  }
  return "info";
}

}  // namespace

void LogLine(LogLevel level, std::string_view who, std::string_view text) {
  static const bool journal = ToJournal();
  std::string line;
  if (journal) {
    line = "<" + std::to_string(static_cast<int>(level)) + ">";
  } else {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    std::array<char, 32> stamp{};
    if (gmtime_r(&now, &utc) != nullptr) {
      line.append(stamp.data(),
                  std::strftime(stamp.data(), stamp.size(), "%Y-%m-%dT%H:%M:%SZ ", &utc));
    }
    line += LevelName(level);
    line += ' ';
  }
  line.append(who).append(": ").append(text) += '\n';
  // One write, so that lines of two threads do not mix.
  static_cast<void>(std::fwrite(line.data(), 1, line.size(), stderr));
}

}  // namespace brindle::tools
