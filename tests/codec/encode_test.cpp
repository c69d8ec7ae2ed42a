// The way out: score payload, scramble and score text, address, whole PDU.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstdint>
#include <string>

#include "base/text.h"
#include "codec/hex.h"
#include "codec/payload_decode.h"
#include "codec/score_payload.h"
#include "codec/submit_pdu.h"

namespace brindle {
namespace {

TEST(BuildScorePayload, FieldsAsTheSendSequenceWritesThem) {
  struct Row {
    std::int32_t gameId;
    std::int32_t score;
    std::u16string handle;
    std::string payload;  // empty: refused
  };
  const Row rows[] = {
      {42, 12345, u"Ann", "0242011051234503Ann"},
      {0, 99999999, u"ab",
       "01001108999999990"
       "2ab"},
      {-5, INT32_MIN, u"\xE9t\xE9", "02-501111-214748364803\xE9t\xE9"},  // kept whole
      {1, 2, u"\x20AC\x5B57",
       "0110110120"
       "2??"},  // beyond Latin-1: one '?' each
      {1, 2, std::u16string(120, u'x'),
       "011011012"
       "99" +
           std::string(99, 'x')},
      {1, 100000000, u"ab", ""},
      {1, 2, u"", ""},
  };
  for (const Row& row : rows) {
    std::array<char, kPayloadCapacity> payload{'x'};
    EXPECT_EQ(BuildScorePayload(row.gameId, row.score, row.handle, payload), row.payload.size());
    EXPECT_EQ(std::string(payload.data()), row.payload);
  }
  std::array<char, 20> exact{};  // 19 and the NUL
  EXPECT_EQ(BuildScorePayload(42, 12345, u"Ann", exact), 19U);
  EXPECT_EQ(BuildScorePayload(42, 12345, u"Ann", std::span(exact).first(19)), 0U);
}

TEST(Scramble, KnownBytesAndOnlyFourFixedPoints) {
  EXPECT_EQ(ScrambleByte(0x30), 0x06);
  EXPECT_EQ(ScrambleByte(0x6E), 0x6D);
  EXPECT_EQ(ScrambleByte(0xE9), 0x9D);
  int fixed = 0;
  for (int b = 0; b < 256; ++b) {
    const auto byte = static_cast<std::uint8_t>(b);
    fixed += ScrambleByte(byte) == byte ? 1 : 0;
    EXPECT_EQ(UnscrambleByte(ScrambleByte(byte)), byte);
  }
  EXPECT_EQ(fixed, 4);  // 0x00, 0x7F, 0x80, 0xFF
}

TEST(EncodeScoreText, ScrambledHexBehindTheMarkerUpToEightyBytes) {
  std::array<char, kPayloadCapacity> payload{};
  std::array<char, kScoreTextCapacity> text{};
  CopyText(std::string_view("0242011051234503Ann"), payload);
  ASSERT_EQ(EncodeScoreText(payload, text), 1);
  EXPECT_STREQ(text.data(), "MID 06264626061616065616263646560636186D6D");
  EXPECT_EQ(std::string(payload.data()), "0242011051234503Ann");  // left as it was

  CopyText(std::string(80, '5'), payload);
  EXPECT_EQ(EncodeScoreText(payload, text), 1);
  EXPECT_EQ(std::string(text.data()).size(), 164U);
  CopyText(std::string(81, '5'), payload);
  EXPECT_EQ(EncodeScoreText(payload, text), 0);
}

TEST(BuildSubmitPdu, KnownMessagesAndRefusals) {
  const auto build = [](const std::string& number, const std::string& text, std::size_t room) {
    std::array<char, kPayloadCapacity> payload{};
    CopyText(text, payload);
    std::array<char, kPduTextCapacity> pdu{};
    const int result = BuildSubmitPdu(std::span<char>(pdu).first(room), number, payload);
    return std::pair{result, std::string(pdu.data())};
  };
  const std::string ann =
      "0011000C912143658709210000AA2ACD241104B3C96C349BCC06B3C56C311BCC56B3C56C32DBCC46B3D56C30DB"
      "CC16C3D9883622";
  EXPECT_EQ(build("+123456789012", "0242011051234503Ann", 105), std::pair(1, ann));
  EXPECT_EQ(build("+123456789012", "0242011051234503Ann", 104), std::pair(0, std::string()));
  // The address: digit count, type, swapped digit pairs.
  EXPECT_EQ(build("+123456789012", "", 512).second, "0011000C912143658709210000AA04CD241104");
  EXPECT_EQ(build("7654321", "", 512).second, "0011000781674523F10000AA04CD241104");
  EXPECT_EQ(build("", "", 512).second,
            "001100008100"
            "00AA04CD241104");
  EXPECT_EQ(build("12*#", "", 512).second, "001100048121BA0000AA04CD241104");
  EXPECT_EQ(build("+123456789012345678901", "", 512).first, 0);     // more than 20 digits
  EXPECT_EQ(build("12-34", "", 512), std::pair(0, std::string()));  // no digit for '-'
  // 160 septets is all one message holds: "MID " and 78 bytes.
  EXPECT_EQ(build("+123456789012", std::string(78, '7'), 512).second.size(), 310U);
  EXPECT_EQ(build("+123456789012", std::string(79, '7'), 512).first, 0);
}

}  // namespace
}  // namespace brindle
