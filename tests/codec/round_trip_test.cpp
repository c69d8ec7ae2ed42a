// Generated score messages, encoded and read back through both readers.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "base/text.h"
#include "codec/hex.h"
#include "codec/payload_decode.h"
#include "codec/pdu_reader.h"
#include "codec/score_payload.h"
#include "codec/score_pdu_one_pass.h"
#include "codec/submit_pdu.h"
#include "codec/time_stamp.h"

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

// Everything a reading holds, as text, so two readings compare in one step.
std::string Describe(const PduReading& r) {
  std::array<char, kTimeStampTextCapacity> sent{};
  FormatTimeStamp(r.sentAt, sent);
  return std::to_string(static_cast<int>(r.type)) + " " + r.number + " " +
         std::string(r.payload, r.payloadLength) + " " + std::to_string(r.fields.gameId) + " " +
         std::to_string(r.fields.fixed) + " " + std::to_string(r.fields.score) + " " +
         std::string(r.fields.handle, r.fields.handleLength) + "|" + r.fields.handle + " " +
         sent.data() + " " + std::to_string(static_cast<int>(r.error)) + "@" +
         std::to_string(r.errorOffset);
}

// ReadPdu, and each one-pass reader this processor runs besides the one ReadPdu picks.
std::vector<PduError (*)(std::string_view, PduReading&)> FastReaders() {
  std::vector<PduError (*)(std::string_view, PduReading&)> readers = {ReadPdu};
#if BRINDLE_SCORE_PDU_AVX2
  if (kCpuHasAvx2Bmi2) {
    readers.push_back(ReadPduOnePassFirst);
  }
#endif
#if BRINDLE_SCORE_PDU_AVX512
  if (kCpuHasAvx512Vbmi) {
    readers.push_back(ReadPduOnePassFirstAvx512);
  }
#endif
  return readers;
}

// ReadPdu reads the usual shape of a score message in one pass; on generated SUBMITs and
// DELIVERs, and on copies with one digit changed or cut short, every one-pass reader gives
// what the stepwise reader gives.
TEST(RoundTrip, OnePassReaderAgreesWithTheStepwiseOne) {
  const auto readers = FastReaders();
  std::mt19937 random(20261207);  // NOLINT(cert-msc32-c,cert-msc51-cpp): repeatable cases
  for (int i = 0; i < 400; ++i) {
    const Message message = RandomMessage(random);
    std::array<char, kPayloadCapacity> payload{};
    BuildScorePayload(message.gameId, message.score, message.handle, payload);
    std::array<char, kPduTextCapacity> pdu{};
    ASSERT_EQ(BuildSubmitPdu(pdu, message.number, payload), 1);
    const std::string submit(TerminatedView(std::span<const char>(pdu)));
    // The same message as a phone lists it received: TP-OA where TP-DA was, a time stamp
    // where the validity was.
    const std::size_t address =
        4 + (message.number.size() - (message.number[0] == '+' ? 1 : 0) + 1) / 2 * 2;
    const std::string deliver = "0004" + submit.substr(6, address) + "0000" + "62216002035100" +
                                submit.substr(6 + address + 6);
    for (std::string text : {submit, deliver}) {
      for (int change = 0; change < 4; ++change) {
        PduReading stepwise;
        ReadPduStepwise(text, stepwise);
        for (std::size_t reader = 0; reader < readers.size(); ++reader) {
          PduReading fast;
          readers[reader](text, fast);
          ASSERT_EQ(Describe(fast), Describe(stepwise)) << "reader " << reader << ": " << text;
        }
        if (change == 2 && random() % 4 == 0) {
          text.resize(random() % text.size());
        } else {
          text[random() % text.size()] = hex::kUpperDigits[random() % 16];
        }
      }
    }
  }
}

}  // namespace
}  // namespace brindle
