#include "codec/pdu_reader.h"

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

namespace brindle {
namespace {

// The user data of the score message for game 42, score 12345, handle Ann.
const std::string kAnnUserData =
    "2ACD241104B3C96C349BCC06B3C56C311BCC56B3C56C32DBCC46B3D56C30DBCC16C3D9883622";
const std::string kOurSubmit = "0011000C912143658709210000AA" + kAnnUserData;

TEST(ReadPdu, ScoreMessagesAsPhonesAndPeersWriteThem) {
  struct Row {
    const char* what;
    std::string pdu;
    PduType type;
  };
  const Row rows[] = {
      {"our own SUBMIT", kOurSubmit, PduType::kSubmit},
      {"SUBMIT with a service centre, relative validity",
       "07911326040000F011000C91214365870921000000" + kAnnUserData, PduType::kSubmit},
      {"SUBMIT without validity period", "0001000C912143658709210000" + kAnnUserData,
       PduType::kSubmit},
      {"SUBMIT with absolute validity", "0019000C91214365870921000062216002035100" + kAnnUserData,
       PduType::kSubmit},
      {"DELIVER with time stamp",
       "07911326040000F0000C91214365870921000062216002035100" + kAnnUserData, PduType::kDeliver},
      {"SUBMIT with a concatenation header",
       "07911326040000F051000C91214365870921000000310500032A01019A4922086693D96836990D668BD962369"
       "8AD668BD964B6998D66ABD960B6992D86B3116D44",
       PduType::kSubmit},
      {"class 1 in the data coding group", "0011000C9121436587092100F1AA" + kAnnUserData,
       PduType::kSubmit},
  };
  for (const Row& row : rows) {
    PduReading reading;
    ASSERT_EQ(ReadPdu(row.pdu, reading), PduError::kNone)
        << row.what << ": " << DescribePduError(reading.error) << " at " << reading.errorOffset;
    EXPECT_EQ(reading.type, row.type) << row.what;
    EXPECT_STREQ(reading.number, "+123456789012") << row.what;
    EXPECT_EQ(std::string(reading.payload, reading.payloadLength), "0242011051234503Ann")
        << row.what;
    EXPECT_EQ(std::string(reading.fields.handle, reading.fields.handleLength), "Ann");
  }
}

TEST(ReadPdu, EveryFaultHasItsOwnErrorAndOffset) {
  struct Row {
    const char* what;
    std::string pdu;
    PduError error;
    std::size_t offset;
  };
  const Row rows[] = {
      {"empty", "", PduError::kEmpty, 0},
      {"not hex", "0011000G", PduError::kNotHex, 7},
      {"binary", std::string("00\x00\xFF", 4), PduError::kNotHex, 2},
      {"not hex past the octet buffer", std::string(1200, '0') + "0G", PduError::kNotHex, 1201},
      {"odd length", "0011000", PduError::kOddLength, 7},
      {"service centre too long", "0C11", PduError::kServiceCentreTooLong, 0},
      {"service centre past the end", "07911326", PduError::kTruncated, 8},
      {"status report", "0002000C91214365870921", PduError::kUnsupportedType, 2},
      {"address of 21 digits", "001100159121436587092143658709214365870921F1",
       PduError::kAddressTooLong, 6},
      {"UCS-2 data coding", "0011000C912143658709210008AA" + kAnnUserData,
       PduError::kUnsupportedDcs, 24},
      {"8-bit data coding", "0011000C912143658709210004AA" + kAnnUserData,
       PduError::kUnsupportedDcs, 24},
      {"compressed", "0011000C912143658709210020AA" + kAnnUserData, PduError::kUnsupportedDcs, 24},
      {"UDL beyond the data", "0011000C912143658709210000AA2BCD24", PduError::kUserDataTooLong, 28},
      {"octets after the user data", kOurSubmit + "00", PduError::kTrailingData, kOurSubmit.size()},
      {"header longer than the data", "0051000C912143658709210000AA04FF241104",
       PduError::kHeaderTooLong, 30},
      {"not a score payload", "0011000C912143658709210000AA04CD241104", PduError::kBadPayloadFields,
       30},
  };
  for (const Row& row : rows) {
    PduReading reading;
    EXPECT_EQ(ReadPdu(row.pdu, reading), row.error) << row.what;
    EXPECT_EQ(reading.errorOffset, row.offset) << row.what;
  }
}

TEST(ReadPdu, NumberCutShortIsLeftEmpty) {
  PduReading reading;
  std::memset(reading.number, 'x', sizeof reading.number);
  EXPECT_EQ(ReadPdu("0011000C91214365", reading), PduError::kTruncated);
  EXPECT_EQ(std::string(reading.number, strnlen(reading.number, sizeof reading.number)), "");
}

// DELIVER PDUs as a general SMS library writes them, time stamp first-digit-low, with the
// centre's offset in quarters of an hour and its sign in bit 3 of the last octet.
TEST(ReadPdu, DeliverTimeStamps) {
  const std::string head = "07911326040000F0000C912143658709210000";  // stamp at offset 38
  struct Row {
    std::string stamp;
    std::string iso;  // empty: refused with kBadTimeStamp
    std::size_t offset;
  };
  const Row rows[] = {
      {"62216012513000", "2026-12-06T21:15:03+00:00", 0},
      {"62216002035100", "2026-12-06T20:30:15+00:00", 0},
      {"62216012513040", "2026-12-06T21:15:03+01:00", 0},
      {"62216012513032", "2026-12-06T21:15:03+05:45", 0},
      {"6221601251304A", "2026-12-06T21:15:03-06:00", 0},
      {"9921130000000F", "2099-12-31T00:00:00-17:30", 0},
      {"00101000000000", "2000-01-01T00:00:00+00:00", 0},
      {"6A216012513000", "", 38},  // a semi-octet that is not decimal
      {"62316012513000", "", 40},  // month 13
      {"62210012513000", "", 42},  // day 0
      {"62216042513000", "", 44},  // hour 24
      {"62216012510600", "", 48},  // second 60
      {"622160125130A0", "", 50},  // zone digit that is not decimal
  };
  for (const Row& row : rows) {
    PduReading reading;
    std::string pdu = head;
    pdu.append(row.stamp).append(kAnnUserData);
    const PduError error = ReadPdu(pdu, reading);
    std::array<char, kTimeStampTextCapacity> text{};
    if (row.iso.empty()) {
      EXPECT_EQ(error, PduError::kBadTimeStamp) << row.stamp;
      EXPECT_EQ(reading.errorOffset, row.offset) << row.stamp;
      continue;
    }
    ASSERT_EQ(error, PduError::kNone) << row.stamp;
    EXPECT_TRUE(reading.sentAt.present);
    EXPECT_EQ(FormatTimeStamp(reading.sentAt, text), row.iso.size());
    EXPECT_EQ(std::string(text.data()), row.iso);
  }
  PduReading submit;
  ASSERT_EQ(ReadPdu(kOurSubmit, submit), PduError::kNone);
  EXPECT_FALSE(submit.sentAt.present);
}

// Payloads that split and payloads that just fail to, inside whole PDUs: ReadPdu (which splits
// a short payload with a digit mask) and SplitScorePayload (byte by byte) agree on each.
TEST(ReadPdu, SplitsAsSplitScorePayloadDoes) {
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
    std::array<char, kPayloadCapacity> scrambled{};
    std::copy(payload.begin(), payload.end(), scrambled.begin());
    std::array<char, kPduTextCapacity> pdu{};
    ASSERT_EQ(BuildSubmitPdu(pdu, "+123", scrambled), 1);
    PduReading reading;
    EXPECT_EQ(ReadPdu(pdu.data(), reading) == PduError::kNone, splits) << payload;
    const ScoreFields& got = reading.fields;
    EXPECT_EQ(std::tie(got.gameId, got.fixed, got.score),
              std::tie(want.gameId, want.fixed, want.score))
        << payload;
    EXPECT_STREQ(reading.fields.handle, want.handle) << payload;
  }
}

}  // namespace
}  // namespace brindle
