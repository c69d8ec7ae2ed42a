// The decode side of `brindle decode`: one text to a reading and its JSON object, and the
// batch form that reads one PDU a line and writes one JSON object a line. Header-only, so the
// benchmark can run the very same batch loop.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "base/text.h"
#include "base/utf8.h"
#include "codec/hex.h"
#include "codec/payload_decode.h"
#include "codec/score_reader.h"

namespace brindle::tools {

using Json = nlohmann::ordered_json;  // keys in the order they are written

// Payload bytes are Latin-1: each byte is the character of the same code, written as UTF-8.
inline void AppendHex(std::string& out, std::string_view bytes) {
  const std::size_t at = out.size();
  out.resize(at + 2 * bytes.size());
  hex::WriteBytes(bytes, out.data() + at);
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
inline void Decode(std::string_view text, bool userData, Decoded& out) {
  if (!userData) {
    out.error = ReadScorePdu(text, out.reading);
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

// The JSON objects of decoded texts. Each set of keys is built once and its values refilled in
// place, so after the first few lines a batch allocates nothing here.
// The JSON values' destructor may allocate a work list to free nested values; running out of
// memory there ends the program, as it would anywhere else.
// NOLINTNEXTLINE(bugprone-exception-escape)
class DecodeObjects {
 public:
  // `line` 0 leaves the "line" key out.
  const Json& Of(const Decoded& decoded, bool userData, std::size_t line) {
    const PduReading& reading = decoded.reading;
    const TimeStamp& sent = reading.pdu.serviceCentreTimeStamp;
    const unsigned shape = (line > 0 ? 1U : 0U) | (userData ? 0U : 2U) | (sent.present ? 4U : 0U) |
                           (decoded.hasFields ? 8U : 0U);
    Json& object = shapes_[shape];
    if (object.is_null()) {
      object = Shape(shape);
    }
    if (line > 0) {
      object["line"] = line;
    }
    const std::string_view payload(reading.payload, reading.payloadLength);
    AppendLatin1(Text(object, "payload"), payload);
    AppendHex(Text(object, "payloadHex"), payload);
    if (!userData) {
      Text(object, "number") += reading.pdu.address.number.data();
      Text(object, "type") +=
          reading.pdu.messageType == MessageType::kSubmit ? "submit" : "deliver";
    }
    if (sent.present) {
      std::array<char, kTimeStampTextCapacity> sentAt{};
      Text(object, "sentAt").append(sentAt.data(), FormatTimeStamp(sent, sentAt));
    }
    if (decoded.hasFields) {
      object["gameId"] = reading.fields.gameId;
      object["fixed"] = reading.fields.fixed;
      object["score"] = reading.fields.score;
      AppendLatin1(Text(object, "handle"), {reading.fields.handle, reading.fields.handleLength});
    }
    return object;
  }

  const Json& Refusal(std::size_t line, PduError error, std::size_t offset) {
    if (refusal_.is_null()) {
      refusal_ = Json{{"line", 0}, {"error", ""}, {"offset", 0}};
    }
    refusal_["line"] = line;
    Text(refusal_, "error") += DescribePduError(error);
    refusal_["offset"] = offset;
    return refusal_;
  }

 private:
  static Json Shape(unsigned shape) {
    Json object = Json::object();
    if ((shape & 1U) != 0) {
      object["line"] = 0;
    }
    object["payload"] = "";
    object["payloadHex"] = "";
    if ((shape & 2U) != 0) {
      object["number"] = "";
      object["type"] = "";
    }
    if ((shape & 4U) != 0) {
      object["sentAt"] = "";
    }
    if ((shape & 8U) != 0) {
      object["gameId"] = 0;
      object["fixed"] = 0;
      object["score"] = 0;
      object["handle"] = "";
    }
    return object;
  }

  // The string value under `key`, emptied but keeping its storage.
  static std::string& Text(Json& object, const char* key) {
    auto& text = object[key].get_ref<std::string&>();
    text.clear();
    return text;
  }

  std::array<Json, 16> shapes_;
  Json refusal_;
};

// JSON objects one a line, gathered into one text that is handed to the stream in large
// writes. Only the library's public dump(): its serializer is internal and may change.
class JsonLineWriter {
 public:
  explicit JsonLineWriter(std::FILE* out) : out_(out) {}
  JsonLineWriter(const JsonLineWriter&) = delete;
  JsonLineWriter& operator=(const JsonLineWriter&) = delete;
  JsonLineWriter(JsonLineWriter&&) = delete;
  JsonLineWriter& operator=(JsonLineWriter&&) = delete;
  ~JsonLineWriter() { Flush(); }

  void Write(const Json& object) {
    text_ += object.dump();
    text_ += '\n';
    if (text_.size() >= kFlushAt) {
      Flush();
    }
  }

  void Flush() {
    if (!text_.empty()) {
      static_cast<void>(std::fwrite(text_.data(), 1, text_.size(), out_));
      text_.clear();
    }
  }

 private:
  static constexpr std::size_t kFlushAt = 1U << 16U;
  std::FILE* out_;
  std::string text_;
};

// Calls `each(line, number)` for every line of `in` (line ends "\n" or "\r\n"; a last line
// without an end counts). A line longer than `maxLine` is handed over cut to that length.
template <typename Each>
void ForEachLine(std::FILE* in, std::size_t maxLine, Each&& each) {
  std::string buffer(std::max<std::size_t>(maxLine, 1U << 16U) * 2, '\0');
  std::size_t held = 0;
  std::size_t number = 0;
  bool skipping = false;  // inside an over-long line, after its first maxLine bytes
  for (;;) {
    const std::size_t read = std::fread(buffer.data() + held, 1, buffer.size() - held, in);
    held += read;
    std::string_view rest(buffer.data(), held);
    for (auto end = rest.find('\n'); end != std::string_view::npos; end = rest.find('\n')) {
      if (!skipping) {
        each(rest.substr(0, std::min(end, maxLine)), ++number);
      }
      skipping = false;
      rest.remove_prefix(end + 1);
    }
    if (read == 0) {
      if (!rest.empty() && !skipping) {
        each(rest.substr(0, std::min(rest.size(), maxLine)), ++number);
      }
      return;
    }
    if (rest.size() >= maxLine && !skipping) {
      each(rest.substr(0, maxLine), ++number);
      skipping = true;
    }
    if (skipping) {
      rest = {};
    }
    std::copy(rest.begin(), rest.end(), buffer.begin());
    held = rest.size();
  }
}

struct LinesSummary {
  std::size_t lines = 0;
  std::size_t refused = 0;
  std::size_t firstRefused = 0;  // its line number
  PduError firstError = PduError::kNone;
  std::size_t firstOffset = 0;
};

// One PDU (or, with `userData`, one user-data text) a line from `in`, one JSON object a line
// to `out`: the decode keys plus "line", or "line", "error" and "offset" for a refused line.
inline LinesSummary DecodeLines(std::FILE* in, std::FILE* out, bool userData) {
  constexpr std::size_t kMaxLine = 4096;  // far beyond any PDU (at most about 360 digits)
  LinesSummary summary;
  DecodeObjects objects;
  JsonLineWriter writer(out);
  Decoded decoded;
  ForEachLine(in, kMaxLine, [&](std::string_view line, std::size_t number) {
    const std::string_view text = TrimBlanks(line);
    const std::size_t lead = text.empty() ? 0 : static_cast<std::size_t>(text.data() - line.data());
    Decode(text, userData, decoded);
    summary.lines = number;
    if (decoded.error == PduError::kNone) {
      writer.Write(objects.Of(decoded, userData, number));
      return;
    }
    if (summary.refused++ == 0) {
      summary.firstRefused = number;
      summary.firstError = decoded.error;
      summary.firstOffset = lead + decoded.errorOffset;
    }
    writer.Write(objects.Refusal(number, decoded.error, lead + decoded.errorOffset));
  });
  return summary;
}

}  // namespace brindle::tools
