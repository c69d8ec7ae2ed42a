// Generated score messages, encoded and read back through both readers.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <string>

#include "base/text.h"
#include "codec/payload_decode.h"
#include "codec/pdu_reader.h"
#include "codec/score_payload.h"
#include "codec/submit_pdu.h"

namespace brindle {
namespace {

struct Message {
  std::int32_t gameId;
  std::int32_t score;
  std::u16string handle;
  std::string number;
};

Message RandomMessage(std::mt19937& random) {
  std::uniform_int_distribution<std::int32_t> value(-99999999, kMaxFieldNumber);
  std::uniform_int_distribution<int> length(2, 15);
  std::uniform_int_distribution<int> character(1, 0xFF);
  std::uniform_int_distribution<int> digits(1, 20);
  std::uniform_int_distribution<int> digit(0, 9);
  Message message{value(random), value(random), {}, random() % 2 == 0 ? "+" : ""};
  for (int i = length(random); i > 0; --i) {
    message.handle += static_cast<char16_t>(character(random));
  }
  for (int i = digits(random); i > 0; --i) {
    message.number += static_cast<char>('0' + digit(random));
  }
  return message;
}

TEST(RoundTrip, GeneratedMessagesReadBackWhole) {
  std::mt19937 random(20261206);  // NOLINT(cert-msc32-c,cert-msc51-cpp): repeatable cases
  for (int i = 0; i < 400; ++i) {
    const Message message = RandomMessage(random);
    std::array<char, kPayloadCapacity> payload{};
    const std::string plain(
        payload.data(), BuildScorePayload(message.gameId, message.score, message.handle, payload));

    std::array<char, kPduTextCapacity> pdu{};
    ASSERT_EQ(BuildSubmitPdu(pdu, message.number, payload), 1);
    const std::string_view text = TerminatedView(std::span<const char>(pdu));

    PduReading reading;
    ASSERT_EQ(ReadPdu(text, reading), PduError::kNone) << text;
    EXPECT_EQ(std::string(reading.number), message.number);
    EXPECT_EQ(std::string(reading.payload, reading.payloadLength), plain);
    EXPECT_EQ(reading.fields.gameId, message.gameId);
    EXPECT_EQ(reading.fields.fixed, 1);
    EXPECT_EQ(reading.fields.score, message.score);
    std::array<char, 16> handle{};
    const std::size_t n = NarrowText(message.handle, handle);
    EXPECT_EQ(std::string(reading.fields.handle, reading.fields.handleLength),
              std::string(handle.data(), n));

    // The user data from TP-UDL on, as DecodeScoreText takes it.
    const std::size_t udl =
        6 + 4 + (message.number.size() - (message.number[0] == '+' ? 1 : 0) + 1) / 2 * 2 + 6;
    std::array<char, kDecodedPayloadCapacity> decoded{};
    DecodeScoreText(text.substr(udl), decoded);
    EXPECT_EQ(std::string(decoded.data()), plain);
  }
}

}  // namespace
}  // namespace brindle
