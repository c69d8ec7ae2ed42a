#include "tools/phone_sim/sim_log.h"

#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>

#include "base/utf8.h"
#include "codec/hex.h"

namespace brindle::sim {
namespace {

using Json = nlohmann::ordered_json;

// Texts are byte strings: each byte goes in as the character of the same code.
std::string Text(std::string_view bytes) { return Latin1ToUtf8(bytes); }

std::string Hex(std::string_view bytes) {
  std::string out(2 * bytes.size(), '\0');
  hex::WriteBytes(bytes, out.data());
  return out;
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
    case EventKind::kStored:
      return "stored";
    case EventKind::kStoreRefused:
      return "store-refused";
    case EventKind::kHeld:
      return "held";
    case EventKind::kRouted:
      return "routed";
    case EventKind::kListed:
      return "listed";
    case EventKind::kRead:
      return "read";
    case EventKind::kDeleted:
      return "deleted";
    case EventKind::kDeleteRefused:
      return "delete-refused";
  }
  return "?";
}

void AddSending(Json& json, const DialogueEvent& event) {
  if (event.kind == EventKind::kMessage) {
    json["number"] = Text(event.number);
    json["payload"] = Text(event.payload);
    json["payloadHex"] = Hex(event.payload);
  }
  json["cmgsLength"] = event.cmgsLength;
  if (event.kind == EventKind::kMessage || event.kind == EventKind::kRejected) {
    json["octets"] = event.octets;
  }
  if (event.kind == EventKind::kMessage) {
    json["reference"] = event.reference;
    if (event.scoreFields) {
      json["gameId"] = event.gameId;
      json["fixed"] = event.fixed;
      json["score"] = event.score;
      json["handle"] = Text(event.handle);
    }
  }
  if (event.kind == EventKind::kRejected) {
    json["reason"] = Text(event.reason);
  }
  json["pdu"] = Text(event.pdu);
}

void AddReceiving(Json& json, const DialogueEvent& event) {
  if (!event.memory.empty()) {
    json["memory"] = Text(event.memory);
  }
  switch (event.kind) {
    case EventKind::kStored:
      json["index"] = event.index;
      json["source"] = Text(event.source);
      json["pdu"] = Text(event.pdu);
      break;
    case EventKind::kStoreRefused:
    case EventKind::kHeld:
    case EventKind::kRouted:
      json["source"] = Text(event.source);
      if (event.kind != EventKind::kRouted) {
        json["reason"] = Text(event.reason);
      }
      json["pdu"] = Text(event.pdu);
      break;
    case EventKind::kListed: {
      std::string indexes;
      for (const int index : event.indexes) {
        indexes += (indexes.empty() ? "" : ",") + std::to_string(index);
      }
      json["stat"] = event.stat;
      json["count"] = event.indexes.size();
      json["indexes"] = indexes;
      break;
    }
    case EventKind::kRead:
      json["index"] = event.index;
      json["stat"] = event.stat;
      break;
    case EventKind::kDeleted:
      json["index"] = event.index;
      break;
    case EventKind::kDeleteRefused:
      json["index"] = event.index;
      json["reason"] = Text(event.reason);
      break;
    default:
      break;
  }
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
  Json json;
  json["t"] = timeMs;
  json["dir"] = Text(direction);
  json["data"] = Text(data);
  Write(json.dump());
}

void SimLog::Event(std::uint64_t timeMs, const DialogueEvent& event) {
  Write(EventJson(timeMs, event));
}

void SimLog::NewLine(std::uint64_t timeMs, std::string_view path) {
  Json json;
  json["t"] = timeMs;
  json["event"] = "line";
  json["path"] = Text(path);
  Write(json.dump());
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
  Json json;
  json["t"] = timeMs;
  json["event"] = EventName(event.kind);
  switch (event.kind) {
    case EventKind::kMessage:
    case EventKind::kRejected:
    case EventKind::kCancelled:
    case EventKind::kHangup:
      AddSending(json, event);
      break;
    default:
      AddReceiving(json, event);
      break;
  }
  return json.dump();
}

}  // namespace brindle::sim
