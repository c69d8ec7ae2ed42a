#include "phone_process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <thread>

#ifndef BRINDLE_EXECUTABLE
#error "BRINDLE_EXECUTABLE must name the brindle binary"
#endif

namespace brindle::ptytest {
namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

PhoneProcess::~PhoneProcess() {
  Stop();
  if (!directory_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
  }
}

bool PhoneProcess::Start(const std::string& mode, const std::vector<std::string>& extra) {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/brindle-phone-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    error_ = "no temporary directory";
    return false;
  }
  directory_ = pattern;
  std::vector<std::string> arguments = {BRINDLE_EXECUTABLE, "phone",     "--mode", mode, "--log",
                                        logPath(),          "--timeout", "120"};
  arguments.insert(arguments.end(), extra.begin(), extra.end());
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 1);
  for (std::string& argument : arguments) {
    argv.push_back(argument.data());
  }
  argv.push_back(nullptr);

  std::array<int, 2> pipe{};
  if (::pipe2(pipe.data(), O_CLOEXEC) != 0) {
    error_ = "no pipe";
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe[1], STDOUT_FILENO);
  const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipe[1]);
  stdout_ = pipe[0];
  if (spawned != 0) {
    pid_ = -1;
    error_ = std::string("cannot run ") + BRINDLE_EXECUTABLE;
    return false;
  }
  const auto deadline = Clock::now() + std::chrono::seconds(20);
  while (output_.find('\n') == std::string::npos && MsLeft(deadline) > 0) {
    Collect(MsLeft(deadline));
    if (WaitExit(0).has_value()) {
      break;
    }
  }
  const std::size_t end = output_.find('\n');
  if (end == std::string::npos) {
    error_ = "no terminal printed; output so far: " + output_;
    return false;
  }
  terminal_ = output_.substr(0, end);
  output_.erase(0, end + 1);
  return true;
}

void PhoneProcess::Collect(int timeoutMs) {
  if (stdout_ < 0) {
    return;
  }
  pollfd ready{stdout_, POLLIN, 0};
  if (::poll(&ready, 1, timeoutMs) <= 0) {
    return;
  }
  std::array<char, 4096> buffer{};
  const ssize_t count = ::read(stdout_, buffer.data(), buffer.size());
  if (count > 0) {
    output_.append(buffer.data(), static_cast<std::size_t>(count));
  } else {
    ::close(stdout_);
    stdout_ = -1;
  }
}

int PhoneProcess::Reap(int status) {
  pid_ = -1;
  // Everything it wrote is in the pipe now.
  while (stdout_ >= 0) {
    Collect(1000);
  }
  exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return *exitStatus_;
}

std::optional<int> PhoneProcess::WaitExit(int timeoutMs) {
  if (pid_ < 0) {
    return exitStatus_;
  }
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      return Reap(status);
    }
    if (MsLeft(deadline) <= 0) {
      return std::nullopt;
    }
    // Keep the pipe drained so that the phone never blocks on its output.
    Collect(std::min(20, MsLeft(deadline)));
  }
}

void PhoneProcess::Signal(int signal) const {
  if (pid_ >= 0) {
    ::kill(pid_, signal);
  }
}

int PhoneProcess::Stop() {
  if (pid_ < 0) {
    return exitStatus_.value_or(-1);
  }
  ::kill(pid_, SIGTERM);
  if (const auto status = WaitExit(5000)) {
    return *status;
  }
  ::kill(pid_, SIGKILL);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  Reap(status);
  return -1;
}

}  // namespace brindle::ptytest
