// `brindle phone` as a process for the tests, its log read back.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "tools/child_process.h"

namespace brindle::ptytest {

// The PDU text the send sequence builds for game 42, score 12345, handle "Ann".
inline constexpr std::string_view kSampleMessage =
    "0011000C912143658709210000AA2ACD241104B3C96C349BCC06B3C56C311BCC56B3C56C32DBCC46B3D56C30D"
    "BCC16C3D9883622";

// One line of the phone's log: each key's string, or the JSON text of any other value. (The
// JSON header stays out of the tests that include this: it is costly to compile.)
using LogEvent = std::map<std::string, std::string, std::less<>>;

// A phone with its log in a fresh folder; stopped and removed at the end. Like the process it
// runs, it is neither copied nor moved.
class PhoneRun {
 public:
  PhoneRun();
  ~PhoneRun();

  // `brindle phone --mode MODE --log ... EXTRA`; true once it printed its terminal.
  bool Start(const std::string& mode, const std::vector<std::string>& extra = {});
  // SIGTERM, so that its log is complete; its exit status.
  int Stop() { return process_.Finish(0); }

  [[nodiscard]] const std::string& terminal() const { return terminal_; }
  [[nodiscard]] std::filesystem::path Path(std::string_view name) const { return folder_ / name; }
  // The log's lines whose `key` is `value`: by default, the events of that name.
  [[nodiscard]] std::vector<LogEvent> Events(std::string_view value,
                                             const std::string& key = "event") const;
  // The phone logs some events after the link has seen their effect: waits up to 5 s for
  // `count` of them.
  [[nodiscard]] std::vector<LogEvent> AwaitEvents(std::string_view name,
                                                  std::size_t count = 1) const;
  // The bytes that went "in" to the phone or "out" of it, in order (ASCII: the log writes each
  // byte as the character of the same code).
  [[nodiscard]] std::string Bytes(std::string_view direction) const;

 private:
  std::filesystem::path folder_;
  tools::ChildProcess process_;
  std::string terminal_;
};

}  // namespace brindle::ptytest
