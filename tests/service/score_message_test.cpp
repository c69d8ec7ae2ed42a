// What a PDU off the phone becomes: a score, or a message kept as rejected with its reason,
// the sender and the time stamp's moment kept wherever the PDU shows them.
#include "service/score_message.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "deliver_builder.h"

namespace brindle::service {
namespace {

using testing::BuildDeliver;
using testing::DeliverParts;
using testing::Payload;
using testing::Stamp;

DeliverParts With(void (*change)(DeliverParts&)) {
  DeliverParts parts;
  change(parts);
  return parts;
}

struct Case {
  const char* name;
  std::string pdu;
  MessageStatus status;
  std::string reason;  // a part of it
  std::string sender;
  std::string sentAt;
  std::int64_t sentAtUtc;
};

const std::int64_t kStampUtc = 1796588103;  // 2026-12-06T20:15:03Z

std::vector<Case> Cases() {
  return {
      {"score", BuildDeliver({}), MessageStatus::kScore, "", "+447700900123",
       "2026-12-06T21:15:03+01:00", kStampUtc},
      {"negative offset",
       BuildDeliver(With([](DeliverParts& p) { p.stamp = Stamp(2026, 12, 6, 21, 15, 3, -19); })),
       MessageStatus::kScore, "", "+447700900123", "2026-12-06T21:15:03-04:45", 1796608803},
      {"leap day at midnight",
       BuildDeliver(With([](DeliverParts& p) { p.stamp = Stamp(2000, 2, 29, 0, 0, 0, 0); })),
       MessageStatus::kScore, "", "+447700900123", "2000-02-29T00:00:00+00:00", 951782400},
      {"largest fields", BuildDeliver(With([](DeliverParts& p) {
         p.payload = Payload(99999999, 1, 99999999, "Ann");
       })),
       MessageStatus::kScore, "", "+447700900123", "2026-12-06T21:15:03+01:00", kStampUtc},
      {"game id too large",
       BuildDeliver(With([](DeliverParts& p) { p.payload = Payload(100000000, 1, 5, "Ann"); })),
       MessageStatus::kRejected, "game id 100000000 is above 99,999,999", "+447700900123",
       "2026-12-06T21:15:03+01:00", kStampUtc},
      {"score too large",
       BuildDeliver(With([](DeliverParts& p) { p.payload = Payload(1, 1, 123456789, "Ann"); })),
       MessageStatus::kRejected, "score 123456789 is above 99,999,999", "+447700900123",
       "2026-12-06T21:15:03+01:00", kStampUtc},
      {"not four fields", BuildDeliver(With([](DeliverParts& p) { p.payload = "hello there"; })),
       MessageStatus::kRejected, "does not split into four fields", "+447700900123",
       "2026-12-06T21:15:03+01:00", kStampUtc},
      {"other alphabet", BuildDeliver(With([](DeliverParts& p) { p.coding = "08"; })),
       MessageStatus::kRejected, "not the GSM 7-bit default alphabet", "+447700900123",
       "2026-12-06T21:15:03+01:00", kStampUtc},
      {"multi-part piece",
       BuildDeliver(With([](DeliverParts& p) { p.userDataHeader = "0003A70201"; })),
       MessageStatus::kRejected, "one part of a multi-part message", "+447700900123",
       "2026-12-06T21:15:03+01:00", kStampUtc},
      {"other user-data header",
       BuildDeliver(With([](DeliverParts& p) { p.userDataHeader = "0504158A0000"; })),
       MessageStatus::kRejected, "user-data header", "+447700900123", "2026-12-06T21:15:03+01:00",
       kStampUtc},
      {"month 13",
       BuildDeliver(With([](DeliverParts& p) { p.stamp = Stamp(2026, 13, 6, 21, 15, 3, 4); })),
       MessageStatus::kRejected, "time stamp", "+447700900123", "", 0},
      {"cut short", BuildDeliver({}).substr(0, 30), MessageStatus::kRejected,
       "the text ends inside a field", "+447700900123", "", 0},
      {"an outgoing message",
       "0011000C912143658709210000AA2ACD241104B3C96C349BCC06B3C56C311BCC56B3C56C32DBCC46B3D56C3"
       "0DBCC16C3D9883622",
       MessageStatus::kRejected, "SMS-SUBMIT", "", "", 0},
  };
}

class Classify : public ::testing::TestWithParam<Case> {};

TEST_P(Classify, StatusReasonSenderMoment) {
  const Case& c = GetParam();
  const Message message = ClassifyPdu(c.pdu);
  EXPECT_EQ(message.status, c.status);
  EXPECT_NE(message.reason.find(c.reason), std::string::npos) << message.reason;
  EXPECT_EQ(message.status == MessageStatus::kScore, message.reason.empty());
  EXPECT_EQ(message.sender, c.sender);
  EXPECT_EQ(message.sentAt, c.sentAt);
  EXPECT_EQ(message.sentAtUtc, c.sentAtUtc);
  EXPECT_EQ(message.pdu, c.pdu) << "kept as listed";
}

std::string CaseName(const ::testing::TestParamInfo<Case>& param) {
  std::string name = param.param.name;
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) {
      c = '_';
    }
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Pdus, Classify, ::testing::ValuesIn(Cases()), CaseName);

TEST(Classify, ScoreFieldsAndHandleBytes) {
  DeliverParts parts;
  parts.payload = Payload(7, 1, 4711, "O'Brien\"; DROP TABLE messages;--<b>");
  const Message message = ClassifyPdu(BuildDeliver(parts));
  ASSERT_EQ(message.status, MessageStatus::kScore) << message.reason;
  EXPECT_EQ(message.gameId, 7);
  EXPECT_EQ(message.fixed, 1);
  EXPECT_EQ(message.score, 4711);
  EXPECT_EQ(message.handle, "O'Brien\"; DROP TABLE messages;--<b>");
}

TEST(Classify, UnreadableEntryKeepsTheTextAsReceived) {
  const Message message = UnreadableEntry("0004ZZ", "not a hex digit at offset 4");
  EXPECT_EQ(message.status, MessageStatus::kRejected);
  EXPECT_EQ(message.pdu, "0004ZZ");
  EXPECT_EQ(message.reason, "not a hex digit at offset 4");
  EXPECT_TRUE(message.sender.empty());
}

}  // namespace
}  // namespace brindle::service
