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

// Straight from the septets reads what unpacking them and reading the text pair by pair reads:
// random octets of score-text characters (now and then another septet, which may end the
// payload, or a missing octet), any count and skip, into buffers of two sizes.
TEST(DecodeScoreSeptets, ReadsWhatTheTextReads) {
  std::mt19937 random(20261207);  // NOLINT(cert-msc32-c,cert-msc51-cpp): repeatable cases
  const std::string characters = "0123456789ABCDEFabcdef";
  for (int round = 0; round < 600; ++round) {
    std::string text;
    for (std::size_t i = random() % 200; i > 0; --i) {
      text += random() % 30 == 0 ? static_cast<char>(random() % 128)
                                 : characters[random() % characters.size()];
    }
    std::vector<std::uint8_t> octets((7 * text.size() + 7) / 8);
    for (std::size_t i = 0; i < text.size(); ++i) {  // septet i in bits 7i to 7i + 6
      const auto septet = static_cast<unsigned char>(text[i]);
      octets[7 * i / 8] |= static_cast<std::uint8_t>(septet << (7 * i % 8));
      if (7 * i % 8 > 1) {
        octets[7 * i / 8 + 1] |= static_cast<std::uint8_t>(septet >> (8 - 7 * i % 8));
      }
    }
    const auto dropped =
        static_cast<std::ptrdiff_t>(std::min<std::size_t>(octets.size(), random() % 3));
    octets.erase(octets.end() - dropped, octets.end());  // the last 0 to 2 octets missing
    const int count = static_cast<int>(random() % (text.size() + 3));
    const std::size_t skip = random() % 8;
    std::string unpacked;  // septets past the octets read as zero
    for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
      const std::size_t at = 7 * i / 8;
      const unsigned window = (at < octets.size() ? unsigned{octets[at]} : 0U) |
                              (at + 1 < octets.size() ? unsigned{octets[at + 1]} << 8U : 0U);
      unpacked += static_cast<char>((window >> (7 * i % 8)) & 0x7FU);
    }
    // The text behind the marker, read pair by pair as ParseHexByte reads a pair.
    const std::string_view digits =
        std::string_view(unpacked).substr(std::min(skip + 4, unpacked.size()));
    std::array<char, kDecodedPayloadCapacity> got;  // NOLINT: filled with garbage below
    got.fill('#');                                  // so that a payload left unterminated shows
    const std::size_t room = round % 4 == 0 ? 20 : got.size();
    std::string want;
    for (std::size_t at = 0; at + 1 < digits.size() && want.size() + 1 < room; at += 2) {
      const auto byte = UnscrambleByte(static_cast<std::uint8_t>(ParseHexByte(digits.substr(at))));
      if (byte == 0) {
        break;
      }
      want += static_cast<char>(byte);
    }
    const std::size_t n = DecodeScoreSeptets(octets, count, skip, std::span(got).first(room));
    ASSERT_EQ(n, want.size()) << text;
    EXPECT_EQ(std::string(got.data(), n), want) << text;
    EXPECT_EQ(got[n], '\0') << text;
  }
}

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

}  // namespace
}  // namespace brindle
