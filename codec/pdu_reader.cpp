#include "codec/pdu_reader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <span>

#include "base/text.h"
#include "codec/hex.h"
#include "codec/score_payload.h"
#include "codec/score_pdu_one_pass.h"
#include "codec/tpdu.h"

#if BRINDLE_HEX_SSE2
#include <emmintrin.h>
#endif

namespace brindle {
namespace {

constexpr std::size_t kMaxNumberFieldText = 11;  // "-2147483648"

// Far more than any PDU's octets (at most about 260); a longer text is read only this far,
// which is still enough to tell that it has octets after its user data.
constexpr std::size_t kOctetCapacity = 512;

// The octets of a checked hex text, walked one by one; every read is bounded.
class OctetCursor {
 public:
  [[nodiscard]] std::size_t Offset() const { return 2 * at_; }
  [[nodiscard]] std::size_t OctetsLeft() const { return total_ - at_; }
  // Octets that may be read from the cursor on, loaded or not: the rest of the buffer.
  [[nodiscard]] std::size_t Readable() const { return octets_.size() - at_; }
  [[nodiscard]] std::span<const std::uint8_t> Next(std::size_t count) const {
    return std::span<const std::uint8_t>(octets_).subspan(at_, std::min(count, held_ - at_));
  }

  bool Take(std::uint8_t& octet) {
    if (at_ >= held_) {
      return false;
    }
    octet = octets_[at_++];
    return true;
  }
  bool Skip(std::size_t count) {
    if (held_ - at_ < count) {
      return false;
    }
    at_ += count;
    return true;
  }

  // Reads the whole text; the first character that is not a hex digit, or an odd count,
  // is the error.
  PduError Load(std::string_view text, std::size_t& offset) {
    if (text.empty()) {
      return PduError::kEmpty;
    }
    const std::size_t pairs = text.size() / 2;
    held_ = std::min(pairs, octets_.size());
    std::size_t good = hex::ReadPairs(text.data(), held_, octets_.data());
    // Past the capacity the digits are only checked, a block at a time.
    std::array<std::uint8_t, 64> spill;  // NOLINT: written, never read
    for (std::size_t at = held_; good == at && at < pairs; at += spill.size()) {
      good = at +
             hex::ReadPairs(text.data() + 2 * at, std::min(spill.size(), pairs - at), spill.data());
    }
    if (good < pairs) {
      offset = hex::DigitValue(text[2 * good]) < 0 ? 2 * good : 2 * good + 1;
      return PduError::kNotHex;
    }
    if (text.size() % 2 != 0) {
      offset = text.size() - 1;
      if (hex::DigitValue(text.back()) < 0) {
        return PduError::kNotHex;
      }
      offset = text.size();
      return PduError::kOddLength;
    }
    total_ = text.size() / 2;
    return PduError::kNone;
  }

 private:
  std::array<std::uint8_t, kOctetCapacity> octets_;  // NOLINT: only the first held_ are read
  std::size_t held_ = 0;
  std::size_t total_ = 0;
  std::size_t at_ = 0;
};

PduError Fail(PduReading& reading, PduError error, std::size_t offset) {
  reading.error = error;
  reading.errorOffset = offset;
  return error;
}

PduError Load(OctetCursor& cursor, std::string_view text, PduReading& reading) {
  std::size_t offset = 0;
  const PduError error = cursor.Load(text, offset);
  return error == PduError::kNone ? error : Fail(reading, error, offset);
}

// The characters of an address octet, low nibble first; the filler 0xF is a NUL, which ends
// the text. A table of pairs, so each octet is one two-byte copy.
constexpr std::array<std::array<char, 2>, 256> kAddressPairs = [] {
  std::array<std::array<char, 2>, 256> pairs{};
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    pairs[i] = {tpdu::kAddressDigits[i & 0x0FU], tpdu::kAddressDigits[i >> 4U]};
  }
  return pairs;
}();

PduError ReadAddress(OctetCursor& cursor, PduReading& reading) {
  const std::size_t start = cursor.Offset();
  std::uint8_t digits = 0;
  std::uint8_t type = 0;
  if (!cursor.Take(digits) || !cursor.Take(type)) {
    return Fail(reading, PduError::kTruncated, cursor.Offset());
  }
  if (digits > kMaxAddressDigits) {
    return Fail(reading, PduError::kAddressTooLong, start);
  }
  std::size_t at = 0;
  if ((type & tpdu::kTypeOfNumberMask) == tpdu::kTypeOfNumberInternational) {
    reading.number[at++] = '+';
  }
  const auto octets = cursor.Next((digits + 1U) / 2U);
  // Both characters of every octet; an odd count's last one is overwritten by the NUL. At
  // most '+', 20 digits and the NUL: the buffer holds them.
  for (const std::uint8_t octet : octets) {
    std::memcpy(reading.number + at, kAddressPairs[octet].data(), 2);
    at += 2;
  }
  if (octets.size() < (digits + 1U) / 2U) {
    cursor.Skip(octets.size());
    reading.number[0] = '\0';  // a number cut short is no number, and was not terminated
    return Fail(reading, PduError::kTruncated, cursor.Offset());
  }
  cursor.Skip(octets.size());
  reading.number[at - (digits % 2U)] = '\0';
  return PduError::kNone;
}

bool SplitFields(const char* text, std::size_t size, std::size_t readable, ScoreFields& fields);

// TP-UDL and TP-UD from the cursor on: the payload and its fields.
PduError ReadUserDataFields(OctetCursor& cursor, bool hasHeader, PduReading& reading) {
  const std::size_t udlOffset = cursor.Offset();
  std::uint8_t septets = 0;
  if (!cursor.Take(septets)) {
    return Fail(reading, PduError::kTruncated, cursor.Offset());
  }
  const std::size_t octets = (7U * septets + 7U) / 8U;
  if (cursor.OctetsLeft() < octets) {
    return Fail(reading, PduError::kUserDataTooLong, udlOffset);
  }
  const std::span<const std::uint8_t> userData = cursor.Next(octets);
  const std::size_t readable = cursor.Readable();
  cursor.Skip(octets);
  if (cursor.OctetsLeft() > 0) {
    return Fail(reading, PduError::kTrailingData, cursor.Offset());
  }
  std::size_t skip = 0;  // septets the user-data header and its fill bits take
  if (hasHeader) {
    const std::size_t headerOctets = userData.empty() ? 1 : std::size_t{userData[0]} + 1;
    skip = (headerOctets * 8 + 6) / 7;
    if (headerOctets > octets || skip > septets) {
      return Fail(reading, PduError::kHeaderTooLong, udlOffset + 2);
    }
  }
  reading.payloadLength = DecodeScoreSeptets(userData, readable, septets, skip, reading.payload);
  if (!SplitFields(reading.payload, reading.payloadLength, sizeof(reading.payload),
                   reading.fields)) {
    return Fail(reading, PduError::kBadPayloadFields, udlOffset + 2);
  }
  return PduError::kNone;
}

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

// The handle field's content into the fields. It fits: it is part of a payload no longer
// than the handle buffer.
bool CopyHandle(const char* text, std::size_t length, ScoreFields& fields) {
  fields.handleLength = std::min(length, sizeof(fields.handle) - 1);
  std::memcpy(fields.handle, text, fields.handleLength);
  fields.handle[fields.handleLength] = '\0';
  return true;
}

// A number field's content: a '-' and up to ten digits (so no overflow), or digits alone.
// `readable` bytes from `text` on may be read, past the content too.
bool ReadNumber(const char* text, std::size_t length, std::size_t readable, std::int64_t& value) {
  const bool negative = text[0] == '-';
  const std::size_t digits = length - (negative ? 1 : 0);
  std::uint64_t magnitude = 0;
  if constexpr (std::endian::native == std::endian::little) {
    if (digits >= 1 && digits <= 8 && readable >= length - digits + 8) {
      std::uint64_t word = 0;
      std::memcpy(&word, text + (length - digits), sizeof(word));
      if (!WordIsDigits(word, digits)) {
        return false;
      }
      magnitude = WordValue(word, digits);
      value =
          negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
      return true;
    }
  }
  if (digits < 1) {
    return false;
  }
  for (std::size_t i = length - digits; i < length; ++i) {
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
  return CopyHandle(text + start, size - start, fields);
}

#if BRINDLE_HEX_SSE2
constexpr std::size_t kHandleCopy = 32;
constexpr std::size_t kMaskedReadable = 32 + kHandleCopy;

// The split for a payload shorter than 32 bytes with kMaskedReadable bytes readable (a
// number's word or the handle's copy may start as far as byte 31), when it is a sound score
// payload with numbers of one to eight digits. Which bytes are decimal digits is known for all
// of them at once (one SSE2 mask): the fields are walked first, each start two length digits
// behind the end of the one before, then the digits of all three numbers are checked against
// the mask in one step, and each number is read as one word. Anything else is left to the byte
// split, so a payload that fails fails exactly as there.
bool SplitFieldsByMask(const char* text, std::size_t size, ScoreFields& fields) {
  const auto digitBits = [](const char* at) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));  // NOLINT
    const __m128i values = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
    const __m128i isDigit = _mm_cmpeq_epi8(_mm_min_epu8(values, _mm_set1_epi8(9)), values);
    return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(isDigit)));
  };
  const std::uint64_t digits =
      (digitBits(text) | digitBits(text + 16) << 16U) & ((std::uint64_t{1} << size) - 1U);
  const auto byBytes = [&] { return SplitFieldsByBytes(text, size, kMaskedReadable, fields); };
  std::array<std::size_t, 3> from;   // NOLINT: written for each number before it is read
  std::array<std::size_t, 3> count;  // NOLINT: as above
  std::uint64_t wanted = 0;          // the bytes the numbers' digits must be
  std::size_t at = 0;                // the field's two length digits; at most size
  std::size_t length = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    // Also false when fewer than two bytes are left: the mask is clear past the payload.
    if (((digits >> at) & 3U) != 3U) {
      return byBytes();
    }
    length = 10 * DigitOf(text[at]) + DigitOf(text[at + 1]);
    at += 2;
    if (length > size - at || i == 3) {
      break;
    }
    const std::size_t negative = text[at] == '-' ? 1 : 0;
    from[i] = at + negative;
    count[i] = length - negative;
    if (count[i] - 1 >= 8) {  // none, or more than eight digits
      return byBytes();
    }
    wanted |= ((std::uint64_t{1} << count[i]) - 1U) << from[i];
    at += length;
  }
  if (length < 1 || length != size - at || (digits & wanted) != wanted) {
    return byBytes();
  }
  std::int64_t* const numbers[] = {&fields.gameId, &fields.fixed, &fields.score};
  for (std::size_t i = 0; i < 3; ++i) {
    std::uint64_t word = 0;
    std::memcpy(&word, text + from[i], sizeof(word));
    const auto magnitude = static_cast<std::int64_t>(WordValue(word, count[i]));
    *numbers[i] = text[from[i] - 1] == '-' ? -magnitude : magnitude;
  }
  // The handle is under 30 bytes with 32 readable behind its start, and the handle buffer
  // holds 32: one fixed-size copy (two moves) instead of a library call that picks its way by
  // the length. The bytes past the handle's NUL are whatever followed it.
  static_assert(sizeof(fields.handle) >= kHandleCopy);
  std::memcpy(fields.handle, text + at, kHandleCopy);
  fields.handleLength = length;
  fields.handle[length] = '\0';
  return true;
}
#endif

bool SplitFields(const char* text, std::size_t size, std::size_t readable, ScoreFields& fields) {
#if BRINDLE_HEX_SSE2
  if (size < 32 && readable >= kMaskedReadable && std::endian::native == std::endian::little) {
    return SplitFieldsByMask(text, size, fields);
  }
#endif
  return SplitFieldsByBytes(text, size, readable, fields);
}

}  // namespace

bool SplitScorePayload(std::string_view payload, ScoreFields& fields) {
  return SplitFields(payload.data(), payload.size(), payload.size(), fields);
}

namespace {

// Empties a reading without clearing its buffers, which are written as far as they are read.
void Clear(PduReading& reading) {
  reading.type = PduType::kSubmit;
  reading.number[0] = '\0';
  reading.payload[0] = '\0';
  reading.payloadLength = 0;
  reading.fields.gameId = 0;
  reading.fields.fixed = 0;
  reading.fields.score = 0;
  reading.fields.handle[0] = '\0';
  reading.fields.handleLength = 0;
  reading.sentAt = TimeStamp{};
  reading.error = PduError::kNone;
  reading.errorOffset = 0;
}

}  // namespace

PduError ReadPdu(std::string_view text, PduReading& reading) {
#if BRINDLE_SCORE_PDU_AVX2
#if BRINDLE_SCORE_PDU_AVX512
  if (kCpuHasAvx512Vbmi) {
    return ReadPduOnePassFirstAvx512(text, reading);
  }
#endif
  if (kCpuHasAvx2Bmi2) {
    return ReadPduOnePassFirst(text, reading);
  }
#endif
  return ReadPduStepwise(text, reading);
}

PduError ReadPduStepwise(std::string_view text, PduReading& reading) {
  Clear(reading);
  OctetCursor cursor;
  if (const PduError error = Load(cursor, text, reading); error != PduError::kNone) {
    return error;
  }
  std::uint8_t serviceCentre = 0;
  cursor.Take(serviceCentre);
  if (serviceCentre > tpdu::kMaxServiceCentreOctets) {
    return Fail(reading, PduError::kServiceCentreTooLong, 0);
  }
  std::uint8_t first = 0;
  if (!cursor.Skip(serviceCentre) || !cursor.Take(first)) {
    return Fail(reading, PduError::kTruncated, text.size());
  }
  const unsigned messageType = first & tpdu::kMessageTypeMask;
  if (messageType != tpdu::kMessageTypeDeliver && messageType != tpdu::kMessageTypeSubmit) {
    return Fail(reading, PduError::kUnsupportedType, cursor.Offset() - 2);
  }
  reading.type = messageType == tpdu::kMessageTypeSubmit ? PduType::kSubmit : PduType::kDeliver;
  if (reading.type == PduType::kSubmit && !cursor.Skip(1)) {  // TP-MR
    return Fail(reading, PduError::kTruncated, text.size());
  }
  if (const PduError error = ReadAddress(cursor, reading); error != PduError::kNone) {
    return error;
  }
  std::uint8_t protocol = 0;
  std::uint8_t coding = 0;
  if (!cursor.Take(protocol) || !cursor.Take(coding)) {
    return Fail(reading, PduError::kTruncated, text.size());
  }
  if (!tpdu::IsGsmDefaultAlphabet(coding)) {
    return Fail(reading, PduError::kUnsupportedDcs, cursor.Offset() - 2);
  }
  if (reading.type == PduType::kDeliver) {
    const std::size_t stampOffset = cursor.Offset();
    const auto stamp = cursor.Next(kTimeStampOctets);
    if (stamp.size() < kTimeStampOctets || !cursor.Skip(kTimeStampOctets)) {
      return Fail(reading, PduError::kTruncated, text.size());
    }
    const int bad = DecodeTimeStamp(stamp.first<kTimeStampOctets>(), reading.sentAt);
    if (bad >= 0) {
      return Fail(reading, PduError::kBadTimeStamp,
                  stampOffset + 2 * static_cast<std::size_t>(bad));
    }
  } else {
    const auto format = static_cast<std::size_t>(tpdu::ValidityFormatOf(first));
    if (!cursor.Skip(tpdu::kValidityOctets[format])) {
      return Fail(reading, PduError::kTruncated, text.size());
    }
  }
  return ReadUserDataFields(cursor, (first & tpdu::kUserDataHeader) != 0, reading);
}

const char* DescribePduError(PduError error) {
  switch (error) {
    case PduError::kNone:
      return "no error";
    case PduError::kEmpty:
      return "no PDU text";
    case PduError::kNotHex:
      return "not a hex digit";
    case PduError::kOddLength:
      return "odd number of hex digits";
    case PduError::kTruncated:
      return "the text ends inside a field";
    case PduError::kServiceCentreTooLong:
      return "service-centre field longer than 11 octets";
    case PduError::kAddressTooLong:
      return "address longer than 20 digits";
    case PduError::kUnsupportedType:
      return "neither SMS-SUBMIT nor SMS-DELIVER";
    case PduError::kUnsupportedDcs:
      return "data coding is not the GSM 7-bit default alphabet";
    case PduError::kUserDataTooLong:
      return "user-data length needs more octets than the text holds";
    case PduError::kHeaderTooLong:
      return "user-data header runs past the user data";
    case PduError::kTrailingData:
      return "octets after the user data";
    case PduError::kBadPayloadFields:
      return "payload does not split into four fields (game id, 1, score, handle)";
    case PduError::kBadTimeStamp:
      return "service-centre time stamp is not a date and time";
  }
  return "unknown error";
}

}  // namespace brindle
