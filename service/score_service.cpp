#include "service/score_service.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "service/score_message.h"

namespace brindle::service {
namespace {

constexpr std::uint32_t kStopCheckMs = 100;

// The bytes as the characters of the same codes, in UTF-8; control characters as \xNN so a
// log entry stays on one line.
std::string Printable(std::string_view bytes) {
  std::string out;
  for (const char c : bytes) {
    const auto code = static_cast<unsigned char>(c);
    if (code < 0x20 || code == 0x7F) {
      std::array<char, 5> escaped{};
      static_cast<void>(std::snprintf(escaped.data(), escaped.size(), "\\x%02X", code));
      out += escaped.data();
    } else if (code < 0x80) {
      out.push_back(c);
    } else {
      out.push_back(static_cast<char>(0xC0U | (code >> 6U)));
      out.push_back(static_cast<char>(0x80U | (code & 0x3FU)));
    }
  }
  return out;
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
      session_(*parts_.port, *parts_.clock) {}

bool ScoreService::Stopping() const { return parts_.stopRequested && parts_.stopRequested(); }

void ScoreService::Log(const std::string& text) const {
  if (parts_.log != nullptr) {
    parts_.log->Line(text);
  }
}

void ScoreService::Backoff(std::uint32_t& delayMs) {
  for (std::uint32_t waited = 0; waited < delayMs && !Stopping(); waited += kStopCheckMs) {
    parts_.sleeper->Pause(kStopCheckMs);
  }
  delayMs = std::min(delayMs * 2, kMaxBackoffMs);
}

bool ScoreService::Connect() {
  std::string error;
  if (!session_.Open(options_.port, error)) {
    Log("cannot open the port " + options_.port + ": " + error);
    return false;
  }
  // A phone that was plugged in again starts with echo on and no announcements, so every
  // start sets both again. ATZ and ATE0 need an answer, not an OK.
  for (const std::string_view command : {"ATZ", "ATE0", "AT+CMGF=0"}) {
    const Answer answer = session_.Command(command);
    const bool needOk = command == "AT+CMGF=0";
    if (answer.status == AnswerStatus::kTimedOut || answer.status == AnswerStatus::kLineFailed ||
        (needOk && answer.status != AnswerStatus::kOk)) {
      Log("the phone on " + options_.port + " did not take " + std::string(command) + " (" +
          (answer.finalText.empty() ? "no answer" : answer.finalText) + ")");
      session_.Close();
      return false;
    }
  }
  const Answer indications = session_.Command("AT+CNMI=2,1");
  if (indications.status == AnswerStatus::kTimedOut ||
      indications.status == AnswerStatus::kLineFailed) {
    Log("the phone on " + options_.port + " did not answer AT+CNMI=2,1");
    session_.Close();
    return false;
  }
  announcing_ = indications.status == AnswerStatus::kOk;
  Log("phone ready on " + options_.port +
      (announcing_ ? "; new messages are announced"
                   : "; it refused AT+CNMI=2,1 (" + indications.finalText + ")" +
                         (options_.once ? std::string()
                                        : ", so it is listed every " +
                                              std::to_string(options_.pollSeconds) + " s")));
  return true;
}

ScoreService::Step ScoreService::Delete(int index, std::int64_t id) {
  if (index < 0 || Stopping()) {
    return Step::kOk;  // what stays on the phone is stored once when listed again
  }
  const Answer answer = session_.Command("AT+CMGD=" + std::to_string(index));
  switch (answer.status) {
    case AnswerStatus::kOk:
      ++counts_.deleted;
      refusedIndices_.erase(index);
      return Step::kOk;
    case AnswerStatus::kRefused:
      ++counts_.refused;
      if (refusedIndices_.insert(index).second) {
        Log("the phone refused to delete message #" + std::to_string(id) + " at index " +
            std::to_string(index) + " (" + answer.finalText +
            "); it stays on the phone and stays stored once");
      }
      return Step::kOk;
    case AnswerStatus::kTimedOut:
    case AnswerStatus::kLineFailed:
      break;
  }
  return Step::kLineFailed;
}

ScoreService::Step ScoreService::Keep(const std::vector<Message>& messages,
                                      const std::vector<int>& indices) {
  std::vector<KeepResult> results;
  StoreError error;
  if (!parts_.store->Keep(messages, results, error)) {
    Log("cannot store " + std::to_string(messages.size()) + " message(s): " + error.text +
        "; they stay on the phone, trying again in " + std::to_string(kStoreRetryMs / 1000) + " s");
    storeFailing_ = true;
    storeRetryAt_ = parts_.clock->NowMs() + kStoreRetryMs;
    return Step::kStoreFailed;
  }
  storeFailing_ = false;
  for (std::size_t i = 0; i < messages.size(); ++i) {
    if (results[i].added) {
      ++counts_.stored;
      Log(Describe(results[i].id, messages[i]));
    }
  }
  if (parts_.afterCommit) {
    parts_.afterCommit();
  }
  for (std::size_t i = 0; i < messages.size(); ++i) {
    if (Delete(indices[i], results[i].id) == Step::kLineFailed) {
      return Step::kLineFailed;
    }
  }
  return Step::kOk;
}

ScoreService::Step ScoreService::TakeEntries(const std::vector<AtEvent>& entries) {
  std::vector<Message> messages;
  std::vector<int> indices;
  messages.reserve(entries.size());
  indices.reserve(entries.size());
  for (const AtEvent& entry : entries) {
    if (entry.kind == AtEventKind::kEntry) {
      messages.push_back(ClassifyPdu(entry.text));
      indices.push_back(entry.index);
      broken_.erase(entry.index);
      continue;
    }
    if (entry.index < 0) {
      Log("an entry without a readable index was not received whole (" + entry.reason +
          "); it is listed again");
      continue;
    }
    Broken& broken = broken_[entry.index];
    ++broken.failures;
    broken.text = entry.text;
    broken.reason = entry.reason;
    Log("the message at index " + std::to_string(entry.index) + " was not received whole (" +
        entry.reason + "); it stays on the phone (read " + std::to_string(broken.failures) +
        " of " + std::to_string(kReadAttempts) + ")");
  }
  return messages.empty() ? Step::kOk : Keep(messages, indices);
}

ScoreService::Step ScoreService::ReadIndex(int index) {
  const Answer answer =
      session_.Command("AT+CMGR=" + std::to_string(index), Expect::kReading, index);
  if (answer.status == AnswerStatus::kRefused && answer.entries.empty()) {
    broken_.erase(index);  // nothing there (any more)
    return Step::kOk;
  }
  const Step step = TakeEntries(answer.entries);
  if (step != Step::kOk) {
    return step;
  }
  return answer.status == AnswerStatus::kOk || answer.status == AnswerStatus::kRefused
             ? Step::kOk
             : Step::kLineFailed;
}

ScoreService::Step ScoreService::RetryBroken() {
  std::vector<int> indices;
  for (const auto& [index, broken] : broken_) {
    indices.push_back(index);
  }
  for (const int index : indices) {
    while (broken_.contains(index) && broken_[index].failures < kReadAttempts) {
      if (const Step step = ReadIndex(index); step != Step::kOk) {
        return step;
      }
    }
    const auto found = broken_.find(index);
    if (found == broken_.end()) {
      continue;
    }
    const Broken broken = found->second;
    const Message message =
        UnreadableEntry(broken.text, "not received whole in " + std::to_string(kReadAttempts) +
                                         " reads: " + broken.reason);
    const Step step = Keep({message}, {index});
    if (step != Step::kStoreFailed) {
      broken_.erase(index);
    }
    if (step != Step::kOk) {
      return step;
    }
  }
  return Step::kOk;
}

ScoreService::Step ScoreService::Round() {
  const Answer answer = session_.Command("AT+CMGL=4", Expect::kListing);
  // Whatever arrived whole is kept, even from a listing that was cut off.
  const Step step = TakeEntries(answer.entries);
  if (step != Step::kOk) {
    return step;
  }
  if (answer.status == AnswerStatus::kTimedOut || answer.status == AnswerStatus::kLineFailed) {
    return Step::kLineFailed;
  }
  if (answer.status == AnswerStatus::kRefused) {
    Log("the phone refused the listing (" + answer.finalText + ")");
  }
  return RetryBroken();
}

ScoreService::Step ScoreService::Serve() {
  if (Round() == Step::kLineFailed) {
    return Step::kLineFailed;
  }
  settled_ = true;
  const std::uint64_t pollMs = std::uint64_t{options_.pollSeconds} * 1000;
  std::uint64_t nextPoll = parts_.clock->NowMs() + pollMs;
  while (!Stopping()) {
    for (const int index : session_.TakeAnnounced()) {
      if (ReadIndex(index) == Step::kLineFailed) {
        return Step::kLineFailed;
      }
    }
    if (!broken_.empty() && RetryBroken() == Step::kLineFailed) {
      return Step::kLineFailed;
    }
    const std::uint64_t now = parts_.clock->NowMs();
    if (now >= nextPoll || (storeFailing_ && now >= storeRetryAt_)) {
      if (Round() == Step::kLineFailed) {
        return Step::kLineFailed;
      }
      nextPoll = parts_.clock->NowMs() + pollMs;
      continue;
    }
    const std::uint64_t due = storeFailing_ ? std::min(nextPoll, storeRetryAt_) : nextPoll;
    if (!session_.Listen(
            static_cast<std::uint32_t>(std::min<std::uint64_t>(due - now, kReadSliceMs)))) {
      return Step::kLineFailed;
    }
  }
  return Step::kOk;
}

void ScoreService::Shutdown() {
  if (session_.isOpen()) {
    session_.Command("AT+CNMI=0,0");
  }
  session_.Close();
}

ServiceExit ScoreService::Run() {
  std::uint32_t delayMs = kFirstBackoffMs;
  int reconnects = 0;
  ServiceExit exit = ServiceExit::kDone;
  while (!Stopping()) {
    if (!Connect()) {
      if (options_.once) {
        exit = ServiceExit::kNoPhone;
        break;
      }
      Backoff(delayMs);
      continue;
    }
    settled_ = false;
    const Step step = options_.once ? Round() : Serve();
    if (settled_) {
      delayMs = kFirstBackoffMs;  // the line worked for a while: a fresh fault starts over
    }
    if (Stopping() || (options_.once && step != Step::kLineFailed)) {
      Shutdown();
      exit = step == Step::kStoreFailed ? ServiceExit::kStoreFailed : ServiceExit::kDone;
      break;
    }
    session_.Close();
    if (options_.once && ++reconnects > kOnceReconnects) {
      exit = ServiceExit::kNoPhone;
      break;
    }
    Log("the line to the phone failed; opening " + options_.port + " again in " +
        std::to_string(delayMs / 1000) + " s");
    Backoff(delayMs);
  }
  session_.Close();
  counts_.waitedMs = session_.waitedMs();
  return exit;
}

}  // namespace brindle::service
