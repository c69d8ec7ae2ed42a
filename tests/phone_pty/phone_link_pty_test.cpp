// PhoneLink over a real pseudo-terminal against `brindle phone` in each of its modes, with
// pauses that do not wait: the phone answers at once, and the link's read time-out gives it
// the time to. What the phone received is read from its log, byte for byte.
#include <gtest/gtest.h>

#include "pty_link_fixture.h"

namespace brindle::ptytest {
namespace {

constexpr std::string_view kInit = "ATZ\rATE0\rAT+CMGF=0\r";
constexpr std::string_view kShutdown = "AT+CNMI=0,0\rATZ\r";

enum class Reached : std::uint8_t { kEchoOff, kPrompt, kWholePdu };

struct ModeCase {
  const char* mode;
  int init;  // what InitPhone returns; SendPdu is tried only after a 1
  int send;
  Reached reached;  // how far the link's bytes got
  std::size_t messages;
};

void PrintTo(const ModeCase& c, std::ostream* os) { *os << c.mode; }

class PhoneModeTest : public PtyLinkTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(PhoneModeTest, LinkAndPhoneAgreeOnWhatWasSent) {
  const ModeCase& c = GetParam();
  const std::string pdu = SampleMessage();
  ASSERT_EQ(pdu.size(), 104U);
  Connect(c.mode);
  EXPECT_EQ(link_->InitPhone(), c.init);
  if (c.init == 1) {
    EXPECT_EQ(link_->SendPdu(pdu), c.send);
  }
  EXPECT_EQ(StopPhone(), 0);
  EXPECT_TRUE(boxes_.Messages().empty());

  const std::string submit = std::string(kInit) + "AT+CMGS=51\r";
  const std::string expected = c.reached == Reached::kEchoOff ? std::string("ATZ\rATE0\r")
                               : c.reached == Reached::kPrompt
                                   ? submit + std::string(kShutdown)
                                   : submit + pdu + "\x1a" + std::string(kShutdown);
  EXPECT_EQ(phone_.Bytes("in"), expected);
  const auto messages = phone_.Events("sms");
  ASSERT_EQ(messages.size(), c.messages);
  for (const auto& sms : messages) {
    EXPECT_EQ(sms.at("number"), "+123456789012");
    EXPECT_EQ(sms.at("payload"), "0242011051234503Ann");
    EXPECT_EQ(sms.at("gameId"), 42);
    EXPECT_EQ(sms.at("score"), 12345);
    EXPECT_EQ(sms.at("handle"), "Ann");
    EXPECT_EQ(sms.at("pdu"), pdu);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, PhoneModeTest,
    ::testing::Values(ModeCase{"ok", 1, 1, Reached::kWholePdu, 1},
                      // Answers longer than the link keeps: their OK is still seen, and none of
                      // them is taken for the next command's.
                      ModeCase{"chatty", 1, 1, Reached::kWholePdu, 1},
                      ModeCase{"flood", 1, 1, Reached::kWholePdu, 1},
                      ModeCase{"silent", 0, 0, Reached::kEchoOff, 0},
                      ModeCase{"error", 0, 0, Reached::kEchoOff, 0},
                      ModeCase{"error-ate0", 0, 0, Reached::kEchoOff, 0},
                      ModeCase{"garbage", 0, 0, Reached::kEchoOff, 0},
                      ModeCase{"no-prompt", 1, 0, Reached::kPrompt, 0},
                      ModeCase{"cms-error", 1, 0, Reached::kWholePdu, 0}),
    [](const auto& param) {
      std::string name = param.param.mode;
      std::erase(name, '-');
      return name;
    });

// The line drops after the link has written the whole PDU, before the phone said OK: the
// send fails. The phone took nothing and comes back on a fresh terminal where a new attempt
// works.
TEST_F(PtyLinkTest, HangupDuringThePduFailsTheSendAndThePhoneComesBack) {
  const std::string pdu = SampleMessage();
  Connect("hangup");
  EXPECT_EQ(link_->InitPhone(), 1);
  EXPECT_EQ(link_->SendPdu(pdu), 0);
  EXPECT_EQ(link_->Close(), 1);

  const auto lines = phone_.AwaitEvents("line");
  ASSERT_EQ(lines.size(), 1U);
  const std::string fresh = lines[0].at("path");
  EXPECT_NE(fresh, phone_.terminal());
  EXPECT_EQ(phone_.Events("sms").size(), 0U);
  ASSERT_TRUE(link_->Open(Widen(fresh), kPortBaudRate));
  EXPECT_EQ(link_->InitPhone(), 1);
}

}  // namespace
}  // namespace brindle::ptytest
