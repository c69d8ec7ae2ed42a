// PhoneLink over a real pseudo-terminal against `brindle phone`, with pauses that do not wait:
// the phone answers at once, and the link's read time-out gives it the time to.
#include <gtest/gtest.h>

#include "pty_link_fixture.h"

namespace brindle::ptytest {
namespace {

constexpr std::string_view kInitCommands = "ATZ\rATE0\rAT+CMGF=0\r";
constexpr std::string_view kShutdownCommands = "AT+CNMI=0,0\rATZ\r";
// An answer ends with one read time-out (501 ms at most) of silence; the rest is room for a
// busy machine.
constexpr std::int64_t kAnswerMs = 1000;

TEST_F(PtyLinkTest, OkPhoneTakesTheEncodedMessage) {
  Connect("ok");
  const std::string pdu = EncodeScoreMessage(kGameId, kScore, kHandle, kNumber);
  ASSERT_EQ(pdu.size(), 104U);
  EXPECT_EQ(link_->InitPhone(), 1);
  EXPECT_EQ(link_->phoneReady, 1);
  EXPECT_EQ(link_->SendPdu(pdu), 1);
  EXPECT_EQ(link_->Close(), 1);
  EXPECT_EQ(fast_.Pauses(), (std::vector<std::uint32_t>{1500, 1500, 1500, 2000, 5000}));
  EXPECT_TRUE(boxes_.Messages().empty());
  ASSERT_EQ(phone_.Stop(), 0);

  EXPECT_EQ(InBytes(), std::string(kInitCommands) + "AT+CMGS=51\r" + pdu + "\x1a" +
                           std::string(kShutdownCommands));
  int messages = 0;
  for (const LogEntry& entry : phone_.Log()) {
    if (!entry.IsEvent("sms")) {
      continue;
    }
    ++messages;
    EXPECT_EQ(entry.Text("number"), kNumber);
    EXPECT_EQ(entry.Text("payload"), "0242011051234503Ann");
    EXPECT_EQ(entry.Number("gameId"), kGameId);
    EXPECT_EQ(entry.Number("fixed"), 1);
    EXPECT_EQ(entry.Number("score"), kScore);
    EXPECT_EQ(entry.Text("handle"), "Ann");
    EXPECT_EQ(entry.Number("cmgsLength"), 51);
    EXPECT_EQ(entry.Number("octets"), 52);
    EXPECT_EQ(entry.Text("pdu"), pdu);
  }
  EXPECT_EQ(messages, 1);
  EXPECT_EQ(phone_.output(), "SMS 1 to +123456789012: game id 42, score 12345, handle \"Ann\"\n");
}

TEST_F(PtyLinkTest, OpensAndClosesTheTerminalAgainAndAgain) {
  Connect("ok");
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(link_->Close(), 1) << round;
    ASSERT_TRUE(link_->Open(Widen(phone_.terminal()), kPortBaudRate)) << round;
  }
  EXPECT_EQ(link_->InitPhone(), 1);
  EXPECT_EQ(link_->Close(), 1);
  EXPECT_TRUE(boxes_.Messages().empty());
}

TEST_F(PtyLinkTest, SilentPhoneFailsTheInitialisation) {
  Connect("silent");
  const Stopwatch watch;
  EXPECT_EQ(link_->InitPhone(), 0);
  EXPECT_LT(watch.ElapsedMs(), 2 * kAnswerMs);
  EXPECT_EQ(link_->phoneReady, 0);
  EXPECT_EQ(link_->Close(), 1);
  phone_.Stop();
  // Stopped at the first examined answer; Close sends nothing to a phone that is not ready.
  EXPECT_EQ(InBytes(), "ATZ\rATE0\r");
  EXPECT_EQ(OutBytes(), "");
}

class RefusingPhone : public PtyLinkTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(RefusingPhone, FailsTheInitialisationAtEchoOff) {
  Connect(GetParam());
  const Stopwatch watch;
  EXPECT_EQ(link_->InitPhone(), 0);
  EXPECT_LT(watch.ElapsedMs(), 2 * kAnswerMs);
  EXPECT_EQ(link_->Close(), 1);
  phone_.Stop();
  EXPECT_EQ(InBytes(), "ATZ\rATE0\r");
  EXPECT_NE(OutBytes().find("ATE0\r\r\nERROR\r\n"), std::string::npos) << OutBytes();
}

INSTANTIATE_TEST_SUITE_P(Modes, RefusingPhone, ::testing::Values("error", "error-ate0"),
                         [](const auto& param) {
                           return std::string(param.param) == "error" ? "Error" : "ErrorAte0";
                         });

TEST_F(PtyLinkTest, NoPromptNeverWritesThePdu) {
  Connect("no-prompt");
  EXPECT_EQ(link_->InitPhone(), 1);
  const Stopwatch watch;
  EXPECT_EQ(link_->SendPdu(EncodeScoreMessage(kGameId, kScore, kHandle, kNumber)), 0);
  EXPECT_LT(watch.ElapsedMs(), kAnswerMs);
  EXPECT_EQ(link_->Close(), 1);
  phone_.Stop();
  EXPECT_EQ(InBytes(),
            std::string(kInitCommands) + "AT+CMGS=51\r" + std::string(kShutdownCommands));
  EXPECT_EQ(CountEvents("sms"), 0);
}

TEST_F(PtyLinkTest, NetworkErrorAfterThePduFailsTheSend) {
  Connect("cms-error");
  const std::string pdu = EncodeScoreMessage(kGameId, kScore, kHandle, kNumber);
  EXPECT_EQ(link_->InitPhone(), 1);
  EXPECT_EQ(link_->SendPdu(pdu), 0);
  EXPECT_EQ(link_->Close(), 1);
  phone_.Stop();
  EXPECT_EQ(InBytes(), std::string(kInitCommands) + "AT+CMGS=51\r" + pdu + "\x1a" +
                           std::string(kShutdownCommands));
  EXPECT_NE(OutBytes().find("\r\n+CMS ERROR: 500\r\n"), std::string::npos);
  EXPECT_EQ(CountEvents("sms"), 0);
  EXPECT_EQ(CountEvents("rejected"), 1);
}

TEST_F(PtyLinkTest, GarbageFailsTheInitialisationInBoundedTime) {
  Connect("garbage");
  const Stopwatch watch;
  EXPECT_EQ(link_->InitPhone(), 0);
  // Bytes without a line break come back whole after one read time-out, and a second one
  // ends the answer (unless the first filled the answer's room): two per command.
  EXPECT_LT(watch.ElapsedMs(), 4 * kAnswerMs);
  EXPECT_EQ(link_->Close(), 1);
  phone_.Stop();
  EXPECT_EQ(InBytes(), "ATZ\rATE0\r");
  const std::string out = OutBytes();
  EXPECT_GE(out.size(), 80U);
  EXPECT_EQ(out.find_first_of("\r\n"), std::string::npos);
}

// The line drops after the link has written the whole PDU, before the phone said OK: the
// link's read fails, so the send fails, in bounded time. The phone took nothing, and comes
// back on a fresh terminal where a new attempt works.
TEST_F(PtyLinkTest, HangupDuringThePduEndsTheSendInBoundedTime) {
  Connect("hangup");
  const std::string pdu = EncodeScoreMessage(kGameId, kScore, kHandle, kNumber);
  EXPECT_EQ(link_->InitPhone(), 1);
  const Stopwatch watch;
  EXPECT_EQ(link_->SendPdu(pdu), 0);
  EXPECT_EQ(link_->Close(), 1);
  EXPECT_LT(watch.ElapsedMs(), 2 * kAnswerMs);

  std::string newTerminal;
  for (const LogEntry& entry : phone_.Log()) {
    if (entry.IsEvent("hangup")) {
      EXPECT_EQ(entry.Text("pdu"), pdu.substr(0, 52));
    }
    if (entry.IsEvent("line")) {
      newTerminal = entry.Text("path");
    }
  }
  EXPECT_EQ(CountEvents("hangup"), 1);
  EXPECT_EQ(CountEvents("sms"), 0);
  ASSERT_FALSE(newTerminal.empty());
  EXPECT_NE(newTerminal, phone_.terminal());
  EXPECT_NE(InBytes().find(pdu.substr(0, 52)), std::string::npos);

  ASSERT_TRUE(link_->Open(Widen(newTerminal), kPortBaudRate));
  EXPECT_EQ(link_->InitPhone(), 1);
  EXPECT_EQ(link_->Close(), 1);
}

}  // namespace
}  // namespace brindle::ptytest
