// The long-running commands' log: one line per event on standard error, with its level. Under
// systemd (standard error is the journal's stream) the line starts with the journal's "<N>"
// priority and the journal adds the time; elsewhere it starts with the time in UTC.
#pragma once

#include <cstdint>
#include <string_view>

namespace brindle::tools {

enum class LogLevel : std::uint8_t { kError = 3, kWarning = 4, kInfo = 6 };

// "2026-12-08T01:14:01Z warning brindle serve: text" or "<4>brindle serve: text".
void LogLine(LogLevel level, std::string_view who, std::string_view text);

}  // namespace brindle::tools
