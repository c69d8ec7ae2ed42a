#include "tools/phone_sim/phone_runner.h"

#include <poll.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <random>

#include "tools/commands.h"
#include "tools/json_writer.h"
#include "tools/phone_sim/phone_dialogue.h"
#include "tools/phone_sim/pty_device.h"
#include "tools/phone_sim/sim_log.h"
#include "tools/phone_sim/terminal_link.h"

namespace brindle::sim {
namespace {

// Output the line has not taken is kept up to this size; beyond it the oldest bytes go, as
// on a phone whose transmit buffer overflows while nobody listens.
constexpr std::size_t kPendingCapacity = 16384;
constexpr int kIdlePollMs = 50;
constexpr int kBusyPollMs = 10;

volatile std::sig_atomic_t g_stopRequested = 0;

extern "C" void RequestStop(int /*signal*/) { g_stopRequested = 1; }

void InstallStopHandlers() {
  struct sigaction action {};
  action.sa_handler = RequestStop;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: poll() must return
  (void)sigaction(SIGINT, &action, nullptr);
  (void)sigaction(SIGTERM, &action, nullptr);
  (void)std::signal(SIGPIPE, SIG_IGN);
}

void PrintMessage(std::FILE* out, const DialogueEvent& event) {
  if (event.scoreFields) {
    (void)std::fprintf(out, "SMS %d to %s: game id %lld, score %lld, handle \"%s\"\n",
                       event.reference, event.number.c_str(), static_cast<long long>(event.gameId),
                       static_cast<long long>(event.score),
                       tools::Latin1ToUtf8(event.handle).c_str());
  } else {
    (void)std::fprintf(out, "SMS %d to %s: payload \"%s\" (not a score message)\n", event.reference,
                       event.number.c_str(), tools::Latin1ToUtf8(event.payload).c_str());
  }
  (void)std::fflush(out);
}

class Runner {
 public:
  Runner(const PhoneOptions& options, std::FILE* out)
      : options_(options),
        out_(out),
        link_(options.linkPath),
        start_(std::chrono::steady_clock::now()),
        dialogue_(options.mode, 0, std::random_device{}()) {}

  int Run();

 private:
  [[nodiscard]] std::uint64_t Now() const {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now() - start_)
                                          .count());
  }
  [[nodiscard]] bool TimeToStop(std::uint64_t now) const;
  [[nodiscard]] int PollTimeout(std::uint64_t now) const;
  void ReadLine(std::uint64_t now);
  void HandleEvents(std::uint64_t now);
  bool DropLine(std::uint64_t now);
  void WriteLine(std::uint64_t now);

  const PhoneOptions& options_;
  std::FILE* out_;
  TerminalLink link_;
  std::chrono::steady_clock::time_point start_;
  PhoneDialogue dialogue_;
  PtyDevice pty_;
  SimLog log_;
  std::string pending_;
  int messages_ = 0;
  bool draining_ = false;
  std::uint64_t drainStartMs_ = 0;
  std::uint64_t lastActivityMs_ = 0;
  bool failed_ = false;
};

int Runner::Run() {
  std::string error;
  if (!options_.logPath.empty() && !log_.Open(options_.logPath, error)) {
    (void)std::fprintf(stderr, "brindle phone: cannot write the log %s: %s\n",
                       options_.logPath.c_str(), error.c_str());
    return tools::kExitBadInput;
  }
  if (!pty_.Open(error)) {
    (void)std::fprintf(stderr, "brindle phone: no pseudo-terminal: %s\n", error.c_str());
    return tools::kExitFailed;
  }
  if (!options_.linkPath.empty() && !link_.Point(pty_.slavePath(), error)) {
    (void)std::fprintf(stderr, "brindle phone: cannot make the link %s\n", error.c_str());
    return tools::kExitBadInput;
  }
  InstallStopHandlers();
  (void)std::fprintf(out_, "%s\n", pty_.slavePath().c_str());
  (void)std::fflush(out_);

  for (std::uint64_t now = Now(); !TimeToStop(now); now = Now()) {
    pollfd line{pty_.master(), POLLIN, 0};
    poll(&line, 1, PollTimeout(now));
    now = Now();
    ReadLine(now);
    if (failed_) {
      return tools::kExitFailed;
    }
    WriteLine(now);
  }
  return tools::kExitOk;
}

bool Runner::TimeToStop(std::uint64_t now) const {
  if (g_stopRequested != 0) {
    return true;
  }
  if (options_.timeoutSeconds > 0 && static_cast<double>(now) >= options_.timeoutSeconds * 1000) {
    return true;
  }
  if (!draining_) {
    return false;
  }
  const bool allRead = pending_.empty() && !dialogue_.NextDueMs() && pty_.Unread() == 0;
  return (allRead && now - lastActivityMs_ >= kDrainQuietMs) ||
         now - drainStartMs_ >= kDrainLimitMs;
}

int Runner::PollTimeout(std::uint64_t now) const {
  int wait = pending_.empty() ? kIdlePollMs : kBusyPollMs;
  if (const auto due = dialogue_.NextDueMs()) {
    wait = std::min<int>(wait, *due > now ? static_cast<int>(*due - now) : 0);
  }
  return wait;
}

void Runner::ReadLine(std::uint64_t now) {
  std::array<char, 4096> buffer{};
  for (;;) {
    const long count = pty_.Read(buffer.data(), buffer.size());
    if (count < 0) {
      (void)std::fprintf(stderr, "brindle phone: the terminal failed\n");
      failed_ = true;
      return;
    }
    if (count == 0) {
      return;
    }
    const std::string_view bytes(buffer.data(), static_cast<std::size_t>(count));
    log_.Bytes(now, "in", bytes);
    lastActivityMs_ = now;
    dialogue_.Receive(bytes, now);
    HandleEvents(now);
    if (dialogue_.hangupPending() && !DropLine(now)) {
      failed_ = true;
      return;
    }
  }
}

void Runner::HandleEvents(std::uint64_t now) {
  for (const DialogueEvent& event : dialogue_.TakeEvents()) {
    log_.Event(now, event);
    if (event.kind == EventKind::kRejected) {
      (void)std::fprintf(stderr, "brindle phone: PDU refused: %s\n", event.reason.c_str());
    }
    if (event.kind != EventKind::kMessage) {
      continue;
    }
    PrintMessage(out_, event);
    ++messages_;
    if (options_.count > 0 && messages_ >= options_.count && !draining_) {
      draining_ = true;
      drainStartMs_ = now;
      dialogue_.StopUnsolicited();
    }
  }
}

// Closing the master hangs the terminal up for whoever holds the slave: its reads come back
// empty and its writes fail. The phone then comes back on a fresh terminal, which the link
// (and the log) point at, as a phone that is plugged in again.
bool Runner::DropLine(std::uint64_t now) {
  pty_.Close();
  pending_.clear();
  std::string error;
  if (!pty_.Open(error)) {
    (void)std::fprintf(stderr, "brindle phone: no pseudo-terminal after the hangup: %s\n",
                       error.c_str());
    return false;
  }
  if (!options_.linkPath.empty() && !link_.Point(pty_.slavePath(), error)) {
    (void)std::fprintf(stderr, "brindle phone: cannot move the link %s\n", error.c_str());
    return false;
  }
  log_.NewLine(now, pty_.slavePath());
  (void)std::fprintf(stderr, "brindle phone: line dropped halfway through the PDU; now at %s\n",
                     pty_.slavePath().c_str());
  dialogue_.Reset(now);
  return true;
}

void Runner::WriteLine(std::uint64_t now) {
  pending_ += dialogue_.TakeDue(now);
  if (pending_.size() > kPendingCapacity) {
    pending_.erase(0, pending_.size() - kPendingCapacity);
  }
  const std::size_t written = pty_.Write(pending_);
  if (written > 0) {
    log_.Bytes(now, "out", std::string_view(pending_).substr(0, written));
    pending_.erase(0, written);
    lastActivityMs_ = now;
  }
}

}  // namespace

int RunPhone(const PhoneOptions& options, std::FILE* out) { return Runner(options, out).Run(); }

}  // namespace brindle::sim
