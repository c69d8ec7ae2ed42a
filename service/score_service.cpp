#include "service/score_service.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "base/text.h"
#include "base/utf8.h"
#include "service/message_memories.h"
#include "service/score_message.h"

namespace brindle::service {
namespace {

constexpr std::uint32_t kStopCheckMs = 100;

// A handle or a header as one line of the log, whatever its bytes.
std::string Printable(std::string_view bytes) { return Latin1ToUtf8(EscapeControls(bytes)); }

// The phone's final answer as the log shows it.
std::string Said(const Answer& answer) {
  return answer.finalText.empty() ? "no answer" : answer.finalText;
}

std::string Describe(std::int64_t id, const Message& message) {
  std::string text = "stored #" + std::to_string(id);
  if (message.status == MessageStatus::kScore) {
    text += ": game " + std::to_string(message.gameId) + ", score " +
            std::to_string(message.score) + ", handle \"" + Printable(message.handle) + "\"";
  } else {
    text += " as rejected (" + message.reason + ")";
  }
  if (!message.sender.empty()) {
    text += " from " + message.sender;
  }
  if (!message.sentAt.empty()) {
    text += " sent " + message.sentAt;
  }
  return text;
}

}  // namespace

ScoreService::ScoreService(ServiceOptions options, ServiceParts parts)
    : options_(std::move(options)),
      parts_(std::move(parts)),
      session_(*parts_.port, *parts_.clock, parts_.stopRequested) {}

bool ScoreService::Stopping() const { return parts_.stopRequested && parts_.stopRequested(); }

void ScoreService::Log(const std::string& text) const {
  if (parts_.log != nullptr) {
    parts_.log->Line(text);
  }
}

void ScoreService::Warn(const std::string& text) const {
  if (parts_.log != nullptr) {
    parts_.log->Warning(text);
  }
}

void ScoreService::NotTaken(std::string_view command, const Answer& answer) const {
  Warn("the phone on " + options_.port + " did not take " + std::string(command) + " (" +
       Said(answer) + ")");
}

std::string ScoreService::Where(const Place& place) {
  return "index " + std::to_string(place.index) +
         (place.memory.empty() ? std::string() : " of \"" + place.memory + "\"");
}

void ScoreService::Backoff(std::uint32_t& delayMs) {
  for (std::uint32_t waited = 0; waited < delayMs && !Stopping(); waited += kStopCheckMs) {
    parts_.sleeper->Pause(kStopCheckMs);
  }
  delayMs = std::min(delayMs * 2, kMaxBackoffMs);
}

void ScoreService::Report(PortState state, bool listed) {
  PortReport report{options_.port,      state,          options_.pollSeconds, listed,
                    storedSinceReport_, counts_.stored, counts_.rejected,     counts_.deleted};
  StoreError error;
  // A store that cannot take the report cannot take messages either, and says so there.
  if (parts_.store->ReportPort(report, error)) {
    storedSinceReport_ = false;
  }
}

// An answer that came out of step is asked for once more; the session drains the line first.
Answer ScoreService::Ask(std::string_view command, Expect expect, int index) {
  Answer answer = session_.Command(command, expect, index);
  if (answer.outOfStep && answer.status != AnswerStatus::kLineFailed &&
      answer.status != AnswerStatus::kStopped) {
    answer = session_.Command(command, expect, index);
  }
  return answer;
}

void ScoreService::Reconfigure(ModemSettings modem, std::uint32_t pollSeconds) {
  pending_.emplace(std::move(modem), pollSeconds);
}

// Takes what Reconfigure gave; true when the modem's settings changed.
bool ScoreService::TakePending() {
  if (!pending_) {
    return false;
  }
  auto [modem, pollSeconds] = *std::exchange(pending_, std::nullopt);
  options_.pollSeconds = pollSeconds;
  if (modem == options_.modem) {
    return false;
  }
  if (modem.pin != options_.modem.pin) {
    pinRefused_ = false;  // a new PIN may be tried once
  }
  options_.modem = std::move(modem);
  return true;
}

bool ScoreService::Connect() {
  static_cast<void>(TakePending());
  Report(PortState::kInitialising);
  std::string error;
  if (!session_.Open(options_.port, options_.modem.baudRate, error)) {
    Warn("cannot open the port " + options_.port + ": " + error);
    return false;
  }
  // What the phone still sends from before (a late answer) must not pass for an answer.
  if (!session_.Drain() || !Initialise()) {
    session_.Close();
    return false;
  }
  return true;
}

bool ScoreService::Initialise() {
  // A phone that was plugged in again starts with echo on and no announcements, so every
  // start sets both again. ATZ and ATE0 need an answer, not an OK.
  for (const std::string_view command : {"ATZ", "ATE0", "AT+CMGF=0"}) {
    const Answer answer = Ask(command);
    const bool needOk = command == "AT+CMGF=0";
    if (answer.status == AnswerStatus::kTimedOut || answer.status == AnswerStatus::kLineFailed ||
        answer.status == AnswerStatus::kStopped || (needOk && answer.status != AnswerStatus::kOk)) {
      if (answer.status != AnswerStatus::kStopped) {
        NotTaken(command, answer);
      }
      return false;
    }
  }
  if (!Unlock()) {
    return false;
  }
  const Answer indications = Ask("AT+CNMI=2,1");
  if (indications.status != AnswerStatus::kOk && indications.status != AnswerStatus::kRefused) {
    Warn("the phone on " + options_.port + " did not answer AT+CNMI=2,1");
    return false;
  }
  announcing_ = indications.status == AnswerStatus::kOk;
  const Answer storage = Ask("AT+CPMS=?");
  if (storage.status != AnswerStatus::kOk && storage.status != AnswerStatus::kRefused) {
    Warn("the phone on " + options_.port + " did not answer AT+CPMS=?");
    return false;
  }
  memories_ = storage.status == AnswerStatus::kOk ? ReadableMemories(storage.information)
                                                  : std::vector<std::string>{};
  selected_.clear();
  if (!SendInitCommands()) {
    return false;
  }
  std::string names;
  for (const std::string& memory : memories_) {
    names += (names.empty() ? " \"" : ", \"") + memory + "\"";
  }
  Report(PortState::kReady);
  Log("phone ready on " + options_.port + (names.empty() ? "" : ", reading" + names) +
      (announcing_ ? "; new messages are announced"
                   : "; it refused AT+CNMI=2,1 (" + indications.finalText + ")" +
                         (options_.once ? std::string()
                                        : ", so it is listed every " +
                                              std::to_string(options_.pollSeconds) + " s")));
  if (parts_.phoneReady) {
    parts_.phoneReady();
  }
  return true;
}

// A SIM that waits for its PIN reads no messages. A phone that does not know AT+CPIN? has no
// lock to open.
bool ScoreService::Unlock() {
  const Answer state = Ask("AT+CPIN?");
  if (state.status == AnswerStatus::kRefused) {
    return true;
  }
  if (state.status != AnswerStatus::kOk) {
    if (state.status != AnswerStatus::kStopped) {
      Warn("the phone on " + options_.port + " did not answer AT+CPIN?");
    }
    return false;
  }
  std::string lock = "READY";
  for (const std::string& line : state.information) {
    if (line.starts_with("+CPIN:")) {
      lock = std::string(TrimBlanks(std::string_view(line).substr(6)));
    }
  }
  const auto sayOnce = [this](const std::string& text) {
    if (text != std::exchange(pinSaid_, text)) {
      Warn(text);
    }
  };
  if (lock == "READY") {
    pinSaid_.clear();
    return true;
  }
  const std::string sim = "the SIM in the phone on " + options_.port;
  if (lock != "SIM PIN") {
    sayOnce(sim + " waits for " + lock + ", which the service does not enter");
    return false;
  }
  if (options_.modem.pin.empty() || pinRefused_) {
    sayOnce(sim + (pinRefused_ ? " still waits for its PIN; the refused one is not sent again"
                               : " waits for its PIN, which the service was not given"));
    return false;
  }
  const Answer entered = Ask("AT+CPIN=\"" + options_.modem.pin + "\"");
  if (entered.status == AnswerStatus::kOk) {
    Log(sim + " took its PIN");
    return true;
  }
  if (entered.status == AnswerStatus::kStopped) {
    return false;
  }
  // A PIN whose answer was lost may have been counted as wrong: it is not risked again either.
  pinRefused_ = true;
  sayOnce(sim + " refused the PIN (" + Said(entered) +
          "); it is not sent again, so that the SIM does not lock itself");
  return false;
}

bool ScoreService::SendInitCommands() {
  return std::ranges::all_of(options_.modem.initCommands, [this](const std::string& command) {
    const Answer answer = Ask(command);
    if (answer.status != AnswerStatus::kOk && answer.status != AnswerStatus::kStopped) {
      NotTaken(command, answer);
    }
    return answer.status == AnswerStatus::kOk;
  });
}

ScoreService::Step ScoreService::Select(const std::string& memory) {
  if (memory.empty() || memory == selected_) {
    return Step::kOk;
  }
  const std::string quoted = "\"" + memory + "\"";
  Answer answer;
  if (threeMemoryForm_) {
    answer = Ask("AT+CPMS=" + quoted + "," + quoted + "," + quoted);
    threeMemoryForm_ = answer.status != AnswerStatus::kRefused;
  }
  if (!threeMemoryForm_) {
    answer = Ask("AT+CPMS=" + quoted);
  }
  if (answer.status == AnswerStatus::kOk) {
    selected_ = memory;
    unselectable_.erase(memory);
    return Step::kOk;
  }
  if (answer.status == AnswerStatus::kRefused) {
    if (unselectable_.insert(memory).second) {
      Warn("the phone refused to select the memory " + quoted + " (" + answer.finalText + ")");
    }
    return Step::kSkipped;
  }
  return StepOf(answer);
}

ScoreService::Step ScoreService::Delete(const Taken& taken, std::int64_t id) {
  const Place& place = taken.place;
  if (place.index < 0 || Stopping()) {
    return Step::kOk;  // what stays on the phone is stored once when listed again
  }
  if (taken.readAlone) {
    // An answer matched to its command by order alone may have been another's: the index
    // must still hold exactly the PDU that was committed.
    const Answer check =
        Ask("AT+CMGR=" + std::to_string(place.index), Expect::kReading, place.index);
    if (const Step failed = StepOf(check); failed != Step::kOk) {
      return failed;
    }
    if (check.outOfStep || check.entries.size() != 1 ||
        check.entries.front().kind != AtEventKind::kEntry ||
        check.entries.front().text != taken.message.pdu) {
      Warn("message #" + std::to_string(id) + " is not what " + Where(place) +
           " holds now; it stays on the phone");
      return Step::kOk;
    }
  }
  // Never sent twice: a place freed by the first may already hold a new message.
  const Answer answer = session_.Command("AT+CMGD=" + std::to_string(place.index));
  if (answer.status == AnswerStatus::kOk) {
    ++counts_.deleted;
    refusedPlaces_.erase(place);
  } else if (answer.status == AnswerStatus::kRefused) {
    ++counts_.refused;
    if (refusedPlaces_.insert(place).second) {
      Warn("the phone refused to delete message #" + std::to_string(id) + " at " + Where(place) +
           " (" + answer.finalText + "); it stays on the phone and stays stored once");
    }
  }
  return StepOf(answer);
}

ScoreService::Step ScoreService::Keep(std::vector<Taken> taken, bool mayDelete) {
  std::vector<Message> messages;
  messages.reserve(taken.size());
  for (const Taken& one : taken) {
    messages.push_back(one.message);
  }
  std::vector<KeepResult> results;
  StoreError error;
  if (!parts_.store->Keep(messages, results, error)) {
    Warn("cannot store " + std::to_string(messages.size()) + " message(s): " + error.text +
         "; they stay on the phone, trying again in " + std::to_string(kStoreRetryMs / 1000) +
         " s");
    storeFailing_ = true;
    storeRetryAt_ = parts_.clock->NowMs() + kStoreRetryMs;
    return Step::kStoreFailed;
  }
  storeFailing_ = false;
  for (std::size_t i = 0; i < messages.size(); ++i) {
    if (results[i].added) {
      ++counts_.stored;
      storedSinceReport_ = true;
      if (messages[i].status == MessageStatus::kRejected || results[i].blocked) {
        ++counts_.rejected;
      }
      Log(Describe(results[i].id, messages[i]));
    }
  }
  if (parts_.afterCommit) {
    parts_.afterCommit();
  }
  for (std::size_t i = 0; mayDelete && i < taken.size(); ++i) {
    if (const Step step = Delete(taken[i], results[i].id); step != Step::kOk) {
      return step;
    }
  }
  return Step::kOk;
}

ScoreService::Step ScoreService::TakeEntries(const std::vector<AtEvent>& entries,
                                             const std::string& memory, bool mayDelete,
                                             bool readAlone) {
  std::vector<Taken> taken;
  for (const AtEvent& entry : entries) {
    const Place place{memory, entry.index};
    if (entry.kind == AtEventKind::kEntry) {
      taken.push_back({ClassifyPdu(entry.text), place, readAlone});
      broken_.erase(place);
      continue;
    }
    Broken& broken = entry.index < 0 ? nameless_[{memory, entry.header}] : broken_[place];
    if (entry.index < 0 && namelessKept_.contains({memory, entry.header})) {
      continue;
    }
    ++broken.failures;
    broken.text = entry.text;
    broken.reason = entry.reason;
    Warn("the message at " +
         (entry.index < 0 ? "\"" + Printable(entry.header) + "\"" : Where(place)) +
         " was not received whole (" + entry.reason + "); it stays on the phone (read " +
         std::to_string(broken.failures) + " of " + std::to_string(kReadAttempts) + ")");
  }
  return taken.empty() ? Step::kOk : Keep(std::move(taken), mayDelete);
}

ScoreService::Step ScoreService::ReadIndex(const Place& place) {
  if (const Step step = Select(place.memory); step != Step::kOk) {
    return step == Step::kSkipped ? Step::kOk : step;
  }
  const Answer answer =
      Ask("AT+CMGR=" + std::to_string(place.index), Expect::kReading, place.index);
  if (answer.status == AnswerStatus::kRefused && answer.entries.empty()) {
    broken_.erase(place);  // nothing there (any more)
    return Step::kOk;
  }
  if (answer.outOfStep) {
    return Step::kStuck;  // asked twice and still out of step
  }
  const Step step =
      TakeEntries(answer.entries, place.memory, answer.status == AnswerStatus::kOk, true);
  if (step != Step::kOk) {
    return step;
  }
  return StepOf(answer);
}

ScoreService::Step ScoreService::RetryBroken(const std::string& memory) {
  std::vector<Place> places;
  for (const auto& [place, broken] : broken_) {
    if (place.memory == memory) {
      places.push_back(place);
    }
  }
  const std::string now = parts_.utcNow ? parts_.utcNow() : std::string();
  for (const Place& place : places) {
    while (broken_.contains(place) && broken_[place].failures < kReadAttempts) {
      if (const Step step = ReadIndex(place); step != Step::kOk) {
        return step;
      }
    }
    const auto found = broken_.find(place);
    if (found == broken_.end()) {
      continue;
    }
    Message message = UnreadableEntry(found->second.text, "not received whole in " +
                                                              std::to_string(kReadAttempts) +
                                                              " reads: " + found->second.reason);
    message.received =
        (memory.empty() ? std::string() : memory + " ") + std::to_string(place.index);
    message.received += " " + now;
    const Step step = Keep({{std::move(message), place, false}}, true);
    if (step != Step::kStoreFailed) {
      broken_.erase(place);
    }
    if (step != Step::kOk) {
      return step;
    }
  }
  for (auto it = nameless_.begin(); it != nameless_.end();) {
    if (it->first.first != memory || it->second.failures < kReadAttempts) {
      ++it;
      continue;
    }
    Message message = UnreadableEntry(
        it->second.text,
        "listed " + std::to_string(kReadAttempts) + " times with a header that names no index (" +
            Printable(it->first.second) + "), so it cannot be deleted: " + it->second.reason);
    message.received = memory.empty() ? std::string("?") : memory + " ?";
    message.received += " " + now;
    if (const Step step = Keep({{std::move(message), {memory, -1}, false}}, false);
        step != Step::kOk) {
      return step;
    }
    namelessKept_.insert(it->first);
    it = nameless_.erase(it);
  }
  return Step::kOk;
}

ScoreService::Step ScoreService::ListMemory(const std::string& memory) {
  if (const Step step = Select(memory); step != Step::kOk) {
    return step == Step::kSkipped ? Step::kOk : step;
  }
  const Answer answer = Ask("AT+CMGL=4", Expect::kListing);
  // Whatever arrived whole is kept, even from a listing that was cut off; only a listing that
  // ended, in step, is trusted for deleting.
  const bool whole = answer.status == AnswerStatus::kOk && !answer.outOfStep;
  const Step step = TakeEntries(answer.entries, memory, whole, false);
  if (step != Step::kOk) {
    return step;
  }
  if (answer.status == AnswerStatus::kRefused) {
    Warn("the phone refused the listing (" + answer.finalText + ")");
  } else if (answer.status == AnswerStatus::kOk && answer.outOfStep) {
    return Step::kStuck;
  }
  if (const Step failed = StepOf(answer); failed != Step::kOk) {
    return failed;
  }
  return RetryBroken(memory);
}

ScoreService::Step ScoreService::Round() {
  const std::vector<std::string> memories =
      memories_.empty() ? std::vector<std::string>{std::string()} : memories_;
  Step result = Step::kOk;
  for (const std::string& memory : memories) {
    const Step step = ListMemory(memory);
    if (step == Step::kStoreFailed) {
      result = step;  // the other memories are still read
    } else if (step != Step::kOk) {
      return step;
    }
  }
  return result;
}

ScoreService::Step ScoreService::Serve() {
  if (const Step step = Round(); step != Step::kOk && step != Step::kStoreFailed) {
    return step;
  }
  Report(PortState::kReady, true);
  settled_ = true;
  std::uint64_t nextPoll = parts_.clock->NowMs() + std::uint64_t{options_.pollSeconds} * 1000;
  while (!Stopping()) {
    if (TakePending()) {
      return Step::kReconfigured;
    }
    for (const Announcement& announced : session_.TakeAnnounced()) {
      // A memory the service does not read is taken as named; none named, the one selected.
      const std::string memory = memories_.empty()
                                     ? std::string()
                                     : (announced.memory.empty() ? selected_ : announced.memory);
      if (const Step step = ReadIndex({memory, announced.index});
          step != Step::kOk && step != Step::kStoreFailed) {
        return step;
      }
      if (storedSinceReport_) {
        Report(PortState::kReady);
      }
    }
    const std::uint64_t now = parts_.clock->NowMs();
    nextPoll = std::min(nextPoll, now + std::uint64_t{options_.pollSeconds} * 1000);
    if (now >= nextPoll || (storeFailing_ && now >= storeRetryAt_)) {
      if (const Step step = Round(); step != Step::kOk && step != Step::kStoreFailed) {
        return step;
      }
      Report(PortState::kReady, true);
      nextPoll = parts_.clock->NowMs() + std::uint64_t{options_.pollSeconds} * 1000;
      continue;
    }
    const std::uint64_t due = storeFailing_ ? std::min(nextPoll, storeRetryAt_) : nextPoll;
    if (!session_.Listen(
            static_cast<std::uint32_t>(std::min<std::uint64_t>(due - now, kReadSliceMs)))) {
      return Step::kLineFailed;
    }
  }
  return Step::kStopped;
}

void ScoreService::Shutdown() {
  if (session_.isOpen() && !Stopping()) {
    session_.Command("AT+CNMI=0,0");
  }
  session_.Close();
}

ServiceExit ScoreService::Run() {
  std::uint32_t delayMs = kFirstBackoffMs;
  int restarts = 0;
  ServiceExit exit = ServiceExit::kDone;
  while (!Stopping()) {
    if (!session_.isOpen() && !Connect()) {
      if (options_.once) {
        exit = ServiceExit::kNoPhone;
        break;
      }
      Report(PortState::kReconnecting);
      Backoff(delayMs);
      continue;
    }
    settled_ = false;
    const Step step = options_.once ? Round() : Serve();
    if (settled_) {
      delayMs = kFirstBackoffMs;  // the line worked for a while: a fresh fault starts over
    }
    if (step == Step::kStopped || Stopping() ||
        (options_.once && (step == Step::kOk || step == Step::kStoreFailed))) {
      Shutdown();
      exit = step == Step::kStoreFailed ? ServiceExit::kStoreFailed : ServiceExit::kDone;
      break;
    }
    if (options_.once && ++restarts > kOnceReconnects) {
      exit = ServiceExit::kNoPhone;
      break;
    }
    if (step == Step::kReconfigured) {
      Log("new settings for the phone on " + options_.port + "; opening it again");
      Shutdown();
      continue;
    }
    if (step == Step::kStuck) {
      Warn("the phone on " + options_.port + " left an answer unfinished; resetting it");
      if (session_.Drain() && Initialise()) {
        continue;
      }
    }
    session_.Close();
    Warn("the line to the phone failed; opening " + options_.port + " again in " +
         std::to_string(delayMs / 1000) + " s");
    Report(PortState::kReconnecting);
    Backoff(delayMs);
  }
  session_.Close();
  Report(PortState::kStopped, exit == ServiceExit::kDone && options_.once);
  counts_.waitedMs = session_.waitedMs();
  return exit;
}

ScoreService::Step ScoreService::StepOf(const Answer& answer) {
  switch (answer.status) {
    case AnswerStatus::kOk:
    case AnswerStatus::kRefused:
      return Step::kOk;
    case AnswerStatus::kTimedOut:
      return Step::kStuck;
    case AnswerStatus::kStopped:
      return Step::kStopped;
    case AnswerStatus::kLineFailed:
      break;
  }
  return Step::kLineFailed;
}

}  // namespace brindle::service
