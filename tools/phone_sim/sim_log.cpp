#include "tools/phone_sim/sim_log.h"

#include <cerrno>
#include <cstring>

#include "tools/json_writer.h"

namespace brindle::sim {
namespace {

void AppendHex(std::string& out, std::string_view bytes) {
  constexpr std::string_view kHex = "0123456789ABCDEF";
  out.push_back('"');
  for (const char byte : bytes) {
    const auto code = static_cast<unsigned char>(byte);
    out.push_back(kHex[code >> 4U]);
    out.push_back(kHex[code & 0x0FU]);
  }
  out.push_back('"');
}

void AppendKey(std::string& out, std::string_view key) {
  out += ", \"";
  out += key;
  out += "\": ";
}

std::string_view EventName(EventKind kind) {
  switch (kind) {
    case EventKind::kMessage:
      return "sms";
    case EventKind::kRejected:
      return "rejected";
    case EventKind::kCancelled:
      return "cancelled";
    case EventKind::kHangup:
      return "hangup";
  }
  return "?";
}

}  // namespace

SimLog::~SimLog() {
  if (file_ != nullptr) {
    (void)std::fclose(file_);
  }
}

bool SimLog::Open(const std::string& path, std::string& error) {
  file_ = std::fopen(path.c_str(), "w");
  if (file_ == nullptr) {
    error = std::strerror(errno);
    return false;
  }
  return true;
}

void SimLog::Bytes(std::uint64_t timeMs, std::string_view direction, std::string_view data) {
  std::string line = "{\"t\": " + std::to_string(timeMs);
  AppendKey(line, "dir");
  tools::AppendJsonString(line, direction);
  AppendKey(line, "data");
  tools::AppendJsonString(line, data);
  line += "}";
  Write(line);
}

void SimLog::Event(std::uint64_t timeMs, const DialogueEvent& event) {
  Write(EventJson(timeMs, event));
}

void SimLog::NewLine(std::uint64_t timeMs, std::string_view path) {
  std::string line = "{\"t\": " + std::to_string(timeMs);
  AppendKey(line, "event");
  tools::AppendJsonString(line, "line");
  AppendKey(line, "path");
  tools::AppendJsonString(line, path);
  line += "}";
  Write(line);
}

void SimLog::Write(const std::string& line) {
  if (file_ == nullptr) {
    return;
  }
  (void)std::fwrite(line.data(), 1, line.size(), file_);
  (void)std::fputc('\n', file_);
  (void)std::fflush(file_);
}

std::string EventJson(std::uint64_t timeMs, const DialogueEvent& event) {
  std::string line = "{\"t\": " + std::to_string(timeMs);
  AppendKey(line, "event");
  tools::AppendJsonString(line, EventName(event.kind));
  if (event.kind == EventKind::kMessage) {
    AppendKey(line, "number");
    tools::AppendJsonString(line, event.number);
    AppendKey(line, "payload");
    tools::AppendJsonString(line, event.payload);
    AppendKey(line, "payloadHex");
    AppendHex(line, event.payload);
  }
  AppendKey(line, "cmgsLength");
  line += std::to_string(event.cmgsLength);
  if (event.kind == EventKind::kMessage || event.kind == EventKind::kRejected) {
    AppendKey(line, "octets");
    line += std::to_string(event.octets);
  }
  if (event.kind == EventKind::kMessage) {
    AppendKey(line, "reference");
    line += std::to_string(event.reference);
    if (event.scoreFields) {
      AppendKey(line, "gameId");
      line += std::to_string(event.gameId);
      AppendKey(line, "fixed");
      line += std::to_string(event.fixed);
      AppendKey(line, "score");
      line += std::to_string(event.score);
      AppendKey(line, "handle");
      tools::AppendJsonString(line, event.handle);
    }
  }
  if (event.kind == EventKind::kRejected) {
    AppendKey(line, "reason");
    tools::AppendJsonString(line, event.reason);
  }
  AppendKey(line, "pdu");
  tools::AppendJsonString(line, event.pdu);
  line += "}";
  return line;
}

}  // namespace brindle::sim
