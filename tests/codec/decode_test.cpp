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

// Random score texts, now and then with a zero byte (which ends the payload) or a character
// that is not a hex digit (its pair reads as ParseHexByte reads it), into buffers of two sizes.
TEST(DecodeScoreTextFromText, PairByPairAsParseHexByteReadsThem) {
  std::mt19937 random(20261207);  // NOLINT(cert-msc32-c,cert-msc51-cpp): repeatable cases
  for (int round = 0; round < 600; ++round) {
    std::string text(kScoreTextMarker);
    for (std::size_t i = random() % 60; i > 0; --i) {
      text.append(hex::kPairs[random() % 40 == 0 ? 0 : random() % 256].data(), 2);
    }
    if (round % 3 == 0 && text.size() > 4) {
      text[4 + random() % (text.size() - 4)] = "g@:/ `G"[random() % 7];
    }
    std::array<char, kDecodedPayloadCapacity> got{};
    const std::span<char> out = std::span(got).first(round % 4 == 0 ? 20 : got.size());
    std::string want;
    for (std::size_t at = 4; at + 1 < text.size() && want.size() + 1 < out.size(); at += 2) {
      const auto byte = UnscrambleByte(static_cast<std::uint8_t>(ParseHexByte(text.substr(at))));
      if (byte == 0) {
        break;
      }
      want += static_cast<char>(byte);
    }
    EXPECT_EQ(DecodeScoreTextFromText(text, out), want.size()) << text;
    EXPECT_EQ(std::string(got.data()), want) << text;
  }
}

}  // namespace
}  // namespace brindle
