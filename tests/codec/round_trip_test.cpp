// Generated score messages, encoded and read back on every path; the paths agree on them and
// on damaged copies. Each reading goes into memory filled with garbage, as a batch reader
// reuses one reading.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "base/text.h"
#include "codec/hex.h"
#include "codec/payload_decode.h"
#include "codec/score_payload.h"
#include "codec/score_reader.h"
#include "codec/submit_pdu.h"
#include "codec/time_stamp.h"
#include "tests/codec/paths.h"

namespace brindle {
namespace {

struct Message {
  std::int32_t gameId;
  std::int32_t score;
  std::u16string handle;
  std::string number;
};

// A number of one to eight digits, either sign: drawn evenly from the whole range, nearly
// every one would have eight.
std::int32_t RandomNumber(std::mt19937& random) {
  std::uniform_int_distribution<int> digits(1, 8);
  std::uniform_int_distribution<std::int32_t> digit(0, 9);
  std::int32_t magnitude = 0;
  for (int i = digits(random); i > 0; --i) {
    magnitude = magnitude * 10 + digit(random);
  }
  return random() % 2 == 0 ? -magnitude : magnitude;
}

Message RandomMessage(std::mt19937& random) {
  std::uniform_int_distribution<int> length(2, 15);
  std::uniform_int_distribution<int> character(1, 0xFF);
  std::uniform_int_distribution<int> digits(1, 20);
  std::uniform_int_distribution<int> digit(0, 9);
  Message message{RandomNumber(random), RandomNumber(random), {}, random() % 2 == 0 ? "+" : ""};
  for (int i = length(random); i > 0; --i) {
    message.handle += static_cast<char16_t>(character(random));
  }
  for (int i = digits(random); i > 0; --i) {
    message.number += static_cast<char>('0' + digit(random));
  }
  return message;
}

// Generated messages read back whole; and on them as SUBMITs and DELIVERs, and on copies with
// one character changed or cut short, every path reads what the portable one reads.
TEST(RoundTrip, ReadBackWholeAndPathsAgree) {
  std::mt19937 random(20261207);  // NOLINT(cert-msc32-c,cert-msc51-cpp): repeatable cases
  for (int i = 0; i < 400; ++i) {
    const Message message = RandomMessage(random);
    std::array<char, kPayloadCapacity> payload{};
    const std::string plain(
        payload.data(), BuildScorePayload(message.gameId, message.score, message.handle, payload));
    std::array<char, kPduTextCapacity> pdu{};
    ASSERT_EQ(BuildSubmitPdu(pdu, message.number, payload), 1);
    const std::string submit(TerminatedView(std::span<const char>(pdu)));
    PduReading& read = Garbled();
    ASSERT_EQ(ReadScorePdu(submit, read), PduError::kNone) << submit;
    std::array<char, 16> handle{};
    const std::string narrowed(handle.data(), NarrowText(message.handle, handle));
    EXPECT_EQ(std::tuple(std::string(read.pdu.address.number.data()),
                         std::string(read.payload, read.payloadLength), read.fields.gameId,
                         read.fields.fixed, read.fields.score,
                         std::string(read.fields.handle, read.fields.handleLength)),
              std::tuple(message.number, plain, std::int64_t{message.gameId}, std::int64_t{1},
                         std::int64_t{message.score}, narrowed));
    // The user data from TP-UDL on, as DecodeScoreText takes it.
    std::array<char, kDecodedPayloadCapacity> decoded{};
    DecodeScoreText(
        std::string_view(submit).substr(submit.size() - 2 * read.pdu.userDataOctets - 2), decoded);
    EXPECT_EQ(std::string(decoded.data()), plain);
    // The same message as a phone lists it received, through a service centre.
    Pdu received = read.pdu;
    received.messageType = MessageType::kDeliver;
    SetAddress("+447700900001", received.serviceCentre);
    received.serviceCentreTimeStamp = {true, 2026, 12, 6, 20, 30, 15, -4};
    std::array<char, kPduTextCapacity> deliver{};
    ASSERT_NE(WritePdu(received, deliver), 0U);
    for (std::string text : {submit, std::string(deliver.data())}) {
      for (int change = 0; change < 4; ++change) {
        ExpectPathsAgree(text);
        if (change == 2 && random() % 4 == 0) {
          text.resize(1 + random() % text.size());
        } else {
          // Mostly another digit; now and then a character of each class that is not one.
          constexpr std::string_view kCharacters = {"0123456789ABCDEFabcdef/:@G`g\x00\x80\xFF", 31};
          text[random() % text.size()] = kCharacters[random() % kCharacters.size()];
        }
      }
    }
  }
}

}  // namespace
}  // namespace brindle
