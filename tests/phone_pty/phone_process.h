// A `brindle phone` process for a test: started with a log in a fresh directory, its terminal
// read from the first line of its output, and always stopped at the end.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "sim_log_reader.h"

namespace brindle::ptytest {

class PhoneProcess {
 public:
  PhoneProcess() = default;
  PhoneProcess(const PhoneProcess&) = delete;
  PhoneProcess& operator=(const PhoneProcess&) = delete;
  PhoneProcess(PhoneProcess&&) = delete;
  PhoneProcess& operator=(PhoneProcess&&) = delete;
  ~PhoneProcess();

  // Runs `brindle phone --mode MODE --log FILE --timeout 120` plus `extra`, and waits (at most
  // 20 s) for the terminal's path. False, with `error` set, when that does not come.
  bool Start(const std::string& mode, const std::vector<std::string>& extra = {});
  void Signal(int signal) const;
  // SIGTERM, then SIGKILL if it has not gone within 5 s. Returns the exit status (-1 when it
  // was killed or never ran). Collects the rest of its output.
  int Stop();
  // Waits up to `timeoutMs` for it to end by itself; its exit status (-1 when a signal ended
  // it), or nothing while it runs.
  std::optional<int> WaitExit(int timeoutMs);

  [[nodiscard]] const std::string& terminal() const { return terminal_; }
  [[nodiscard]] const std::string& directory() const { return directory_; }
  [[nodiscard]] std::string logPath() const { return directory_ + "/phone.jsonl"; }
  [[nodiscard]] std::vector<LogEntry> Log() const { return ReadLog(logPath()); }
  // Its standard output after the first line (complete once it has ended).
  [[nodiscard]] const std::string& output() const { return output_; }
  [[nodiscard]] const std::string& error() const { return error_; }

 private:
  void Collect(int timeoutMs);
  int Reap(int status);

  pid_t pid_ = -1;
  std::optional<int> exitStatus_;
  int stdout_ = -1;
  std::string directory_;
  std::string terminal_;
  std::string output_;
  std::string error_;
};

}  // namespace brindle::ptytest
