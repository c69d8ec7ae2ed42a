#include "codec/score_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "codec/score_payload.h"
#include "codec/submit_pdu.h"
#include "tests/codec/paths.h"

namespace brindle {
namespace {

// The user data of the score message for game 42, score 12345, handle Ann.
const std::string kAnnUserData =
    "2ACD241104B3C96C349BCC06B3C56C311BCC56B3C56C32DBCC46B3D56C30DBCC16C3D9883622";
const std::string kOurSubmit = "0011000C912143658709210000AA" + kAnnUserData;

TEST(ReadScorePdu, ScoreMessagesAsPhonesAndPeersWriteThem) {
  struct Row {
    const char* what;
    std::string pdu;
    MessageType type;
  };
  const Row rows[] = {
      {"our own SUBMIT", kOurSubmit, MessageType::kSubmit},
      {"SUBMIT with a service centre, relative validity",
       "07911326040000F011000C91214365870921000000" + kAnnUserData, MessageType::kSubmit},
      {"SUBMIT without validity period", "0001000C912143658709210000" + kAnnUserData,
       MessageType::kSubmit},
      {"SUBMIT with absolute validity", "0019000C91214365870921000062216002035100" + kAnnUserData,
       MessageType::kSubmit},
      {"DELIVER with time stamp",
       "07911326040000F0000C91214365870921000062216002035100" + kAnnUserData,
       MessageType::kDeliver},
      {"SUBMIT with a concatenation header",
       "07911326040000F051000C91214365870921000000310500032A01019A4922086693D96836990D668BD962369"
       "8AD668BD964B6998D66ABD960B6992D86B3116D44",
       MessageType::kSubmit},
      {"class 1 in the data coding group", "0011000C9121436587092100F1AA" + kAnnUserData,
       MessageType::kSubmit},
  };
  for (const Row& row : rows) {
    ExpectPathsAgree(row.pdu);
    PduReading& reading = Garbled();
    ASSERT_EQ(ReadScorePdu(row.pdu, reading), PduError::kNone)
        << row.what << ": " << DescribePduError(reading.error) << " at " << reading.errorOffset;
    EXPECT_EQ(reading.pdu.messageType, row.type) << row.what;
    EXPECT_STREQ(reading.pdu.address.number.data(), "+123456789012") << row.what;
    EXPECT_EQ(std::string(reading.payload, reading.payloadLength), "0242011051234503Ann")
        << row.what;
    EXPECT_EQ(std::string(reading.fields.handle, reading.fields.handleLength), "Ann");
  }
}

// A score message's own rules, beyond those of any PDU: the alphabet (checked first), and the
// payload's four fields.
TEST(ReadScorePdu, AlphabetAndPayloadFaults) {
  const std::pair<std::string, PduError> rows[] = {
      {"0011000C912143658709210008AA" + kAnnUserData, PduError::kUnsupportedDcs},  // UCS-2
      {"0011000C912143658709210004AA" + kAnnUserData, PduError::kUnsupportedDcs},  // 8-bit
      {"0011000C912143658709210020AA" + kAnnUserData, PduError::kUnsupportedDcs},  // compressed
      {"0011000C912143658709210008AA2BCD24", PduError::kUnsupportedDcs},           // and cut short
      {"0011000C912143658709210000AA04CD241104", PduError::kBadPayloadFields},
  };
  for (const auto& [pdu, error] : rows) {
    ExpectPathsAgree(pdu);
    PduReading& reading = Garbled();
    EXPECT_EQ(ReadScorePdu(pdu, reading), error) << pdu;
    EXPECT_EQ(reading.errorOffset, error == PduError::kUnsupportedDcs ? 24U : 30U) << pdu;
  }
}

// Payloads that split and payloads that just fail to, inside whole PDUs: every path (the
// one-pass reader splits with digit masks) splits as SplitScorePayload does.
TEST(ReadScorePdu, SplitsAsSplitScorePayloadDoes) {
  std::vector<std::string> payloads = {"0242011051234503Ann",       "09-78021870011084409018902xy",
                                       "10-123456789011011-103Bob", "11-2147483648010103Cy",
                                       "03-12011011101A",           "01-011011101A",
                                       "0242011051234500",          "0042011051234503Ann",
                                       "0242011051234503Ann!",      "12123456789012011011101A"};
  std::mt19937 random(20261207);   // NOLINT(cert-msc32-c,cert-msc51-cpp): repeatable cases
  for (int i = 0; i < 300; ++i) {  // one byte of a sound payload changed
    std::string payload = payloads[random() % 4];
    payload[random() % payload.size()] = "0123456789-x"[random() % 12];
    payloads.push_back(payload);
  }
  for (const std::string& payload : payloads) {
    ScoreFields want;
    const bool splits = SplitScorePayload(payload, want);
    std::array<char, kPduTextCapacity> pdu{};
    ASSERT_EQ(BuildSubmitPdu(pdu, "+123", {payload.data(), payload.size() + 1}), 1);
    ExpectPathsAgree(pdu.data());
    PduReading& reading = Garbled();
    EXPECT_EQ(ReadScorePdu(pdu.data(), reading) == PduError::kNone, splits) << payload;
  }
}

}  // namespace
}  // namespace brindle
