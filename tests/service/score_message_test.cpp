// What a PDU off the phone becomes: a score, or a message kept as rejected with its reason,
// the sender and the time stamp's moment kept wherever the PDU shows them.
#include "service/score_message.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "codec/pdu.h"
#include "codec/submit_pdu.h"

namespace brindle::service {
namespace {

const char* const kSender = "+447700900123";
const TimeStamp kStamp = {true, 2026, 12, 6, 21, 15, 3, 4};
const char* const kSentAt = "2026-12-06T21:15:03+01:00";
const std::int64_t kUtc = 1796588103;

// The four fields as the sender lays them out: two-digit length, then the text.
std::string Payload(std::int64_t game, std::int64_t score, const std::string& handle,
                    const std::string& fixed = "1") {
  std::string text;
  for (const std::string& field : {std::to_string(game), fixed, std::to_string(score), handle}) {
    text += (field.size() < 10 ? "0" : "") + std::to_string(field.size()) + field;
  }
  return text;
}

// The SMS-DELIVER from kSender that the sender's SMS-SUBMIT of `payload` becomes.
std::string Deliver(std::string payload, const TimeStamp& stamp = kStamp,
                    std::uint8_t coding = kCodingGsmDefault) {
  std::array<char, kPduTextCapacity> text{};
  EXPECT_EQ(BuildSubmitPdu(text, "+1", {payload.data(), payload.size() + 1}), 1) << payload;
  Pdu pdu;
  std::size_t offset = 0;
  EXPECT_EQ(ReadPdu(text.data(), pdu, offset), PduError::kNone);
  pdu.messageType = MessageType::kDeliver;
  pdu.noMoreMessages = true;
  SetAddress(kSender, pdu.address);
  pdu.dataCodingScheme = coding;
  pdu.serviceCentreTimeStamp = stamp;
  EXPECT_NE(WritePdu(pdu, text), 0U);
  return text.data();
}

struct MessageCase {
  const char* name;
  std::string pdu;
  std::string reason;  // a part of it; empty: a score
  std::string fields;  // a score's "game fixed score handle"
  std::string sender;
  std::string sentAt;
  std::int64_t utc;
};

MessageCase MessageRow(const char* name, const std::string& pdu, const std::string& reason,
                       const std::string& fields = "", const std::string& sender = kSender,
                       const std::string& sentAt = kSentAt, std::int64_t utc = kUtc) {
  return {name, pdu, reason, fields, sender, sentAt, utc};
}

TEST(Classify, StatusReasonFieldsSenderMoment) {
  const std::string odd = "O'Brien\"; DROP TABLE messages;--<b>";
  const std::vector<MessageCase> cases = {
      MessageRow("largest fields, handle byte for byte", Deliver(Payload(99999999, 99999999, odd)),
                 "", "99999999 1 99999999 " + odd),
      MessageRow("negative offset",
                 Deliver(Payload(7, 5, "Ann"), {true, 2026, 12, 6, 21, 15, 3, -19}), "",
                 "7 1 5 Ann", kSender, "2026-12-06T21:15:03-04:45", 1796608803),
      MessageRow("game id too large", Deliver(Payload(100000000, 5, "Ann")),
                 "game id 100000000 is above 99,999,999"),
      MessageRow("score too large", Deliver(Payload(1, 123456789, "Ann")),
                 "score 123456789 is above 99,999,999"),
      MessageRow("fixed field not 1", Deliver(Payload(7, 5, "Ann", "2")),
                 "the fixed field is 2, not 1"),
      MessageRow(
          "zone beyond +14:00", Deliver(Payload(7, 5, "Ann"), {true, 2026, 12, 6, 21, 15, 3, 60}),
          "a time zone of +15:00, beyond", "", kSender, "2026-12-06T21:15:03+15:00", 1796537703),
      MessageRow("not four fields", Deliver("hello there"), "does not split into four fields"),
      MessageRow("other alphabet", Deliver(Payload(1, 5, "Ann"), kStamp, 0x08),
                 "not the GSM 7-bit default alphabet"),
      // A user-data header 0003A70201: part one of two of a concatenated message.
      MessageRow(
          "multi-part piece",
          "00440C9144770009103200006221601251304025050003A702019A4922086693D962B6980D668BD96236982D"
          "6693D964C2DA903604",
          "one part of a multi-part message"),
      MessageRow("month 13", Deliver(Payload(1, 5, "Ann"), {true, 2026, 13, 6, 21, 15, 3, 4}),
                 "time stamp", "", kSender, "", 0),
      MessageRow("cut short", Deliver(Payload(1, 5, "Ann")).substr(0, 30),
                 "the text ends inside a field", "", kSender, "", 0),
      MessageRow(
          "an outgoing message",
          "0011000C912143658709210000AA2ACD241104B3C96C349BCC06B3C56C311BCC56B3C56C32DBCC46B3D56C3"
          "0DBCC16C3D9883622",
          "SMS-SUBMIT", "", "", "", 0),
  };
  for (const MessageCase& c : cases) {
    const Message m = ClassifyPdu(c.pdu);
    EXPECT_EQ(m.status, c.reason.empty() ? MessageStatus::kScore : MessageStatus::kRejected)
        << c.name;
    EXPECT_NE(m.reason.find(c.reason), std::string::npos) << c.name << ": " << m.reason;
    EXPECT_EQ(m.status == MessageStatus::kScore, m.reason.empty()) << c.name;
    if (m.status == MessageStatus::kScore) {
      EXPECT_EQ(std::to_string(m.gameId) + " " + std::to_string(m.fixed) + " " +
                    std::to_string(m.score) + " " + m.handle,
                c.fields)
          << c.name;
    }
    EXPECT_EQ(m.sender, c.sender) << c.name;
    EXPECT_EQ(m.sentAt, c.sentAt) << c.name;
    EXPECT_EQ(m.sentAtUtc, c.utc) << c.name;
    EXPECT_EQ(m.pdu, c.pdu) << c.name << ": kept as listed";
  }
}

}  // namespace
}  // namespace brindle::service
