// `brindle encode` and `brindle decode`: the score message codec from the shell.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <limits>
#include <optional>
#include <string>

#include "base/text.h"
#include "base/utf8.h"
#include "codec/destination.h"
#include "codec/hex.h"
#include "codec/payload_decode.h"
#include "codec/score_payload.h"
#include "codec/score_reader.h"
#include "codec/submit_pdu.h"
#include "tools/codec_lines.h"
#include "tools/commands.h"

namespace brindle::tools {
namespace {

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
  bool lines = false;
  bool fieldsGiven = false;  // --game-id, --score and --handle all present
};

struct DecodeOptions {
  std::string input;
  bool userData = false;
  bool json = false;
  bool lines = false;
};

int BadInput(const std::string& command, const std::string& message) {
  static_cast<void>(std::fprintf(stderr, "brindle %s: %s\n", command.c_str(), message.c_str()));
  return kExitBadInput;
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
  EncodeScoreText(out.payload, out.scoreText);
  if (BuildSubmitPdu(out.pdu, number, out.payload) == 0) {
    return false;
  }
  out.pduLength = TerminatedView(std::span<const char>(out.pdu)).size();
  return true;
}

std::int64_t CmgsLength(const Encoded& encoded) {
  return static_cast<std::int64_t>(encoded.pduLength / 2) - 1;  // TPDU octets, without the SCA
}

// `line` 0 leaves the "line" key out.
Json EncodedObject(const Encoded& encoded, std::size_t line) {
  const std::string_view payload(encoded.payload.data(), encoded.payloadLength);
  std::string payloadHex;
  AppendHex(payloadHex, payload);
  Json object;
  if (line > 0) {
    object["line"] = line;
  }
  object["payload"] = Latin1ToUtf8(payload);
  object["payloadHex"] = payloadHex;
  object["scoreText"] = encoded.scoreText.data();
  object["pdu"] = std::string_view(encoded.pdu.data(), encoded.pduLength);
  object["cmgsLength"] = CmgsLength(encoded);
  return object;
}

// One line of `brindle encode --lines`: a JSON object with gameId, score, handle and an
// optional number, checked by the same validators as the options. Returns the error, empty
// when `encoded` holds the message; `offset` is set for text that is not JSON.
std::string EncodeLine(std::string_view line, Encoded& encoded,
                       std::optional<std::size_t>& offset) {
  Json request;
  try {
    request = Json::parse(line);
  } catch (const Json::parse_error& e) {
    offset = e.byte > 0 ? e.byte - 1 : 0;
    return "not a JSON object: " + std::string(e.what());
  }
  const auto text = [&request](const char* key) -> std::optional<std::string> {
    const auto value = request.find(key);
    if (value == request.end() || !value->is_string()) {
      return std::nullopt;
    }
    return value->get<std::string>();
  };
  if (!request.is_object()) {
    return "not a JSON object";
  }
  std::array<std::int32_t, 2> numbers{};
  constexpr std::array<const char*, 2> kNumberKeys = {"gameId", "score"};
  for (std::size_t i = 0; i < kNumberKeys.size(); ++i) {
    const auto value = request.find(kNumberKeys[i]);
    if (value == request.end() || !value->is_number_integer()) {
      return std::string(kNumberKeys[i]) + " must be an integer";
    }
    const std::string digits = value->dump();
    if (std::string error = kFieldNumber(digits); !error.empty()) {
      return std::string(kNumberKeys[i]) + ": " + error;
    }
    numbers[i] = value->get<std::int32_t>();
  }
  const auto handle = text("handle");
  if (!handle) {
    return "handle must be a string";
  }
  if (std::string error = kHandle(*handle); !error.empty()) {
    return error;
  }
  std::string number;
  if (request.contains("number")) {
    const auto given = text("number");
    if (!given) {
      return "number must be a string";
    }
    if (std::string error = kNumber(*given); !error.empty()) {
      return error;
    }
    number = *given;
  }
  if (!Encode(numbers[0], numbers[1], *Utf8ToUtf16(*handle), number, encoded)) {
    return "the message does not fit in one PDU";
  }
  return {};
}

int RunEncodeLines() {
  JsonLineWriter writer(stdout);
  Encoded encoded;
  std::size_t lines = 0;
  std::size_t refused = 0;
  std::string first;
  ForEachLine(stdin, kMaxDecodeInput, [&](std::string_view line, std::size_t number) {
    lines = number;
    std::optional<std::size_t> offset;
    const std::string error = EncodeLine(line, encoded, offset);
    if (error.empty()) {
      writer.Write(EncodedObject(encoded, number));
      return;
    }
    Json refusal = {{"line", number}, {"error", error}};
    if (offset) {
      refusal["offset"] = *offset;
    }
    writer.Write(refusal);
    if (refused++ == 0) {
      first = "line " + std::to_string(number) + ": " + error;
    }
  });
  writer.Flush();
  if (refused == 0) {
    return kExitOk;
  }
  return BadInput("encode", std::to_string(refused) + " of " + std::to_string(lines) +
                                " lines refused; the first, " + first);
}

int RunEncode(const EncodeOptions& options) {
  if (options.lines) {
    return RunEncodeLines();
  }
  if (!options.fieldsGiven) {
    return BadInput("encode", "--game-id, --score and --handle are required without --lines");
  }
  const auto handle = Utf8ToUtf16(options.handle);  // checked by kHandle
  Encoded encoded;
  if (!handle || !Encode(options.gameId, options.score, *handle, options.number, encoded)) {
    return BadInput("encode", "the message does not fit in one PDU");
  }
  if (options.json) {
    std::cout << EncodedObject(encoded, 0).dump() << '\n';
    return kExitOk;
  }
  std::cout << "payload:    " << Latin1ToUtf8({encoded.payload.data(), encoded.payloadLength})
            << '\n'
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

int RunDecodeLines(const DecodeOptions& options) {
  if (options.input != "-") {
    return BadInput("decode", "--lines reads standard input: give - as the input");
  }
  const LinesSummary summary = DecodeLines(stdin, stdout, options.userData);
  if (summary.refused == 0) {
    return kExitOk;
  }
  return BadInput("decode", std::to_string(summary.refused) + " of " +
                                std::to_string(summary.lines) + " lines refused; the first, line " +
                                std::to_string(summary.firstRefused) + ": " +
                                DescribePduError(summary.firstError) + " at offset " +
                                std::to_string(summary.firstOffset));
}

int RunDecode(const DecodeOptions& options) {
  if (options.lines) {
    return RunDecodeLines(options);
  }
  std::string input;
  if (!ReadDecodeInput(options.input, input)) {
    return BadInput("decode", "input longer than " + std::to_string(kMaxDecodeInput) + " bytes");
  }
  const std::string_view raw = input;
  const std::string_view text = TrimBlanks(raw);
  const std::size_t lead = text.empty() ? 0 : static_cast<std::size_t>(text.data() - raw.data());
  Decoded decoded;
  Decode(text, options.userData, decoded);
  if (decoded.error != PduError::kNone) {
    return BadInput("decode", std::string(DescribePduError(decoded.error)) + " at offset " +
                                  std::to_string(lead + decoded.errorOffset));
  }
  DecodeObjects objects;
  const Json& object = objects.Of(decoded, options.userData, 0);
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
  CLI::Option* lines = encodeCommand->add_flag(
      "--lines", encode->lines,
      "Read one JSON object a line (gameId, score, handle, number) from standard input and "
      "write one JSON object a line");
  const std::array<CLI::Option*, 3> fields = {
      encodeCommand->add_option("--game-id", encode->gameId, "Game number")->check(kFieldNumber),
      encodeCommand->add_option("--score", encode->score, "Score")->check(kFieldNumber),
      encodeCommand->add_option("--handle", encode->handle, "Player's handle (UTF-8)")
          ->check(kHandle)};
  for (CLI::Option* field : fields) {
    field->excludes(lines);
  }
  encodeCommand->add_option("--number", encode->number, "Destination (default: the service's)")
      ->check(kNumber)
      ->excludes(lines);
  encodeCommand->add_flag("--json", encode->json, "Print one JSON object");
  encodeCommand->callback([encode, fields, &status] {
    encode->fieldsGiven = std::all_of(fields.begin(), fields.end(),
                                      [](const CLI::Option* field) { return field->count() > 0; });
    status = RunEncode(*encode);
  });

  auto decode = std::make_shared<DecodeOptions>();
  CLI::App* decodeCommand =
      app.add_subcommand("decode", "Decode a score message PDU (or its user data)");
  decodeCommand->add_option("input", decode->input, "PDU hex text, or - for standard input")
      ->required();
  decodeCommand->add_flag("--user-data", decode->userData,
                          "The text is the user data from TP-UDL on");
  decodeCommand->add_flag("--json", decode->json, "Print one JSON object");
  decodeCommand->add_flag("--lines", decode->lines,
                          "Read one text a line from standard input (-) and write one JSON "
                          "object a line, with its line number; a refused line says why");
  decodeCommand->callback([decode, &status] { status = RunDecode(*decode); });
}

}  // namespace brindle::tools
