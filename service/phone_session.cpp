#include "service/phone_session.h"

#include <algorithm>
#include <array>
#include <span>
#include <utility>

#include "base/text.h"
#include "phone/phone_link.h"

namespace brindle::service {
namespace {

constexpr std::uint32_t kWriteBoundMs = 2000;
constexpr std::size_t kPortNameCapacity = 1024;
constexpr std::size_t kErrorTextCapacity = 256;

}  // namespace

bool PhoneSession::Open(std::string_view name, std::uint32_t baudRate, std::string& error) {
  Close();
  std::array<char16_t, kPortNameCapacity> wide{};
  if (name.size() >= wide.size()) {
    error = "the port name is too long";
    return false;
  }
  const std::size_t length = WidenText(name, wide);
  const PortHandle handle = port_.Open(std::u16string_view(wide.data(), length));
  if (handle == kInvalidPortHandle) {
    error = PortError();
    return false;
  }
  PortSettings settings{};
  port_.GetState(handle, settings);
  PhoneLink::ApplyPortSettings(settings);
  settings.baudRate = baudRate;
  if (!port_.SetState(handle, settings)) {
    error = PortError();
    port_.Close(handle);
    return false;
  }
  // Modem lines are set where the port has them; a pseudo-terminal has none.
  port_.Escape(handle, EscapeFunction::kSetDtr);
  port_.Escape(handle, EscapeFunction::kSetRts);
  port_.Purge(handle, kPurgeAll);
  handle_ = handle;
  reader_ = AtReader{};
  drainFirst_ = false;
  return true;
}

void PhoneSession::Close() {
  if (handle_ != kInvalidPortHandle) {
    port_.Close(handle_);
    handle_ = kInvalidPortHandle;
  }
}

std::string PhoneSession::PortError() {
  std::array<char16_t, kErrorTextCapacity> wide{};
  const std::size_t length = port_.ErrorText(port_.LastError(), wide);
  std::array<char, kErrorTextCapacity> narrow{};
  return {narrow.data(), NarrowText(std::u16string_view(wide.data(), length), narrow)};
}

bool PhoneSession::ReadSome(std::uint32_t waitMs, std::string& bytes) {
  // One byte with a total time-out returns as soon as anything arrives (the POSIX port waits
  // out its whole time-out for a larger buffer); what else has come is then taken at once.
  std::array<std::uint8_t, kReadChunk> buffer{};
  std::uint32_t got = 0;
  const std::uint64_t start = clock_.NowMs();
  PortTimeouts waiting{};
  waiting.readTotalTimeoutConstant = std::max<std::uint32_t>(waitMs, 1);  // 0 would mean none
  waiting.writeTotalTimeoutConstant = kWriteBoundMs;
  port_.SetTimeouts(handle_, waiting);
  const bool read = port_.Read(handle_, std::span(buffer).first(1), got);
  waitedMs_ += clock_.NowMs() - start;
  if (!read) {
    return false;
  }
  if (got == 0) {
    return true;
  }
  bytes.push_back(static_cast<char>(buffer[0]));
  PortTimeouts immediate{};
  immediate.readIntervalTimeout = kMaxDword;
  immediate.writeTotalTimeoutConstant = kWriteBoundMs;
  port_.SetTimeouts(handle_, immediate);
  if (!port_.Read(handle_, buffer, got)) {
    return false;
  }
  bytes.append(reinterpret_cast<const char*>(buffer.data()), got);
  return true;
}

void PhoneSession::Note(const AtEvent& event) {
  if (event.kind == AtEventKind::kNewMessage && event.index >= 0) {
    announced_.push_back({event.memory, event.index});
  }
}

namespace {

bool SimBusy(const Answer& answer) {
  return answer.status == AnswerStatus::kRefused &&
         ((answer.finalText.starts_with("+CME") &&
           (answer.errorCode == 14 || answer.errorCode == 515)) ||
          (answer.finalText.starts_with("+CMS") && answer.errorCode == 314));
}

}  // namespace

Answer PhoneSession::Command(std::string_view command, Expect expect, int index) {
  const std::uint64_t start = clock_.NowMs();
  for (;;) {
    Answer answer = CommandOnce(command, expect, index);
    if (!SimBusy(answer) || clock_.NowMs() - start >= kBusyBoundMs) {
      return answer;
    }
    const std::uint64_t pauseEnd = clock_.NowMs() + kBusyPauseMs;
    while (clock_.NowMs() < pauseEnd) {
      if (Stopping()) {
        answer.status = AnswerStatus::kStopped;
        return answer;
      }
      if (!Listen(kReadSliceMs)) {
        answer.status = AnswerStatus::kLineFailed;
        return answer;
      }
    }
  }
}

PhoneSession::Wait PhoneSession::ReadEvents(AtReader& reader, std::uint32_t quietMs,
                                            std::uint32_t boundMs, std::size_t byteBound,
                                            const std::function<bool()>& takeEvents) {
  const std::uint64_t start = clock_.NowMs();
  std::uint64_t lastByte = start;
  std::size_t received = 0;
  std::string bytes;
  for (;;) {
    const std::uint64_t now = clock_.NowMs();
    if (now - lastByte >= quietMs || now - start >= boundMs || received >= byteBound) {
      return Wait::kQuiet;
    }
    if (Stopping()) {
      return Wait::kStopped;
    }
    bytes.clear();
    if (!ReadSome(kReadSliceMs, bytes)) {
      return Wait::kLineFailed;
    }
    if (bytes.empty()) {
      continue;
    }
    received += bytes.size();
    lastByte = clock_.NowMs();
    events_.clear();
    reader.Feed(bytes, events_);
    if (takeEvents()) {
      return Wait::kDone;
    }
  }
}

bool PhoneSession::Drain() {
  if (handle_ == kInvalidPortHandle) {
    return false;
  }
  AtReader idle;
  const Wait wait = ReadEvents(idle, kDrainQuietMs, kDrainBoundMs, SIZE_MAX, [this] {
    for (const AtEvent& event : events_) {
      Note(event);
    }
    return false;
  });
  if (wait != Wait::kQuiet) {
    return false;
  }
  reader_ = AtReader{};
  drainFirst_ = false;
  return true;
}

Answer PhoneSession::CommandOnce(std::string_view command, Expect expect, int index) {
  Answer answer;
  if (handle_ == kInvalidPortHandle || ((drainFirst_ || reader_.outOfStep()) && !Drain())) {
    answer.status = Stopping() ? AnswerStatus::kStopped : AnswerStatus::kLineFailed;
    return answer;
  }
  std::string line(command);
  line.push_back('\r');
  std::uint32_t written = 0;
  PortTimeouts timeouts{};
  timeouts.writeTotalTimeoutConstant = kWriteBoundMs;
  port_.SetTimeouts(handle_, timeouts);
  if (!port_.Write(handle_,
                   std::span(reinterpret_cast<const std::uint8_t*>(line.data()), line.size()),
                   written) ||
      written != line.size()) {
    answer.status = AnswerStatus::kLineFailed;
    return answer;
  }
  reader_.Begin(expect, index);
  const Wait wait = ReadEvents(reader_, kAnswerQuietMs, kAnswerBoundMs, kAnswerByteBound, [&] {
    bool done = false;
    for (AtEvent& event : events_) {
      Note(event);
      if (event.kind == AtEventKind::kEntry || event.kind == AtEventKind::kBrokenEntry) {
        answer.entries.push_back(std::move(event));
      } else if (event.kind == AtEventKind::kInformation) {
        answer.information.push_back(std::move(event.text));
      } else if (event.kind == AtEventKind::kFinal) {
        answer.status = event.final == FinalCode::kOk ? AnswerStatus::kOk : AnswerStatus::kRefused;
        answer.finalText = event.text;
        answer.errorCode = event.code;
        done = true;
      }
    }
    return done;
  });
  switch (wait) {
    case Wait::kDone:
      answer.outOfStep = reader_.outOfStep();
      return answer;
    case Wait::kQuiet:
      answer.status = AnswerStatus::kTimedOut;
      break;
    case Wait::kStopped:
      answer.status = AnswerStatus::kStopped;
      break;
    case Wait::kLineFailed:
      answer.status = AnswerStatus::kLineFailed;
      break;
  }
  events_.clear();
  reader_.Abort(events_);
  for (AtEvent& event : events_) {
    answer.entries.push_back(std::move(event));
  }
  answer.outOfStep = true;
  drainFirst_ = true;  // the rest of this answer may still come
  return answer;
}

bool PhoneSession::Listen(std::uint32_t waitMs) {
  if (handle_ == kInvalidPortHandle) {
    return false;
  }
  std::string bytes;
  if (!ReadSome(std::min(waitMs, kReadSliceMs), bytes)) {
    return false;
  }
  events_.clear();
  reader_.Feed(bytes, events_);
  for (const AtEvent& event : events_) {
    Note(event);
  }
  return true;
}

std::vector<Announcement> PhoneSession::TakeAnnounced() {
  std::vector<Announcement> announced(announced_.begin(), announced_.end());
  announced_.clear();
  return announced;
}

}  // namespace brindle::service
