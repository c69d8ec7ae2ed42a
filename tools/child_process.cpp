#include "tools/child_process.h"

#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>

extern char** environ;  // NOLINT(readability-redundant-declaration): POSIX declares it nowhere

namespace brindle::tools {
namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

int StatusOf(int wait) {
  if (WIFEXITED(wait)) {
    return WEXITSTATUS(wait);
  }
  return WIFSIGNALED(wait) ? 128 + WTERMSIG(wait) : 1;
}

}  // namespace

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    Finish(0);
  }
  if (output_ >= 0) {
    close(output_);
  }
}

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments) {
  int pipeEnds[2] = {-1, -1};
  if (pipe(pipeEnds) != 0) {
    static_cast<void>(std::fprintf(stderr, "brindle: no pipe: %s\n", std::strerror(errno)));
    return false;
  }
  std::vector<std::string> texts{program};
  texts.insert(texts.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  argv.reserve(texts.size() + 1);
  for (std::string& text : texts) {
    argv.push_back(text.data());
  }
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
  posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
  const int error = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[1]);
  if (error != 0) {
    close(pipeEnds[0]);
    pid_ = -1;
    static_cast<void>(std::fprintf(stderr, "brindle: cannot start %s: %s\n", program.c_str(),
                                   std::strerror(error)));
    return false;
  }
  output_ = pipeEnds[0];
  return true;
}

bool ChildProcess::ReadLine(std::string& line, int timeoutMs) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const std::size_t end = pending_.find('\n');
    if (end != std::string::npos) {
      line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      return true;
    }
    pollfd ready{output_, POLLIN, 0};
    const int waited = poll(&ready, 1, RemainingMs(deadline));
    if (waited < 0 && errno == EINTR) {
      continue;
    }
    if (waited <= 0) {
      return false;
    }
    char buffer[256];
    const ssize_t got = read(output_, buffer, sizeof buffer);
    if (got <= 0) {
      return false;
    }
    pending_.append(buffer, static_cast<std::size_t>(got));
  }
}

int ChildProcess::Finish(int timeoutMs) {
  if (pid_ <= 0) {
    return 1;
  }
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  int wait = 0;
  for (;;) {
    const pid_t done = waitpid(pid_, &wait, WNOHANG);
    if (done == pid_) {
      break;
    }
    if (RemainingMs(deadline) == 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, &wait, 0);
      break;
    }
    usleep(20000);
  }
  pid_ = -1;
  return StatusOf(wait);
}

}  // namespace brindle::tools
