#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstdint>
#include <string>

#include "base/text.h"
#include "codec/score_payload.h"

namespace brindle {
namespace {

using Payload = std::array<char, kPayloadCapacity>;

std::string Text(const Payload& payload, std::uint32_t position) {
  return {payload.data(), position};
}

TEST(AppendTextField, PrefixesTheCharacterCount) {
  struct Row {
    std::u16string text;
    std::string field;
  };
  const Row rows[] = {
      {u"ab", "02ab"},
      {u"123456789", "09123456789"},
      {u"1234567890", "101234567890"},
      {u"\xE9t\xE9", "03\xE9t\xE9"},
      {u"\x20AC\x5B57", "02??"},  // beyond Latin-1: still one byte per character
  };
  for (const Row& row : rows) {
    Payload payload{};
    std::uint32_t position = 0;
    EXPECT_EQ(AppendTextField(row.text, payload, position), 1);
    EXPECT_EQ(Text(payload, position), row.field);
  }
}

TEST(AppendTextField, CutsAtNinetyNineCharacters) {
  const std::u16string text(120, u'x');
  Payload payload{};
  std::uint32_t position = 0;
  ASSERT_EQ(AppendTextField(text, payload, position), 1);
  EXPECT_EQ(position, 101U);
  EXPECT_EQ(Text(payload, position), "99" + std::string(99, 'x'));
}

TEST(AppendTextField, RefusesEmptyTextAndFieldsThatDoNotFit) {
  Payload payload{};
  std::uint32_t position = 0;
  EXPECT_EQ(AppendTextField(u"", payload, position), 0);
  EXPECT_EQ(position, 0U);

  std::array<char, 6> small{};
  position = 1;
  EXPECT_EQ(AppendTextField(u"abcd", small, position), 0);  // needs 6 bytes from 1
  EXPECT_EQ(position, 1U);
  EXPECT_EQ(small, (std::array<char, 6>{}));
  EXPECT_EQ(AppendTextField(u"abc", small, position), 1);
  EXPECT_EQ(position, 6U);
  position = 99;  // beyond the buffer
  EXPECT_EQ(AppendTextField(u"a", small, position), 0);
}

TEST(AppendNumberField, WritesDecimalFields) {
  struct Row {
    std::int32_t value;
    int result;
    std::string field;
  };
  const Row rows[] = {
      {0, 1, "010"},
      {1, 1, "011"},
      {99999999, 1, "0899999999"},
      {100000000, 0, ""},
      {INT32_MAX, 0, ""},
      {-5, 1, "02-5"},
      {-99999999, 1, "09-99999999"},
      {-100000000, 1, "10-100000000"},  // kept whole rather than cut
      {INT32_MIN, 1, "11-2147483648"},
  };
  for (const Row& row : rows) {
    Payload payload{};
    std::uint32_t position = 0;
    EXPECT_EQ(AppendNumberField(row.value, payload, position), row.result) << row.value;
    EXPECT_EQ(Text(payload, position), row.field) << row.value;
  }
}

TEST(ScorePayload, FieldsOfTheSendSequence) {
  struct Row {
    std::int32_t gameId;
    std::int32_t score;
    std::u16string handle;
    std::string payload;
  };
  const Row rows[] = {
      {0, 0, u"ab", "01001101002ab"},
      {42, 12345, u"Ann", "0242011051234503Ann"},
      {42, 5000, u"Bob", "024201104500003Bob"},
  };
  for (const Row& row : rows) {
    Payload payload{};
    const std::size_t length = BuildScorePayload(row.gameId, row.score, row.handle, payload);
    EXPECT_EQ(std::string(payload.data()), row.payload);
    EXPECT_EQ(length, row.payload.size());
  }
}

TEST(ScorePayload, RefusesAFieldOrAnOutputTooSmall) {
  std::array<char, 20> payload{'x'};
  EXPECT_EQ(BuildScorePayload(42, 12345, u"Ann", payload), 19U);  // 19 and the NUL
  EXPECT_EQ(BuildScorePayload(42, 12345, u"Ann", std::span(payload).first(19)), 0U);
  EXPECT_EQ(payload[0], '\0');
  EXPECT_EQ(BuildScorePayload(42, 100000000, u"Ann", payload), 0U);
  EXPECT_EQ(BuildScorePayload(42, 12345, u"", payload), 0U);
}

TEST(Scramble, KnownValues) {
  struct Row {
    std::uint8_t plain;
    std::uint8_t scrambled;
  };
  const Row rows[] = {
      {0x30, 0x06}, {0x37, 0x76}, {0x38, 0x07}, {0x39, 0x17}, {0x2D, 0x55}, {0x20, 0x04},
      {0x41, 0x18}, {0x42, 0x28}, {0x61, 0x1C}, {0x6E, 0x6D}, {0xE9, 0x9D},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ScrambleByte(row.plain), row.scrambled) << static_cast<int>(row.plain);
    EXPECT_EQ(UnscrambleByte(row.scrambled), row.plain) << static_cast<int>(row.plain);
  }
}

TEST(Scramble, OnlyFourBytesAreFixedAndEveryByteComesBack) {
  int fixed = 0;
  for (int b = 0; b < 256; ++b) {
    const auto byte = static_cast<std::uint8_t>(b);
    fixed += ScrambleByte(byte) == byte ? 1 : 0;
    EXPECT_EQ(UnscrambleByte(ScrambleByte(byte)), byte);
  }
  EXPECT_EQ(fixed, 4);  // 0x00, 0x7F, 0x80, 0xFF
}

struct Encoded {
  int result;
  std::string payloadAfter;
  std::string scoreText;
};

Encoded Encode(const std::string& text, std::size_t outSize = kScoreTextCapacity) {
  Payload payload{};
  CopyText(text, payload);
  std::array<char, kScoreTextCapacity> out{};
  const int result = EncodeScoreText(payload, std::span<char>(out).first(outSize));
  return {result, std::string(TerminatedView(std::span<const char>(payload))),
          std::string(TerminatedView(std::span<const char>(out)))};
}

TEST(EncodeScoreText, KnownMessages) {
  const Encoded ann = Encode("0242011051234503Ann");
  EXPECT_EQ(ann.result, 1);
  EXPECT_EQ(ann.scoreText, "MID 06264626061616065616263646560636186D6D");
  EXPECT_EQ(ann.payloadAfter,
            "\x06\x26\x46\x26\x06\x16\x16\x06\x56\x16\x26\x36\x46\x56\x06\x36"
            "\x18\x6D\x6D");
  EXPECT_EQ(Encode("").scoreText, "MID ");
}

TEST(EncodeScoreText, TakesEightyBytesAndRefusesMore) {
  const Encoded eighty = Encode(std::string(80, '5'));
  EXPECT_EQ(eighty.result, 1);
  EXPECT_EQ(eighty.scoreText.size(), 164U);

  const Encoded tooLong = Encode(std::string(81, '5'));
  EXPECT_EQ(tooLong.result, 0);
  EXPECT_EQ(tooLong.payloadAfter, std::string(81, '5'));  // left unscrambled
  EXPECT_EQ(tooLong.scoreText, "");

  const Encoded cramped = Encode("0242011051234503Ann", 42);  // room for 41 and the NUL only
  EXPECT_EQ(cramped.result, 0);
  EXPECT_EQ(cramped.payloadAfter, "0242011051234503Ann");
}

TEST(EncodeScoreText, EncodingTwiceScramblesTwice) {
  Payload payload{};
  CopyText(std::string("0242011051234503Ann"), payload);
  std::array<char, kScoreTextCapacity> first{};
  std::array<char, kScoreTextCapacity> second{};
  EncodeScoreText(payload, first);
  EncodeScoreText(payload, second);
  EXPECT_STRNE(first.data(), second.data());
}

}  // namespace
}  // namespace brindle
