#include "codec/pdu.h"

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <string>

namespace brindle {
namespace {

constexpr std::size_t kTextRoom = 512;

std::string Written(const Pdu& pdu) {
  std::array<char, kTextRoom> text{};
  return {text.data(), WritePdu(pdu, text)};
}

std::string Upper(std::string text) {
  for (char& c : text) {
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return text;
}

// The fields of a PDU in one line, so that a table row states them all.
std::string Fields(const Pdu& p) {
  std::array<char, kTimeStampTextCapacity> sent{};
  FormatTimeStamp(p.serviceCentreTimeStamp, sent);
  const bool submit = p.messageType == MessageType::kSubmit;
  std::string udh;
  for (std::size_t i = 0; p.userDataHeaderIndicator && i <= p.userData[0]; ++i) {
    udh += std::to_string(p.userData[i]) + ".";
  }
  return std::string(submit ? "SUBMIT" : "DELIVER") + " sc=" + p.serviceCentre.number.data() +
         (p.rejectDuplicates ? " rd" : "") + (p.noMoreMessages ? " mms" : "") +
         " vpf=" + std::to_string(static_cast<int>(p.validityFormat)) +
         (p.statusReport ? " sr" : "") + (p.replyPath ? " rp" : "") +
         (submit ? " mr=" + std::to_string(p.messageReference) : "") +
         " to/from=" + p.address.number.data() + "/" + std::to_string(p.address.type) +
         " pid=" + std::to_string(p.protocolIdentifier) +
         " dcs=" + std::to_string(p.dataCodingScheme) + " scts=" + sent.data() +
         " udl=" + std::to_string(p.userDataLength) + "/" + std::to_string(p.userDataOctets) +
         " udh=" + udh + (IsConcatenated(p) ? " part" : "");
}

// PDUs as phones, centres and other SMS software write them: each read into its fields, and
// written from them back to the same text.
TEST(Pdu, ReadIntoNamedFieldsAndWrittenBack) {
  const std::pair<std::string, std::string> rows[] = {
      {"07911326040000F0040B911346610089F60000208062917314800CC8F71D14969741F977FD07",
       "DELIVER sc=+31624000000 mms vpf=0 to/from=+31641600986/145 pid=0 dcs=0 "
       "scts=2002-08-26T19:37:41+02:00 udl=12/11 udh="},
      {"0011000C912143658709210000AA04CD241104",
       "SUBMIT sc= vpf=2 mr=0 to/from=+123456789012/145 pid=0 dcs=0 scts= udl=4/4 udh="},
      {"00BD2A068121436500006221600203510002C834",  // every SUBMIT flag, absolute validity
       "SUBMIT sc= rd vpf=3 sr rp mr=42 to/from=123456/129 pid=0 dcs=0 scts= udl=2/2 udh="},
      {"07911326040000F0440B911346610089F600002080629173148009050003CC02019069",
       "DELIVER sc=+31624000000 mms vpf=0 to/from=+31641600986/145 pid=0 dcs=0 "
       "scts=2002-08-26T19:37:41+02:00 udl=9/8 udh=5.0.3.204.2.1. part"},
      {"0891447700090010F100048121430008208062917314090400480069",  // UCS-2, odd centre
       "DELIVER sc=+4477009000011 vpf=0 to/from=1234/129 pid=0 dcs=8 "
       "scts=2002-08-26T19:37:41-02:30 udl=4/4 udh="},
      {"0004038100F100006221601251300002c834",  // lower-case hex, '0' digits
       "DELIVER sc= mms vpf=0 to/from=001/129 pid=0 dcs=0 scts=2026-12-06T21:15:03+00:00 "
       "udl=2/2 udh="},
  };
  for (const auto& [text, fields] : rows) {
    Pdu pdu;
    std::size_t offset = 0;
    ASSERT_EQ(ReadPdu(text, pdu, offset), PduError::kNone) << text << " at " << offset;
    EXPECT_EQ(Fields(pdu), fields) << text;
    EXPECT_EQ(Written(pdu), Upper(text));
    EXPECT_EQ(PduTextLength(pdu), text.size());
  }
}

TEST(Pdu, EveryFaultHasItsOwnErrorAndOffset) {
  const std::string ann = "0011000C912143658709210000AA04CD241104";
  struct Row {
    std::string pdu;
    PduError error;
    std::size_t offset;
  };
  const Row rows[] = {
      {"", PduError::kEmpty, 0},
      {"0011000G", PduError::kNotHex, 7},
      {std::string("00\x00\xFF", 4), PduError::kNotHex, 2},
      {std::string(1200, '0') + "0G", PduError::kNotHex, 1201},  // past the octet buffer
      {"0011000", PduError::kOddLength, 7},
      {"0C11", PduError::kServiceCentreTooLong, 0},
      {"07911326", PduError::kTruncated, 8},
      {"0002000C91214365870921", PduError::kUnsupportedType, 2},  // a status report
      {"001100159121436587092143658709214365870921F1", PduError::kAddressTooLong, 6},
      {"0011000C91214365", PduError::kTruncated, 16},
      {"0011000C912143658709210000AA2BCD24", PduError::kUserDataTooLong, 28},
      {"0011000C912143658709210008AAFF" + std::string(510, '0'), PduError::kUserDataTooLong,
       28},  // octets, and more than 140
      {ann + "00", PduError::kTrailingData, ann.size()},
      {"0051000C912143658709210000AA04FF241104", PduError::kHeaderTooLong, 30},
      {"0051000C912143658709210000AA0100", PduError::kHeaderTooLong, 30},  // header septets
  };
  for (const Row& row : rows) {
    Pdu pdu;
    std::size_t offset = 99;
    EXPECT_EQ(ReadPdu(row.pdu, pdu, offset), row.error) << row.pdu;
    EXPECT_EQ(offset, row.offset) << row.pdu;
  }
}

// The centre's time stamp: two decimal digits an octet, the first in the low nibble, the
// offset in quarters of an hour with its sign in bit 3 of the last octet.
TEST(Pdu, DeliverTimeStamps) {
  const std::string head = "07911326040000F0000C912143658709210000";  // stamp at offset 38
  const std::pair<std::string, std::string> rows[] = {
      {"62216012513000", "2026-12-06T21:15:03+00:00"},
      {"62216012513032", "2026-12-06T21:15:03+05:45"},
      {"6221601251304A", "2026-12-06T21:15:03-06:00"},
      {"9921130000000F", "2099-12-31T00:00:00-17:30"},
      {"00101000000000", "2000-01-01T00:00:00+00:00"},
      {"6A216012513000", "38"},  // a semi-octet that is not decimal
      {"62316012513000", "40"},  // month 13
      {"62210012513000", "42"},  // day 0
      {"62216042513000", "44"},  // hour 24
      {"62216012510600", "48"},  // second 60
      {"622160125130A0", "50"},  // zone digit that is not decimal
  };
  for (const auto& [stamp, want] : rows) {
    Pdu pdu;
    std::size_t offset = 0;
    const PduError error = ReadPdu(head + stamp + "00", pdu, offset);
    std::array<char, kTimeStampTextCapacity> text{};
    FormatTimeStamp(pdu.serviceCentreTimeStamp, text);
    EXPECT_EQ(want.size() == 2 ? std::to_string(offset) : std::string(text.data()), want);
    EXPECT_EQ(error, want.size() == 2 ? PduError::kBadTimeStamp : PduError::kNone) << stamp;
    if (error == PduError::kNone) {
      EXPECT_EQ(Written(pdu), head + stamp + "00");
    }
  }
}

TEST(Pdu, AddressesThatCannotBeWritten) {
  Pdu pdu;
  EXPECT_FALSE(SetAddress("+123456789012345678901", pdu.address));  // 21 digits
  ASSERT_TRUE(SetAddress("+12345678901234567890", pdu.address));
  EXPECT_NE(Written(pdu), "");
  ASSERT_TRUE(SetAddress("12 34", pdu.address));  // no semi-octet stands for a blank
  std::array<char, kTextRoom> text{'x'};
  EXPECT_EQ(WritePdu(pdu, text), 0U);
  EXPECT_EQ(text[0], '\0');
  ASSERT_TRUE(SetAddress("1234", pdu.address));
  EXPECT_EQ(WritePdu(pdu, std::span<char>(text).first(PduTextLength(pdu))), 0U);  // no NUL room
}

}  // namespace
}  // namespace brindle
