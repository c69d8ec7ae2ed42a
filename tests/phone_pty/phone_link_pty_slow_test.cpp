// PhoneLink over a real pseudo-terminal with pauses that really wait: the whole dialogue with
// its real pauses, a phone that answers late, and one that never stops talking.
#include <gtest/gtest.h>

#include "base/sleeper.h"
#include "pty_link_fixture.h"

namespace brindle::ptytest {
namespace {

// When the phone received the `index`-th command that starts with `prefix`.
std::optional<std::uint64_t> ArrivalMs(const std::vector<LogEntry>& log, std::string_view prefix,
                                       int index = 0) {
  for (const LogEntry& entry : log) {
    if (entry.IsBytes("in") && entry.Text("data").rfind(prefix, 0) == 0 && index-- == 0) {
      return entry.t();
    }
  }
  return std::nullopt;
}

TEST_F(PtyLinkTest, WholeDialogueWithItsRealPauses) {
  RealSleeper real;
  Connect("ok", &real);
  const std::string pdu = EncodeScoreMessage(kGameId, kScore, kHandle, kNumber);

  const Stopwatch init;
  EXPECT_EQ(link_->InitPhone(), 1);
  EXPECT_GE(init.ElapsedMs(), 3 * 1500);
  const Stopwatch send;
  EXPECT_EQ(link_->SendPdu(pdu), 1);
  EXPECT_GE(send.ElapsedMs(), 2000 + 5000);
  EXPECT_EQ(link_->Close(), 1);
  ASSERT_EQ(phone_.Stop(), 0);

  const auto log = phone_.Log();
  EXPECT_EQ(Transcript(log, "in"), "ATZ\rATE0\rAT+CMGF=0\rAT+CMGS=51\r" + pdu +
                                       "\x1a"
                                       "AT+CNMI=0,0\rATZ\r");
  EXPECT_EQ(Transcript(log, "out"),
            "ATZ\r\r\nOK\r\nATE0\r\r\nOK\r\n\r\nOK\r\n\r\n> \r\n+CMGS: 1\r\n\r\nOK\r\n"
            "\r\nOK\r\n\r\nOK\r\n");
  // Each command follows the previous one by at least the pause that comes after it.
  const auto reset = ArrivalMs(log, "ATZ");
  const auto echoOff = ArrivalMs(log, "ATE0");
  const auto pduMode = ArrivalMs(log, "AT+CMGF=0");
  const auto submit = ArrivalMs(log, "AT+CMGS=");
  const auto message = ArrivalMs(log, pdu.substr(0, 10));
  const auto indications = ArrivalMs(log, "AT+CNMI=0,0");
  const auto lastReset = ArrivalMs(log, "ATZ", 1);
  ASSERT_TRUE(reset && echoOff && pduMode && submit && message && indications && lastReset);
  EXPECT_GE(*echoOff - *reset, 1500U);
  EXPECT_GE(*pduMode - *echoOff, 1500U);
  EXPECT_GE(*submit - *pduMode, 1500U);
  EXPECT_GE(*message - *submit, 2000U);
  EXPECT_GE(*indications - *message, 5000U);
  // No pause in the shutdown: only the read time-out after the answer.
  EXPECT_LT(*lastReset - *indications, 1500U);

  int messages = 0;
  for (const LogEntry& entry : log) {
    if (entry.IsEvent("sms")) {
      ++messages;
      EXPECT_EQ(entry.Text("number"), kNumber);
      EXPECT_EQ(entry.Number("gameId"), kGameId);
      EXPECT_EQ(entry.Number("score"), kScore);
      EXPECT_EQ(entry.Text("handle"), "Ann");
    }
  }
  EXPECT_EQ(messages, 1);
}

// Answers come a second late: pauses of 1.1 s leave room for them, so the send still works.
TEST_F(PtyLinkTest, SlowPhoneStillTakesTheMessage) {
  CappedSleeper capped(1100);
  Connect("slow", &capped);
  EXPECT_EQ(link_->InitPhone(), 1);
  EXPECT_EQ(link_->SendPdu(EncodeScoreMessage(kGameId, kScore, kHandle, kNumber)), 1);
  EXPECT_EQ(link_->Close(), 1);
  phone_.Stop();
  EXPECT_EQ(CountEvents("sms"), 1);
}

// RINGs every 100 ms never leave the line quiet for a read time-out, so only the bound on an
// answer ends each read. Whether the "OK" survives depends on where a cut falls (the reader
// drops the first line of every read), so the result is not fixed; what is fixed is that every
// step ends in bounded time and nothing is claimed that the phone did not take.
TEST_F(PtyLinkTest, FloodEndsEveryStepInBoundedTimeWithoutFalseSuccess) {
  constexpr std::int64_t kAnswerBoundMs = static_cast<std::int64_t>(kResponseBoundMs) + 1000;
  Connect("flood");
  const std::string pdu = EncodeScoreMessage(kGameId, kScore, kHandle, kNumber);
  const Stopwatch init;
  const int ready = link_->InitPhone();
  EXPECT_LE(init.ElapsedMs(), 3 * kAnswerBoundMs);
  EXPECT_GE(init.ElapsedMs(), static_cast<std::int64_t>(kResponseBoundMs));  // no quiet line
  int sent = 0;
  if (ready == 1) {
    const Stopwatch send;
    sent = link_->SendPdu(pdu);
    EXPECT_LE(send.ElapsedMs(), 2 * kAnswerBoundMs);
  }
  const Stopwatch close;
  EXPECT_EQ(link_->Close(), 1);
  EXPECT_LE(close.ElapsedMs(), 2 * kAnswerBoundMs);
  phone_.Stop();
  RecordProperty("InitPhone", ready);
  RecordProperty("SendPdu", sent);
  const std::string in = InBytes();
  if (ready == 0) {
    EXPECT_EQ(in.find("AT+CMGS"), std::string::npos);
    EXPECT_EQ(in.find("AT+CNMI"), std::string::npos);
  }
  EXPECT_EQ(CountEvents("sms"), sent);
}

}  // namespace
}  // namespace brindle::ptytest
