// PhoneLink over a real pseudo-terminal against `brindle phone` in each of its modes, with
// pauses that do not wait: the phone answers at once, and the link's read time-out gives it
// the time to. What the phone received is read from its log, byte for byte.
#include <gtest/gtest.h>

#include "base/testing/recording_message_sink.h"
#include "base/testing/recording_sleeper.h"
#include "phone/phone_link.h"
#include "phone/posix_serial_port.h"
#include "pty_link_fixture.h"

namespace brindle::ptytest {
namespace {

std::u16string Widen(std::string_view text) { return {text.begin(), text.end()}; }

class PtyLinkTest : public ::testing::Test {
 protected:
  // Starts the phone and opens a link on its terminal; the pauses do not wait.
  void Connect(const std::string& mode) {
    ASSERT_TRUE(phone_.Start(mode));
    ASSERT_TRUE(link_.Open(Widen(phone_.terminal()), kPortBaudRate));
  }

  PhoneRun phone_;
  PosixSerialPort port_;
  RecordingMessageSink boxes_;
  RecordingSleeper sleeper_;
  PhoneLink link_{{&port_, &boxes_, &sleeper_, nullptr}};
};

constexpr std::string_view kInit = "ATZ\rATE0\rAT+CMGF=0\r";
constexpr std::string_view kShutdown = "AT+CNMI=0,0\rATZ\r";

// ok, error-ate0 and no-prompt run over a pseudo-terminal in the `brindle send --auto` tests.
struct ModeCase {
  const char* mode;
  int init;  // what InitPhone returns; SendPdu is tried only after a 1
  int send;  // also the number of messages the phone took
};

void PrintTo(const ModeCase& c, std::ostream* os) { *os << c.mode; }

class PhoneModeTest : public PtyLinkTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(PhoneModeTest, LinkAndPhoneAgreeOnWhatWasSent) {
  const ModeCase& c = GetParam();
  const std::string pdu(kSampleMessage);
  Connect(c.mode);
  EXPECT_EQ(link_.InitPhone(), c.init);
  if (c.init == 1) {
    EXPECT_EQ(link_.SendPdu(pdu), c.send);
  }
  link_.Close();
  EXPECT_EQ(phone_.Stop(), 0);
  EXPECT_TRUE(boxes_.Messages().empty());

  EXPECT_EQ(phone_.Bytes("in"), c.init == 0 ? "ATZ\rATE0\r"
                                            : std::string(kInit) + "AT+CMGS=51\r" + pdu + "\x1a" +
                                                  std::string(kShutdown));
  const auto messages = phone_.Events("sms");
  ASSERT_EQ(messages.size(), static_cast<std::size_t>(c.send));
  for (const auto& sms : messages) {
    EXPECT_EQ(sms.at("pdu"), pdu);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, PhoneModeTest,
    ::testing::Values(ModeCase{"ok", 1, 1},
                      // Answers longer than the link keeps: their OK is still seen, and none of
                      // them is taken for the next command's.
                      ModeCase{"chatty", 1, 1}, ModeCase{"flood", 1, 1}, ModeCase{"silent", 0, 0},
                      ModeCase{"error", 0, 0}, ModeCase{"garbage", 0, 0},
                      ModeCase{"cms-error", 1, 0}),
    [](const auto& param) {
      std::string name = param.param.mode;
      std::erase(name, '-');
      return name;
    });

// The line drops after the link has written the whole PDU, before the phone said OK: the
// send fails. The phone took nothing and comes back on a fresh terminal where a new attempt
// works.
TEST_F(PtyLinkTest, HangupDuringThePduFailsTheSendAndThePhoneComesBack) {
  Connect("hangup");
  EXPECT_EQ(link_.InitPhone(), 1);
  EXPECT_EQ(link_.SendPdu(kSampleMessage), 0);
  EXPECT_EQ(link_.Close(), 1);

  const auto lines = phone_.AwaitEvents("line");
  ASSERT_EQ(lines.size(), 1U);
  // The new terminal may well get the old one's number.
  const std::string fresh = lines[0].at("path");
  EXPECT_EQ(phone_.Events("sms").size(), 0U);
  ASSERT_TRUE(link_.Open(Widen(fresh), kPortBaudRate));
  EXPECT_EQ(link_.InitPhone(), 1);
}

}  // namespace
}  // namespace brindle::ptytest
