#include "codec/score_reader.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

namespace brindle {
namespace {

constexpr std::size_t kMaxNumberFieldText = 11;  // "-2147483648"

// The value of a decimal digit, or more than 9 for any other character.
unsigned DigitOf(char c) { return static_cast<unsigned>(static_cast<unsigned char>(c)) - '0'; }

constexpr std::uint64_t kOnes = 0x0101010101010101U;

// The number of `count` (1 to 8) decimal digits in the first bytes of a little-endian word:
// the digits moved to the top (bytes past them drop out, zeros come in front), and pairs,
// quads and octets of digits joined by three multiplies.
std::uint64_t WordValue(std::uint64_t word, std::size_t count) {
  word = (word << (64 - 8 * count)) & (kOnes * 0x0FU);
  word = (word * 10 + (word >> 8U)) & 0x00FF00FF00FF00FFU;
  word = (word * 100 + (word >> 16U)) & 0x0000FFFF0000FFFFU;
  return (word * 10000 + (word >> 32U)) & 0xFFFFFFFFU;
}

// Whether the first `count` (1 to 8) bytes of a little-endian word are decimal digits: all
// eight checked at once (high nibble 3, and still 3 after adding 6 to the low one), with
// '0's put in place of the bytes past them.
bool WordIsDigits(std::uint64_t word, std::size_t count) {
  const auto drop = static_cast<unsigned>(64 - 8 * count);
  word = (word << drop) | ((kOnes * '0') & ~(~std::uint64_t{0} << drop));
  constexpr std::uint64_t kHigh = kOnes * 0xF0U;
  return ((word & kHigh) | (((word + kOnes * 6U) & kHigh) >> 4U)) == kOnes * 0x33U;
}

// A number field's content: a '-' and up to ten digits (so no overflow), or digits alone.
// `readable` bytes from `text` on may be read, past the content too.
bool ReadNumber(const char* text, std::size_t length, std::size_t readable, std::int64_t& value) {
  const bool negative = text[0] == '-';
  const std::size_t from = negative ? 1 : 0;
  const std::size_t digits = length - from;
  std::uint64_t magnitude = 0;
  if (digits < 1) {
    return false;
  }
  const bool inOneWord = digits <= 8 && readable >= from + 8;
  if (inOneWord) {
    std::uint64_t word = 0;
    std::memcpy(&word, text + from, sizeof(word));
    if (!WordIsDigits(word, digits)) {
      return false;
    }
    magnitude = WordValue(word, digits);
  }
  for (std::size_t i = inOneWord ? length : from; i < length; ++i) {
    const unsigned d = DigitOf(text[i]);
    if (d > 9) {
      return false;
    }
    magnitude = 10 * magnitude + d;
  }
  value = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
  return true;
}

// SplitScorePayload with `readable` bytes (at least the payload) that may be read from
// `text` on. Each field is two decimal digits of length (01 to 99), then that many bytes.
bool SplitFieldsByBytes(const char* text, std::size_t size, std::size_t readable,
                        ScoreFields& fields) {
  std::size_t at = 0;
  std::size_t start = 0;  // of the field's content
  std::int64_t* const numbers[] = {&fields.gameId, &fields.fixed, &fields.score, nullptr};
  for (std::int64_t* const number : numbers) {
    if (size - at < 2) {
      return false;
    }
    const unsigned tens = DigitOf(text[at]);
    const unsigned ones = DigitOf(text[at + 1]);
    const std::size_t length = 10 * tens + ones;
    if (tens > 9 || ones > 9 || length < 1 || size - at - 2 < length) {
      return false;
    }
    start = at + 2;
    at = start + length;
    if (number == nullptr) {  // the handle, the last field
      break;
    }
    if (length > kMaxNumberFieldText ||
        !ReadNumber(text + start, length, readable - start, *number)) {
      return false;
    }
  }
  if (at != size) {
    return false;
  }
  // The handle fits: it is part of a payload no longer than the handle buffer.
  fields.handleLength = std::min(size - start, sizeof(fields.handle) - 1);
  std::memcpy(fields.handle, text + start, fields.handleLength);
  fields.handle[fields.handleLength] = '\0';
  return true;
}

}  // namespace

bool SplitScorePayload(std::string_view payload, ScoreFields& fields) {
  return SplitFieldsByBytes(payload.data(), payload.size(), payload.size(), fields);
}

namespace {

PduError Fail(PduReading& reading, PduError error, std::size_t offset) {
  reading.error = error;
  reading.errorOffset = offset;
  return error;
}

PduError ReadScorePduPortable(std::string_view text, PduReading& reading) {
  reading.payload[0] = '\0';
  reading.payloadLength = 0;
  reading.fields.gameId = reading.fields.fixed = reading.fields.score = 0;
  reading.fields.handle[0] = '\0';
  reading.fields.handleLength = 0;
  reading.error = ReadPdu(text, reading.pdu, reading.errorOffset);
  // The alphabet is a score message's first rule: a message in another one is that, whatever
  // else is wrong with it further on. (A coding not yet read is zero, the default alphabet.)
  if (!IsGsmDefaultAlphabet(reading.pdu.dataCodingScheme)) {
    return Fail(reading, PduError::kUnsupportedDcs, DataCodingSchemeOffset(reading.pdu));
  }
  if (reading.error != PduError::kNone) {
    return reading.error;
  }
  const Pdu& pdu = reading.pdu;
  reading.payloadLength =
      DecodeScoreSeptets(std::span<const std::uint8_t>(pdu.userData).first(pdu.userDataOctets),
                         pdu.userDataLength, UserDataHeaderSeptets(pdu), reading.payload);
  if (!SplitFieldsByBytes(reading.payload, reading.payloadLength, sizeof(reading.payload),
                          reading.fields)) {
    // Where the user data starts: the text holds exactly the PDU.
    return Fail(reading, PduError::kBadPayloadFields, text.size() - 2 * pdu.userDataOctets);
  }
  return PduError::kNone;
}

CodecPath PathFromEnvironment() {
  const char* chosen = std::getenv("BRINDLE_CODEC_PATH");  // NOLINT(concurrency-mt-unsafe)
  if (chosen != nullptr && std::string_view(chosen) == "portable") {
    return CodecPath::kPortable;
  }
#if BRINDLE_SCORE_PDU_AVX2
  if (kCpuHasAvx2Bmi2) {
    return CodecPath::kAvx2;
  }
#endif
  return CodecPath::kPortable;
}

// Kept apart from the exported functions so that a read inlines the choice: an exported
// function may be interposed, so the compiler does not inline one into another.
CodecPath ChosenPath() {
  static const CodecPath path = PathFromEnvironment();
  return path;
}

PduError ReadOnPath(std::string_view text, PduReading& reading, CodecPath path) {
#if BRINDLE_SCORE_PDU_AVX2
  if (path == CodecPath::kAvx2 && kCpuHasAvx2Bmi2) {
    return ReadScorePduAvx2(text, reading);
  }
#else
  static_cast<void>(path);
#endif
  return ReadScorePduPortable(text, reading);
}

}  // namespace

CodecPath ActiveCodecPath() { return ChosenPath(); }

const char* CodecPathName(CodecPath path) { return path == CodecPath::kAvx2 ? "avx2" : "portable"; }

PduError ReadScorePdu(std::string_view text, PduReading& reading, CodecPath path) {
  return ReadOnPath(text, reading, path);
}

PduError ReadScorePdu(std::string_view text, PduReading& reading) {
  return ReadOnPath(text, reading, ChosenPath());
}

}  // namespace brindle
