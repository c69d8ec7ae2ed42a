// A child process whose standard output is read line by line, with time limits.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace brindle::tools {

class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ChildProcess(ChildProcess&&) = delete;
  ChildProcess& operator=(ChildProcess&&) = delete;
  // Terminates the child if it still runs.
  ~ChildProcess();

  // Runs `program` with `arguments` (argv[1..]); false with a line on stderr on failure.
  bool Start(const std::string& program, const std::vector<std::string>& arguments);
  // The next line of the child's output without its line end; false on end of output or
  // when no whole line came within `timeoutMs`.
  bool ReadLine(std::string& line, int timeoutMs);
  // Waits up to `timeoutMs` for the child to exit, then sends SIGTERM and waits for it.
  // Returns the exit status, or 128 + signal.
  int Finish(int timeoutMs);

 private:
  pid_t pid_ = -1;
  int output_ = -1;
  std::string pending_;
};

}  // namespace brindle::tools
