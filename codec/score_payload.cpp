#include "codec/score_payload.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "base/text.h"
#include "codec/hex.h"

namespace brindle {
namespace {

// Appends `text` (first 99 characters at most) as one field at `position` and advances it.
// Returns 0 with nothing written for an empty text, or when the field does not fit in `buffer`.
int AppendTextField(std::u16string_view text, std::span<char> buffer, std::uint32_t& position) {
  std::size_t n = text.size();
  if (n < 1) {
    return 0;
  }
  n = std::min(n, kMaxFieldLength);
  if (position > buffer.size() || buffer.size() - position < 2 + n) {
    return 0;
  }
  auto* at = buffer.data() + position;
  at[0] = static_cast<char>('0' + n / 10);
  at[1] = static_cast<char>('0' + n % 10);
  NarrowText(text.substr(0, n), buffer.subspan(position + 2, n));
  position += static_cast<std::uint32_t>(2 + n);
  return 1;
}

// Appends the decimal text of `value` as a field. Returns 0 for a value above 99,999,999.
int AppendNumberField(std::int32_t value, std::span<char> buffer, std::uint32_t& position) {
  if (value > kMaxFieldNumber || position > buffer.size() || buffer.size() - position < 2) {
    return 0;
  }
  // Every int32 fits, so values below -99,999,999 keep all their digits (eleven at most).
  char* at = buffer.data() + position;
  const auto result = std::to_chars(at + 2, buffer.data() + buffer.size(), value);
  if (result.ec != std::errc{}) {
    return 0;
  }
  const auto n = static_cast<std::size_t>(result.ptr - (at + 2));
  at[0] = static_cast<char>('0' + n / 10);
  at[1] = static_cast<char>('0' + n % 10);
  position += static_cast<std::uint32_t>(2 + n);
  return 1;
}

}  // namespace

std::size_t BuildScorePayload(std::int32_t gameId, std::int32_t score, std::u16string_view handle,
                              std::span<char> out) {
  if (out.empty()) {
    return 0;
  }
  const auto fields = out.first(out.size() - 1);  // room for the NUL
  std::uint32_t position = 0;
  if (AppendNumberField(gameId, fields, position) == 0 ||
      AppendNumberField(1, fields, position) == 0 ||
      AppendNumberField(score, fields, position) == 0 ||
      AppendTextField(handle, fields, position) == 0) {
    out[0] = '\0';
    return 0;
  }
  out[position] = '\0';
  return position;
}

int EncodeScoreText(std::span<const char> payload, std::span<char> out) {
  const std::size_t n = TerminatedView(payload).size();
  if (n > kMaxEncodedPayload || out.size() < kScoreTextMarker.size() + 2 * n + 1) {
    return 0;
  }
  char* at = std::copy(kScoreTextMarker.begin(), kScoreTextMarker.end(), out.data());
  for (const char c : payload.first(n)) {
    hex::WritePair(ScrambleByte(static_cast<std::uint8_t>(c)), at);
    at += 2;
  }
  *at = '\0';
  return 1;
}

}  // namespace brindle
