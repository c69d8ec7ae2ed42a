// `brindle encode` and `brindle decode`: the score message codec from the shell.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "base/text.h"
#include "codec/destination.h"
#include "codec/hex.h"
#include "codec/payload_decode.h"
#include "codec/pdu_reader.h"
#include "codec/score_payload.h"
#include "codec/submit_pdu.h"
#include "tools/commands.h"
#include "tools/utf8.h"

namespace brindle::tools {
namespace {

using Json = nlohmann::ordered_json;  // keys in the order they are written

constexpr std::size_t kMinHandle = 2;
constexpr std::size_t kMaxHandle = 15;
constexpr std::size_t kMaxNumberDigits = 20;
constexpr std::size_t kMaxDecodeInput = 1U << 20U;

struct EncodeOptions {
  std::int32_t gameId = 0;
  std::int32_t score = 0;
  std::string handle;
  std::string number;
  bool json = false;
};

struct DecodeOptions {
  std::string input;
  bool userData = false;
  bool json = false;
};

int BadInput(const std::string& command, const std::string& message) {
  static_cast<void>(std::fprintf(stderr, "brindle %s: %s\n", command.c_str(), message.c_str()));
  return kExitBadInput;
}

// Payload bytes are Latin-1: each byte is the character of the same code, written as UTF-8.
void AppendLatin1(std::string& out, std::string_view bytes) {
  for (const char c : bytes) {
    const auto code = static_cast<unsigned char>(c);
    if (code < 0x80) {
      out += c;
    } else {
      out += static_cast<char>(0xC0U | (code >> 6U));
      out += static_cast<char>(0x80U | (code & 0x3FU));
    }
  }
}

std::string Latin1(std::string_view bytes) {
  std::string out;
  AppendLatin1(out, bytes);
  return out;
}

void AppendHex(std::string& out, std::string_view bytes) {
  const std::size_t at = out.size();
  out.resize(at + 2 * bytes.size());
  hex::WriteBytes(bytes, out.data() + at);
}

// The options' checks, as CLI11 validators so a bad value is refused while parsing.
const CLI::Validator kFieldNumber = CLI::Range(std::numeric_limits<std::int32_t>::min(),
                                               static_cast<std::int32_t>(kMaxFieldNumber));

const CLI::Validator kHandle(
    [](const std::string& text) -> std::string {
      const auto handle = Utf8ToUtf16(text);
      if (!handle) {
        return "the handle is not valid UTF-8";
      }
      if (handle->size() < kMinHandle || handle->size() > kMaxHandle) {
        return "the handle must have 2 to 15 characters, not " + std::to_string(handle->size());
      }
      return {};
    },
    "2 to 15 characters", "HANDLE");

const CLI::Validator kNumber(
    [](const std::string& number) -> std::string {
      const std::string_view digits =
          std::string_view(number).substr(number.starts_with('+') ? 1 : 0);
      if (digits.empty() || digits.size() > kMaxNumberDigits ||
          digits.find_first_not_of("0123456789") != std::string_view::npos) {
        return "the number must be an optional '+' and 1 to 20 digits, not '" + number + "'";
      }
      return {};
    },
    "optional '+' and 1 to 20 digits", "NUMBER");

// One score message, from its checked fields to PDU text.
struct Encoded {
  std::array<char, kPayloadCapacity> payload{};
  std::size_t payloadLength = 0;
  std::array<char, kScoreTextCapacity> scoreText{};
  std::array<char, kPduTextCapacity> pdu{};
  std::size_t pduLength = 0;
};

bool Encode(std::int32_t gameId, std::int32_t score, std::u16string_view handle,
            std::string_view number, Encoded& out) {
  std::array<char, kMaxNumberDigits + 2> destination{};
  if (number.empty()) {
    number = {destination.data(), NarrowText(kDestinationNumber, destination)};
  }
  out.payloadLength = BuildScorePayload(gameId, score, handle, out.payload);
  // Both scramble the payload they are given, so each gets a copy.
  std::array<char, kPayloadCapacity> scratch = out.payload;
  EncodeScoreText(scratch, out.scoreText);
  scratch = out.payload;
  if (BuildSubmitPdu(out.pdu, number, scratch) == 0) {
    return false;
  }
  out.pduLength = TerminatedView(std::span<const char>(out.pdu)).size();
  return true;
}

std::int64_t CmgsLength(const Encoded& encoded) {
  return static_cast<std::int64_t>(encoded.pduLength / 2) - 1;  // TPDU octets, without the SCA
}

Json EncodedObject(const Encoded& encoded) {
  const std::string_view payload(encoded.payload.data(), encoded.payloadLength);
  std::string payloadHex;
  AppendHex(payloadHex, payload);
  Json object;
  object["payload"] = Latin1(payload);
  object["payloadHex"] = payloadHex;
  object["scoreText"] = encoded.scoreText.data();
  object["pdu"] = std::string_view(encoded.pdu.data(), encoded.pduLength);
  object["cmgsLength"] = CmgsLength(encoded);
  return object;
}

int RunEncode(const EncodeOptions& options) {
  const auto handle = Utf8ToUtf16(options.handle);  // checked by kHandle
  Encoded encoded;
  if (!handle || !Encode(options.gameId, options.score, *handle, options.number, encoded)) {
    return BadInput("encode", "the message does not fit in one PDU");
  }
  if (options.json) {
    std::cout << EncodedObject(encoded).dump() << '\n';
    return kExitOk;
  }
  std::cout << "payload:    " << Latin1({encoded.payload.data(), encoded.payloadLength}) << '\n'
            << "scoreText:  " << encoded.scoreText.data() << '\n'
            << "pdu:        " << encoded.pdu.data() << '\n'
            << "cmgsLength: " << CmgsLength(encoded) << '\n';
  return kExitOk;
}

bool ReadDecodeInput(const std::string& argument, std::string& text) {
  if (argument != "-") {
    text = argument;
    return text.size() <= kMaxDecodeInput;
  }
  text.clear();
  std::array<char, 4096> chunk{};
  while (std::cin.read(chunk.data(), chunk.size()) || std::cin.gcount() > 0) {
    text.append(chunk.data(), static_cast<std::size_t>(std::cin.gcount()));
    if (text.size() > kMaxDecodeInput) {
      return false;
    }
  }
  return true;
}

std::string_view Trim(std::string_view text) {
  constexpr std::string_view kBlank = " \t\r\n";
  const auto first = text.find_first_not_of(kBlank);
  if (first == std::string_view::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(kBlank) - first + 1);
}

// A decoded text: the reading, whether its payload split into the four fields, or the error.
struct Decoded {
  PduReading reading;
  bool hasFields = false;
  PduError error = PduError::kNone;
  std::size_t errorOffset = 0;
};

// The whole PDU through the strict reader; user data alone as DecodeScoreText reads it, where
// only empty text and characters that are not hex digits are refused.
void Decode(std::string_view text, bool userData, Decoded& out) {
  if (!userData) {
    out.error = ReadPdu(text, out.reading);
    out.errorOffset = out.reading.errorOffset;
    out.hasFields = out.error == PduError::kNone;
    return;
  }
  out.reading = PduReading{};
  const auto* const notHex =
      std::find_if(text.begin(), text.end(), [](char c) { return hex::DigitValue(c) < 0; });
  if (text.empty() || notHex != text.end()) {
    out.error = text.empty() ? PduError::kEmpty : PduError::kNotHex;
    out.errorOffset = static_cast<std::size_t>(notHex - text.begin());
    out.hasFields = false;
    return;
  }
  out.error = PduError::kNone;
  DecodeScoreText(text, out.reading.payload);
  out.reading.payloadLength = TerminatedView(std::span<const char>(out.reading.payload)).size();
  out.hasFields =
      SplitScorePayload({out.reading.payload, out.reading.payloadLength}, out.reading.fields);
}

const char* TypeName(PduType type) { return type == PduType::kSubmit ? "submit" : "deliver"; }

Json DecodedObject(const Decoded& decoded, bool userData) {
  const PduReading& reading = decoded.reading;
  const std::string_view payload(reading.payload, reading.payloadLength);
  std::string payloadHex;
  AppendHex(payloadHex, payload);
  Json object;
  object["payload"] = Latin1(payload);
  object["payloadHex"] = payloadHex;
  if (!userData) {
    object["number"] = reading.number;
    object["type"] = TypeName(reading.type);
  }
  if (reading.sentAt.present) {
    std::array<char, kTimeStampTextCapacity> sentAt{};
    FormatTimeStamp(reading.sentAt, sentAt);
    object["sentAt"] = sentAt.data();
  }
  if (decoded.hasFields) {
    object["gameId"] = reading.fields.gameId;
    object["fixed"] = reading.fields.fixed;
    object["score"] = reading.fields.score;
    object["handle"] = Latin1({reading.fields.handle, reading.fields.handleLength});
  }
  return object;
}

int RunDecode(const DecodeOptions& options) {
  std::string input;
  if (!ReadDecodeInput(options.input, input)) {
    return BadInput("decode", "input longer than " + std::to_string(kMaxDecodeInput) + " bytes");
  }
  const std::string_view raw = input;
  const std::string_view text = Trim(raw);
  const std::size_t lead = text.empty() ? 0 : static_cast<std::size_t>(text.data() - raw.data());
  Decoded decoded;
  Decode(text, options.userData, decoded);
  if (decoded.error != PduError::kNone) {
    return BadInput("decode", std::string(DescribePduError(decoded.error)) + " at offset " +
                                  std::to_string(lead + decoded.errorOffset));
  }
  const Json object = DecodedObject(decoded, options.userData);
  if (options.json) {
    std::cout << object.dump() << '\n';
    return kExitOk;
  }
  // The same values as text, one "key: value" line each, the message's header first.
  constexpr std::array<const char*, 9> kOrder = {
      "type", "number", "sentAt", "payload", "payloadHex", "gameId", "fixed", "score", "handle"};
  for (const char* key : kOrder) {
    if (const auto value = object.find(key); value != object.end()) {
      const std::string label = std::string(key) + ":";
      std::cout << label << std::string(12 - label.size(), ' ')
                << (value->is_string() ? value->get<std::string>() : value->dump()) << '\n';
    }
  }
  return kExitOk;
}

}  // namespace

void RegisterCodecCommands(CLI::App& app, int& status) {
  auto encode = std::make_shared<EncodeOptions>();
  CLI::App* encodeCommand =
      app.add_subcommand("encode", "Encode a score message as SMS-SUBMIT PDU text");
  encodeCommand->add_option("--game-id", encode->gameId, "Game number")
      ->required()
      ->check(kFieldNumber);
  encodeCommand->add_option("--score", encode->score, "Score")->required()->check(kFieldNumber);
  encodeCommand->add_option("--handle", encode->handle, "Player's handle (UTF-8)")
      ->required()
      ->check(kHandle);
  encodeCommand->add_option("--number", encode->number, "Destination (default: the service's)")
      ->check(kNumber);
  encodeCommand->add_flag("--json", encode->json, "Print one JSON object");
  encodeCommand->callback([encode, &status] { status = RunEncode(*encode); });

  auto decode = std::make_shared<DecodeOptions>();
  CLI::App* decodeCommand =
      app.add_subcommand("decode", "Decode a score message PDU (or its user data)");
  decodeCommand->add_option("input", decode->input, "PDU hex text, or - for standard input")
      ->required();
  decodeCommand->add_flag("--user-data", decode->userData,
                          "The text is the user data from TP-UDL on");
  decodeCommand->add_flag("--json", decode->json, "Print one JSON object");
  decodeCommand->callback([decode, &status] { status = RunDecode(*decode); });
}

}  // namespace brindle::tools
