// The way back: hex digits, septets, the score text.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "codec/gsm_alphabet.h"
#include "codec/hex.h"
#include "codec/payload_decode.h"
#include "codec/score_payload.h"

namespace brindle {
namespace {

TEST(ParseHexByte, LongestHexPrefixOfThePair) {
  const std::pair<std::string, int> rows[] = {
      {"6d", 0x6D}, {"fF", 0xFF}, {"6Z", 6}, {"Z6", 0}, {"", 0}, {"7", 7}, {"1234", 0x12},
  };
  for (const auto& [pair, value] : rows) {
    EXPECT_EQ(ParseHexByte(pair), value) << '"' << pair << '"';
  }
}

TEST(DecodeScoreText, KnownUserData) {
  const std::pair<std::string, std::string> rows[] = {
      {"2ACD241104B3C96C349BCC06B3C56C311BCC56B3C56C32DBCC46B3D56C30DBCC16C3D9883622",
       "0242011051234503Ann"},
      {"04CD241104", ""},
      {"", ""},
      {"07CD241104B3C50C", "0"},  // "061": the odd last digit is ignored
      {"FF", ""},                 // count far beyond the data: '@' septets are not hex
  };
  for (const auto& [userData, payload] : rows) {
    std::array<char, kDecodedPayloadCapacity> out{};
    EXPECT_EQ(DecodeScoreText(userData, out), 1);
    EXPECT_EQ(std::string(out.data()), payload) << userData;
  }
  std::array<char, kDecodedPayloadCapacity> out{};
  DecodeScoreText("FF" + std::string(448, '6'), out);  // the longest count
  EXPECT_NE(std::memchr(out.data(), '\0', out.size()), nullptr);
}

std::mt19937& Random() {
  static std::mt19937 random(20261207);  // NOLINT(cert-msc32-c,cert-msc51-cpp): repeatable
  return random;
}

// Septet values stand in for their characters when reading hex: the alphabet maps every hex
// digit to itself and nothing else to a hex digit.
TEST(Septets, ValuesReadAsHexLikeTheirCharacters) {
  for (int septet = 0; septet < kSeptetCount; ++septet) {
    const auto value = static_cast<char>(septet);
    EXPECT_EQ(hex::DigitValue(value),
              hex::DigitValue(CharOfSeptet(static_cast<std::uint8_t>(septet))))
        << septet;
  }
}

// Random payloads (a zero byte now and then ends them) through the byte loop, and the same
// score text, packed bit by bit as septets behind a few others, through the septet decoder
// (which unpacks eight at a time); a third of the texts get a stray character.
TEST(Septets, DecodeAsTheirText) {
  for (int round = 0; round < 600; ++round) {
    std::string text(kScoreTextMarker);
    std::string want;
    const std::size_t bytes = Random()() % 60;
    bool ended = false;
    for (std::size_t i = 0; i < bytes; ++i) {
      const auto byte = static_cast<std::uint8_t>(Random()() % 40 == 0 ? 0 : Random()());
      text.append(hex::kPairs[byte].data(), 2);
      ended = ended || byte == 0;
      if (!ended) {
        want += static_cast<char>(UnscrambleByte(byte));
      }
    }
    const bool stray = round % 3 == 0 && bytes > 0;
    if (stray) {
      text[4 + Random()() % (2 * bytes)] = "g@:/ `G"[Random()() % 7];
    }
    std::array<char, kDecodedPayloadCapacity> got{};
    const std::span<char> out = std::span(got).first(round % 4 == 0 ? 20 : got.size());
    const std::size_t length = DecodeScoreTextFromText(text, out);
    if (!stray) {
      EXPECT_EQ(std::string(got.data(), length), want.substr(0, out.size() - 1)) << text;
    }
    const std::size_t skip = Random()() % 4;
    const std::size_t count = skip + text.size();
    std::vector<std::uint8_t> octets(300);
    for (std::size_t bit = 0; bit < 7 * count; ++bit) {
      const unsigned septet = bit / 7 < skip ? 0x55U : SeptetOf(text[bit / 7 - skip]);
      octets[bit / 8] |= static_cast<std::uint8_t>(((septet >> (bit % 7)) & 1U) << (bit % 8));
    }
    const auto packed = std::span(octets).first((7 * count + 7) / 8);
    std::array<char, kDecodedPayloadCapacity> viaSeptets{};
    const auto into = std::span(viaSeptets).first(out.size());
    EXPECT_EQ(DecodeScoreSeptets(packed, static_cast<int>(count), skip, into), length);
    EXPECT_EQ(viaSeptets, got) << text;
    // Octets past the span count as zero, though the word-wise unpacking may read them.
    std::vector<std::uint8_t> zeroed(octets);
    zeroed[packed.size() - 1] = 0;
    std::array<char, kDecodedPayloadCapacity> cut{};
    std::array<char, kDecodedPayloadCapacity> padded{};
    EXPECT_EQ(DecodeScoreSeptets(packed.first(packed.size() - 1), static_cast<int>(count), skip,
                                 std::span(cut).first(out.size())),
              DecodeScoreSeptets(std::span(zeroed).first(packed.size()), static_cast<int>(count),
                                 skip, std::span(padded).first(out.size())));
    EXPECT_EQ(cut, padded) << text;
  }
}

}  // namespace
}  // namespace brindle
