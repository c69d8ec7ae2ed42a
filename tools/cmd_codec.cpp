// `brindle encode` and `brindle decode`: the score message codec from the shell.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>

#include "base/text.h"
#include "codec/destination.h"
#include "codec/hex.h"
#include "codec/payload_decode.h"
#include "codec/pdu_reader.h"
#include "codec/score_payload.h"
#include "codec/submit_pdu.h"
#include "tools/commands.h"
#include "tools/json_writer.h"
#include "tools/utf8.h"

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

std::string HexOf(std::string_view bytes) {
  std::string text(2 * bytes.size(), '0');
  hex::WriteBytes(bytes, text.data());
  return text;
}

bool IsValidNumber(std::string_view number) {
  const std::string_view digits = number.starts_with('+') ? number.substr(1) : number;
  return !digits.empty() && digits.size() <= kMaxNumberDigits &&
         digits.find_first_not_of("0123456789") == std::string_view::npos;
}

int RunEncode(const EncodeOptions& options) {
  if (options.gameId > kMaxFieldNumber || options.score > kMaxFieldNumber) {
    return BadInput("encode", "a game id or score above 99999999 cannot be sent");
  }
  const auto handle = Utf8ToUtf16(options.handle);
  if (!handle) {
    return BadInput("encode", "the handle is not valid UTF-8");
  }
  if (handle->size() < kMinHandle || handle->size() > kMaxHandle) {
    return BadInput(
        "encode", "the handle must have 2 to 15 characters, not " + std::to_string(handle->size()));
  }
  std::string number = options.number;
  if (number.empty()) {
    number.resize(kDestinationNumber.size());
    NarrowText(kDestinationNumber, number);
  } else if (!IsValidNumber(number)) {
    return BadInput("encode",
                    "the number must be an optional '+' and 1 to 20 digits, not '" + number + "'");
  }

  std::array<char, kPayloadCapacity> payload{};
  const std::size_t length = BuildScorePayload(options.gameId, options.score, *handle, payload);
  const std::string payloadText(payload.data(), length);

  std::array<char, kPayloadCapacity> scratch = payload;
  std::array<char, kScoreTextCapacity> scoreText{};
  EncodeScoreText(scratch, scoreText);
  std::array<char, kPduTextCapacity> pdu{};
  if (BuildSubmitPdu(pdu, number, payload) == 0) {
    return BadInput("encode", "the message does not fit in one PDU");
  }
  const std::string_view pduText = TerminatedView(std::span<const char>(pdu));
  const auto cmgsLength = static_cast<std::int64_t>(pduText.size() / 2) - 1;
  const std::string_view score = TerminatedView(std::span<const char>(scoreText));

  if (options.json) {
    std::cout << JsonObject{}
                     .Text("payload", payloadText)
                     .Text("payloadHex", HexOf(payloadText))
                     .Text("scoreText", score)
                     .Text("pdu", pduText)
                     .Number("cmgsLength", cmgsLength)
                     .Finish()
              << '\n';
  } else {
    std::cout << "payload:    " << Latin1ToUtf8(payloadText) << '\n'
              << "scoreText:  " << score << '\n'
              << "pdu:        " << pduText << '\n'
              << "cmgsLength: " << cmgsLength << '\n';
  }
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

int RunDecode(const DecodeOptions& options) {
  std::string input;
  if (!ReadDecodeInput(options.input, input)) {
    return BadInput("decode", "input longer than " + std::to_string(kMaxDecodeInput) + " bytes");
  }
  const std::string_view raw = input;
  const std::string_view text = Trim(raw);
  const std::size_t lead = text.empty() ? 0 : static_cast<std::size_t>(text.data() - raw.data());
  PduReading reading;
  bool hasFields = true;
  if (options.userData) {
    // The user data alone reads as DecodeScoreText reads it: any count, any digits after the
    // counted ones; only text that is not hex at all is refused.
    if (text.empty()) {
      return BadInput("decode", std::string(DescribePduError(PduError::kEmpty)) + " at offset " +
                                    std::to_string(lead));
    }
    const auto notHex =
        std::find_if(text.begin(), text.end(), [](char c) { return hex::DigitValue(c) < 0; });
    if (notHex != text.end()) {
      return BadInput("decode",
                      std::string(DescribePduError(PduError::kNotHex)) + " at offset " +
                          std::to_string(lead + static_cast<std::size_t>(notHex - text.begin())));
    }
    DecodeScoreText(text, reading.payload);
    reading.payloadLength = TerminatedView(std::span<const char>(reading.payload)).size();
    hasFields = SplitScorePayload({reading.payload, reading.payloadLength}, reading.fields);
  } else if (ReadPdu(text, reading) != PduError::kNone) {
    return BadInput("decode", std::string(DescribePduError(reading.error)) + " at offset " +
                                  std::to_string(lead + reading.errorOffset));
  }
  const std::string_view payload(reading.payload, reading.payloadLength);
  const std::string_view handle(reading.fields.handle, reading.fields.handleLength);
  const char* type = reading.type == PduType::kSubmit ? "submit" : "deliver";
  std::array<char, kTimeStampTextCapacity> sentAt{};
  FormatTimeStamp(reading.sentAt, sentAt);
  if (options.json) {
    JsonObject json;
    json.Text("payload", payload).Text("payloadHex", HexOf(payload));
    if (!options.userData) {
      json.Text("number", reading.number).Text("type", type);
    }
    if (reading.sentAt.present) {
      json.Text("sentAt", sentAt.data());
    }
    if (hasFields) {
      json.Number("gameId", reading.fields.gameId)
          .Number("fixed", reading.fields.fixed)
          .Number("score", reading.fields.score)
          .Text("handle", handle);
    }
    std::cout << json.Finish() << '\n';
    return kExitOk;
  }
  if (!options.userData) {
    std::cout << "type:       " << type << '\n' << "number:     " << reading.number << '\n';
  }
  if (reading.sentAt.present) {
    std::cout << "sentAt:     " << sentAt.data() << '\n';
  }
  std::cout << "payload:    " << Latin1ToUtf8(payload) << '\n'
            << "payloadHex: " << HexOf(payload) << '\n';
  if (hasFields) {
    std::cout << "gameId:     " << reading.fields.gameId << '\n'
              << "fixed:      " << reading.fields.fixed << '\n'
              << "score:      " << reading.fields.score << '\n'
              << "handle:     " << Latin1ToUtf8(handle) << '\n';
  }
  return kExitOk;
}

}  // namespace

void RegisterCodecCommands(CLI::App& app, int& status) {
  auto encode = std::make_shared<EncodeOptions>();
  CLI::App* encodeCommand =
      app.add_subcommand("encode", "Encode a score message as SMS-SUBMIT PDU text");
  encodeCommand->add_option("--game-id", encode->gameId, "Game number")->required();
  encodeCommand->add_option("--score", encode->score, "Score")->required();
  encodeCommand->add_option("--handle", encode->handle, "Player's handle (UTF-8)")->required();
  encodeCommand->add_option("--number", encode->number,
                            "Destination: optional '+' and 1 to 20 digits");
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
