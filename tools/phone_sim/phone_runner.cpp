#include "tools/phone_sim/phone_runner.h"

#include <poll.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <fstream>
#include <random>

#include "base/utf8.h"
#include "tools/exit_status.h"
#include "tools/phone_sim/deliver_pdu.h"
#include "tools/phone_sim/feed_pipe.h"
#include "tools/phone_sim/open_watch.h"
#include "tools/phone_sim/phone_dialogue.h"
#include "tools/phone_sim/pty_device.h"
#include "tools/phone_sim/sim_log.h"
#include "tools/phone_sim/terminal_link.h"
#include "tools/stop_signals.h"

namespace brindle::sim {
namespace {

// Output the line has not taken is kept up to this size, or a whole listing of a full memory
// if that is more; beyond it the oldest bytes go, as on a phone whose transmit buffer
// overflows while nobody listens.
constexpr std::size_t kPendingCapacity = 16384;
constexpr std::size_t kListingLineSpace = kStoredPduCapacity + 32;
constexpr int kIdlePollMs = 50;
constexpr int kBusyPollMs = 10;
constexpr std::uint64_t kHangupSettleMs = 50;

void PrintMessage(std::FILE* out, const DialogueEvent& event) {
  if (event.scoreFields) {
    (void)std::fprintf(out, "SMS %d to %s: game id %lld, score %lld, handle \"%s\"\n",
                       event.reference, event.number.c_str(), static_cast<long long>(event.gameId),
                       static_cast<long long>(event.score), Latin1ToUtf8(event.handle).c_str());
  } else {
    (void)std::fprintf(out, "SMS %d to %s: payload \"%s\" (not a score message)\n", event.reference,
                       event.number.c_str(), Latin1ToUtf8(event.payload).c_str());
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
        dialogue_(options.modes, 0, options.seed != 0 ? options.seed : std::random_device{}(),
                  options.capacity),
        feed_(options.feedPath),
        pendingCapacity_(std::max(kPendingCapacity,
                                  static_cast<std::size_t>(options.capacity) * kListingLineSpace)) {
    dialogue_.RequirePin(options.pin);
  }

  int Run();

 private:
  [[nodiscard]] std::uint64_t Now() const {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now() - start_)
                                          .count());
  }
  [[nodiscard]] bool TimeToStop(std::uint64_t now) const;
  [[nodiscard]] int PollTimeout(std::uint64_t now) const;
  bool LoadInbox(std::string& error);
  void WatchOpens();
  void ReadLine(std::uint64_t now);
  void ReadFeed(std::uint64_t now);
  void HandleEvents(std::uint64_t now);
  void LoopBack(const DialogueEvent& sent, std::uint64_t now);
  bool DropLineWhenDrained(std::uint64_t now);
  bool DropLine(std::uint64_t now);
  void WriteLine(std::uint64_t now);

  const PhoneOptions& options_;
  std::FILE* out_;
  TerminalLink link_;
  std::chrono::steady_clock::time_point start_;
  PhoneDialogue dialogue_;
  FeedPipe feed_;
  std::size_t pendingCapacity_;
  std::optional<std::uint64_t> hangupSinceMs_;
  PtyDevice pty_;
  OpenWatch openWatch_;
  SimLog log_;
  std::string pending_;
  int messages_ = 0;
  bool draining_ = false;
  std::uint64_t drainStartMs_ = 0;
  std::uint64_t lastActivityMs_ = 0;
  std::uint64_t lastWriteMs_ = 0;
  bool failed_ = false;
};

int Runner::Run() {
  std::string error;
  if (!options_.logPath.empty() && !log_.Open(options_.logPath, error)) {
    (void)std::fprintf(stderr, "brindle phone: cannot write the log %s: %s\n",
                       options_.logPath.c_str(), error.c_str());
    return tools::kExitBadInput;
  }
  if (!options_.inboxPath.empty() && !LoadInbox(error)) {
    (void)std::fprintf(stderr, "brindle phone: %s\n", error.c_str());
    return tools::kExitBadInput;
  }
  if (!options_.feedPath.empty() && !feed_.Open(error)) {
    (void)std::fprintf(stderr, "brindle phone: cannot take the feed %s\n", error.c_str());
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
  WatchOpens();
  tools::CatchStopSignals();
  (void)std::fprintf(out_, "%s\n", pty_.slavePath().c_str());
  (void)std::fflush(out_);

  for (std::uint64_t now = Now(); !TimeToStop(now); now = Now()) {
    const short lineEvents = pending_.empty() ? POLLIN : POLLIN | POLLOUT;
    // poll() passes over a descriptor of -1 (no feed, no watch).
    std::array<pollfd, 3> wait = {
        {{pty_.master(), lineEvents, 0}, {feed_.fd(), POLLIN, 0}, {openWatch_.fd(), POLLIN, 0}}};
    poll(wait.data(), wait.size(), PollTimeout(now));
    now = Now();
    if (openWatch_.TakeOpened()) {
      dialogue_.LineOpened(now);
    }
    ReadLine(now);
    if (feed_.fd() >= 0) {
      ReadFeed(now);
    }
    HandleEvents(now);
    WriteLine(now);
    if (failed_ || !DropLineWhenDrained(now)) {
      return tools::kExitFailed;
    }
  }
  return tools::kExitOk;
}

bool Runner::TimeToStop(std::uint64_t now) const {
  if (tools::StopRequested()) {
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
  int wait = pending_.empty() && !dialogue_.hangupPending() ? kIdlePollMs : kBusyPollMs;
  if (const auto due = dialogue_.NextDueMs()) {
    wait = std::min<int>(wait, *due > now ? static_cast<int>(*due - now) : 0);
  }
  return wait;
}

bool Runner::LoadInbox(std::string& error) {
  std::ifstream file(options_.inboxPath, std::ios::binary);
  if (!file) {
    error = "cannot read the inbox " + options_.inboxPath;
    return false;
  }
  std::string line;
  for (int number = 1; std::getline(file, line); ++number) {
    const std::string pdu = PduOfLine(line);
    if (pdu.empty()) {
      continue;
    }
    bool stored = dialogue_.Deliver(pdu, "inbox", 0).has_value();
    const std::vector<DialogueEvent> events = dialogue_.TakeEvents();
    // A message the network holds back (full mode) arrives later.
    stored = stored || (!events.empty() && events.back().kind == EventKind::kHeld);
    for (const DialogueEvent& event : events) {
      log_.Event(0, event);
    }
    if (!stored) {
      error = options_.inboxPath + ":" + std::to_string(number) + ": " +
              (events.empty() ? std::string("not stored") : events.back().reason);
      return false;
    }
  }
  return true;
}

// Without the watch the phone runs on, taking the line as opened once, at its start.
void Runner::WatchOpens() {
  std::string error;
  if (!openWatch_.Watch(pty_.slavePath(), error)) {
    (void)std::fprintf(stderr, "brindle phone: opening the terminal goes unnoticed: %s\n",
                       error.c_str());
  }
}

void Runner::ReadLine(std::uint64_t now) {
  std::array<char, 4096> buffer{};
  while (!dialogue_.hangupPending()) {
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
  }
}

void Runner::ReadFeed(std::uint64_t now) {
  std::vector<std::string> lines;
  feed_.Read(lines);
  for (const std::string& line : lines) {
    if (const std::string pdu = PduOfLine(line); !pdu.empty()) {
      dialogue_.Deliver(pdu, "feed", now);
    }
  }
}

void Runner::HandleEvents(std::uint64_t now) {
  // A message sent in loopback arrives at once, which makes events of its own.
  for (auto events = dialogue_.TakeEvents(); !events.empty(); events = dialogue_.TakeEvents()) {
    for (const DialogueEvent& event : events) {
      log_.Event(now, event);
      if (event.kind == EventKind::kRejected || event.kind == EventKind::kStoreRefused) {
        (void)std::fprintf(stderr, "brindle phone: %s refused: %s\n",
                           event.kind == EventKind::kRejected ? "PDU" : "message to store",
                           event.reason.c_str());
      }
      if (event.kind != EventKind::kMessage) {
        continue;
      }
      PrintMessage(out_, event);
      if (options_.loopback) {
        LoopBack(event, now);
      }
      ++messages_;
      if (options_.count > 0 && messages_ >= options_.count && !draining_) {
        draining_ = true;
        drainStartMs_ = now;
        dialogue_.StopUnsolicited();
      }
    }
  }
}

void Runner::LoopBack(const DialogueEvent& sent, std::uint64_t now) {
  // The dialogue took it, so it reads; a number --own-number allows fits.
  if (const auto deliver =
          DeliverOfSubmit(sent.pdu, options_.ownNumber, LocalTimeStamp(std::time(nullptr)))) {
    dialogue_.Deliver(PduText(*deliver), "loopback", now);
  }
}

// The hangup modes drop the line only once what the phone said before has gone out and been
// read (or waited for long enough), as a real line carries the bytes sent before it fails.
bool Runner::DropLineWhenDrained(std::uint64_t now) {
  if (!dialogue_.hangupPending()) {
    return true;
  }
  if (!hangupSinceMs_) {
    hangupSinceMs_ = now;
  }
  // Bytes written to the master reach the terminal's input a moment later: only a count of 0
  // some time after the last write means they have been read.
  const bool drained = dialogue_.queueEmpty() && pending_.empty() &&
                       now - lastWriteMs_ >= kHangupSettleMs && pty_.Unread() == 0;
  if (!drained && now - *hangupSinceMs_ < kHangupDrainMs) {
    return true;
  }
  hangupSinceMs_.reset();
  return DropLine(now);
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
  WatchOpens();
  log_.NewLine(now, pty_.slavePath());
  (void)std::fprintf(stderr, "brindle phone: line dropped; now at %s\n", pty_.slavePath().c_str());
  dialogue_.Reset(now);
  return true;
}

void Runner::WriteLine(std::uint64_t now) {
  pending_ += dialogue_.TakeDue(now);
  if (pending_.size() > pendingCapacity_) {
    pending_.erase(0, pending_.size() - pendingCapacity_);
  }
  const std::size_t written = pty_.Write(pending_);
  if (written > 0) {
    log_.Bytes(now, "out", std::string_view(pending_).substr(0, written));
    pending_.erase(0, written);
    lastActivityMs_ = now;
    lastWriteMs_ = now;
  }
}

}  // namespace

int RunPhone(const PhoneOptions& options, std::FILE* out) { return Runner(options, out).Run(); }

}  // namespace brindle::sim
