// The simulator's log: one flat JSON object (texts and integers) per line, flushed at once so that
// a test can read it while the phone runs.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "tools/phone_sim/phone_dialogue.h"

namespace brindle::sim {

class SimLog {
 public:
  SimLog() = default;
  SimLog(const SimLog&) = delete;
  SimLog& operator=(const SimLog&) = delete;
  SimLog(SimLog&&) = delete;
  SimLog& operator=(SimLog&&) = delete;
  ~SimLog();

  // Creates (or empties) the file. On failure `error` says why.
  bool Open(const std::string& path, std::string& error);
  [[nodiscard]] bool isOpen() const { return file_ != nullptr; }

  // {"t": ms, "dir": "in"|"out", "data": text}
  void Bytes(std::uint64_t timeMs, std::string_view direction, std::string_view data);
  // {"t": ms, "event": NAME, ...}: sending "sms", "rejected", "cancelled", "hangup";
  // receiving "stored", "store-refused", "held", "routed", "listed", "read", "deleted",
  // "delete-refused".
  void Event(std::uint64_t timeMs, const DialogueEvent& event);
  // {"t": ms, "event": "line", "path": ...}: the terminal to open from now on (after a hangup).
  void NewLine(std::uint64_t timeMs, std::string_view path);

 private:
  void Write(const std::string& line);

  std::FILE* file_ = nullptr;
};

// The JSON object of one event, without the line break.
std::string EventJson(std::uint64_t timeMs, const DialogueEvent& event);

}  // namespace brindle::sim
