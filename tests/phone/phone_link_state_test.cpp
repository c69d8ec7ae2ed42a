#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/phone/link_fixture.h"

namespace brindle {
namespace {

class StateTest : public LinkTest {
 protected:
  void SetUp() override { port.AnswerAfter("AT", "\r\nOK\r\n"); }

  struct State {
    PortHandle portHandle;
    std::int32_t opened;
    std::int32_t phoneReady;
    bool operator==(const State&) const = default;
  };
  static State Of(const PhoneLink& link) { return {link.portHandle, link.opened, link.phoneReady}; }

  static constexpr PortHandle kHandle = RecordingSerialPort::kDefaultHandle;
  static constexpr State kFresh{kInvalidPortHandle, 0, 0};
  static constexpr State kPortOpen{kHandle, 1, 0};
  static constexpr State kPhoneReady{kHandle, 1, 1};
  static constexpr State kReleased{kInvalidPortHandle, 1, 0};
  static constexpr State kCloseRefused{kHandle, 1, 0};
};

TEST_F(StateTest, FreshLinkMakesNoCallWhenClosedOrDestroyed) {
  {
    PhoneLink link(Services());
    EXPECT_EQ(Of(link), kFresh);
    EXPECT_EQ(link.Close(), 1);
    EXPECT_EQ(link.Close(), 1);
    EXPECT_EQ(Of(link), kFresh);
  }
  EXPECT_TRUE(port.Calls().empty());
}

TEST_F(StateTest, OpenInitCloseWalksThroughTheStates) {
  PhoneLink link(Services());
  ASSERT_TRUE(link.Open(u"COM3:", kPortBaudRate));
  EXPECT_EQ(Of(link), kPortOpen);
  ASSERT_EQ(link.InitPhone(), 1);
  EXPECT_EQ(Of(link), kPhoneReady);
  EXPECT_EQ(link.Close(), 1);
  EXPECT_EQ(Of(link), kReleased);
  EXPECT_EQ(port.OpenHandles(), 0);
}

TEST_F(StateTest, SecondCloseReturns0WithoutAnyCall) {
  PhoneLink link(Services());
  ASSERT_TRUE(link.Open(u"COM3:", kPortBaudRate));
  ASSERT_EQ(link.Close(), 1);
  const std::size_t mark = port.Calls().size();
  EXPECT_EQ(link.Close(), 0);
  EXPECT_EQ(port.Calls().size(), mark);
  EXPECT_EQ(Of(link), kReleased);
}

TEST_F(StateTest, CloseWithoutThePhoneReadyOnlyReleasesThePort) {
  PhoneLink link(Services());
  ASSERT_TRUE(link.Open(u"COM3:", kPortBaudRate));
  const std::size_t mark = port.Trace().size();
  EXPECT_EQ(link.Close(), 1);
  EXPECT_EQ(TraceSince(mark), (std::vector<std::string>{"Purge 15", "Close"}));
}

TEST_F(StateTest, RefusedCloseKeepsTheHandleAndTheDestructorTriesAgain) {
  {
    PhoneLink link(Services());
    ASSERT_TRUE(link.Open(u"COM3:", kPortBaudRate));
    port.FailCall(PortCall::kClose, 6, 1);
    const std::size_t mark = port.Trace().size();
    EXPECT_EQ(link.Close(), 0);
    EXPECT_EQ(Of(link), kCloseRefused);
    EXPECT_EQ(TraceSince(mark), (std::vector<std::string>{"Purge 15", "Close -> fail"}));
  }
  const std::vector<std::string> trace = port.Trace();
  ASSERT_GE(trace.size(), 2U);
  EXPECT_EQ(trace[trace.size() - 2], "Purge 15");
  EXPECT_EQ(trace.back(), "Close");
  EXPECT_EQ(port.OpenHandles(), 0);
}

TEST_F(StateTest, DestructorClosesAnOpenPort) {
  {
    PhoneLink link(Services());
    ASSERT_TRUE(link.Open(u"COM3:", kPortBaudRate));
  }
  std::vector<std::string> expected = kOpenTrace;
  expected.insert(expected.end(), {"Purge 15", "Close"});
  EXPECT_EQ(port.Trace(), expected);
}

TEST_F(StateTest, DestructorOfAReadyPhoneSendsTheShutdownCommands) {
  {
    PhoneLink link(Services());
    ASSERT_TRUE(link.Open(u"COM3:", kPortBaudRate));
    ASSERT_EQ(link.InitPhone(), 1);
  }
  const std::vector<std::string> writes = port.Writes();
  ASSERT_EQ(writes.size(), 5U);
  EXPECT_EQ(writes[3], "AT+CNMI=0,0\r");
  EXPECT_EQ(writes[4], "ATZ\r");
  EXPECT_EQ(port.Trace().back(), "Close");
}

TEST_F(StateTest, DestructorAfterARefusedSetUpMakesNoCall) {
  port.FailCall(PortCall::kSetState, 87);
  {
    PhoneLink link(Services());
    EXPECT_FALSE(link.Open(u"COM3:", kPortBaudRate));
    EXPECT_EQ(Of(link), kReleased);
  }
  EXPECT_EQ(port.Trace().back(), "Close");
  EXPECT_EQ(port.Trace().size(), 4U);
}

TEST_F(StateTest, OpensAgainAfterClose) {
  PhoneLink link(Services());
  ASSERT_TRUE(link.Open(u"COM3:", kPortBaudRate));
  ASSERT_EQ(link.Close(), 1);
  port.SetOpenHandle(9);
  const std::size_t mark = port.Trace().size();
  ASSERT_TRUE(link.Open(u"COM3:", kPortBaudRate));
  EXPECT_EQ(TraceSince(mark), kOpenTrace);
  EXPECT_EQ(Of(link), (State{9, 1, 0}));
  ASSERT_EQ(link.InitPhone(), 1);
  EXPECT_EQ(link.Close(), 1);
  EXPECT_EQ(Of(link), kReleased);
}

TEST_F(StateTest, OpenAfterARefusedSetUpStartsAgain) {
  port.FailCall(PortCall::kSetTimeouts, 87, 1);
  PhoneLink link(Services());
  EXPECT_FALSE(link.Open(u"COM3:", kPortBaudRate));
  EXPECT_EQ(link.Close(), 0);
  EXPECT_TRUE(link.Open(u"COM3:", kPortBaudRate));
  EXPECT_EQ(Of(link), kPortOpen);
  EXPECT_EQ(link.Close(), 1);
}

TEST_F(StateTest, FailedInitLeavesThePhoneNotReady) {
  PhoneLink link(Services());
  ASSERT_TRUE(link.Open(u"COM3:", kPortBaudRate));
  port.FailCall(PortCall::kWrite, 1, 1, 1);
  EXPECT_EQ(link.InitPhone(), 0);
  EXPECT_EQ(Of(link), kPortOpen);
  const std::size_t writes = port.Writes().size();
  EXPECT_EQ(link.Close(), 1);
  EXPECT_EQ(port.Writes().size(), writes);
}

}  // namespace
}  // namespace brindle
